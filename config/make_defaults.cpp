// Writes the settings file exactly as "Default" followed by "OK" writes it;
// the build stages it as the product's resource/config.kcfg.
#include <cstdio>
#include <exception>

#include "config/config_window.h"

namespace {

using namespace kobal;
using namespace kobal::config;

// "Default" and the input checks touch none of these.
struct Unused : InstallPathStore, MessageBoxPort, ShellIntegration, InputBoxPort, WizardDisplay {
    std::optional<std::string> ReadApplicationPath() override { return std::nullopt; }
    void WriteApplicationPath(const std::string&) override {}
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskOkCancel(const std::string&, const std::string&) override { return false; }
    bool AskYesNo(const std::string&, const std::string&) override { return false; }
    void RegisterFileAssociations() override {}
    void CreateStartMenuShortcuts() override {}
    void AddToStartMenu(const std::string&) override {}
    std::string InputBox(const std::string&, const std::string&, const std::string&) override { return {}; }
    void Load(WizardBox&) override {}
    bool ShowModal(WizardBox&) override { return false; }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <config.kcfg>\n", argv[0]);
        return 2;
    }
    try {
        Unused ports;
        ConfigWindow window({ports, ports, ports, ports, ports}, "");
        window.Reset_Click();
        window.validate();
        WriteFileReplacing(argv[1], SettingsFileText(window.Values()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
