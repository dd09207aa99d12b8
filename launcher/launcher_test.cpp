#include "launcher/launcher.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "common/runtime_error.h"
#include "common/test_files.h"

using namespace kobal;
using namespace kobal::launcher;

namespace {

// Everything the launcher did to the outside, in order.
struct World : MessageBoxPort, InstallPathStore, ProcessStarter, SplashPort {
    std::vector<std::string> events;
    std::vector<std::pair<std::string, std::string>> messages;  // text, title
    std::vector<std::pair<std::string, std::string>> started;   // program, actor file
    std::vector<SplashContent> splashes;
    std::optional<std::string> installPath;
    bool failStart = false;

    void ShowMessage(const std::string& text, const std::string& title) override {
        messages.emplace_back(text, title);
        events.push_back("message " + title);
    }
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> ReadApplicationPath() override { return installPath; }
    void WriteApplicationPath(const std::string& p) override { installPath = p; }
    void StartProcess(const std::string& program, const std::string& actorfile) override {
        if (failStart) throw RuntimeError(ErrorNumber::FileNotFound, program);
        started.emplace_back(program, actorfile);
        events.push_back("start " + actorfile);
    }
    void ShowSplash(const SplashContent& content) override {
        splashes.push_back(content);
        events.push_back("splash");
    }
    std::vector<std::string> StartedFiles() const {
        std::vector<std::string> files;
        for (const auto& s : started) files.push_back(s.second);
        return files;
    }
};

// Runs a test in another working directory and comes back.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(old_); }

private:
    std::filesystem::path old_;
};

std::string ActorFile(const std::string& version, const std::string& name, const std::string& more = "") {
    std::string text;
    if (!version.empty()) text += "version=" + version + "\r\n";
    return text + "actorname=" + name + "\r\nactorpath=actors\\" + name + "\\\r\nsplashscreen=splash.gif\r\n" +
           more + "[end]\r\n";
}

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A blank in the install directory must not matter anywhere.
        install = dir.path() + "/kobal tron";
        installdir = install + "\\";
        dir.Write("kobal tron/resource/kobaltron", "");
        Config(0);
        world.installPath = install;
    }
    void Config(int showsplash) {
        dir.Write("kobal tron/resource/config.kcfg", "priorityup =100\r\nshowsplash= " + std::to_string(showsplash) +
                                                         " \r\n[end]\r\n");
    }
    std::string Write(const std::string& name, const std::string& content) { return dir.Write(name, content); }
    std::string ActorProgram() const { return install + "/resource/kobalactor"; }

    Koballaunch Launcher() { return Koballaunch({world, world, world, world, "/nowhere"}); }
    // Runs the start procedure; the status when it ended early, else nullopt.
    std::optional<int> Launch(const std::string& commandLine) {
        Koballaunch launcher = Launcher();
        try {
            launcher.LaunchFromCommandLine(commandLine);
        } catch (const ProgramEnd& end) {
            return end.status;
        }
        last = launcher.Splash();
        return std::nullopt;
    }

    TempDir dir;
    World world;
    std::string install;
    std::string installdir;
    SplashContent last;
};

}  // namespace

TEST(LauncherText, QuotesEndingsAndCommandLine) {
    EXPECT_EQ(StripQuotes("\"/a/b c.kact\""), "/a/b c.kact");
    EXPECT_EQ(StripQuotes("\"/a/b.kact"), "/a/b.kact");
    EXPECT_EQ(StripQuotes("/a/b.kact\""), "/a/b.kact");
    EXPECT_EQ(StripQuotes("\"\"x\"\""), "\"x\"");  // one at each end only
    EXPECT_EQ(StripQuotes("\""), "");

    for (const char* name : {"a.kact", "A.KACT", "a.Kac", "b.c.KAC"})
        EXPECT_EQ(ClassifyTarget(name), TargetKind::ActorFile) << name;
    for (const char* name : {"a.kpls", "A.KPLS", "a.kPl"})
        EXPECT_EQ(ClassifyTarget(name), TargetKind::Playlist) << name;
    for (const char* name : {"akact", "a.kacts", "a.txt", "kpl", ""})
        EXPECT_EQ(ClassifyTarget(name), TargetKind::Neither) << name;

    const char* argv[] = {"kobaltron", "/home/me/my", "actor.kact"};
    EXPECT_EQ(CommandLineFrom(3, argv), "/home/me/my actor.kact");
    EXPECT_EQ(CommandLineFrom(1, argv), "");
}

