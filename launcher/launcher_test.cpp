#include "launcher/launcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "common/runtime_error.h"
#include "common/test_files.h"

using namespace kobal;
using namespace kobal::launcher;
using Strings = std::vector<std::string>;

namespace {

// Everything the launcher did to the outside, in order.
struct World : MessageBoxPort, InstallPathStore, ProcessStarter, SplashPort {
    Strings events, messages, started;
    std::vector<SplashContent> splashes;
    std::optional<std::string> installPath;
    std::string program;
    bool failStart = false;

    void ShowMessage(const std::string& text, const std::string& title) override {
        messages.push_back(title + "|" + text);
        events.push_back("message");
    }
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    std::optional<std::string> ReadApplicationPath() override { return installPath; }
    void WriteApplicationPath(const std::string& p) override { installPath = p; }
    void StartProcess(const std::string& prog, const std::string& actorfile) override {
        if (failStart) throw RuntimeError(ErrorNumber::FileNotFound, prog);
        program = prog;
        started.push_back(actorfile);
        events.push_back("start " + actorfile);
    }
    void ShowSplash(const SplashContent& content) override {
        splashes.push_back(content);
        events.push_back("splash");
    }
};

class WorkingDirectory {
  public:
    explicit WorkingDirectory(const std::string& dir) : old_(std::filesystem::current_path()) {
        std::filesystem::current_path(dir);
    }
    ~WorkingDirectory() { std::filesystem::current_path(old_); }

  private:
    std::filesystem::path old_;
};

// An install directory with a blank in its name, its own program file and
// a configuration file; the world is kept across launches to collect.
class LauncherTest : public ::testing::Test {
  protected:
    void SetUp() override {
        install = dir.path() + "/kobal tron";
        installdir = install + "\\";
        dir.Write("kobal tron/resource/kobaltron", "");
        Config(0);
        world.installPath = install;
    }
    void Config(int showsplash) {
        dir.Write("kobal tron/resource/config.kcfg",
                  "priorityup =100\r\nshowsplash= " + std::to_string(showsplash) + " \r\n[end]\r\n");
    }
    // With its splash picture below the install directory.
    std::string Actor(const std::string& file, const std::string& version, const std::string& name = "A") {
        dir.Write("kobal tron/actors/" + name + "/splash.gif", "GIF89a");
        return dir.Write(file, (version.empty() ? "" : "version=" + version + "\r\n") + "actorname=" + name +
                                   "\r\nactorpath=actors\\" + name + "\\\r\nsplashscreen=splash.gif\r\n[end]\r\n");
    }
    // The exit status when the run ended early, nullopt when it returned.
    std::optional<int> Launch(const std::string& commandLine) {
        try {
            ActorLauncher({world, world, world, world, "/nowhere"}).LaunchFromCommandLine(commandLine);
        } catch (const ProgramEnd& end) {
            return end.status;
        }
        return std::nullopt;
    }
    RuntimeError LaunchError(const std::string& commandLine) {
        try {
            Launch(commandLine);
        } catch (const RuntimeError& e) {
            return e;
        }
        ADD_FAILURE() << commandLine << " raised no error";
        return RuntimeError(ErrorNumber::InvalidProcedureCall);
    }

    TempDir dir;
    World world;
    std::string install, installdir;
    const std::string ok = "Kobaltron V1.0";
};

}  // namespace

TEST(LauncherText, QuotesEndingsAndCommandLine) {
    EXPECT_EQ(StripQuotes("\"/a/b c.kact\""), "/a/b c.kact");
    EXPECT_EQ(StripQuotes("\"/a/b.kact"), "/a/b.kact");
    EXPECT_EQ(StripQuotes("/a/b.kact\""), "/a/b.kact");
    EXPECT_EQ(StripQuotes("\"\"x\"\""), "\"x\"");
    EXPECT_EQ(StripQuotes("\""), "");
    for (const char* name : {"a.kact", "A.KACT", "a.Kac", "b.c.KAC"})
        EXPECT_EQ(ClassifyTarget(name), TargetKind::ActorFile) << name;
    for (const char* name : {"a.kpls", "A.KPLS", "a.kPl"})
        EXPECT_EQ(ClassifyTarget(name), TargetKind::Playlist) << name;
    for (const char* name : {"akact", "x.kpls.txt", "kpl", ""})
        EXPECT_EQ(ClassifyTarget(name), TargetKind::Neither) << name;
    const char* argv[] = {"kobaltron", "/home/me/my", "actor.kact"};
    EXPECT_EQ(CommandLineFrom(3, argv), "/home/me/my actor.kact");
}

