#pragma once
// Removes what the programs wrote for the user who runs it: file types and
// their defaults, menu entries and shortcuts, the login entry and the
// settings folder ($XDG_CONFIG_HOME/kobaltron, the install path setting and
// the user's own config.kcfg among them). Where the installer's manifest
// lies in the install directory, also its files and the directories it
// created when they are left empty. The user's own files stay: actors
// anywhere, and anything added to the install directory.
#include <functional>
#include <string>
#include <vector>

#include "common/install_path.h"
#include "common/message_box.h"
#include "config/shell/autostart.h"
#include "config/shell/freedesktop.h"
#include "config/shell/registry_file.h"

namespace kobal::shell {

struct UninstallContext {
    MessageBoxPort& boxes;
    InstallPathStore& installPath;
    std::function<void()> clearInstallPath;
    std::string defaultInstallPath;
    FileRegistry& registry;
    std::string dataHome;    // $XDG_DATA_HOME
    std::string configHome;  // $XDG_CONFIG_HOME
    CommandRunner& runner;
    Autostart& autostart;
};

// The mimeapps.list text without the given desktop entries; every other line
// stays, a line left without entries goes.
std::string WithoutDesktopIds(const std::string& mimeApps, const std::vector<std::string>& desktopIds);

// Asks first and lists what went; returns the exit status (0 also when the
// user says No or nothing was there).
int Uninstall(UninstallContext& context);

}  // namespace kobal::shell