TEST_F(LauncherTest, QuotedFullNameStartsTheActorInTheInstalledProgram) {
    const auto bob = Write("my actors/bob.kact", ActorFile("Kobaltron V1.0", "Bob"));
    EXPECT_EQ(Launch("\"" + bob + "\""), std::nullopt);
    ASSERT_EQ(world.started.size(), 1u);
    EXPECT_EQ(world.started[0].first, ActorProgram());
    EXPECT_EQ(world.started[0].second, bob);
    EXPECT_TRUE(world.messages.empty());
    EXPECT_TRUE(world.splashes.empty());
}

TEST_F(LauncherTest, UsageForEmptyOrMissingNamesStartsNothing) {
    for (const std::string& line : std::vector<std::string>{"", "\"\"", "\"", dir / "nobody.kact", dir.path()}) {
        world.messages.clear();
        EXPECT_EQ(Launch(line), kRefusedStatus) << line;
        ASSERT_EQ(world.messages.size(), 1u) << line;
        EXPECT_EQ(world.messages[0].first, "Usage: Kobaltron:[Actorfile.kact]\rUsage: Kobaltron:[Actorlist.kpls]");
        EXPECT_EQ(world.messages[0].second, "!");
    }
    EXPECT_TRUE(world.started.empty());
}

TEST_F(LauncherTest, MissingOwnProgramWarnsAndGoesOn) {
    std::filesystem::remove(install + "/resource/kobaltron");
    const auto bob = Write("bob.kact", ActorFile("Kobaltron V1.0", "Bob"));
    EXPECT_EQ(Launch(bob), std::nullopt);
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0], std::make_pair(std::string(kNoApplicationText), std::string("!")));
    EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{bob});

    // The own program is found without regard to letter case.
    Write("kobal tron/resource/KobalTron", "");
    world.messages.clear();
    EXPECT_EQ(Launch(bob), std::nullopt);
    EXPECT_TRUE(world.messages.empty());
}

TEST_F(LauncherTest, InstallPathSettingMissingUsesTheDefault) {
    world.installPath.reset();
    const auto bob = Write("bob.kact", ActorFile("Kobaltron V1.0", "Bob"));
    // "/nowhere" has neither the program nor the configuration file.
    try {
        Launch(bob);
        FAIL() << "the configuration file was not missed";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::PathNotFound);
        EXPECT_NE(e.message().find("/nowhere//resource/config.kcfg"), std::string::npos) << e.message();
    }
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0].first, kNoApplicationText);
    EXPECT_TRUE(world.started.empty());
}

TEST_F(LauncherTest, RelativeNameIsTestedHereButReadBelowTheInstallDirectory) {
    const auto work = dir.path() + "/work";
    Write("work/bob.kact", ActorFile("Kobaltron V1.0", "Here"));
    WorkingDirectory cd(work);

    // Found in the working directory, missing below installdir.
    EXPECT_EQ(Launch("bob.kact"), kRefusedStatus);
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0], std::make_pair("File not found: " + installdir + "bob.kact", std::string("Error")));
    EXPECT_TRUE(world.started.empty());

    // Present in both: the installed one is read and started.
    Write("kobal tron/bob.kact", ActorFile("Kobaltron V1.0", "Installed"));
    world.messages.clear();
    Config(1);
    EXPECT_EQ(Launch("bob.kact"), std::nullopt);
    EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{installdir + "bob.kact"});
    EXPECT_EQ(last.caption, "Loading... Installed");

    // Missing in the working directory: usage, even though it is installed.
    world.messages.clear();
    EXPECT_EQ(Launch("kobal tron/bob.kact"), kRefusedStatus);
    EXPECT_EQ(world.messages[0].second, "!");
}

TEST_F(LauncherTest, ActorFileEndingsInAnyCase) {
    for (const char* name : {"a.KACT", "b.Kac"}) {
        world.started.clear();
        const auto path = Write(name, ActorFile("Kobaltron V1.0", name));
        EXPECT_EQ(Launch(path), std::nullopt);
        EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{path});
    }
    // An actor file named like a playlist is read as one and fails.
    const auto wrong = Write("c.KPL", ActorFile("Kobaltron V1.0", "c"));
    world.started.clear();
    EXPECT_EQ(Launch(wrong), kRefusedStatus);
    EXPECT_EQ(world.messages.back().first, "File not found: version=Kobaltron V1.0");
}

