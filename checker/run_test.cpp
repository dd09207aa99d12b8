#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "checker/headless_run.h"
#include "checker/qt_pictures.h"
#include "checker/run_test_support.h"
#include "checker/test_support.h"

using namespace kobal;
using namespace kobal::checker;
using namespace kobal::checker::testing;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

struct Timeline {
    int status;
    std::string text;
};

Timeline PlayFor(const CorpusInstall& install, int seconds, uint64_t seed, const std::string& file = "a/actor.kact") {
    QtPictureInspector pictures;
    const RunOptions options = CorpusRun(install, seconds, seed, file);
    std::ostringstream out;
    const int status = RunHeadless(options, pictures, out);
    return {status, out.str()};
}

const char* kWaveHeader =
    "framecount=3\nframepause=2\ntimerspeed=40\nmovespeed=30\nactorwidth=16\nactorheight=12\n"
    "transparentred=255\ntransparentgreen=0\ntransparentblue=255\nalignx=0\naligny=1\n[end]\n";

}  // namespace

TEST(HeadlessRun, OneSeedGivesOneTimelineAndAnotherSeedAnother) {
    CorpusInstall install;
    const Timeline first = PlayFor(install, 120, 7);
    const Timeline again = PlayFor(install, 120, 7);
    const Timeline other = PlayFor(install, 120, 8);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.text, again.text);
    EXPECT_NE(first.text, other.text);
    EXPECT_THAT(first.text, HasSubstr("120000 ms  end"));
}

TEST(HeadlessRun, TimerOneFollowsTheAnimationAndStopsWithHibernation) {
    CorpusInstall install;
    install.dir.Write("resource/config.kcfg",
                      "priorityup=100\nspeedup=100\naudioon=1\nshowsplash=0\nboredtime=1000\nsleeptime=2000\n"
                      "hibernatetime=3\ninitialpriority=0\ntransparencyoff=0\noverrideactor=0\n[end]\n");
    install.dir.Write("a/active.krnd", "1\n!04|1|wave2.kani|\n");
    install.dir.Write("a/wave2.kani", std::string(kWaveHeader) + "f1.bmp|s.wav\nf2.bmp\n@f1.bmp\n");
    const Timeline t = PlayFor(install, 10, 1);
    ASSERT_EQ(t.status, 0) << t.text;

    // Start-up sets 25 ms; the first frame, on the second tick, the animation's 40 ms, in
    // the middle of the screen (28800 x 16200 twips).
    // Shown before any frame, the window centres itself (in whole pixels).
    EXPECT_THAT(t.text,
                HasSubstr("0 ms  start    type=4 anim=wave2.kani frame=- at=14280,8010 size=240x180 interval=25"));
    EXPECT_THAT(t.text, HasSubstr("50 ms  Timer1   type=4 anim=wave2.kani frame=f1.bmp at=14280,8010 interval=40 "
                                  "key=255,0,255 sound=s.wav"));
    EXPECT_THAT(t.text, HasSubstr("130 ms  Timer1   type=4 anim=wave2.kani frame=f2.bmp"));
    EXPECT_THAT(t.text, HasSubstr("210 ms  Timer1   type=4 anim=wave2.kani frame=@f1.bmp"));
    // The idle clock reaches hibernatetime after 3 s: both timers stop, nothing moves after.
    EXPECT_THAT(t.text, HasSubstr("3000 ms  Timer2   type=4 anim=wave2.kani"));
    EXPECT_THAT(t.text, HasSubstr("Timer1=off Timer2=off state=Hibernate"));
    EXPECT_TRUE(LinesWith(t.text, "  Timer1  ").size() > 20);
    for (const std::string& line : LinesWith(t.text, "Timer1 ")) EXPECT_LT(std::stoi(line), 3000) << line;
}

TEST(HeadlessRun, ShowsLinkMessagesButNotThePing) {
    CorpusInstall install;
    install.dir.Write("a/active.krnd", "1\n!04|1|wave2.kani|\n");
    install.dir.Write("a/wave2.kani", std::string(kWaveHeader) + "f1.bmp\n!99|0|bob%*hello.krnd|\nf2.bmp\n");
    const Timeline t = PlayFor(install, 5, 3);
    ASSERT_EQ(t.status, 0) << t.text;
    EXPECT_THAT(t.text, HasSubstr("send=\"bob%*hello.krnd\""));
    EXPECT_THAT(t.text, Not(HasSubstr("Ping")));
}

TEST(HeadlessRun, ARunTimeErrorEndsTheRunWithItsFileAndLine) {
    CorpusInstall install;
    install.dir.Write("a/active.krnd", "1\n!02|40|$left.kani,right.kani|\n");
    // Three frames promised, two given: the third read passes the end.
    install.dir.Write("a/left.kani", std::string(kWaveHeader) + "f1.bmp\nf2.bmp\n");
    install.dir.Write("a/right.kani", std::string(kWaveHeader) + "f1.bmp\nf2.bmp\n");
    const Timeline t = PlayFor(install, 60, 2);
    EXPECT_EQ(t.status, 1);
    EXPECT_THAT(t.text, HasSubstr("error: Run-time error '62': Input past end of file: " + (install / "a/")));
    // Named at the framecount line, with the reason, as the checker names it.
    EXPECT_THAT(t.text, HasSubstr(".kani, line 1 (framecount 3 is larger than its 2 frame lines)"));
    EXPECT_THAT(t.text, Not(HasSubstr("end of run")));
}

