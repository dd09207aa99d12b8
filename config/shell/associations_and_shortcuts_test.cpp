#include "config/shell/associations_and_shortcuts.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/runtime_error.h"
#include "config/shell/registry_file.h"
#include "config/shell/shell_test_support.h"

namespace kobal::shell {
namespace {

using testing::FakeBoxes;
using testing::FakeFolders;
using testing::FakeInstallPath;
using testing::ReadBytes;
namespace fs = std::filesystem;

using Values = std::vector<std::pair<std::string, std::string>>;

// A registry whose writes to chosen keys fail, recording the rest.
class FlakyRegistry : public RegistryPort {
  public:
    bool CreateKey(const std::string& key, std::string& reason) override {
        if (Fails(key, reason)) return false;
        tree.CreateKey(key);
        return true;
    }
    bool SetValue(const std::string& key, const std::string& name, const std::string& value,
                  std::string& reason) override {
        if (Fails(key, reason)) return false;
        tree.SetValue(key, name, value);
        return true;
    }
    bool Fails(const std::string& key, std::string& reason) {
        for (const auto& k : failing)
            if (k == key) {
                reason = "Permission denied";
                return true;
            }
        return false;
    }
    std::vector<std::string> failing;
    RegistryTree tree;
};

class RecordingDesktop : public DesktopPort {
  public:
    std::vector<std::string> RegisterFileType(const FileTypeInfo& info) override {
        types.push_back(info.TypeName);
        return failures;
    }
    std::vector<std::string> RefreshCaches() override {
        ++refreshed;
        return {};
    }
    void WriteMenuEntry(const std::string& shortcutFile, const MenuEntry& entry) override {
        menuEntries.push_back(shortcutFile + " | " + entry.name);
        entries.push_back(entry);
    }
    std::vector<MenuEntry> entries;
    std::vector<std::string> types;
    std::vector<std::string> failures;
    std::vector<std::string> menuEntries;
    int refreshed = 0;
};

class AssociationsAndShortcutsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir.Write("Kobal Tron/resource/kobalactor", "");
        fs::create_directories(programs);
        installPath.value = install;
        folders.programs = programs;
    }

    AssociationsAndShortcuts Make(RegistryPort& reg, DesktopPort* desktop = nullptr) {
        return AssociationsAndShortcuts(
            ShellContext{boxes, installPath, "/nowhere", reg, folders, desktop, settings, "Kobalconfig"});
    }
    AssociationsAndShortcuts Make() { return Make(registry); }

    std::string ActorFile(const std::string& name, const std::string& actorname,
                          const std::string& actorpath = "actors\\bob\\") {
        return dir.Write(name, "version=Kobaltron V1.0\r\nactorname=" + actorname + "\r\nactorpath=" + actorpath +
                                   "\r\niconfile=bob.ico\r\n[end]\r\nactorname=after end\r\n");
    }

    kobal::TempDir dir;
    const std::string install = dir / "Kobal Tron";
    const std::string installdir = install + "\\";
    const std::string programs = dir / "applications";
    FakeBoxes boxes;
    FakeInstallPath installPath;
    FakeFolders folders;
    FileRegistry registry{dir / "config/kobaltron/registry.reg"};
    SettingStore settings{SettingStore::Program::Config};
};

