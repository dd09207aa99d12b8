#include "installer/install_form.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/paths.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

namespace kobal::installer {
namespace {

namespace fs = std::filesystem;

class FakeView : public InstallView {
  public:
    std::string Source() override { return source; }
    void SetSource(const std::string& text) override { source = text; }
    std::string Dest() override { return dest; }
    void SetDest(const std::string& text) override { dest = text; }
    void SetSplashText(const std::string& text) override { splashText = text; }
    void SetMsg(const std::string& text) override { msgs.push_back(text); }
    void LoadSplashPic(const std::string& path) override { splashPic = Load(path); }
    void LoadSplashTitle(const std::string& path) override { splashTitle = Load(path); }

    static std::string Load(const std::string& path) {
        if (!FileExists(path)) throw RuntimeError(ErrorNumber::FileNotFound, ResolvePath(path));
        return ResolvePath(path);
    }
    std::string source, dest, splashText, splashPic, splashTitle;
    std::vector<std::string> msgs;
};

struct Box {
    std::string text, title;
};

class ScriptedBoxes : public MessageBoxPort {
  public:
    void ShowMessage(const std::string& text, const std::string& title) override { shown.push_back({text, title}); }
    bool AskOkCancel(const std::string& text, const std::string& title) override { return AskYesNo(text, title); }
    bool AskYesNo(const std::string& text, const std::string& title) override {
        shown.push_back({text, title});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return false;
        }
        const bool a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<bool> answers;
    std::vector<Box> shown;
};

class FakeInstallPath : public InstallPathStore {
  public:
    std::optional<std::string> ReadApplicationPath() override { return value; }
    void WriteApplicationPath(const std::string& path) override { value = path; }
    std::optional<std::string> value;
};

// Records each call with the install path setting in force at that moment.
class RecordingShell : public config::ShellIntegration {
  public:
    explicit RecordingShell(FakeInstallPath& path) : path_(path) {}
    void RegisterFileAssociations() override { calls.push_back("associations"); }
    void CreateStartMenuShortcuts() override { calls.push_back("shortcuts"); }
    void AddToStartMenu(const std::string& fileName) override {
        calls.push_back("add " + fileName + " @" + path_.value.value_or("(none)"));
        if (endOnAdd) throw ProgramEnd{1};
    }
    std::vector<std::string> calls;
    bool endOnAdd = false;

  private:
    FakeInstallPath& path_;
};

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

class InstallFormTest : public ::testing::Test {
  protected:
    void SetUp() override {
        installPath.value = dest;
        view.source = medium;
        view.dest = dest;
    }
    // A medium with the given copy list and command list (CRLF lines).
    void Medium(const std::string& files, const std::string& commands = "") {
        dir.Write("medium/Install/Files.dat", files);
        dir.Write("medium/Install/Commands.dat", commands);
    }
    ClickResult Click() { return form.Install_Click(); }