TEST_F(LauncherTest, QuotedNameStartsTheInstalledActorProgram_UsageOtherwise) {
    const auto bob = Actor("my actors/bob.KAC", ok);
    EXPECT_EQ(Launch("\"" + bob + "\""), std::nullopt);
    EXPECT_EQ(world.started, Strings{bob});
    EXPECT_EQ(world.program, install + "/resource/kobalactor");
    EXPECT_TRUE(world.messages.empty());

    for (const std::string& line : Strings{"", "\"\"", dir / "nobody.kact", dir.path()})
        EXPECT_EQ(Launch(line), kRefusedStatus) << line;
    EXPECT_EQ(world.messages, Strings(4, "!|Usage: Kobaltron:[Actorfile.kact]\rUsage: Kobaltron:[Actorlist.kpls]"));
    EXPECT_EQ(world.started.size(), 1u);
}

TEST_F(LauncherTest, MissingOwnProgramOnlyWarns) {
    std::filesystem::remove(install + "/resource/kobaltron");
    const auto bob = Actor("bob.kact", ok);
    EXPECT_EQ(Launch(bob), std::nullopt);
    EXPECT_EQ(world.messages, Strings{"!|Cannot find the application, Please run kobalconfig"});
    EXPECT_EQ(world.started, Strings{bob});
    dir.Write("kobal tron/resource/KobalTron", "");  // found without regard to letter case
    EXPECT_EQ(Launch(bob), std::nullopt);
    EXPECT_EQ(world.messages.size(), 1u);

    // No install path setting: the default, where nothing is installed.
    world.installPath.reset();
    const RuntimeError e = LaunchError(bob);
    EXPECT_NE(e.message().find("/nowhere//resource/config.kcfg"), std::string::npos) << e.message();
    EXPECT_EQ(world.messages.size(), 2u);
}

TEST_F(LauncherTest, RelativeNameIsReadWhereItIsFoundTheWorkingDirectoryFirst) {
    Actor("work/bob.kact", ok, "Here");
    Actor("kobal tron/actors/kobi/kobi.kact", ok, "Installed");
    dir.Write("elsewhere/.keep", "");
    {
        WorkingDirectory cd(dir / "work");
        // Only here: read here.
        EXPECT_EQ(Launch("bob.kact"), std::nullopt);
        // Only below the install directory: read there, not refused.
        EXPECT_EQ(Launch("actors/kobi/kobi.kact"), std::nullopt);
        EXPECT_EQ(Launch("\"actors\\kobi\\kobi.kact\""), std::nullopt);
    }
    EXPECT_EQ(world.started, (Strings{dir / "work/bob.kact", installdir + "actors/kobi/kobi.kact",
                                      installdir + "actors\\kobi\\kobi.kact"}));
    EXPECT_TRUE(world.messages.empty());
    world.started.clear();

    // In both places the working directory wins, for the splash too.
    Actor("kobal tron/bob.kact", ok, "Installed");
    Config(1);
    {
        WorkingDirectory cd(dir / "work");
        EXPECT_EQ(Launch("bob.kact"), std::nullopt);
    }
    EXPECT_EQ(world.started, Strings{dir / "work/bob.kact"});
    EXPECT_EQ(world.splashes.at(0).caption, "Loading... Here");

    // In neither: the usage box, as for any missing name.
    WorkingDirectory cd(dir / "elsewhere");
    EXPECT_EQ(Launch("gone.kact"), kRefusedStatus);
    EXPECT_EQ(Launch("work/gone.kact"), kRefusedStatus);
    EXPECT_EQ(world.messages, Strings(2, "!|" + std::string(kUsageText)));
    // A relative playlist below the install directory, with its relative entries.
    dir.Write("kobal tron/lists/two.kpls", "actors\\kobi\\kobi.kact\r\n");
    Config(0);
    world.started.clear();
    EXPECT_EQ(Launch("lists/two.kpls"), std::nullopt);
    EXPECT_EQ(world.started, Strings{installdir + "actors\\kobi\\kobi.kact"});
}