TEST_F(AssociationsAndShortcutsTest, FileAssociationsWriteBothTypesKeyByKey) {
    RecordingDesktop desktop;
    Make(registry, &desktop).RegisterFileAssociations();

    const RegistryTree tree = registry.Read();
    std::vector<std::string> keys;
    for (const auto& k : tree.keys()) keys.push_back(k.path);
    EXPECT_EQ(keys, (std::vector<std::string>{".KACT", "Kactor", "Kactor\\DefaultIcon", "Kactor\\Shell",
                                              "Kactor\\Shell\\Open", "Kactor\\Shell\\Open\\Command",
                                              "Kactor\\Shell\\Install", "Kactor\\Shell\\Install\\Command", ".KPLS",
                                              "Kplaylist", "Kplaylist\\DefaultIcon", "Kplaylist\\Shell",
                                              "Kplaylist\\Shell\\Open", "Kplaylist\\Shell\\Open\\Command",
                                              "Kplaylist\\Shell\\Install", "Kplaylist\\Shell\\Install\\Command"}));

    auto values = [&](const std::string& key) {
        for (const auto& k : tree.keys())
            if (k.path == key) return k.values;
        return Values{};
    };
    EXPECT_EQ(values(".KACT"), (Values{{"", "Kactor"}, {"Content Type", "kact"}}));
    EXPECT_EQ(values("Kactor"), (Values{{"", "KobalTron Actor"}}));
    EXPECT_EQ(values("Kactor\\DefaultIcon"), (Values{{"", installdir + "resource\\KobalTronIcon.ico,0"}}));
    EXPECT_EQ(values("Kactor\\Shell"), Values{});
    EXPECT_EQ(values("Kactor\\Shell\\Open"), Values{});
    // The actor's placeholder is quoted, the program path never is.
    EXPECT_EQ(values("Kactor\\Shell\\Open\\Command"), (Values{{"", installdir + "resource\\kobaltron \"%1\""}}));
    EXPECT_EQ(values("Kactor\\Shell\\Install\\Command"), (Values{{"", installdir + "resource\\kobalconfig \"%1\""}}));
    EXPECT_EQ(values(".KPLS"), (Values{{"", "Kplaylist"}, {"Content Type", "kpls"}}));
    EXPECT_EQ(values("Kplaylist"), (Values{{"", "KobalTron Playlist"}}));
    EXPECT_EQ(values("Kplaylist\\DefaultIcon"), (Values{{"", installdir + "resource\\icon_playlist.ico,0"}}));
    EXPECT_EQ(values("Kplaylist\\Shell\\Open\\Command"), (Values{{"", installdir + "resource\\kobaltron %1"}}));
    EXPECT_EQ(values("Kplaylist\\Shell\\Install\\Command"), (Values{{"", installdir + "resource\\kobalconfig %1"}}));

    EXPECT_EQ(desktop.types, (std::vector<std::string>{"Kactor", "Kplaylist"}));
    EXPECT_EQ(desktop.refreshed, 1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "File Associations have been made!");
    EXPECT_EQ(boxes.shown[0].title, "!");
}

TEST_F(AssociationsAndShortcutsTest, FileTypeWithoutIconDotOrContentType) {
    FileTypeInfo info;
    info.Extension = "KACT";
    info.TypeName = "Kactor";
    info.Description = "KobalTron Actor";
    info.Verbs = {"Open"};
    info.Commands = {"prog %1"};
    EXPECT_TRUE(Make().RegisterFileType(info).empty());

    EXPECT_EQ(info.Extension, ".KACT");  // mended in the record itself
    const RegistryTree tree = registry.Read();
    EXPECT_TRUE(tree.HasKey(".KACT"));
    EXPECT_FALSE(tree.HasKey("KACT"));
    EXPECT_FALSE(tree.HasKey("Kactor\\DefaultIcon"));
    EXPECT_FALSE(tree.Value(".KACT", "Content Type"));
    EXPECT_EQ(tree.Value("Kactor\\Shell\\Open\\Command", ""), "prog %1");

    // A non-zero index alone still makes an icon text.
    info.TypeName = "Other";
    info.IconIndex = 3;
    EXPECT_TRUE(Make().RegisterFileType(info).empty());
    EXPECT_EQ(registry.Read().Value("Other\\DefaultIcon", ""), ",3");
}