    kobal::TempDir dir;
    const std::string medium = dir / "medium";
    const std::string dest = dir / "dest";
    FakeView view;
    ScriptedBoxes boxes;
    FakeInstallPath installPath;
    RecordingShell shell{installPath};
    InstallForm form{InstallContext{view, boxes, installPath, "/default/kobaltron", shell}};
};

TEST_F(InstallFormTest, LoadFillsTheWindowAndSurvivesMissingExtras) {
    dir.Write("medium/Install/Title.jpg", "t");
    dir.Write("medium/Install/Info.txt", "Kobaltron 1.2\r\nActors for your desktop\r\n");
    installPath.value.reset();
    form.Form_Load(medium + "/");

    EXPECT_EQ(view.source, medium);  // the trailing separator goes
    EXPECT_EQ(view.dest, "/default/kobaltron");
    EXPECT_EQ(view.splashPic, "");  // Splash.jpg missing: the rest still loads
    EXPECT_EQ(view.splashTitle, medium + "/Install/Title.jpg");
    EXPECT_EQ(view.splashText, "Kobaltron 1.2\rActors for your desktop\r");

    installPath.value = "/home/u/kobaltron";
    form.Form_Load("D:\\");
    EXPECT_EQ(view.source, "D:");
    EXPECT_EQ(view.dest, "/home/u/kobaltron");
    EXPECT_EQ(view.splashText, "");
}

TEST_F(InstallFormTest, CopyListCreatesFoldersInOrderAndCopiesFiles) {
    dir.Write("medium/readme.txt", "read me");
    dir.Write("medium/resource/config.kcfg", "audioon=1\r\n[end]\r\n");
    dir.Write("medium/actors/bob/bob.kact", "actorname=Bob\r\n");
    dir.Write("medium/resource/kobaltron", "#!/bin/sh\n");
    fs::permissions(medium + "/resource/kobaltron", fs::perms::owner_read | fs::perms::owner_exec);
    Medium(
        "resource\r\nresource\\config.kcfg\r\n."
        "\\resource\\kobaltron\r\n\r\nactors\r\nactors\\bob\r\n"
        "actors\\bob\\bob.kact\r\nreadme.txt\r\n");

    EXPECT_EQ(Click(), ClickResult::Done);
    EXPECT_TRUE(boxes.shown.empty());  // nothing existed: no question
    EXPECT_EQ(Read(dest + "/resource/config.kcfg"), "audioon=1\r\n[end]\r\n");
    EXPECT_EQ(Read(dest + "/actors/bob/bob.kact"), "actorname=Bob\r\n");
    EXPECT_EQ(Read(dest + "/readme.txt"), "read me");
    // A program keeps its execute permission and stays replaceable.
    const fs::perms p = fs::status(dest + "/resource/kobaltron").permissions();
    EXPECT_NE(p & fs::perms::owner_exec, fs::perms::none);
    EXPECT_NE(p & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(view.msgs,
              (std::vector<std::string>{"Making Directory...resource", "", "Copying File...resource\\config.kcfg", "",
                                        "Copying File....\\resource\\kobaltron", "", "Making Directory...", "",
                                        "Making Directory...actors", "", "Making Directory...actors\\bob", "",
                                        "Copying File...actors\\bob\\bob.kact", "", "Copying File...readme.txt", ""}));
}

TEST_F(InstallFormTest, FileWhoseFolderIsMissingEndsTheRunNamingIt) {
    dir.Write("medium/a.txt", "a");
    dir.Write("medium/sub/b.txt", "b");
    Medium("a.txt\r\nsub\\b.txt\r\n");
    try {
        Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_EQ(e.file(), dest + "/sub/b.txt");
    }
    EXPECT_EQ(Read(dest + "/a.txt"), "a");  // what was copied before stays
}

TEST_F(InstallFormTest, OverwriteAllAsksOnceAndReplacesEveryFile) {
    for (const char* f : {"a.txt", "b.txt", "c.txt"}) {
        dir.Write(std::string("medium/") + f, "new");
        dir.Write(std::string("dest/") + f, "old");
    }
    Medium("a.txt\r\nb.txt\r\nc.txt\r\n");
    boxes.answers = {true};
    Click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Some files allready exist,automatically overwrite them all?");
    EXPECT_EQ(boxes.shown[0].title, "?");
    for (const char* f : {"a.txt", "b.txt", "c.txt"}) EXPECT_EQ(Read(dest + "/" + f), "new");
}

TEST_F(InstallFormTest, AskingPerFileKeepsTheFilesAnsweredNo) {
    for (const char* f : {"a.txt", "b.txt", "fresh.txt"}) dir.Write(std::string("medium/") + f, "new");
    dir.Write("dest/a.txt", "old");
    dir.Write("dest/B.TXT", "old");  // the same file for the line b.txt
    Medium("a.txt\r\nfresh.txt\r\nb.txt\r\n");
    boxes.answers = {false, false, true};
    Click();
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[1].text, "File a.txt allready exists, Overwrite?");
    EXPECT_EQ(boxes.shown[2].text, "File b.txt allready exists, Overwrite?");
    EXPECT_EQ(Read(dest + "/a.txt"), "old");
    EXPECT_EQ(Read(dest + "/fresh.txt"), "new");
    EXPECT_EQ(Read(dest + "/B.TXT"), "new");  // replaced in place, not beside it
    EXPECT_FALSE(fs::exists(dest + "/b.txt"));

    // The mode lives for one press: the next press asks again.
    boxes.shown.clear();
    boxes.answers = {true};
    Click();
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(Read(dest + "/a.txt"), "new");
}

TEST_F(InstallFormTest, CommandsRunInFileOrder) {
    installPath.value = "/old/place";
    Medium("",
           "install\r\nactors\\bob.kact\r\nINSTALL\r\nlists\\party.kpls\r\nBOB.KACT\r\nreadme."
           "txt\r\n");
    Click();
    EXPECT_EQ(installPath.value, dest);
    EXPECT_EQ(shell.calls,
              (std::vector<std::string>{"associations", "shortcuts", "add " + dest + "\\actors\\bob.kact @" + dest,
                                        "add " + dest + "\\lists\\party.kpls @" + dest}));
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Registry key added");
    EXPECT_EQ(boxes.shown[0].title, "!");
}

TEST_F(InstallFormTest, ActorBeforeInstallUsesTheSettingStoredBefore) {
    installPath.value = "/old/place";
    Medium("", "bob.kact\r\ninstall\r\n");
    Click();
    EXPECT_EQ(shell.calls,
              (std::vector<std::string>{"add " + dest + "\\bob.kact @/old/place", "associations", "shortcuts"}));
}

TEST_F(InstallFormTest, AddToStartMenuEndingTheProgramStopsTheCommands) {
    shell.endOnAdd = true;
    Medium("", "a.kact\r\ninstall\r\n");
    EXPECT_THROW(Click(), ProgramEnd);
    EXPECT_EQ(shell.calls.size(), 1u);
}

TEST_F(InstallFormTest, SourceNotFoundKeepsTheWindowOpen) {
    view.source = dir / "nowhere\\";
    view.dest = dir / "fresh";
    EXPECT_EQ(Click(), ClickResult::KeepOpen);
    EXPECT_EQ(view.source, dir / "nowhere");  // the box loses its trailing backslash
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Source not found");
    EXPECT_EQ(boxes.shown[0].title, "Install");
    EXPECT_FALSE(fs::exists(dir / "fresh"));

    // Corrected and pressed again; a trailing backslash is accepted.
    Medium("x\r\n");
    view.source = medium + "\\";
    EXPECT_EQ(Click(), ClickResult::Done);
    EXPECT_EQ(view.source, medium);
    EXPECT_TRUE(fs::is_directory(dir / "fresh/x"));
}

TEST_F(InstallFormTest, MissingPiecesOfTheMediumNameTheFile) {
    dir.Write("medium/a.txt", "a");
    Medium("a.txt\r\n");
    fs::remove(medium + "/Install/Commands.dat");
    try {
        Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.file(), medium + "/Install/Commands.dat");
    }
    EXPECT_EQ(Read(dest + "/a.txt"), "a");

