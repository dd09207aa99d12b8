// What the checker tells a new author beyond plain mistakes: a splash the
// launcher cannot show, key-colour fringes, link messages no other actor can
// play, and a two-frame cycle whose second frame flashes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "checker/actor_checker.h"
#include "checker/headless_run.h"
#include "checker/qt_pictures.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

std::vector<std::string> CheckTogether(const CorpusInstall& install, const std::vector<std::string>& files) {
    QtPictureInspector pictures;
    Report report(install.path());
    ActorChecker checker({install.path()}, pictures, report);
    std::vector<std::string> paths;
    for (const std::string& file : files) paths.push_back(install / file);
    checker.CheckFiles(paths);
    return report.Lines();
}

std::vector<std::string> Check(const CorpusInstall& install) {
    return CheckTogether(install, {"a/actor.kact"});
}

std::vector<std::string> Only(const std::vector<std::string>& lines, const std::string& part) {
    std::vector<std::string> kept;
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) kept.push_back(line);
    return kept;
}

// The global settings with the given lines from line 3 on.
void Config(const CorpusInstall& install, const std::string& lines) {
    install.dir.Write("resource/config.kcfg", "priorityup=100\r\nspeedup=100\r\n" + lines + "[end]\r\n");
}

// The corpus actor's first ten lines; the splash and preference lines follow.
const char* kActorHead =
    "version=Kobaltron V1.0\r\nactorname=Ann\r\nactorddename=ann\r\nactorpath=a\\\r\niconfile=icon.bmp\r\n"
    "activefile=active.krnd\r\nresponsefile=response.krnd\r\nboredfile=bored.krnd\r\nsleepfile=sleep.krnd\r\n"
    "infofile=info.txt\r\n";

const char* kHeader =
    "timerspeed=50\r\nmovespeed=30\r\nactorwidth=16\r\nactorheight=12\r\ntransparentred=255\r\n"
    "transparentgreen=0\r\ntransparentblue=255\r\nalignx=0\r\naligny=1\r\n[end]\r\n";

std::string Animation(int framecount, int framepause, const std::string& frames) {
    return "framecount=" + std::to_string(framecount) + "\r\nframepause=" + std::to_string(framepause) + "\r\n" +
           kHeader + frames;
}

}  // namespace

TEST(SplashPicture, MissingIsAnErrorWhileTheLauncherWouldShowTheSplash) {
    const std::string why = "so the launcher shows the splash window first and refuses this actor";
    const struct {
        const char* config;
        const char* actorTail;
        std::vector<std::string> expected;
    } cases[] = {
        {"showsplash=1\r\n",
         "",
         {"a/actor.kact:1: error: no splash picture: showsplash is 1 (resource/config.kcfg:3), " + why +
          " (File not found)"}},
        {"showsplash=0\r\n",
         "",
         {"a/actor.kact:11: warning: no splashscreen: with the splash window on, the launcher ends with File not "
          "found"}},
        {"showsplash=1\r\n",
         "splashscreen=gone.bmp\r\n",
         {"a/actor.kact:11: error: splash picture \"gone.bmp\" not found: a/gone.bmp; showsplash is 1 "
          "(resource/config.kcfg:3), " +
          why}},
        {"showsplash=1\r\n",
         "splashscreen=bad.bmp\r\n",
         {"a/actor.kact:11: error: splash picture \"bad.bmp\" cannot be loaded as a picture (Invalid picture); "
          "showsplash is 1 (resource/config.kcfg:3), " +
          why}},
        // The actor's own showsplash counts when the global file gives none...
        {"",
         "splashscreen=gone.bmp\r\nshowsplash=1\r\n",
         {"a/actor.kact:11: error: splash picture \"gone.bmp\" not found: a/gone.bmp; showsplash is 1 "
          "(a/actor.kact:12), " +
          why}},
        // ...but the launcher reads the global file after it,
        {"showsplash=0\r\n",
         "splashscreen=gone.bmp\r\nshowsplash=1\r\n",
         {"a/actor.kact:11: error: splash picture \"gone.bmp\" not found: a/gone.bmp"}},
        // and it reads the actor's preferences whatever overrideactor says.
        {"overrideactor=1\r\n",
         "splashscreen=gone.bmp\r\nshowsplash=1\r\n",
         {"a/actor.kact:12: warning: \"showsplash\" is ignored: config.kcfg sets overrideactor=1",
          "a/actor.kact:11: error: splash picture \"gone.bmp\" not found: a/gone.bmp; showsplash is 1 "
          "(a/actor.kact:12), " +
              why}},
    };
    for (const auto& c : cases) {
        CorpusInstall install;
        Config(install, c.config);
        install.dir.Write("a/actor.kact", std::string(kActorHead) + c.actorTail + "[end]\r\n");
        EXPECT_EQ(Check(install), c.expected) << c.config << c.actorTail;
    }
}