TEST_F(AssociationsAndShortcutsTest, FailedWritesAreNamedInsteadOfSuccess) {
    FlakyRegistry flaky;
    flaky.failing = {"Kactor\\DefaultIcon", "Kplaylist\\Shell\\Install\\Command"};
    RecordingDesktop desktop;
    desktop.failures = {"/x/mimeapps.list: No space left on device"};
    Make(flaky, &desktop).RegisterFileAssociations();

    // The rest was still written.
    EXPECT_EQ(flaky.tree.Value("Kplaylist\\Shell\\Open\\Command", ""), installdir + "resource\\kobaltron %1");
    EXPECT_EQ(flaky.tree.Value("Kactor", ""), "KobalTron Actor");
    ASSERT_EQ(boxes.shown.size(), 1u);
    const std::string& text = boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].title, "!");
    EXPECT_EQ(text.find("File Associations have been made!"), std::string::npos);
    EXPECT_NE(text.find("HKEY_CLASSES_ROOT\\Kactor\\DefaultIcon: Permission denied"), std::string::npos);
    EXPECT_NE(text.find("HKEY_CLASSES_ROOT\\Kplaylist\\Shell\\Install\\Command: Permission denied"), std::string::npos);
    EXPECT_NE(text.find("/x/mimeapps.list: No space left on device"), std::string::npos);
    // One line per key, though both of DefaultIcon's writes failed.
    EXPECT_EQ(text.find("DefaultIcon"), text.rfind("DefaultIcon"));
}

TEST_F(AssociationsAndShortcutsTest, MissingApplicationStopsEachOperation) {
    fs::remove(dir / "Kobal Tron/resource/kobalactor");
    RecordingDesktop desktop;
    AssociationsAndShortcuts m = Make(registry, &desktop);

    m.RegisterFileAssociations();
    m.CreateStartMenuShortcuts();
    EXPECT_FALSE(fs::exists(registry.file()));
    EXPECT_TRUE(fs::is_empty(programs));
    EXPECT_TRUE(desktop.types.empty());
    ASSERT_EQ(boxes.shown.size(), 2u);
    for (const auto& s : boxes.shown) {
        EXPECT_EQ(s.text, "Cannot find the application");
        EXPECT_EQ(s.title, "!");
    }

    const std::string actor = ActorFile("bob.kact", "Bob");
    EXPECT_THROW(m.AddToStartMenu(actor), ProgramEnd);
    EXPECT_EQ(boxes.shown.back().text, "Cannot find the application");
    EXPECT_TRUE(fs::is_empty(programs));
}

TEST_F(AssociationsAndShortcutsTest, MissingSettingUsesTheDefaultInstallPath) {
    installPath.value.reset();  // default "/nowhere" has no product
    Make().CreateStartMenuShortcuts();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cannot find the application");
}

TEST_F(AssociationsAndShortcutsTest, ProductShortcutsHaveExactBytesAndCanBeWrittenTwice) {
    RecordingDesktop desktop;
    AssociationsAndShortcuts m = Make(registry, &desktop);
    m.CreateStartMenuShortcuts();

    EXPECT_TRUE(fs::is_directory(programs + "/Kobaltron/Actors"));
    EXPECT_EQ(ReadBytes(programs + "/Kobaltron/Congigure Kobaltron.url"),
              "[InternetShortcut]\r\nURL=" + installdir +
                  "resource\\kobalconfig\r\nIconIndex=0\r\nIconFile=" + installdir + "resource\\KobalTronIcon.ico\r\n");
    EXPECT_EQ(ReadBytes(programs + "/Kobaltron/Help.url"),
              "[InternetShortcut]\r\nURL=" + installdir +
                  "resource\\help.txt\r\nIconIndex=0\r\nIconFile=" + installdir + "resource\\KobalTronIcon.ico\r\n");
    EXPECT_EQ(desktop.menuEntries,
              (std::vector<std::string>{programs + "/Kobaltron/Congigure Kobaltron.url | Congigure Kobaltron",
                                        programs + "/Kobaltron/Help.url | Kobaltron Help"}));
    // The program runs (unless a package has it already); the help opens as a
    // document, in the menu's categories rather than under "Other".
    ASSERT_EQ(desktop.entries.size(), 2u);
    EXPECT_EQ(desktop.entries[0].open, MenuOpen::Program);
    EXPECT_EQ(desktop.entries[0].systemEntry, "org.kobaltron.Kobalconfig.desktop");
    EXPECT_EQ(desktop.entries[1].open, MenuOpen::Document);
    EXPECT_NE(desktop.entries[1].categories.find("Game;"), std::string::npos);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Start Menu shortcuts have been added!");
    EXPECT_EQ(boxes.shown[0].title, "!");

    // A second run finds the folders and replaces the files.
    dir.Write("applications/Kobaltron/Help.url", "stale");
    m.CreateStartMenuShortcuts();
    EXPECT_EQ(ReadBytes(programs + "/Kobaltron/Help.url").rfind("[InternetShortcut]\r\nURL=", 0), 0u);
    EXPECT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].text, "Start Menu shortcuts have been added!");
}