    Medium("gone.txt\r\n");
    try {
        Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.file(), medium + "/gone.txt");
    }
}

TEST_F(InstallFormTest, ReadOnlyDestinationFileIsAnErrorAndStaysAsItWas) {
    dir.Write("medium/a.txt", "new");
    dir.Write("dest/a.txt", "old");
    fs::permissions(dest + "/a.txt", fs::perms::owner_read);
    Medium("a.txt\r\n");
    boxes.answers = {true};
    try {
        Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathFileAccessError);
        EXPECT_EQ(e.file(), dest + "/a.txt");
    }
    EXPECT_EQ(Read(dest + "/a.txt"), "old");
}

TEST_F(InstallFormTest, LinesLeavingTheInstallFoldersAreRefused) {
    dir.Write("medium/ok.txt", "ok");
    dir.Write("outside.txt", "mine");
    Medium(
        "ok.txt\r\n..\\outside.txt\r\nsub\\..\\..\\outside.txt\r\n/etc/"
        "x.txt\r\n\\x.txt\r\nC:\\x.txt\r\n..\r\n",
        "install\r\n..\\..\\evil.kact\r\nok.kact\r\n");
    // Every line is looked at first: one that leads out installs nothing.
    EXPECT_EQ(Click(), ClickResult::Refused);
    ASSERT_EQ(boxes.shown.size(), 1u);
    const std::string& text = boxes.shown[0].text;
    EXPECT_EQ(boxes.shown[0].title, "!");
    EXPECT_NE(text.find(medium + "/Install/Files.dat, line 2: ..\\outside.txt\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Files.dat, line 7: ..\n"), std::string::npos) << text;
    EXPECT_NE(text.find(medium + "/Install/Commands.dat, line 2: ..\\..\\evil.kact\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("line 1:"), std::string::npos) << text;  // ok.txt and "install" are fine
    EXPECT_EQ(text.find("ok.kact"), std::string::npos) << text;
    EXPECT_NE(text.find("Nothing was installed."), std::string::npos);
    EXPECT_EQ(Read(dir / "outside.txt"), "mine");
    EXPECT_FALSE(fs::exists(dest));
    EXPECT_TRUE(shell.calls.empty());
    EXPECT_EQ(installPath.value, dest);

    EXPECT_TRUE(StaysInside(""));
    EXPECT_TRUE(StaysInside(".\\resource\\kobaltron"));
    EXPECT_TRUE(StaysInside("a..b\\c...txt"));
    EXPECT_FALSE(StaysInside("a/../../b.txt"));
}

// A folder in the destination that is a link to elsewhere (left by an
// earlier install, or by anyone) would carry the copies out of it.
TEST_F(InstallFormTest, LinesThroughLinksThatLeadOutAreRefused) {
    dir.Write("medium/actors/x.kact", "mine?");
    fs::create_directories(dir / "elsewhere");
    fs::create_directories(dest);
    fs::create_symlink(dir / "elsewhere", dest + "/actors");
    Medium("actors\r\nactors\\x.kact\r\n", "actors\\x.kact\r\n");
    EXPECT_EQ(Click(), ClickResult::Refused);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("Files.dat, line 2: actors\\x.kact"), std::string::npos);
    EXPECT_NE(boxes.shown[0].text.find("Commands.dat, line 1: actors\\x.kact"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));

    // A link that stays inside is only a folder.
    fs::remove(dest + "/actors");
    fs::create_directories(dest + "/real");
    fs::create_symlink(dest + "/real", dest + "/actors");
    boxes.shown.clear();
    EXPECT_EQ(Click(), ClickResult::Done);
    EXPECT_EQ(Read(dest + "/real/x.kact"), "mine?");
}

// The medium's own folder (or one inside it) as the destination would
// delete each file before copying it onto itself.
TEST_F(InstallFormTest, DestinationThatIsTheMediumIsRefusedAndNothingIsDeleted) {
    dir.Write("medium/a.txt", "a");
    dir.Write("medium/sub/b.txt", "b");
    Medium("a.txt\r\nsub\r\nsub\\b.txt\r\n", "install\r\n");
    boxes.answers = {true};
    for (const std::string& d : {medium, medium + "/", dir / "x/../medium", medium + "/sub", dir / "MEDIUM"}) {
        if (d == dir / "MEDIUM") fs::create_directory_symlink(medium, dir / "MEDIUM");
        view.dest = d;
        boxes.shown.clear();
        EXPECT_EQ(Click(), ClickResult::KeepOpen) << d;
        ASSERT_EQ(boxes.shown.size(), 1u) << d;
        EXPECT_NE(boxes.shown[0].text.find("install medium's own folder"), std::string::npos);
        EXPECT_EQ(Read(medium + "/a.txt"), "a");
        EXPECT_EQ(Read(medium + "/sub/b.txt"), "b");
        EXPECT_TRUE(shell.calls.empty());
    }
    // Around the medium, where the lines do not meet its files, is a destination like any.
    view.dest = dir.path();
    boxes.shown.clear();
    EXPECT_EQ(Click(), ClickResult::Done);
    EXPECT_EQ(Read(dir / "a.txt"), "a");
    EXPECT_EQ(Read(medium + "/a.txt"), "a");
}

// Removable media often mark every file executable: only programs keep it.
TEST_F(InstallFormTest, DataFilesLoseTheirExecuteBitsAndProgramsKeepThem) {
    for (const char* f : {"medium/resource/kobaltron", "medium/actors/bob.kact", "medium/help.txt"}) {
        dir.Write(f, std::string("#!/bin/sh\n"));
        fs::permissions(dir / f, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    }
    Medium("resource\r\n.\\resource\\kobaltron\r\nactors\r\nactors\\bob.kact\r\nhelp.txt\r\n");
    EXPECT_EQ(Click(), ClickResult::Done);
    const auto exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    EXPECT_EQ(fs::status(dest + "/resource/kobaltron").permissions() & exec,
              fs::perms::owner_exec | fs::perms::group_exec);
    EXPECT_EQ(fs::status(dest + "/actors/bob.kact").permissions() & exec, fs::perms::none);
    EXPECT_EQ(fs::status(dest + "/help.txt").permissions() & exec, fs::perms::none);
    EXPECT_NE(fs::status(dest + "/help.txt").permissions() & fs::perms::owner_write, fs::perms::none);
}

TEST_F(InstallFormTest, MissingDestinationIsCreatedOneLevelOnly) {
    Medium("");
    view.dest = dir / "new";
    Click();
    EXPECT_TRUE(fs::is_directory(dir / "new"));

    view.dest = dir / "deeper/still";
    try {
        Click();
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_EQ(e.file(), dir / "deeper/still");
    }
}

class RecordingManifest : public kobal::shell::ManifestLog {
  public:
    void Record(const std::string& installdir, const std::string& kind, const std::string& value) override {
        records.push_back(kind + " " + value + " @" + installdir);
    }
    std::vector<std::string> records;
};

TEST_F(InstallFormTest, TheManifestHoldsWhatThisRunMadeAndNothingThatWasThere) {
    RecordingManifest manifest;
    InstallForm recorded{InstallContext{view, boxes, installPath, "/default/kobaltron", shell, &manifest}};
    for (const char* f : {"new.txt", "kept.txt", "old/replaced.txt", "a.kact"})
        dir.Write(std::string("medium/") + f, "new");
    dir.Write("dest/kept.txt", "the user's");
    dir.Write("dest/old/replaced.txt", "old");
    Medium("old\r\nnew\r\nnew.txt\r\nkept.txt\r\nold\\replaced.txt\r\n", "install\r\na.kact\r\n");
    boxes.answers = {false, false, true};  // ask for each: keep kept.txt, replace replaced.txt

    EXPECT_EQ(recorded.Install_Click(), ClickResult::Done);
    const std::string at = " @" + dest;
    EXPECT_EQ(manifest.records,
              (std::vector<std::string>{"directory new" + at, "file new.txt" + at, "file old\\replaced.txt" + at,
                                        "registration install-path" + at, "registration file-associations" + at,
                                        "registration start-menu-shortcuts" + at,
                                        "registration start-menu-entry " + dest + "\\a.kact" + at}));
}

TEST_F(InstallFormTest, AFreshDestinationIsOnRecordAsMade) {
    RecordingManifest manifest;
    view.dest = dest + "/new place";
    InstallForm recorded{InstallContext{view, boxes, installPath, "/default/kobaltron", shell, &manifest}};
    fs::create_directories(dest);
    Medium("");
    recorded.Install_Click();
    EXPECT_EQ(manifest.records, (std::vector<std::string>{"directory  @" + dest + "/new place"}));
}

}  // namespace
}  // namespace kobal::installer
