#pragma once
// The shell integration wired to a real Linux desktop: the registry file
// under $XDG_CONFIG_HOME/kobaltron, the Programs folder
// $XDG_DATA_HOME/applications, the freedesktop files and cache tools.
#include <string>

#include "config/shell/freedesktop.h"
#include "config/shell/module1.h"
#include "config/shell/registry_file.h"

namespace kobal::shell {

class DesktopShell {
  public:
    // programTitle: the default message title ("Kobalconfig", "Install").
    DesktopShell(MessageBoxPort& boxes, InstallPathStore& installPath, std::string defaultInstallPath,
                 SettingStore& settings, std::string programTitle);
    DesktopShell(const DesktopShell&) = delete;
    DesktopShell& operator=(const DesktopShell&) = delete;

    Module1& module() { return module_; }

  private:
    FileRegistry registry_;
    XdgFolders folders_;
    PosixCommandRunner runner_;
    Freedesktop desktop_;
    Module1 module_;
};

}  // namespace kobal::shell
