// A settings file through both reading loops under every section code, as
// each program reads it; and the whole input as one setting line.
#include "common/settings.h"
#include "fuzz/fuzz_support.h"

using namespace kobal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static TempDir dir;
    static const std::string path = dir / "settings.kcfg";
    const std::string_view text = fuzz::Text(data, size);
    fuzz::WriteFile(path, text);

    using Program = SettingStore::Program;
    for (int code = 0; code <= 2; ++code) {
        SettingStore actor(Program::Actor);
        fuzz::Expected([&] { ReadSettingsFile(actor, path, code, LoopShape::Actor); });
        SettingStore launcher(Program::Launcher);
        fuzz::Expected([&] { ReadSettingsFile(launcher, path, code, LoopShape::Launcher); });
        SettingStore line;
        fuzz::Expected([&] { ParseSettingLine(line, text, code); });
    }
    // The configuration tool and the installer read with section code 1.
    for (auto program : {Program::Config, Program::Installer}) {
        SettingStore store(program);
        fuzz::Expected([&] { ReadSettingsFile(store, path, 1, LoopShape::Launcher); });
    }
    (void)IsEndLine(text);
    return 0;
}
