// The installer's copy list and command list, the two files cut from one
// input at its first NUL, installed from a small medium into a scratch
// destination with the real shell integration behind fake platform ports.
#include <filesystem>

#include "config/shell/associations_and_shortcuts.h"
#include "fuzz/fuzz_support.h"
#include "installer/install_form.h"

using namespace kobal;

namespace {

struct World : installer::InstallView, InstallPathStore, shell::RegistryPort, shell::SpecialFolderLookup {
    std::string Source() override { return source; }
    void SetSource(const std::string& text) override { source = text; }
    std::string Dest() override { return dest; }
    void SetDest(const std::string& text) override { dest = text; }
    void SetSplashText(const std::string&) override {}
    void SetMsg(const std::string&) override {}
    void LoadSplashPic(const std::string&) override {}
    void LoadSplashTitle(const std::string&) override {}
    std::optional<std::string> ReadApplicationPath() override { return installPath; }
    void WriteApplicationPath(const std::string& path) override { installPath = path; }
    bool CreateKey(const std::string&, std::string&) override { return true; }
    bool SetValue(const std::string&, const std::string&, const std::string&, std::string&) override { return true; }
    std::optional<std::string> FolderPath(int32_t) override { return dir / "menu"; }

    World() {
        dir.Write("medium/readme.txt", "hello\r\n");
        dir.Write("medium/resource/kobalactor", "");
        dir.Write("medium/resource/config.kcfg", "showsplash=0\r\n[end]\r\n");
        dir.Write("medium/actors/bob.kact",
                  "version=Kobaltron V1.0\r\nactorname=Bob\r\nactorpath=actors\\\r\n"
                  "iconfile=bob.ico\r\n[end]\r\n");
        dir.Write("medium/actors/all.kpls", "actors\\bob.kact\r\n");
    }
    TempDir dir;
    std::string source, dest;
    std::optional<std::string> installPath;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static World world;
    const auto [files, commands] = fuzz::SplitAtNul(fuzz::Text(data, size));
    fuzz::WriteFile(world.dir.Write("medium/Install/Files.dat", ""), files);
    fuzz::WriteFile(world.dir.Write("medium/Install/Commands.dat", ""), commands);
    std::error_code ec;
    std::filesystem::remove_all(world.dir / "dest", ec);
    std::filesystem::remove_all(world.dir / "menu", ec);
    std::filesystem::create_directories(world.dir / "menu", ec);
    world.installPath.reset();

    fuzz::QuietMessages boxes;
    SettingStore settings(SettingStore::Program::Installer);
    shell::AssociationsAndShortcuts integration(
        {boxes, world, world.dir / "dest", world, world, nullptr, settings, "Install"});
    installer::InstallForm form({world, boxes, world, world.dir / "dest", integration});
    fuzz::Expected([&] {
        form.Form_Load(world.dir / "medium");
        form.Install_Click();
    });
    return 0;
}