namespace {

// 16x12: key colour left of x 3 and at (8, 0), body colour elsewhere, and
// a few pixels near the key colour.
uint32_t SoftEdged(int x, int y) {
    if (x < 3 || (x == 8 && y == 0)) return 0xFF00FF;
    if (x == 3 && y == 0) return 0xE020E0;   // 31, 32, 31 from the key: a fringe
    if (x == 3 && y == 1) return 0xDF00FF;   // 32 away in red alone: a fringe
    if (x == 3 && y == 2) return 0xDE00FF;   // 33 away: a colour of its own
    if (x == 9 && y == 1) return 0xF010F0;   // touches the key only at a corner: a fringe
    if (x == 12 && y == 6) return 0xF000F0;  // near the key colour, but away from it
    return 0x3060C0;
}

}  // namespace

TEST(KeyColourFringe, CountsNearKeyPixelsThatTouchTheKeyColour) {
    TempDir dir;
    const std::string picture = dir.Write("soft.bmp", BmpOf(16, 12, SoftEdged));
    QtPictureInspector pictures;
    EXPECT_EQ(pictures.FringePixels(picture, 0xFF00FF, 32), 3);
    EXPECT_EQ(pictures.FringePixels(picture, 0xFF00FF, 33), 4);
}

TEST(KeyColourFringe, WarnsOncePerKeyedPictureWithTheAnimationLine) {
    CorpusInstall install;
    install.dir.Write("a/soft.bmp", BmpOf(16, 12, SoftEdged));
    install.dir.Write("a/left.kani", Animation(2, 1, "soft.bmp\r\nf2.bmp\r\n"));
    install.dir.Write("a/right.kani", Animation(2, 1, "f2.bmp\r\nsoft.bmp\r\n"));
    const std::vector<std::string> lines = Check(install);
    ASSERT_EQ(lines.size(), 1u) << lines.back();
    EXPECT_THAT(lines[0], StartsWith("a/left.kani:13: warning: picture \"soft.bmp\" has 3 pixels next to key colour "
                                     "255,0,255 within 32 of it in red, green and blue"));
    EXPECT_THAT(lines[0], HasSubstr("coloured fringe"));

    // Opaque frames and a switched-off key colour show the pixels as drawn.
    install.dir.Write("a/left.kani", Animation(2, 1, "@soft.bmp\r\nf2.bmp\r\n"));
    install.dir.Write("a/right.kani", Animation(2, 1, "f2.bmp\r\nf1.bmp\r\n"));
    EXPECT_EQ(Check(install), std::vector<std::string>{});
    install.dir.Write("a/left.kani", Animation(2, 1, "soft.bmp\r\nf2.bmp\r\n"));
    Config(install, "transparencyoff=1\r\n");
    EXPECT_EQ(Check(install), std::vector<std::string>{});
}