TEST_F(LauncherTest, VersionMustMatchExactlyAndCarriesOverToTheNextFile) {
    const auto lower = Actor("lower.kact", "kobaltron v1.0");
    const auto bare = Actor("bare.kact", "");
    const auto good = Actor("good.kact", ok);
    EXPECT_EQ(Launch(lower), std::nullopt);
    EXPECT_EQ(Launch(bare), std::nullopt);
    EXPECT_TRUE(world.started.empty());
    EXPECT_EQ(world.messages, (Strings{"!|Kobaltron is not compatible with this version (kobaltron v1.0).",
                                       "!|Kobaltron is not compatible with this version ()."}));
    // In a playlist a file without a version line is judged by the one before.
    EXPECT_EQ(Launch(dir.Write("l1.kpls", good + "," + bare + "," + lower + "," + bare)), std::nullopt);
    EXPECT_EQ(world.started, (Strings{good, bare}));
    EXPECT_EQ(world.messages.size(), 4u);
    EXPECT_EQ(world.messages.back(), world.messages.front());
}

TEST_F(LauncherTest, PlaylistStartsItsEntriesInOrderAsWritten) {
    const auto a = Actor("a.kact", ok);
    const auto comma = Actor("with, comma.kact", ok);
    const auto old = Actor("old.kact", "Kobaltron V0.9");
    Actor("work/sub/c.kact", ok);
    const auto list =
        dir.Write("work/trio.kpls", "  " + a + ",\"" + comma + "\"\r\n\r\n   " + old + "\r\nsub\\c.kact\r\n");
    WorkingDirectory cd(dir / "work");
    EXPECT_EQ(Launch(list), std::nullopt);
    // A relative entry is not put below installdir: the actor shares our working directory.
    EXPECT_EQ(world.started, (Strings{a, comma, "sub\\c.kact"}));
    EXPECT_EQ(world.messages, Strings{"!|Kobaltron is not compatible with this version (Kobaltron V0.9)."});
}

TEST_F(LauncherTest, EntriesMissingHereAreFoundBesideThePlaylistThenBelowTheInstall) {
    Actor("kobal tron/actors/kobi/kobi.kact", ok, "Kobi");
    Actor("lists/zed.kact", ok, "Zed");
    const std::string list = dir.Write("lists/mine.kpls", "zed.kact\r\nactors\\kobi\\kobi.kact\r\ngone.kact\r\n");
    WorkingDirectory cd(dir.path());  // neither list nor actors here
    EXPECT_EQ(Launch(list), kRefusedStatus);
    EXPECT_EQ(world.started, (Strings{dir / "lists/zed.kact", installdir + "actors\\kobi\\kobi.kact"}));
    EXPECT_EQ(world.messages, Strings{"Error|File not found: gone.kact"});
}

TEST_F(LauncherTest, TheUsersOwnSettingsWinOnceTheyExist) {
    const auto a = Actor("a.kact", ok);
    const std::string own = dir / "config/kobaltron/config.kcfg";
    auto launch = [&] { ActorLauncher({world, world, world, world, "/nowhere", {own, ""}}).LaunchFromCommandLine(a); };
    launch();
    EXPECT_TRUE(world.splashes.empty());  // the global file: no splash
    dir.Write("config/kobaltron/config.kcfg", "showsplash= 1 \r\n[end]\r\n");
    launch();
    EXPECT_EQ(world.splashes.size(), 1u);
}

TEST_F(LauncherTest, MissingEntryEndsTheRunAfterTheActorsBeforeIt) {
    const auto a = Actor("a.kact", ok);
    const auto missing = dir / "gone.kact";
    EXPECT_EQ(Launch(dir.Write("l.kpls", a + "\r\n" + missing + "\r\n" + a + "\r\n")), kRefusedStatus);
    EXPECT_EQ(world.started, Strings{a});
    EXPECT_EQ(world.messages, Strings{"Error|File not found: " + missing});
    // An actor file named like a playlist is read as one.
    EXPECT_EQ(Launch(Actor("c.KPL", ok)), kRefusedStatus);
    EXPECT_EQ(world.messages.back(), "Error|File not found: version=Kobaltron V1.0");
}

