#include "config/shell/uninstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/test_files.h"
#include "config/shell/autostart.h"
#include "config/shell/manifest.h"
#include "config/shell/registry_file.h"
#include "config/shell/shell_test_support.h"

using namespace kobal::shell;

TEST(Manifest, KeepsEachRecordOnceInItsOrderAndSurvivesItsOwnText) {
    Manifest m;
    EXPECT_TRUE(m.Add("directory", ""));
    EXPECT_TRUE(m.Add("directory", "actors"));
    EXPECT_TRUE(m.Add("file", "actors\\a b.kact"));
    EXPECT_FALSE(m.Add("file", "actors\\a b.kact"));
    EXPECT_TRUE(m.Add("registration", "start-menu-entry /x/a b.kact"));
    EXPECT_FALSE(m.Add("unknown", "x"));

    const Manifest back = Manifest::Parse(m.Text());
    EXPECT_EQ(back.directories, (std::vector<std::string>{"", "actors"}));
    EXPECT_EQ(back.files, (std::vector<std::string>{"actors\\a b.kact"}));
    EXPECT_EQ(back.registrations, (std::vector<std::string>{"start-menu-entry /x/a b.kact"}));
    // Comments, blank and foreign lines are no records; CRLF endings are.
    const Manifest odd = Manifest::Parse("# note\r\n\r\nfile a.txt\r\nnonsense\r\nrubbish here\r\n");
    EXPECT_EQ(odd.files, (std::vector<std::string>{"a.txt"}));
    EXPECT_TRUE(odd.directories.empty());
}

