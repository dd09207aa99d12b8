#include "config/shell/desktop_shell.h"

namespace kobal::shell {

DesktopShell::DesktopShell(MessageBoxPort& boxes, InstallPathStore& installPath, std::string defaultInstallPath,
                           SettingStore& settings, std::string programTitle)
    : registry_(DefaultRegistryFile()),
      desktop_(XdgDataHome(), XdgConfigHome(), runner_),
      integration_(ShellContext{boxes, installPath, std::move(defaultInstallPath), registry_, folders_, &desktop_,
                                settings, std::move(programTitle)}) {}

}  // namespace kobal::shell
