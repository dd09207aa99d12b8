#include <gtest/gtest.h>

#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

namespace {

// An actor "a" whose state lists play a one-frame animation (or a command).
class Startup : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* p : {"f1.bmp", "f2.bmp", "icon.ico", "icon2.ico"}) h.Actor(p, "x");
        h.Actor("one.kani", Lines({"framecount=1", "framepause=1", "timerspeed=80", "actorwidth=100", "actorheight=60",
                                   "transparentred=255", "transparentblue=255", "[end]", "f1.bmp"}));
        h.Actor("act.krnd", Lines({"1", "one.kani"}));
        h.Actor("cmd.krnd", Lines({"1", "!04|1|one.kani|"}));
        h.Actor("sleep.krnd", Lines({"1", "!04|1|one.kani|"}));
        WriteActor("bob.kact", {"version=Kobaltron V1.0", "actorname=Bob", "actorddename=bob", "actorpath=actors\\a\\",
                                "iconfile=icon.ico", "activefile=act.krnd", "responsefile=act.krnd",
                                "boredfile=act.krnd", "sleepfile=sleep.krnd", "[end]"});
    }
    std::string WriteActor(const std::string& name, std::initializer_list<std::string> lines) {
        return h.dir.Write(name, Lines(lines));
    }
    void RunMain(const std::string& commandLine) { h.rt->Main(commandLine, h.installPath()); }
    ActorHarness h;
};

}  // namespace

TEST_F(Startup, RefusesAnEmptyOrUnknownCommandLine) {
    for (std::string cmd : {std::string(), h.dir.path() + "/nothing.kact"}) {
        ActorHarness fresh;
        try {
            fresh.rt->Main(cmd, fresh.installPath());
            FAIL();
        } catch (const ProgramEnd& end) {
            EXPECT_NE(end.status, 0);
        }
        EXPECT_EQ(fresh.messages.shown,
                  (std::vector<std::string>{"!: This program is used by Kobaltron, Do not run it manually!"}));
        EXPECT_FALSE(fresh.tray.shown);
    }
}

TEST_F(Startup, RefusesWhenItsOwnProgramIsNotInstalled) {
    ActorHarness other;
    try {
        other.rt->Main(h.dir.path() + "/bob.kact", h.dir.path() + "/elsewhere");
        FAIL();
    } catch (const ProgramEnd&) {
    }
    EXPECT_EQ(other.messages.shown,
              (std::vector<std::string>{"!: Cannot find the application, Please run kobalconfig"}));
}

TEST_F(Startup, FirstAnimationSizesTheWindowWhichIsCentredAtTheNextFrame) {
    RunMain(h.dir.path() + "/bob.kact");
    EXPECT_EQ(h.window.width, 1500);
    EXPECT_EQ(h.window.height, 900);
    EXPECT_EQ(h.window.caption, "Bob");
    EXPECT_TRUE(h.tray.shown);
    EXPECT_EQ(h.tray.tip, "Bob");
    EXPECT_TRUE(h.window.visible);
    // The first frame put it at the top-left corner; the centre comes next.
    EXPECT_EQ(h.window.left, 0);
    EXPECT_EQ(h.rt->position().x(), 1920 * 15 / 2 - 750);
    EXPECT_EQ(h.rt->position().y(), 1080 * 15 / 2 - 450);
    EXPECT_EQ(h.timer1.interval, 80);
    EXPECT_TRUE(h.timer2.enabled);
    EXPECT_TRUE(h.ddetimer.enabled);
    EXPECT_EQ(h.rt->link().isHub(), 1);  // nobody else serves: this actor is the hub
    EXPECT_TRUE(h.menu.IsChecked(MenuItem::Paudioon));
    EXPECT_FALSE(h.menu.IsChecked(MenuItem::paudiooff));
}