namespace {

// Actor "b/" (bob) and "c/" (cy): copies of the corpus actor, whose active
// list sends "*%*dance.krnd" on line 5 and which has no dance.krnd.
void AddActor(const CorpusInstall& install, const std::string& dir, const std::string& name) {
    namespace fs = std::filesystem;
    fs::copy(install / "a", install / dir, fs::copy_options::recursive);
    install.dir.Write(dir + "/actor.kact",
                      "version=Kobaltron V1.0\r\nactorname=" + name + "\r\nactorddename=" + name +
                          "\r\nactorpath=" + dir +
                          "\\\r\niconfile=icon.bmp\r\nactivefile=active.krnd\r\n"
                          "responsefile=response.krnd\r\nboredfile=bored.krnd\r\nsleepfile=sleep.krnd\r\n"
                          "infofile=info.txt\r\nsplashscreen=splash.bmp\r\n[end]\r\n");
}

std::string Dropped(const std::string& at, const std::string& text, const std::string& lacking) {
    return at + ": warning: link message \"" + text +
           "\" names a list that none of the actors it reaches has: " + lacking +
           "; they drop the message and nothing plays";
}

}  // namespace

TEST(LinkMessagesBetweenActors, AMessageNoCheckedReceiverCanPlayIsAWarning) {
    CorpusInstall install;
    AddActor(install, "b", "bob");
    const std::vector<std::string> both = {
        Dropped("a/active.krnd:5", "*%*dance.krnd", "b/actor.kact (bob) has no b/dance.krnd"),
        Dropped("b/active.krnd:5", "*%*dance.krnd", "a/actor.kact (ann) has no a/dance.krnd")};
    EXPECT_EQ(CheckTogether(install, {"a/actor.kact", "b/actor.kact"}), both);
    // One actor alone is not judged against actors it cannot see.
    EXPECT_EQ(Check(install), std::vector<std::string>{});
    // A playlist runs its actors side by side.
    install.dir.Write("both.kpls", "a\\actor.kact\r\nb\\actor.kact\r\n");
    EXPECT_EQ(CheckTogether(install, {"both.kpls"}), both);

    // One receiver that has it is enough.
    AddActor(install, "c", "cy");
    install.dir.Write("c/dance.krnd", "1\r\n!04|1|wave.kani|\r\n");
    EXPECT_EQ(Only(CheckTogether(install, {"a/actor.kact", "b/actor.kact", "c/actor.kact"}), "a/active.krnd"),
              std::vector<std::string>{});
}

TEST(LinkMessagesBetweenActors, OnlyTheActorsANameReachesAreAsked) {
    CorpusInstall install;
    AddActor(install, "b", "bob");
    AddActor(install, "c", "cy");
    const std::string sent = "a/active.krnd:5";
    const struct {
        const char* text;
        std::vector<std::string> expected;
    } cases[] = {
        {"BOB%*tricks.krnd", {Dropped(sent, "BOB%*tricks.krnd", "b/actor.kact (bob) has no b/tricks.krnd")}},
        {"*%*tricks.krnd",
         {Dropped(sent, "*%*tricks.krnd",
                  "b/actor.kact (bob) has no b/tricks.krnd, c/actor.kact (cy) has no c/tricks.krnd")}},
        {"*%*more.krnd", {}},
        {"nobody%*tricks.krnd", {}},  // no checked actor by that name
        {"ann%*tricks.krnd", {}},     // the sender never hears itself
    };
    for (const auto& c : cases) {
        install.dir.Write("a/active.krnd",
                          "4\r\n!02|-20|$left.kani,right.kani|\r\n!04|1|wave.kani|\r\n"
                          "!01|30|wave.kani|more.krnd\r\n!99|0|" +
                              std::string(c.text) + "|\r\n");
        EXPECT_EQ(Only(CheckTogether(install, {"a/actor.kact", "b/actor.kact", "c/actor.kact"}), sent), c.expected)
            << c.text;
    }
}