TEST_F(AssociationsAndShortcutsTest, ShortcutFolderThatCannotBeCreatedEndsWithItsPath) {
    dir.Write("plainfile", "x");
    folders.programs = dir / "plainfile/applications";
    try {
        Make().CreateStartMenuShortcuts();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_EQ(e.file(), dir / "plainfile/applications/Kobaltron");
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(AssociationsAndShortcutsTest, ActorGoesIntoTheActorsFolderWhenItExists) {
    fs::create_directories(programs + "/Kobaltron/Actors");
    const std::string actor = ActorFile("samples/bob.kact", "Bob the Blue");
    RecordingDesktop desktop;
    Make(registry, &desktop).AddToStartMenu(actor);

    EXPECT_EQ(ReadBytes(programs + "/Kobaltron/Actors/Bob the Blue.url"),
              "[InternetShortcut]\r\nURL=file:///" + actor + "\r\nIconIndex=0\r\nIconFile=" + installdir +
                  "actors\\bob\\bob.ico\r\n");
    ASSERT_EQ(desktop.entries.size(), 1u);
    // Handed to the launcher: an actor file is never run as a program.
    EXPECT_EQ(desktop.entries[0].open, MenuOpen::Launcher);
    EXPECT_EQ(desktop.entries[0].launcher, installdir + "resource\\kobaltron");
    EXPECT_EQ(desktop.entries[0].target, "file:///" + actor);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Bob the Blue has been added to the start menu!");
    EXPECT_EQ(boxes.shown[0].title, "!");
    EXPECT_EQ(settings.actorname,
              "Bob the Blue");  // the program's own store, lines after [end] unread
}

TEST_F(AssociationsAndShortcutsTest, ActorGoesIntoTheProgramsFolderWithoutActorsFolder) {
    const std::string actor = ActorFile("BOB.KAC", "Bob");
    Make().AddToStartMenu(actor);
    EXPECT_TRUE(fs::exists(programs + "/Bob.url"));
    EXPECT_FALSE(fs::exists(programs + "/Kobaltron"));
}

TEST_F(AssociationsAndShortcutsTest, ActorWithAbsolutePathKeepsItsIconPath) {
    const std::string actor = ActorFile("bob.kact", "Bob", "/opt/actors/bob/");
    Make().AddToStartMenu(actor);
    EXPECT_NE(ReadBytes(programs + "/Bob.url").find("IconFile=/opt/actors/bob/bob.ico\r\n"), std::string::npos);
}

TEST_F(AssociationsAndShortcutsTest, ACopiedActorsIconIsTheOneBesideIt) {
    const std::string actor = ActorFile("Downloads/zed/zed.kact", "Zed", "actors\\zed\\");
    dir.Write("Downloads/zed/bob.ico", "icon");
    Make().AddToStartMenu(actor);
    EXPECT_NE(ReadBytes(programs + "/Zed.url").find("IconFile=" + dir / "Downloads/zed/bob.ico\r\n"), std::string::npos)
        << ReadBytes(programs + "/Zed.url");
}

TEST_F(AssociationsAndShortcutsTest, ActorNameCannotLeaveTheProgramsFolder) {
    const std::string actor = ActorFile("bob.kact", "..\\..\\evil/x");
    Make().AddToStartMenu(actor);
    EXPECT_TRUE(fs::exists(programs + "/..-..-evil-x.url"));
    EXPECT_FALSE(fs::exists(dir / "evil"));
}

TEST_F(AssociationsAndShortcutsTest, ActorWithoutEndLineIsARuntimeErrorNamingIt) {
    const std::string actor = dir.Write("bob.kact", "actorname=Bob\r\n");
    try {
        Make().AddToStartMenu(actor);
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::InputPastEndOfFile);
        EXPECT_EQ(e.file(), actor);
    }
    EXPECT_TRUE(fs::is_empty(programs));
}

TEST_F(AssociationsAndShortcutsTest, PlaylistNameIsCutAtItsFirstDot) {
    fs::create_directories(programs + "/Kobaltron/Actors");
    const std::string list = dir.Write("lists/My.List.kpls", "bob.kact\r\n");
    RecordingDesktop desktop;
    Make(registry, &desktop).AddToStartMenu(list);
    ASSERT_EQ(desktop.entries.size(), 1u);
    EXPECT_EQ(desktop.entries[0].open, MenuOpen::Launcher);
    EXPECT_EQ(ReadBytes(programs + "/Kobaltron/Actors/My.url"), "[InternetShortcut]\r\nURL=file:///" + list +
                                                                    "\r\nIconIndex=0\r\nIconFile=" + installdir +
                                                                    "resource\\icon_playlist.ico\r\n");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "The playlist has been added to the start menu!");

    const std::string shortForm = dir.Write("Party.KPL", "bob.kact\r\n");
    Make().AddToStartMenu(shortForm);
    EXPECT_TRUE(fs::exists(programs + "/Kobaltron/Actors/Party.url"));
}