TEST_F(LauncherTest, VersionMustMatchExactly) {
    const auto lower = Write("lower.kact", ActorFile("kobaltron v1.0", "Low"));
    EXPECT_EQ(Launch(lower), std::nullopt);
    const auto none = Write("none.kact", ActorFile("", "None"));
    EXPECT_EQ(Launch(none), std::nullopt);
    EXPECT_TRUE(world.started.empty());
    ASSERT_EQ(world.messages.size(), 2u);
    EXPECT_EQ(world.messages[0],
              std::make_pair(std::string("Kobaltron is not compatible with this version (kobaltron v1.0)."),
                             std::string("!")));
    EXPECT_EQ(world.messages[1].first, "Kobaltron is not compatible with this version ().");
}

TEST_F(LauncherTest, PlaylistFieldsStartActorsInOrder) {
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    const auto comma = Write("with, comma.kact", ActorFile("Kobaltron V1.0", "Comma"));
    const auto c = Write("c.kac", ActorFile("Kobaltron V1.0", "C"));
    const auto list = Write("trio.kpls", "  " + a + ",\"" + comma + "\"\r\n\r\n   " + c + "\r\n");
    EXPECT_EQ(Launch(list), std::nullopt);
    EXPECT_EQ(world.StartedFiles(), (std::vector<std::string>{a, comma, c}));
    for (const auto& s : world.started) EXPECT_EQ(s.first, ActorProgram());
    EXPECT_TRUE(world.messages.empty());
}

TEST_F(LauncherTest, PlaylistEntriesAreNotPutUnderTheInstallDirectory) {
    Write("work/a.kact", ActorFile("Kobaltron V1.0", "A"));
    Write("work/sub/b.kact", ActorFile("Kobaltron V1.0", "B"));
    const auto list = Write("work/list.kpl", "a.kact,sub\\b.kact");
    WorkingDirectory cd(dir.path() + "/work");
    EXPECT_EQ(Launch(list), std::nullopt);
    // Passed on as written: the actor inherits the working directory.
    EXPECT_EQ(world.StartedFiles(), (std::vector<std::string>{"a.kact", "sub\\b.kact"}));
}

TEST_F(LauncherTest, IncompatibleEntryIsSkippedWithOneMessage) {
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    const auto old = Write("old.kact", ActorFile("Kobaltron V0.9", "Old"));
    const auto c = Write("c.kact", ActorFile("Kobaltron V1.0", "C"));
    EXPECT_EQ(Launch(Write("l.kpls", a + "\r\n" + old + "\r\n" + c)), std::nullopt);
    EXPECT_EQ(world.StartedFiles(), (std::vector<std::string>{a, c}));
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0].first, "Kobaltron is not compatible with this version (Kobaltron V0.9).");
}

TEST_F(LauncherTest, LaterFileWithoutVersionIsJudgedByThePreviousOne) {
    const auto good = Write("good.kact", ActorFile("Kobaltron V1.0", "Good"));
    const auto old = Write("old.kact", ActorFile("Kobaltron V0.9", "Old"));
    const auto bare = Write("bare.kact", ActorFile("", "Bare"));
    EXPECT_EQ(Launch(Write("l1.kpls", good + "," + bare)), std::nullopt);
    EXPECT_EQ(world.StartedFiles(), (std::vector<std::string>{good, bare}));

    world.started.clear();
    EXPECT_EQ(Launch(Write("l2.kpls", old + "," + bare)), std::nullopt);
    EXPECT_TRUE(world.started.empty());
    ASSERT_EQ(world.messages.size(), 2u);
    EXPECT_EQ(world.messages[1].first, "Kobaltron is not compatible with this version (Kobaltron V0.9).");
}

TEST_F(LauncherTest, MissingEntryEndsTheRunAfterEarlierStarts) {
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    const auto c = Write("c.kact", ActorFile("Kobaltron V1.0", "C"));
    const auto missing = dir / "gone.kact";
    EXPECT_EQ(Launch(Write("l.kpls", a + "\r\n" + missing + "\r\n" + c + "\r\n")), kRefusedStatus);
    EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{a});
    ASSERT_EQ(world.messages.size(), 1u);
    EXPECT_EQ(world.messages[0], std::make_pair("File not found: " + missing, std::string("Error")));
}

TEST_F(LauncherTest, EmptyPlaylistStartsNothingAfterTheSplash) {
    Config(1);
    EXPECT_EQ(Launch(Write("empty.kpls", "\r\n")), std::nullopt);
    EXPECT_EQ(world.events, std::vector<std::string>{"splash"});
}

