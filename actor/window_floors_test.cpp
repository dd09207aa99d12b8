#include <gtest/gtest.h>

#include <functional>

#include "actor/test_support.h"

using namespace kobal;
using kobal::actor::ActorRuntime;
using kobal::actor::FloorNote;
using namespace kobal::actor::testing;

namespace {

// 100 x 100 pixels, 10 pixels a step.
std::string Anim(const std::string& picture, int movespeed = 150) {
    return Lines({"framecount=2", "framepause=1", "timerspeed=40", "movespeed=" + std::to_string(movespeed),
                  "actorwidth=100", "actorheight=100", "[end]", picture + "1.bmp", picture + "2.bmp"});
}

constexpr int kTwips = 15;
constexpr int32_t kMonitorFloor = 1080 * kTwips;

class WindowFloors : public ::testing::Test {
  protected:
    void SetUp() override { Prepare(h); }

    static void Prepare(ActorHarness& a) {
        a.UseActorDir();
        a.settings().iconfile = "icon.ico";
        a.settings().windowfloors = 1;
        a.Actor("icon.ico", "x");
        for (std::string p : {"d", "l", "r", "s", "f"}) {
            a.Actor(p + "1.bmp", "x");
            a.Actor(p + "2.bmp", "x");
            a.Actor(p + ".kani", Anim(p));
        }
        a.Actor("still.kani", Anim("s", 0));
        // After a landing the actor stands and does nothing (type 7).
        a.Actor("stand.krnd", Lines({"1", "!07|1|s.kani|"}));
        // Too few steps to reach any floor: a fall goes on all the same.
        a.Actor("fall.krnd", Lines({"1", "!03|3|f.kani|stand.krnd"}));
    }

    void Tick(int n = 1) {
        for (int i = 0; i < n; ++i) h.rt->AnimationTick();
    }
    // Ticks until the actor stands still on type 7, at most limit ticks.
    void TickUntilStanding(int limit = 3000) {
        for (int i = 0; i < limit && h.rt->behaviours().actiontype() != 7; ++i) Tick();
        ASSERT_EQ(h.rt->behaviours().actiontype(), 7) << "still moving after " << limit << " ticks";
    }
    // Puts the actor's top-left corner at (x, y) pixels and descends.
    void DescendFrom(int x, int y, const std::string& command = "!03|1000|d.kani|stand.krnd") {
        h.Run(command);
        h.position().MoveTo(x * kTwips, y * kTwips);
    }
    int32_t Feet() { return h.rt->position().y() + 100 * kTwips; }
    int32_t CentreX() { return h.rt->position().x() + 50 * kTwips; }

    ActorHarness h;
};

}  // namespace

TEST_F(WindowFloors, ADescendLandsOnTheFirstTopBelowItsStartAndRidesItsMoves) {
    h.windows.Add(1, 800, 150, 400, 600);  // the actor starts inside it: below its top
    h.windows.Add(2, 700, 800, 600, 200);
    h.windows.Add(3, 850, 500, 300, 100);   // the first below its feet (200)
    h.windows.Add(4, 1400, 300, 300, 100);  // not in its column
    DescendFrom(900, 100);
    TickUntilStanding();
    EXPECT_EQ(Feet(), 500 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 3u);
    EXPECT_EQ(h.rt->position().x(), 900 * kTwips);

    // The window moves: the actor goes with it, at once.
    h.windows.Find(3)->left += 40 * kTwips;
    h.windows.Find(3)->top -= 30 * kTwips;
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->position().x(), 940 * kTwips);
    EXPECT_EQ(Feet(), 470 * kTwips);
    EXPECT_EQ(h.window.left, 940 * kTwips);
    EXPECT_EQ(h.window.top, 370 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 3u);

    // A resize from its left edge leaves the actor where it stands.
    h.windows.Find(3)->left -= 100 * kTwips;
    h.windows.Find(3)->width += 100 * kTwips;
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->position().x(), 940 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 3u);

    // Another descend from a window it stands on stays there.
    h.Run("!03|1000|d.kani|stand.krnd");
    TickUntilStanding();
    EXPECT_EQ(Feet(), 470 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 3u);
}

TEST_F(WindowFloors, ACoveredTopOrAFullscreenWindowIsNoFloor) {
    h.windows.Add(1, 800, 500, 400, 100);
    h.windows.Add(2, 600, 150, 700, 400);  // above 1 in the stack, over its top at the actor's column
    h.windows.Add(3, 0, 0, 1920, 1080, false).top = 700 * kTwips;  // a window that never carries, its top in the way
    DescendFrom(900, 100);
    TickUntilStanding();
    EXPECT_GE(h.rt->position().y(), kMonitorFloor - 100 * kTwips);  // the monitor's floor, as before
    EXPECT_EQ(h.rt->floors().standingOn(), 0u);

    // Uncovered, window 1 carries; covered later, the actor falls.
    h.windows.list.erase(h.windows.list.begin() + 1, h.windows.list.end());
    DescendFrom(900, 100);
    TickUntilStanding();
    EXPECT_EQ(h.rt->floors().standingOn(), 1u);
    h.windows.Add(5, 900, 450, 300, 300);
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 3);
    EXPECT_EQ(h.rt->floors().standingOn(), 0u);

    // Standing on a window that goes fullscreen: it falls too.
    h.windows.list.clear();
    h.windows.Add(6, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    ASSERT_EQ(h.rt->floors().standingOn(), 6u);
    h.windows.Find(6)->floor = false;
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 3);
}