TEST_F(AssociationsAndShortcutsTest, OtherFilesAndMissingFiles) {
    const std::string text = dir.Write("notes.txt", "x");
    Make().AddToStartMenu(text);
    EXPECT_TRUE(boxes.shown.empty());  // neither an actor nor a playlist: nothing at all
    EXPECT_TRUE(fs::is_empty(programs));

    EXPECT_THROW(Make().AddToStartMenu(dir / "gone.kact"), ProgramEnd);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "File not found");
    EXPECT_EQ(boxes.shown[0].title, "Kobalconfig");
}

TEST_F(AssociationsAndShortcutsTest, RelativeFileNameBecomesAnAbsoluteAddress) {
    dir.Write("here/Mix.kpls", "x\r\n");
    const fs::path old = fs::current_path();
    fs::current_path(dir / "here");
    Make().AddToStartMenu("Mix.kpls");
    fs::current_path(old);
    EXPECT_NE(ReadBytes(programs + "/Mix.url").find("URL=file:///" + dir / "here/Mix.kpls\r\n"), std::string::npos);
}

TEST(PathToFileUrl, OnlyBackslashesChange) {
    EXPECT_EQ(PathToFileUrl("C:\\a b\\c.kact"), "file:///C:/a b/c.kact");
    EXPECT_EQ(PathToFileUrl("%20#?"), "file:///%20#?");
    EXPECT_EQ(PathToFileUrl(""), "file:///");
}

TEST(SpecialFolders, TrailingSeparatorAndUnknownFolders) {
    FakeFolders folders;
    cspecialfolders special(folders);
    EXPECT_EQ(special.GetSpecialFolder(CSIDL_PROGRAMS), "");  // lookup fails
    folders.programs = "/home/u/.local/share/applications";
    EXPECT_EQ(special.GetSpecialFolder(CSIDL_PROGRAMS), "/home/u/.local/share/applications\\");
    folders.programs = "/p/";
    EXPECT_EQ(special.GetSpecialFolder(CSIDL_PROGRAMS), "/p/");
    EXPECT_EQ(special.GetSpecialFolder(0), "");
}

}  // namespace
}  // namespace kobal::shell
