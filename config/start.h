#pragma once
// The configuration tool's start: one shell-integration command from the
// command line, or the configuration window.
#include <string>

#include "common/install_path.h"
#include "common/message_box.h"
#include "config/ports.h"

namespace kobal::config {

// The program's own title for messages without one.
inline constexpr const char* kProgramTitle = "Kobalconfig";

enum class StartResult { Ended, ShowWindow };

// commandLine: the whole text after the program name. One leading and one
// trailing double quote are dropped; then "INSTALL" (capitals only)
// registers the product, "!" followed by a path stores the install path,
// any other text adds that file to the Start menu, and nothing opens the
// window.
StartResult StartConfigTool(const std::string& commandLine, InstallPathStore& paths, MessageBoxPort& boxes,
                            ShellIntegration& shell);

}  // namespace kobal::config