TEST_F(Startup, ActionCommandFirstShowsTheWindowCentredBeforeAnyFrame) {
    WriteActor("cmd.kact",
               {"actorname=Cmd", "actorpath=actors\\a\\", "iconfile=icon.ico", "activefile=cmd.krnd", "[end]"});
    RunMain(h.dir.path() + "/cmd.kact");
    EXPECT_EQ(h.window.picture, "");
    EXPECT_EQ(h.window.width, 1500);
    EXPECT_EQ(h.timer1.interval, 25);
    EXPECT_EQ(h.rt->behaviours().actiontype(), 4);
    h.rt->AnimationTick();  // initialises
    h.rt->AnimationTick();  // first frame, at the centre
    EXPECT_EQ(h.window.picture, "f1.bmp");
    EXPECT_EQ(h.window.left, h.rt->position().x());
    EXPECT_EQ(h.timer1.interval, 80);
}

// A first choice that starts no behaviour (a plain animation, or an entry
// that plays nothing) must not leave the actor frozen in the corner: the
// next tick chooses again, and the first command then runs as usual.
TEST_F(Startup, APlainFirstChoiceIsChosenAgainOnTheNextTick) {
    h.Actor("mixed.krnd", Lines({"3", "one.kani", "f1.bmp", "!04|1|one.kani|"}));
    WriteActor("mix.kact",
               {"actorname=Mix", "actorpath=actors\\a\\", "iconfile=icon.ico", "activefile=mixed.krnd", "[end]"});
    // Plain name at start, then the entry that plays nothing, then the command.
    h.random.queued = {0.1, 0.5, 0.9};
    RunMain(h.dir.path() + "/mix.kact");
    EXPECT_EQ(h.rt->behaviours().actiontype(), 0);
    EXPECT_EQ(h.window.left, 0);  // the one frame, at the corner
    h.rt->AnimationTick();        // plays nothing
    EXPECT_EQ(h.rt->behaviours().actiontype(), 0);
    h.rt->AnimationTick();  // the command
    EXPECT_EQ(h.rt->behaviours().actiontype(), 4);
    h.rt->AnimationTick();  // initialises
    h.rt->AnimationTick();  // its first frame, at the centre
    EXPECT_EQ(h.window.left, h.rt->position().x());
    EXPECT_EQ(h.window.top, h.rt->position().y());
    EXPECT_GT(h.window.left, 0);
}

// Once a behaviour has run, a plain name still shows one frame and the
// next tick chooses again, from the next list of the action that ended.
TEST_F(Startup, APlainNameAfterAnActionStillShowsOneFrame) {
    h.Actor("plain.krnd", Lines({"1", "one.kani"}));
    h.Actor("cmdnext.krnd", Lines({"1", "!04|1|one.kani|plain.krnd"}));
    WriteActor("cn.kact",
               {"actorname=Cn", "actorpath=actors\\a\\", "iconfile=icon.ico", "activefile=cmdnext.krnd", "[end]"});
    RunMain(h.dir.path() + "/cn.kact");
    for (int i = 0; i < 6; ++i) h.rt->AnimationTick();  // the play-once ends
    ASSERT_EQ(h.rt->behaviours().nextfile(), "plain.krnd");
    const int16_t step = h.rt->behaviours().record().actionstep;
    h.window.Take();
    h.rt->AnimationTick();
    h.rt->AnimationTick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 4);
    EXPECT_EQ(h.rt->behaviours().record().actionstep, step);  // no new action: chosen again each tick
}

TEST_F(Startup, RelativeActorFileIsReadBelowTheInstallDirectory) {
    // Exists relative to the working directory as well as below installdir.
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(h.dir.path());
    RunMain("bob.kact");
    std::filesystem::current_path(cwd);
    EXPECT_EQ(h.settings().actorname, "Bob");
    EXPECT_EQ(h.settings().actorpath, h.installPath() + "\\actors\\a\\");
}