TEST_F(WindowFloors, AWalkerWalksAlongATopAndFallsOffItsEndOntoTheFloorBelow) {
    h.windows.Add(1, 800, 500, 400, 100);
    h.windows.Add(2, 1000, 800, 600, 100);
    std::vector<std::string> notes;
    h.rt->SetFloorListener([&notes](const FloorNote& n) { notes.push_back(FloorNoteText(n)); });
    DescendFrom(900, 100, "!03|1000|d.kani|walk.krnd");
    h.Actor("walk.krnd", Lines({"1", "!02|200|$l.kani,r.kani|stand.krnd"}));
    for (int i = 0; i < 500 && h.rt->behaviours().actiontype() != 2; ++i) Tick();
    h.random.queued = {0.2};  // to the right
    int onTop = 0;
    for (int i = 0; i < 500 && h.rt->behaviours().actiontype() != 3; ++i) {
        Tick();
        if (h.rt->behaviours().actiontype() == 2 && Feet() == 500 * kTwips) ++onTop;
    }
    EXPECT_GT(onTop, 10);  // it walked along the top
    ASSERT_EQ(h.rt->behaviours().actiontype(), 3);
    EXPECT_GE(CentreX(), 1200 * kTwips);         // fell where its column left the top
    EXPECT_EQ(h.player().animfile(), "r.kani");  // with what it was playing
    EXPECT_EQ(h.rt->behaviours().nextfile(), "stand.krnd");
    TickUntilStanding();
    EXPECT_EQ(Feet(), 800 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 2u);
    EXPECT_EQ(notes,
              (std::vector<std::string>{"lands on window 1", "falls: off the end of window 1", "lands on window 2"}));
}

TEST_F(WindowFloors, AClosedWindowDropsTheActorWithItsAnimationOrItsFallList) {
    h.windows.Add(1, 800, 500, 400, 100);
    h.Actor("idle.krnd", Lines({"1", "!07|1|still.kani|"}));
    DescendFrom(900, 100, "!03|1000|d.kani|idle.krnd");
    for (int i = 0; i < 200 && h.rt->behaviours().actiontype() != 7; ++i) Tick();
    ASSERT_EQ(h.rt->floors().standingOn(), 1u);
    // Standing there with a still animation: the fall must move all the same.
    h.windows.Remove(1);
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 3);
    EXPECT_EQ(h.player().animfile(), "still.kani");
    EXPECT_TRUE(h.rt->floors().falling());
    for (int i = 0; i < 500 && h.rt->position().y() < kMonitorFloor - 100 * kTwips; ++i) Tick();
    EXPECT_GE(h.rt->position().y(), kMonitorFloor - 100 * kTwips);

    // With fallfile the actor plays it.
    h.settings().fallfile = "fall.krnd";
    h.windows.Add(2, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    ASSERT_EQ(h.rt->floors().standingOn(), 2u);
    h.windows.Remove(2);  // minimised
    h.rt->WindowsChanged();
    EXPECT_EQ(h.player().animfile(), "f.kani");
    EXPECT_EQ(h.rt->behaviours().nextfile(), "stand.krnd");
    h.rt->WindowsChanged();  // falling already: nothing more
    EXPECT_EQ(h.rt->behaviours().actiontype(), 3);
    TickUntilStanding();
    EXPECT_GE(h.rt->position().y(), kMonitorFloor - 100 * kTwips);
    EXPECT_FALSE(h.rt->floors().falling());
}

TEST_F(WindowFloors, ClimbersLeaveTheWindowAndADraggedActorNoLongerStandsOnIt) {
    h.windows.Add(1, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    ASSERT_EQ(h.rt->floors().standingOn(), 1u);
    h.Run("!05|3|d.kani|stand.krnd");
    EXPECT_EQ(h.rt->floors().standingOn(), 0u);
    h.windows.Remove(1);
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 5);

    h.windows.Add(2, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    ASSERT_EQ(h.rt->floors().standingOn(), 2u);
    h.rt->MouseDown(2, 0, 0);
    h.rt->MouseMove(2, 0, -3000);  // lifted off the window by hand
    h.windows.Remove(2);
    h.rt->WindowsChanged();
    Tick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);  // stays where it was put
    EXPECT_EQ(h.rt->floors().standingOn(), 0u);
}

