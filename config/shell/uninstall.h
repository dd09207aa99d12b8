#pragma once
// Removes what the installer's manifest lists: its registrations (file
// associations, menu entries, the install path setting), the autostart
// entry, then its files and the directories it created when they are left
// empty. Anything a user added to the install directory stays.
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
std::string WithoutDesktopIds(const std::string& mimeApps,
                              const std::vector<std::string>& desktopIds);

// Asks first; returns the exit status (0 also when the user says No).
int Uninstall(UninstallContext& context);

}  // namespace kobal::shell