TEST_F(Startup, ACopiedActorRunsFromItsOwnFolderOnTheUsersOwnSettings) {
    namespace fs = std::filesystem;
    fs::create_directories(h.dir / "home/Downloads/zed");
    fs::copy(h.actorDir(), h.dir / "home/Downloads/zed", fs::copy_options::recursive);
    const std::string zed = h.dir.Write("home/Downloads/zed/zed.kact",
                                        Lines({"actorname=Zed", "actorpath=actors\\zed\\", "iconfile=icon.ico",
                                               "activefile=act.krnd", "sleepfile=sleep.krnd", "[end]"}));
    h.dir.Write("home/config/kobaltron/config.kcfg", Lines({"priorityup=200", "speedup=100", "[end]"}));
    h.rt->SetUserPlaces({h.dir / "home/config/kobaltron/config.kcfg", h.dir / "home/data/kobaltron/actors"});
    RunMain(zed);
    EXPECT_EQ(h.settings().actorpath, h.dir / "home/Downloads/zed/");
    EXPECT_EQ(h.window.icon, h.dir / "home/Downloads/zed/icon.ico");
    EXPECT_EQ(h.settings().priorityup, 200);  // the global file says 100
    EXPECT_EQ(h.timer1.interval, 40);
}

TEST_F(Startup, OverrideActorDecidesWhoseSettingsWin) {
    WriteActor("fast.kact",
               {"priorityup=200", "actorpath=actors\\a\\", "iconfile=icon.ico", "activefile=act.krnd", "[end]"});
    RunMain(h.dir.path() + "/fast.kact");
    EXPECT_EQ(h.settings().priorityup, 200);
    EXPECT_EQ(h.timer1.interval, 40);

    ActorHarness locked;
    for (const char* p : {"f1.bmp", "icon.ico"}) locked.Actor(p, "x");
    locked.Actor("one.kani", Lines({"framecount=1", "framepause=1", "timerspeed=80", "actorwidth=10", "actorheight=10",
                                    "[end]", "f1.bmp"}));
    locked.Actor("act.krnd", Lines({"1", "one.kani"}));
    locked.WriteConfig("priorityup=100\r\nspeedup=100\r\noverrideactor=1\r\n[end]\r\n");
    locked.dir.Write("fast.kact", Lines({"priorityup=200", "actorpath=actors\\a\\", "iconfile=icon.ico",
                                         "activefile=act.krnd", "[end]"}));
    locked.rt->Main(locked.dir.path() + "/fast.kact", locked.installPath());
    EXPECT_EQ(locked.settings().priorityup, 100);
}

TEST_F(Startup, InitialPriorityPresetsTheState) {
    struct Case {
        int priority;
        int16_t idle;
        const char* state;
    };
    for (Case c : {Case{0, 0, "act.krnd"}, Case{1, 60, "act.krnd"}, Case{2, 300, "sleep.krnd"},
                   Case{3, 899, "sleep.krnd"}, Case{7, 0, ""}}) {
        ActorHarness a;
        for (const char* p : {"f1.bmp", "icon.ico"}) a.Actor(p, "x");
        a.Actor("one.kani", Lines({"framecount=1", "framepause=1", "timerspeed=80", "actorwidth=10", "actorheight=10",
                                   "[end]", "f1.bmp"}));
        a.Actor("act.krnd", Lines({"1", "one.kani"}));
        a.Actor("sleep.krnd", Lines({"1", "one.kani"}));
        a.WriteConfig(
            "priorityup=100\r\nspeedup=100\r\nboredtime=60\r\nsleeptime=300\r\nhibernatetime="
            "900\r\ninitialpriority=" +
            std::to_string(c.priority) + "\r\n[end]\r\n");
        a.dir.Write("x.kact", Lines({"actorpath=actors\\a\\", "iconfile=icon.ico", "activefile=act.krnd",
                                     "boredfile=act.krnd", "sleepfile=sleep.krnd", "[end]"}));
        if (c.priority == 7) {
            // An empty state list names no list: the run-time error, not a crash.
            EXPECT_THROW(a.rt->Main(a.dir.path() + "/x.kact", a.installPath()), RuntimeError);
            continue;
        }
        a.rt->Main(a.dir.path() + "/x.kact", a.installPath());
        EXPECT_EQ(a.rt->activity().idlecount(), c.idle) << c.priority;
        EXPECT_EQ(a.rt->activity().statefile(), c.state) << c.priority;
    }
}

