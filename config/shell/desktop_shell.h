#pragma once
// The shell integration wired to a real Linux desktop: the registry file
// under $XDG_CONFIG_HOME/kobaltron, the Programs folder
// $XDG_DATA_HOME/applications, the freedesktop files and cache tools.
#include <string>

#include "config/shell/associations_and_shortcuts.h"
#include "config/shell/freedesktop.h"
#include "config/shell/registry_file.h"

namespace kobal::shell {

class DesktopShell {
  public:
    // programTitle: the default message title ("Kobalconfig", "Install").
    DesktopShell(MessageBoxPort& boxes, InstallPathStore& installPath, std::string defaultInstallPath,
                 SettingStore& settings, std::string programTitle);
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    AssociationsAndShortcuts& integration() { return integration_; }

  private:
    FileRegistry registry_;
    XdgFolders folders_;
    PosixCommandRunner runner_;
    Freedesktop desktop_;
    AssociationsAndShortcuts integration_;
};

}  // namespace kobal::shell