TEST(TwoFrameCycle, TellsHowLongEachFrameShowsAndHowToEvenItOut) {
    CorpusInstall install;
    install.dir.Write("a/left.kani", Animation(2, 3, "f1.bmp\r\nf2.bmp|s.wav\r\n"));
    EXPECT_EQ(Check(install),
              std::vector<std::string>{"a/left.kani:2: info: frame 1 \"f1.bmp\" shows for 3 ticks (150 ms), frame 2 "
                                       "\"f2.bmp\" for 1 tick (50 ms): the last frame of a pass lasts one tick, so the "
                                       "cycle limps; to even it out, write framepause=1 and each picture line 3 times "
                                       "(framecount=6)"});

    // At twice the priority a frame stays for twice the calls, each half as long.
    Config(install, "priorityup=200\r\n");
    EXPECT_THAT(Only(Check(install), ": info: "),
                ElementsAre(HasSubstr("shows for 6 ticks (150 ms), frame 2 \"f2.bmp\" for 1 tick (25 ms)")));
    Config(install, "");

    for (const std::string& even :
         {Animation(2, 1, "f1.bmp\r\nf2.bmp\r\n"), Animation(2, 3, "f1.bmp\r\nf1.bmp|s.wav\r\n"),
          Animation(3, 3, "f1.bmp\r\nf2.bmp\r\nf1.bmp\r\n"), Animation(2, 3, "f1.bmp\r\n!04|1|wave.kani|\r\n")}) {
        install.dir.Write("a/left.kani", even);
        EXPECT_EQ(Only(Check(install), ": info: "), std::vector<std::string>{}) << even;
    }
}

namespace {

// How many ticks in a row each picture of a walk shows, from the timeline.
std::vector<std::pair<std::string, int>> FrameRuns(const CorpusInstall& install) {
    QtPictureInspector pictures;
    RunOptions options;
    options.actorFile = install / "a/actor.kact";
    options.installPath = install.path();
    options.seconds = 3;
    options.displayBase = install.path();
    std::ostringstream out;
    EXPECT_EQ(RunHeadless(options, pictures, out), 0);
    std::vector<std::pair<std::string, int>> runs;
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) {
        const size_t at = line.find(" frame=");
        if (line.find("  Timer1  ") == std::string::npos || at == std::string::npos) continue;
        const std::string frame = line.substr(at + 7, line.find(' ', at + 7) - at - 7);
        if (!runs.empty() && runs.back().first == frame) ++runs.back().second;
        else runs.push_back({frame, 1});
    }
    return runs;
}

}  // namespace

// What the info line says is what the actor does, and its advice evens the
// cycle out.
TEST(TwoFrameCycle, TheTimelineShowsWhatTheLineSays) {
    CorpusInstall install;
    install.dir.Write("a/active.krnd", "1\r\n!02|200|$left.kani,right.kani|\r\n");
    install.dir.Write("a/left.kani", Animation(2, 3, "f1.bmp\r\nf2.bmp\r\n"));
    std::vector<std::pair<std::string, int>> runs = FrameRuns(install);
    ASSERT_GT(runs.size(), 6u);
    // The first and last runs are cut by the start and the end of the run.
    for (size_t i = 1; i + 1 < runs.size(); ++i) EXPECT_EQ(runs[i].second, runs[i].first == "f1.bmp" ? 3 : 1);

    install.dir.Write("a/left.kani", Animation(6, 1, "f1.bmp\r\nf1.bmp\r\nf1.bmp\r\nf2.bmp\r\nf2.bmp\r\nf2.bmp\r\n"));
    EXPECT_EQ(Only(Check(install), ": info: "), std::vector<std::string>{});
    runs = FrameRuns(install);
    ASSERT_GT(runs.size(), 6u);
    for (size_t i = 1; i + 1 < runs.size(); ++i) EXPECT_EQ(runs[i].second, 3) << runs[i].first;
}