TEST_F(Startup, SwitchKeepsIdleCountAndTheMenusSoundChoice) {
    h.Actor("two.kani", Lines({"framecount=1", "framepause=1", "timerspeed=80", "actorwidth=50", "actorheight=50",
                               "[end]", "f2.bmp"}));
    h.Actor("two.krnd", Lines({"1", "two.kani"}));
    WriteActor("ann.kact", {"actorname=Ann", "actorpath=actors\\a\\", "iconfile=icon2.ico", "activefile=two.krnd",
                            "audioon=1", "[end]"});
    RunMain(h.dir.path() + "/bob.kact");
    h.rt->MenuChosen(MenuChoice::paudiooff);
    for (int i = 0; i < 42; ++i) h.rt->IdleClockTick();
    h.Run("!00|0|ann.kact|");  // the actor switch
    EXPECT_EQ(h.settings().actorname, "Ann");
    EXPECT_EQ(h.window.caption, "Ann");
    EXPECT_EQ(h.tray.tip, "Ann");
    EXPECT_EQ(h.tray.log, (std::vector<std::string>{"add Bob", "remove", "add Ann"}));
    EXPECT_EQ(h.rt->activity().idlecount(), 42);
    EXPECT_EQ(h.settings().audioon, 0);
    EXPECT_TRUE(h.menu.IsChecked(MenuItem::paudiooff));
    // Keys the new actor leaves out keep the old actor's values.
    EXPECT_EQ(h.settings().responsefile, "act.krnd");
    EXPECT_EQ(h.window.picture, "f2.bmp");
    EXPECT_EQ(h.window.width, 750);
}

TEST_F(Startup, EndActorRemovesTheTrayIconAndEndsWithStatusZero) {
    RunMain(h.dir.path() + "/bob.kact");
    try {
        h.rt->MenuChosen(MenuChoice::Remove);
        FAIL();
    } catch (const ProgramEnd& end) {
        EXPECT_EQ(end.status, 0);
    }
    EXPECT_FALSE(h.tray.shown);
}

TEST_F(Startup, MissingFilesEndWithTheirNames) {
    struct Case {
        const char* what;
        std::initializer_list<std::string> actor;
        const char* part;
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"actorpath=actors\\a\\\r\niconfile=none.ico\r\nactivefile=act.krnd\r\n[end]\r\n", "none.ico"},
        {"actorpath=actors\\a\\\r\niconfile=icon.ico\r\nactivefile=nolist.krnd\r\n[end]\r\n", "nolist.krnd"},
        {"actorpath=actors\\a\\\r\niconfile=icon.ico\r\n", "broken.kact, line 3"},
        {"actorpath=actors\\a\\\r\npriorityup=40000\r\n[end]\r\n", "broken.kact, line 2"},
    };
    for (const auto& [content, part] : cases) {
        h.dir.Write("broken.kact", content);
        ActorHarness fresh;
        fresh.dir.Write("broken.kact", content);
        for (const char* p : {"f1.bmp", "icon.ico"}) fresh.Actor(p, "x");
        fresh.Actor("one.kani", Lines({"framecount=1", "framepause=1", "timerspeed=80", "actorwidth=10",
                                       "actorheight=10", "[end]", "f1.bmp"}));
        fresh.Actor("act.krnd", Lines({"1", "one.kani"}));
        try {
            fresh.rt->Main(fresh.dir.path() + "/broken.kact", fresh.installPath());
            ADD_FAILURE() << part;
        } catch (const RuntimeError& e) {
            EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
        }
    }
    // A missing config.kcfg names itself.
    ActorHarness noconfig;
    std::filesystem::remove(noconfig.dir.path() + "/resource/config.kcfg");
    noconfig.dir.Write("x.kact", "[end]\r\n");
    try {
        noconfig.rt->Main(noconfig.dir.path() + "/x.kact", noconfig.installPath());
        FAIL();
    } catch (const RuntimeError& e) {
        EXPECT_NE(std::string(e.what()).find("config.kcfg"), std::string::npos) << e.what();
    }
}
