// A playlist opened by the launcher (fake ports; nothing is started), and
// read field by field on its own.
#include <unistd.h>

#include "common/playlist_reader.h"
#include "fuzz/fuzz_support.h"
#include "launcher/launcher.h"

using namespace kobal;

namespace {

struct World : MessageBoxPort, InstallPathStore, launcher::ProcessStarter, launcher::SplashPort {
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> ReadApplicationPath() override { return dir.path(); }
    void WriteApplicationPath(const std::string&) override {}
    void StartProcess(const std::string&, const std::string&) override { ++started; }
    void ShowSplash(const launcher::SplashContent&) override {}

    World() {
        dir.Write("resource/kobaltron", "");
        dir.Write("resource/kobalactor", "");
        dir.Write("resource/config.kcfg", "showsplash=1\r\n[end]\r\n");
        dir.Write("a.kact",
                  "version=Kobaltron V1.0\r\nactorname=A\r\nactorpath=a\\\r\nsplashscreen=s.bmp\r\n[end]\r\n");
        dir.Write("old.kact", "version=Kobaltron V0.9\r\nactorname=Old\r\n[end]\r\n");
        dir.Write("noend.kact", "version=Kobaltron V1.0\r\n");
        // Relative playlist entries are read from the working directory.
        if (::chdir(dir.path().c_str()) != 0) std::abort();
    }
    TempDir dir;
    int started = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    static const std::string path = world.dir / "list.kpls";
    fuzz::WriteFile(path, fuzz::Text(data, size));

    fuzz::Expected([&] {
        PlaylistReader reader(path);
        while (!reader.AtEnd()) (void)reader.ReadField();
    });
    for (const std::string& commandLine : {path, "\"" + path + "\"", std::string("list.kpls")}) {
        launcher::ActorLauncher launch({world, world, world, world, world.dir.path()});
        fuzz::Expected([&] { launch.LaunchFromCommandLine(commandLine); });
    }
    return 0;
}
