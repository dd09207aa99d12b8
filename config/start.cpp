#include "config/start.h"

namespace kobal::config {

StartResult StartConfigTool(const std::string& commandLine, InstallPathStore& paths, MessageBoxPort& boxes,
                            ShellIntegration& shell) {
    std::string text = commandLine;
    if (!text.empty() && text.front() == '"') text.erase(0, 1);
    if (!text.empty() && text.back() == '"') text.pop_back();

    if (text == "INSTALL") {
        shell.CreateStartMenuShortcuts();
        shell.RegisterFileAssociations();
        return StartResult::Ended;
    }
    if (!text.empty() && text.front() == '!') {
        paths.WriteApplicationPath(text.substr(1));
        boxes.ShowMessage("Registry key added", kProgramTitle);
        return StartResult::Ended;
    }
    if (!text.empty()) {
        shell.AddToStartMenu(text);
        return StartResult::Ended;
    }
    return StartResult::ShowWindow;
}

}  // namespace kobal::config