TEST(HeadlessRun, AMissingPictureEndsTheRunAsTheWindowWould) {
    CorpusInstall install;
    install.dir.Write("a/active.krnd", "1\n!04|1|wave2.kani|\n");
    install.dir.Write("a/wave2.kani", std::string(kWaveHeader) + "f1.bmp\nbad.bmp\nf2.bmp\n");
    const Timeline t = PlayFor(install, 5, 3);
    EXPECT_EQ(t.status, 1);
    EXPECT_THAT(t.text, HasSubstr("error: Run-time error '481': Invalid picture: " + (install / "a/bad.bmp")));
}

TEST(HeadlessRun, WithoutTheActorProgramTheActorRefusesToStart) {
    CorpusInstall install;
    std::filesystem::remove(install / "resource/kobalactor");
    const Timeline t = PlayFor(install, 5, 3);
    EXPECT_EQ(t.status, 1);
    EXPECT_THAT(t.text, HasSubstr("message=\"!: Cannot find the application, Please run kobalconfig\""));
    EXPECT_THAT(t.text, HasSubstr("the actor ended (status 1)"));
}

// A plain animation as the first choice used to leave the actor on one frame
// in the top-left corner for good; now the next tick chooses again.
TEST(HeadlessRun, APlainFirstChoiceDoesNotFreezeTheActorInTheCorner) {
    CorpusInstall install;
    install.dir.Write("a/active.krnd", "3\nwave2.kani\nwave2.kani\n!01|20|wave2.kani|\n");
    install.dir.Write("a/wave2.kani", std::string(kWaveHeader) + "f1.bmp\nf2.bmp\n@f1.bmp\n");
    int cornerStarts = 0;
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        const Timeline t = PlayFor(install, 3, seed);
        ASSERT_EQ(t.status, 0) << t.text;
        const std::vector<std::string> start = LinesWith(t.text, "  start  ");
        ASSERT_EQ(start.size(), 1u);
        if (start[0].find("at=0,0") != std::string::npos) ++cornerStarts;
        EXPECT_THAT(t.text, HasSubstr("type=1 ")) << "seed " << seed << "\n" << t.text;
        const std::vector<std::string> ticks = LinesWith(t.text, "  Timer1  ");
        ASSERT_FALSE(ticks.empty());
        EXPECT_THAT(ticks.back(), Not(HasSubstr("at=0,0"))) << "seed " << seed;
    }
    EXPECT_GT(cornerStarts, 0) << "no seed started with the plain name";
}

namespace {

const char* kFloorsConfig =
    "priorityup=100\nspeedup=100\naudioon=1\nshowsplash=0\nboredtime=600\nsleeptime=900\nhibernatetime=1000\n"
    "initialpriority=0\ntransparencyoff=0\noverrideactor=0\nwindowfloors=1\n[end]\n";

// The actor (16 x 12 pixels, centred: its column at 960, its feet at 546
// pixels) descends, then waves where it stands.
Timeline WithWindows(CorpusInstall& install, const std::string& layout, const std::string& config = kFloorsConfig,
                     bool given = true, bool summary = false) {
    install.dir.Write("resource/config.kcfg", config);
    install.dir.Write("a/active.krnd", "1\n!03|1000|wave.kani|stay.krnd\n");
    install.dir.Write("a/stay.krnd", "1\n!04|1|wave.kani|stay.krnd\n");
    const std::string file = install.dir.Write("windows.txt", layout);
    QtPictureInspector pictures;
    RunOptions options = CorpusRun(install, 40, 1);
    options.summary = summary;
    if (given) {
        options.windowLayout = true;
        options.windows = ReadWindowLayout(file, "windows.txt");
    }
    std::ostringstream out;
    const int status = RunHeadless(options, pictures, out);
    return {status, out.str()};
}

}  // namespace