TEST_F(LauncherTest, SplashOnlyForShowsplashOneAndBeforeTheFirstStart) {
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    const auto b = Write("b.kact", ActorFile("Kobaltron V1.0", "B"));
    const auto list = Write("l.kpls", a + "," + b);
    for (int value : {0, 2, -1}) {
        Config(value);
        world.events.clear();
        EXPECT_EQ(Launch(list), std::nullopt);
        EXPECT_EQ(world.events, (std::vector<std::string>{"start " + a, "start " + b})) << value;
    }
    Config(1);
    world.events.clear();
    EXPECT_EQ(Launch(list), std::nullopt);
    EXPECT_EQ(world.events, (std::vector<std::string>{"splash", "start " + a, "start " + b}));
    // The splash shows the playlist's own texts, not those of its entries.
    EXPECT_EQ(world.splashes.back(),
              (SplashContent{"Loading... ", installdir + "resource\\splash.gif", installdir + "resource\\playlist.jpg"}));
}

TEST_F(LauncherTest, SplashTextsForAnActorFile) {
    Config(1);
    EXPECT_EQ(Launch(Write("bob.kact", ActorFile("Kobaltron V1.0", "Bob"))), std::nullopt);
    ASSERT_EQ(world.splashes.size(), 1u);
    EXPECT_EQ(world.splashes[0].caption, "Loading... Bob");
    EXPECT_EQ(world.splashes[0].actorPicture, installdir + "actors\\Bob\\splash.gif");

    // An actorpath with a drive is kept; without splashscreen the picture
    // name is the directory alone (the splash window then fails to load it).
    Launch(Write("drive.kact", "version=Kobaltron V1.0\r\nactorname=D\r\nactorpath=C:\\actors\\d\\\r\n[end]\r\n"));
    EXPECT_EQ(world.splashes[1].actorPicture, "C:\\actors\\d\\");
    // No actorpath at all: installdir.
    Launch(Write("bare.kact", "version=Kobaltron V1.0\r\nsplashscreen=s.gif\r\n[end]\r\n"));
    EXPECT_EQ(world.splashes[2], (SplashContent{"Loading... ", installdir + "resource\\splash.gif", installdir + "s.gif"}));
    EXPECT_EQ(world.started.size(), 3u);
}

TEST_F(LauncherTest, NeitherEndingIsReadAsAPlaylistWithEmptySplashTexts) {
    Config(1);
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    const auto list = Write("list.txt", a + "\r\n");
    EXPECT_EQ(Launch(list), std::nullopt);
    EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{a});
    ASSERT_EQ(world.splashes.size(), 1u);
    EXPECT_EQ(world.splashes[0], (SplashContent{"Loading... ", installdir + "resource\\splash.gif", ""}));
}

TEST_F(LauncherTest, UnreadableFilesRaiseErrorsNamingThem) {
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    const auto noEnd = Write("noend.kact", "version=Kobaltron V1.0\r\nactorname=X\r\n");
    auto expectError = [&](const std::string& commandLine, ErrorNumber number, const std::string& file) {
        try {
            Launch(commandLine);
            ADD_FAILURE() << commandLine << " ended without an error";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), number) << e.message();
            EXPECT_NE(e.message().find(file), std::string::npos) << e.message();
        }
    };
    expectError(noEnd, ErrorNumber::InputPastEndOfFile, noEnd);
    // In a playlist: the actor before it has been started and stays so.
    expectError(Write("l.kpls", a + "," + noEnd + "," + a), ErrorNumber::InputPastEndOfFile, noEnd);
    EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{a});

    // A relative playlist that exists here but not below the install directory.
    Write("work/rel.kpls", a);
    {
        WorkingDirectory cd(dir.path() + "/work");
        expectError("rel.kpls", ErrorNumber::FileNotFound, install + "/rel.kpls");
    }

    std::filesystem::remove(install + "/resource/config.kcfg");
    expectError(a, ErrorNumber::FileNotFound, "resource/config.kcfg");

    Write("kobal tron/resource/config.kcfg", "showsplash=1\r\n");
    expectError(a, ErrorNumber::InputPastEndOfFile, "resource/config.kcfg");
    EXPECT_EQ(world.StartedFiles(), std::vector<std::string>{a});
}

TEST_F(LauncherTest, FailedStartEndsTheRun) {
    const auto a = Write("a.kact", ActorFile("Kobaltron V1.0", "A"));
    world.failStart = true;
    EXPECT_THROW(Launch(Write("l.kpls", a + "," + a)), RuntimeError);
    EXPECT_TRUE(world.started.empty());
}