TEST(Manifest, ALaterInstallAddsToTheRecordsOnDisk) {
    kobal::TempDir dir;
    FileManifestLog log;
    log.Record(dir.path(), "file", "a.txt");
    log.Record(dir.path(), "file", "b.txt");
    log.Record(dir.path(), "file", "a.txt");
    std::ifstream in(dir / kManifestName);
    std::ostringstream text;
    text << in.rdbuf();
    const Manifest m = Manifest::Parse(text.str());
    EXPECT_EQ(m.files, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST(Uninstall, MimeAppsLoseOnlyTheProductsEntries) {
    const std::vector<std::string> ours{"kobaltron-kactor-open.desktop", "kobaltron-kactor-install.desktop"};
    EXPECT_EQ(WithoutDesktopIds("[Default Applications]\ntext/plain=mine.desktop;\n"
                                "application/x-kactor=kobaltron-kactor-open.desktop;\n"
                                "\n[Added Associations]\n"
                                "application/x-kactor=kobaltron-kactor-open.desktop;other.desktop;"
                                "kobaltron-kactor-install.desktop;\n"
                                "# kobaltron-kactor-open.desktop in a comment stays\n",
                                ours),
              "[Default Applications]\ntext/plain=mine.desktop;\n\n[Added Associations]\n"
              "application/x-kactor=other.desktop;\n# kobaltron-kactor-open.desktop in a comment "
              "stays\n");
    // A group that held nothing but the product's entries goes with them.
    EXPECT_EQ(WithoutDesktopIds("[Default Applications]\ntext/plain=mine.desktop;\n\n[Added Associations]\n"
                                "application/x-kactor=kobaltron-kactor-open.desktop;\n",
                                ours),
              "[Default Applications]\ntext/plain=mine.desktop;\n");
    EXPECT_EQ(WithoutDesktopIds("[Added Associations]\n", ours), "[Added Associations]\n");
}

TEST(Uninstall, RegistryKeysGoWithEverythingBelowThemAndNothingBeside) {
    RegistryTree t;
    t.SetValue("Kactor\\Shell\\Open\\Command", "", "x");
    t.SetValue("KactorOther", "", "theirs");
    t.SetValue(".KACT", "", "Kactor");
    t.RemoveKey("kactor");
    EXPECT_FALSE(t.HasKey("Kactor"));
    EXPECT_FALSE(t.HasKey("Kactor\\Shell\\Open\\Command"));
    EXPECT_TRUE(t.HasKey("KactorOther"));
    EXPECT_TRUE(t.HasKey(".KACT"));
}

namespace {

class NoTools : public CommandRunner {
  public:
    std::optional<int> Run(const std::vector<std::string>& argv) override {
        calls.push_back(argv.front());
        return std::nullopt;
    }
    std::vector<std::string> calls;
};

std::string Url(const std::string& target) {
    return "[InternetShortcut]\r\nURL=" + target + "\r\nIconIndex=0\r\nIconFile=/x.ico\r\n";
}

}  // namespace

// A packaged install has no manifest: what the programs wrote for the user
// still goes, listed, and nothing of the user's own.
TEST(Uninstall, WithoutAManifestTheUsersEntriesTypesLoginAndSettingsGo) {
    namespace fs = std::filesystem;
    kobal::TempDir home;
    const std::string data = home / "data", config = home / "config", apps = data + "/applications";
    std::vector<std::string> ours = {
        home.Write("data/applications/Kobaltron/Congigure Kobaltron.url", Url("/usr/lib/k/resource\\kobalconfig")),
        home.Write("data/applications/Kobaltron/Congigure Kobaltron.desktop", "[Desktop Entry]\n"),
        home.Write("data/applications/Kobaltron/Help.url", Url("/usr/lib/k/resource\\help.txt")),
        home.Write("data/applications/Kobaltron/Actors/Bob.url", Url("file:///home/u/Bob.KACT")),
        home.Write("data/applications/Kobaltron/Actors/Bob.desktop", "[Desktop Entry]\n"),
        home.Write("data/applications/Mix.url", Url("file:///home/u/my lists/Mix.kpls")),
        home.Write("data/applications/Mix.desktop", "[Desktop Entry]\n"),
        home.Write("data/applications/kobaltron-kactor-open.desktop", "[Desktop Entry]\n"),
        home.Write("data/mime/packages/kobaltron-kplaylist.xml", "<mime-info/>\n"),
        home.Write("config/kobaltron/registry.reg", "REGEDIT4\r\n"),
        home.Write("config/kobaltron/Kobaltron.ini", "[Path]\nApplication=/usr/lib/k\n"),
        home.Write("config/kobaltron/config.kcfg", "showsplash=0\r\n[end]\r\n"),
        home.Write("config/kobaltron/config.kcfg.tmp42-0", ""),
        home.Write("config/autostart/kobaltron-actors.desktop",
                   Autostart::EntryText("/usr/lib/k/resource/kobaltron", "/usr/lib/k/actors/samples.kpls")),
    };
    const std::vector<std::string> mine = {
        home.Write("data/applications/web.url", Url("https://example.org/")),
        home.Write("data/applications/mine.desktop", "[Desktop Entry]\n"),
        home.Write("data/kobaltron/actors/zed/zed.kact", "actorname=Zed\r\n[end]\r\n"),
        home.Write("config/autostart/other.desktop", "[Desktop Entry]\n"),
    };
    home.Write("config/mimeapps.list",
               "[Default Applications]\ntext/plain=mine.desktop;\n"
               "application/x-kactor=kobaltron-kactor-open.desktop;\n");

    kobal::shell::testing::FakeBoxes boxes;
    kobal::shell::testing::FakeInstallPath installPath;  // a setting kept elsewhere, no manifest there
    installPath.value = home / "product";
    bool cleared = false;
    FileRegistry registry(config + "/kobaltron/registry.reg");
    NoTools runner;
    PosixEntryFiles entryFiles;
    Autostart autostart(entryFiles, boxes, config, "/usr/lib/k/");
    UninstallContext context{boxes,  installPath, [&] { cleared = true; }, home / "product", registry, data, config,
                             runner, autostart};
    EXPECT_EQ(Uninstall(context), 0);

    for (const std::string& f : ours) EXPECT_FALSE(fs::exists(f)) << f;
    for (const std::string& f : mine) EXPECT_TRUE(fs::exists(f)) << f;
    EXPECT_FALSE(fs::exists(config + "/kobaltron"));
    EXPECT_FALSE(fs::exists(apps + "/Kobaltron"));
    EXPECT_TRUE(cleared);
    EXPECT_EQ(kobal::shell::testing::ReadBytes(config + "/mimeapps.list"),
              "[Default Applications]\ntext/plain=mine.desktop;\n");
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[0].text.find("The programs stay"), std::string::npos);  // the question
    const std::string& said = boxes.shown[1].text;
    EXPECT_EQ(said.rfind("Kobaltron's entries and settings of this user have been removed\nRemoved:\n", 0), 0u) << said;
    for (const std::string& f : ours) EXPECT_NE(said.find("\n" + f), std::string::npos) << f;
    EXPECT_NE(said.find(config + "/mimeapps.list: "), std::string::npos);

    // Again: nothing left, and that is no failure.
    boxes.shown.clear();
    EXPECT_EQ(Uninstall(context), 0);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text.rfind("Nothing to uninstall", 0), 0u) << boxes.shown[1].text;
}

// A settings folder that is a link goes as a link: what it leads to stays.
TEST(Uninstall, ASettingsFolderThatIsALinkGoesAloneAndTheUserMaySayNo) {
    namespace fs = std::filesystem;
    kobal::TempDir home;
    home.Write("elsewhere/precious.txt", "mine");
    fs::create_directories(home / "config");
    fs::create_directory_symlink(home / "elsewhere", home / "config/kobaltron");

    class SayNo : public kobal::shell::testing::FakeBoxes {
      public:
        bool AskYesNo(const std::string& text, const std::string& title) override {
            shown.push_back({text, title});
            return !no;
        }
        bool no = true;
    } boxes;
    kobal::shell::testing::FakeInstallPath installPath;
    FileRegistry registry(home / "config/kobaltron/registry.reg");
    NoTools runner;
    PosixEntryFiles entryFiles;
    Autostart autostart(entryFiles, boxes, home / "config", "/usr/lib/k/");
    UninstallContext context{boxes,         installPath,     [] {},  home / "product", registry,
                             home / "data", home / "config", runner, autostart};
    EXPECT_EQ(Uninstall(context), 0);
    EXPECT_TRUE(fs::is_symlink(home / "config/kobaltron"));  // "No" changes nothing

    boxes.no = false;
    EXPECT_EQ(Uninstall(context), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(home / "config/kobaltron")));
    EXPECT_EQ(kobal::shell::testing::ReadBytes(home / "elsewhere/precious.txt"), "mine");
}