TEST(HeadlessRun, TheTimelineShowsLandingsRidesAndFallsOnTheLayoutsWindows) {
    CorpusInstall install;
    const Timeline t = WithWindows(install,
                                   "# a fullscreen window at the back, a window under the actor\n"
                                   "0 0 1920 1080 fullscreen\n"
                                   "900 700 200 100 moves 10 5 -50 closes 20  # Firefox\n"
                                   "\n"
                                   "0 900 1920 100\n");
    ASSERT_EQ(t.status, 0) << t.text;
    EXPECT_THAT(t.text,
                HasSubstr("# window 2: 900,700 200x100 pixels, moves by 5,-50 at 10000 ms, closes at 20000 ms"));
    // Feet at 700 pixels: top 688 x 15.
    const std::vector<std::string> lands = LinesWith(t.text, "lands on window 2");
    ASSERT_EQ(lands.size(), 1u) << t.text;
    EXPECT_THAT(lands[0], HasSubstr("at=14280,10320"));
    EXPECT_THAT(t.text, HasSubstr("10000 ms  windows  type=4 anim=wave.kani"));
    EXPECT_THAT(t.text, HasSubstr("at=14355,9570 window 2 moved by 5,-50 pixels"));
    EXPECT_THAT(t.text, HasSubstr("20000 ms  windows  type=3 anim=wave.kani"));
    EXPECT_THAT(t.text, HasSubstr("window 2 closed falls: window 2 closed"));
    // Onto the next floor below, not the monitor's.
    const std::vector<std::string> below = LinesWith(t.text, "lands on window 3");
    ASSERT_EQ(below.size(), 1u) << t.text;
    EXPECT_THAT(below[0], HasSubstr(",13320 "));
    EXPECT_THAT(t.text, HasSubstr("end of run"));

    // The summary tells the falls, and counts no list as chosen for one.
    const Timeline s = WithWindows(install, "900 700 200 100 closes 20\n", kFloorsConfig, true, true);
    ASSERT_EQ(s.status, 0) << s.text;
    EXPECT_THAT(s.text, HasSubstr("20000 ms  windows  action type=3 (descend) anim=wave.kani\n"));
    EXPECT_THAT(s.text, HasSubstr("20000 ms  windows  falls: window 1 closed\n"));
}

TEST(HeadlessRun, WithWindowFloorsOffTheLayoutChangesNothingButSaysSo) {
    CorpusInstall install;
    std::string config = kFloorsConfig;
    config.replace(config.find("windowfloors=1"), 14, "windowfloors=0");
    const std::string layout = "900 700 200 100 moves 10 5 -50 closes 20\n";
    const Timeline off = WithWindows(install, layout, config);
    const Timeline none = WithWindows(install, layout, config, false);
    ASSERT_EQ(off.status, 0) << off.text;
    EXPECT_THAT(off.text, HasSubstr("the windows are no floors: the windowfloors preference is not 1"));
    EXPECT_THAT(off.text, Not(HasSubstr("lands on")));
    // Apart from the layout's own lines, the same timeline.
    std::string rest;
    std::istringstream in(off.text);
    for (std::string line; std::getline(in, line);)
        if (line.find("window") == std::string::npos) rest += line + "\n";
    EXPECT_EQ(rest, none.text);
}

TEST(WindowLayout, BadLinesAreNamedWithTheirFileLineAndFault) {
    TempDir dir;
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"10 10 100\n", "layout.txt:1: HEIGHT is missing"},
        {"# ok\n10 10 100 0\n", "layout.txt:2: HEIGHT \"0\" is not a whole number of pixels from 1 to 100000"},
        {"10 ten 100 100\n", "layout.txt:1: TOP \"ten\" is not a whole number"},
        {"1 1 1 1\n1 1 1 1 closes\n", "layout.txt:2: AT after \"closes\" is missing"},
        {"1 1 1 1 closes 2,5\n", "AT after \"closes\" \"2,5\" is not a time in seconds"},
        {"1 1 1 1 closes 1 closes 2\n", "\"closes\" is given twice"},
        {"1 1 1 1 moves 3 4\n", "DY after \"moves AT DX\" is missing"},
        {"1 1 1 1 hides 3\n", "\"hides\" is not \"closes\", \"moves\" or \"fullscreen\""},
        {"1 1 1 1 closes 9999999\n", "is not a time in seconds"},
    };
    for (const Case& c : cases) {
        const std::string path = dir.Write("layout.txt", c.text);
        try {
            ReadWindowLayout(path, "layout.txt");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const LayoutError& e) {
            EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.text;
        }
    }
    EXPECT_THROW(ReadWindowLayout(dir.path() + "/none.txt", "none.txt"), LayoutError);
    EXPECT_THROW(ReadWindowLayout(dir.path(), "folder"), LayoutError);
    EXPECT_THROW(ReadWindowLayout(dir.Write("long.txt", std::string(10000, '1')), "long.txt"), LayoutError);

    const std::vector<LayoutWindow> good = ReadWindowLayout(
        dir.Write("good.txt", "\r\n  -5 20 30 40 fullscreen moves 1.5 -3 4 moves 2 0 1 closes 0.025 # x\r\n\t\n"),
        "good.txt");
    ASSERT_EQ(good.size(), 1u);
    EXPECT_EQ(good[0].left, -5);
    EXPECT_EQ(good[0].height, 40);
    EXPECT_TRUE(good[0].fullscreen);
    ASSERT_EQ(good[0].moves.size(), 2u);
    EXPECT_EQ(good[0].moves[0].ms, 1500);
    EXPECT_EQ(good[0].moves[0].dx, -3);
    EXPECT_EQ(good[0].closesMs, 25);
}