TEST_F(LauncherTest, SplashOnlyForShowsplashOneAndBeforeAnyStart) {
    const auto a = Actor("a.kact", ok, "Bob");
    const auto list = dir.Write("l.kpls", a + "," + a);
    for (int value : {0, 2, -1}) {
        Config(value);
        EXPECT_EQ(Launch(list), std::nullopt);
    }
    EXPECT_TRUE(world.splashes.empty());
    Config(1);
    world.events.clear();
    EXPECT_EQ(Launch(list), std::nullopt);
    EXPECT_EQ(world.events, (Strings{"splash", "start " + a, "start " + a}));
    EXPECT_EQ(Launch(dir.Write("empty.kpls", "\r\n")), std::nullopt);
    EXPECT_EQ(Launch(a), std::nullopt);
    EXPECT_EQ(Launch(dir.Write("list.txt", a)), std::nullopt);  // read as a playlist

    const std::string background = installdir + "resource\\splash.gif";
    const std::string playlistPicture = installdir + "resource\\playlist.jpg";
    EXPECT_EQ(world.splashes, (std::vector<SplashContent>{
                                  {"Loading... ", background, playlistPicture},
                                  {"Loading... ", background, playlistPicture},
                                  {"Loading... Bob", background, installdir + "actors\\Bob\\splash.gif"},
                                  {"Loading... ", background, ""},
                              }));
    EXPECT_EQ(world.events.back(), "start " + a);
}

TEST_F(LauncherTest, MissingSplashPictureRefusesTheActorNamingItsFileAndKey) {
    Config(1);
    const std::string bare = dir.Write("bare.kact", "version=Kobaltron V1.0\r\nactorpath=C:\\actors\\d\\\r\n[end]\r\n");
    const std::string empty = dir.Write("empty.kact", "version=Kobaltron V1.0\r\nsplashscreen= \r\n[end]\r\n");
    for (const std::string& file : {bare, empty}) {
        const RuntimeError e = LaunchError(file);
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.message(), "Run-time error '53': File not found: " + file + " (" + kNoSplashKeyText + ")");
    }
    // Set, but no such picture: the picture's full name and the actor file.
    const std::string bop = Actor("bop.kact", ok, "bop");
    std::filesystem::remove(install + "/actors/bop/splash.gif");
    const RuntimeError e = LaunchError(bop);
    EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
    EXPECT_EQ(e.message(), "Run-time error '53': File not found: " + install +
                               "/actors/bop/splash.gif (the splash picture, splashscreen=splash.gif in " + bop + ")");
    // A folder is no picture either.
    std::filesystem::create_directories(install + "/actors/bop/splash.gif");
    EXPECT_EQ(LaunchError(bop).number(), ErrorNumber::FileNotFound);
    EXPECT_TRUE(world.splashes.empty());
    EXPECT_TRUE(world.started.empty());

    // Without the splash nothing needs the picture; a playlist's picture is the splash's own concern.
    Config(0);
    EXPECT_EQ(Launch(bare), std::nullopt);
    EXPECT_EQ(Launch(bop), std::nullopt);
    Config(1);
    EXPECT_EQ(Launch(dir.Write("l.kpls", bop)), std::nullopt);
    EXPECT_EQ(world.started, (Strings{bare, bop, bop}));
}

TEST_F(LauncherTest, UnreadableFilesAndFailedStartsRaiseErrorsNamingThem) {
    const auto a = Actor("a.kact", ok);
    const auto noEnd = dir.Write("noend.kact", "version=Kobaltron V1.0\r\nactorname=X\r\n");
    auto expect = [&](const std::string& line, ErrorNumber number, const std::string& file) {
        const RuntimeError e = LaunchError(line);
        EXPECT_EQ(e.number(), number) << e.message();
        EXPECT_NE(e.message().find(file), std::string::npos) << e.message();
    };
    expect(noEnd, ErrorNumber::InputPastEndOfFile, noEnd + ", line 3");
    expect(dir.Write("l.kpls", a + "," + noEnd + "," + a), ErrorNumber::InputPastEndOfFile, noEnd);
    EXPECT_EQ(world.started, Strings{a});  // started before, and stays so
    dir.Write("work/rel.kpls", a);
    {
        // Not below the install directory: read where it was found.
        WorkingDirectory cd(dir / "work");
        EXPECT_EQ(Launch("rel.kpls"), std::nullopt);
    }
    EXPECT_EQ(world.started, (Strings{a, a}));
    world.failStart = true;
    expect(a, ErrorNumber::FileNotFound, install + "/resource/kobalactor");
    std::filesystem::remove(install + "/resource/config.kcfg");
    expect(a, ErrorNumber::FileNotFound, install + "//resource/config.kcfg");
    dir.Write("kobal tron/resource/config.kcfg", "showsplash=1\r\n");
    expect(a, ErrorNumber::InputPastEndOfFile, "resource/config.kcfg");
    EXPECT_EQ(world.started, (Strings{a, a}));
}