TEST_F(WindowFloors, ANewSizeKeepsTheFeetOnTheTop) {
    h.Actor("small.kani", Lines({"framecount=2", "framepause=1", "timerspeed=40", "movespeed=150", "actorwidth=100",
                                 "actorheight=80", "aligny=0", "[end]", "s1.bmp", "s2.bmp"}));
    h.windows.Add(1, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    h.Run("!04|1|small.kani|stand.krnd");  // centred: its feet 10 pixels up
    ASSERT_EQ(h.rt->position().y() + 80 * kTwips, 490 * kTwips);
    Tick();
    EXPECT_EQ(h.rt->position().y() + 80 * kTwips, 500 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 1u);
}

TEST_F(WindowFloors, NothingChangesWhileHiddenForAFullscreenWindow) {
    h.windows.Add(1, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    RuntimeAccess::EnsureWindowLoaded(*h.rt);
    h.settings().hidefullscreen = 1;
    h.rt->FullscreenChanged(true);
    h.windows.Add(2, 0, 0, 1920, 1080, false);
    h.rt->WindowsChanged();
    Tick(3);
    EXPECT_EQ(h.rt->floors().standingOn(), 1u);
    h.windows.Remove(2);
    h.windows.Remove(1);
    h.rt->WindowsChanged();
    Tick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);
    // Shown again, the first tick catches up: its window has gone.
    h.rt->FullscreenChanged(false);
    Tick();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 3);
}

TEST_F(WindowFloors, NothingChangesWhileHibernatingUntilTheNextTick) {
    h.windows.Add(1, 800, 500, 400, 100);
    h.Actor("wait.krnd", Lines({"1", "!04|1|s.kani|stand.krnd"}));
    DescendFrom(900, 100, "!03|1000|d.kani|wait.krnd");
    for (int i = 0; i < 200 && h.rt->behaviours().actiontype() != 4; ++i) Tick();
    ASSERT_EQ(h.rt->floors().standingOn(), 1u);
    RuntimeAccess::EnsureWindowLoaded(*h.rt);
    h.activity().SetHibernation(1);
    ASSERT_TRUE(h.rt->activity().hibernating());
    const int32_t x = h.rt->position().x();
    h.windows.Find(1)->left += 200 * kTwips;
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->position().x(), x);
    // Awake, the first step catches up with the move it missed.
    h.activity().WakeUp();
    Tick();
    EXPECT_EQ(h.rt->position().x(), x + 200 * kTwips);
    EXPECT_EQ(h.rt->floors().standingOn(), 1u);
}

// With windowfloors 0, or no window list, the actor does exactly what it did.
TEST_F(WindowFloors, OffOrWithoutAWindowListNothingChanges) {
    auto play = [](int windowfloors, bool port, bool windows) {
        ActorHarness a;
        if (!port) {
            a.ports.windows = nullptr;
            a.rt = std::make_unique<ActorRuntime>(a.ports);
            RuntimeAccess::SetInstallDir(*a.rt, a.installPath() + "\\");
        }
        Prepare(a);
        a.settings().windowfloors = static_cast<int16_t>(windowfloors);
        a.settings().fallfile = "fall.krnd";
        if (windows) {
            a.windows.Add(1, 800, 500, 400, 100);
            a.windows.Add(2, 0, 700, 1920, 100);
        }
        a.Actor("walk.krnd", Lines({"1", "!02|60|$l.kani,r.kani|down.krnd"}));
        a.Actor("down.krnd", Lines({"1", "!03|1000|d.kani|walk.krnd"}));
        a.random.rest.Seed(5);
        a.Run("!03|1000|d.kani|walk.krnd");
        a.position().MoveTo(900 * kTwips, 100 * kTwips);
        std::vector<std::string> trace;
        for (int i = 0; i < 400; ++i) {
            a.rt->AnimationTick();
            if (i % 50 == 0) {
                if (windows) a.windows.list.front().left += 30 * kTwips;
                a.rt->WindowsChanged();
            }
            trace.push_back(std::to_string(a.rt->position().x()) + "," + std::to_string(a.rt->position().y()) + " " +
                            std::to_string(a.rt->behaviours().actiontype()) + " " + a.player().animfile());
        }
        for (const std::string& e : a.window.Take()) trace.push_back(e);
        return trace;
    };
    const std::vector<std::string> before = play(0, false, false);
    EXPECT_EQ(play(0, true, true), before);
    EXPECT_EQ(play(1, false, false), before);
    EXPECT_NE(play(1, true, true), before);  // the same run with window floors on does differ
}

TEST_F(WindowFloors, AFailedLinkCommandPutsTheActorBackOnItsWindow) {
    h.windows.Add(1, 800, 500, 400, 100);
    DescendFrom(900, 100);
    TickUntilStanding();
    // A climb leaves the window, then its animation is missing: all goes back.
    h.Actor("climb.krnd", Lines({"1", "!05|3|missing.kani|"}));
    h.rt->LinkTextArrived("*%*climb.krnd");
    ASSERT_NO_THROW(h.rt->LinkClockTick());
    EXPECT_EQ(h.rt->behaviours().actiontype(), 7);
    EXPECT_EQ(h.rt->floors().standingOn(), 1u);
    h.windows.Remove(1);
    h.rt->WindowsChanged();
    EXPECT_EQ(h.rt->behaviours().actiontype(), 3);
}
