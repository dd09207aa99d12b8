// Actors on a desktop of several monitors, and staying out of the user's way.
#include "actor/desktop.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "actor/test_support.h"

using namespace kobal;
using namespace kobal::actor;
using namespace kobal::actor::testing;

namespace {

constexpr int32_t kPx = 15;  // twips per pixel of the fake screen

// A 100 x 100 actor stepping 10 pixels a tick.
std::string Anim(const std::string& picture) {
    return Lines({"framecount=1", "framepause=1", "timerspeed=40", "movespeed=150", "actorwidth=100", "actorheight=100",
                  "[end]", picture + ".bmp"});
}

class Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        h.UseActorDir();
        h.settings().iconfile = "icon.ico";
        for (std::string p : {"icon.ico", "l.bmp", "r.bmp", "s.bmp"}) h.Actor(p, "x");
        for (std::string p : {"l", "r", "s"}) h.Actor(p + ".kani", Anim(p));
        h.Actor("stand.krnd", Lines({"1", "!04|1|s.kani|"}));
        h.activity().SetStateList("stand.krnd");
    }
    // Two monitors of different heights side by side, the taller primary.
    void SideBySide() {
        h.screen.AddMonitor(0, 0, 1920, 1080);
        h.screen.AddMonitor(1920, 0, 1280, 1024);
    }
    void Start(const std::string& command, int xPx, int yPx, double direction) {
        h.random.queued = {direction < 0 ? 0.7 : 0.2, 0.2};
        h.player().RunActionCommand(command);
        h.position().MoveTo(xPx * kPx, yPx * kPx);
        h.rt->AnimationTick();  // the initialising tick
        h.rt->AnimationTick();  // the first frame sizes the actor
        h.position().MoveTo(xPx * kPx, yPx * kPx);
    }
    Room RoomAt(int xPx, int yPx) { return RoomAround(h.screen, xPx * kPx, yPx * kPx, 100 * kPx, 100 * kPx); }
    ActorHarness h;
};

}  // namespace

TEST_F(Desktop, RoomSpansMonitorsThatContinueTheActorsRowOrColumn) {
    SideBySide();
    // High up, both monitors hold the actor's row: one room across both.
    for (int x : {100, 2500}) {
        const Room r = RoomAt(x, 300);
        EXPECT_EQ(r.left, 0);
        EXPECT_EQ(r.right, 3200 * kPx);
        EXPECT_EQ(r.bottom, x < 1920 ? 1080 * kPx : 1024 * kPx) << x;
    }
    // On the taller monitor's floor, the shorter one's bottom edge is a wall.
    EXPECT_EQ(RoomAt(1000, 980).right, 1920 * kPx);
    // The shorter monitor's floor lies inside the taller one: the way is open.
    EXPECT_EQ(RoomAt(2500, 924).left, 0);

    // Heads laid over each other at the origin: the union is the room.
    h.screen.monitors.clear();
    h.screen.AddMonitor(0, 0, 1280, 1024);
    h.screen.AddMonitor(0, 0, 1920, 1080);
    const Room u = RoomAt(200, 200);
    EXPECT_EQ(u.right, 1920 * kPx);
    EXPECT_EQ(u.bottom, 1080 * kPx);

    // A monitor below continues the floor; one above, the ceiling.
    h.screen.monitors.clear();
    h.screen.AddMonitor(0, 0, 1920, 1080);
    h.screen.AddMonitor(0, 1080, 1920, 1080);
    EXPECT_EQ(RoomAt(500, 500).bottom, 2160 * kPx);
    EXPECT_EQ(RoomAt(500, 1500).top, 0);

    // In a gap (below the shorter monitor) the nearest monitor holds the actor.
    h.screen.monitors.clear();
    SideBySide();
    EXPECT_EQ(StandingMonitor(h.screen, 2500 * kPx, 1040 * kPx, 20 * kPx, 20 * kPx), 1);
    EXPECT_FALSE(OnSomeMonitor(h.screen, 2500 * kPx, 1040 * kPx, 20 * kPx, 20 * kPx));
}

TEST_F(Desktop, WalkerCrossesIntoTheNextMonitorAndTurnsAtTheFarEdge) {
    SideBySide();
    Start("!02|2000|$l.kani,r.kani|", 1700, 300, +1);
    int32_t far = 0;
    bool back = false;
    for (int i = 0; i < 400 && !back; ++i) {
        h.rt->AnimationTick();
        far = std::max(far, h.rt->position().x());
        back = far > 1920 * kPx && h.rt->position().x() < 1900 * kPx;
    }
    EXPECT_TRUE(back) << "did not come back onto the first monitor";
    EXPECT_GT(far, (3200 - 100) * kPx);       // reached the second monitor's right edge,
    EXPECT_LE(far, (3200 - 100 + 10) * kPx);  // at most one step beyond it
    EXPECT_EQ(h.rt->behaviours().record().actionmove1, -10 * kPx);
    EXPECT_EQ(h.window.left, h.rt->position().x() + 10 * kPx);  // the frame shows the previous position
    EXPECT_EQ(h.rt->position().y(), 300 * kPx);

    // Along the taller monitor's floor the shorter one is a wall.
    Start("!02|2000|$l.kani,r.kani|", 1700, 980, +1);
    far = 0;
    for (int i = 0; i < 100; ++i) {
        h.rt->AnimationTick();
        far = std::max(far, h.rt->position().x());
    }
    EXPECT_LE(far, (1920 - 100 + 10) * kPx);
    EXPECT_GT(far, (1920 - 100) * kPx);
}

TEST_F(Desktop, FallersLandOnTheFloorOfTheMonitorTheyAreOn) {
    SideBySide();
    for (auto [x, floor] : {std::pair{500, 1080}, std::pair{2500, 1024}}) {
        Start("!03|2000|s.kani|", x, 100, +1);
        for (int i = 0; i < 200 && h.rt->behaviours().actiontype() == 3; ++i) h.rt->AnimationTick();
        EXPECT_NE(h.rt->behaviours().actiontype(), 3) << "still falling at x " << x;
        // The fall ends at the floor (at most one step past it before the
        // next animation puts it back on it).
        EXPECT_GE(h.rt->position().y(), (floor - 100) * kPx) << x;
        EXPECT_LT(h.rt->position().y(), (floor - 100 + 10) * kPx) << x;
        h.player().KeepOnScreen();
        EXPECT_EQ(h.rt->position().y(), (floor - 100) * kPx) << x;
    }
    // A wanderer on the shorter monitor bounces off its floor, not the gap.
    Start("!01|2000|s.kani|", 2500, 900, +1);
    int32_t lowest = 0;
    for (int i = 0; i < 100; ++i) {
        h.rt->AnimationTick();
        if (h.rt->position().x() > 1920 * kPx) lowest = std::max(lowest, h.rt->position().y());
    }
    EXPECT_LE(lowest, (1024 - 100 + 10) * kPx);
}

TEST_F(Desktop, LayoutChangeBringsAStrandedActorBackAndLeavesOthersAlone) {
    SideBySide();
    Start("!04|1|s.kani|", 2500, 924, +1);
    h.rt->ScreensChanged();
    EXPECT_EQ(h.rt->position().x(), 2500 * kPx) << "on a monitor still there: untouched";

    // The second monitor goes away while the actor stands on it.
    h.screen.monitors.pop_back();
    h.window.Take();
    h.rt->ScreensChanged();
    EXPECT_EQ(h.rt->position().x(), (1920 - 100) * kPx);
    EXPECT_EQ(h.rt->position().y(), 924 * kPx);
    EXPECT_EQ(h.window.Take(), (std::vector<std::string>{"move 27300,13860"}));

    // Now the only monitor shrinks under it: it comes back whole, in the corner.
    h.screen.monitors = {{0, 0, 800 * kPx, 600 * kPx}};
    h.rt->ScreensChanged();
    EXPECT_EQ(h.rt->position().x(), 700 * kPx);
    EXPECT_EQ(h.rt->position().y(), 500 * kPx);
}

TEST_F(Desktop, APanelAppearingUnderAStandingActorLiftsItOntoThePanel) {
    // The monitors are their work areas: a 30 pixel bottom panel appears
    // under an actor standing on the first monitor's floor. Its centre is
    // still above the panel, yet it no longer stands behind it.
    SideBySide();
    Start("!04|1|s.kani|", 500, 980, +1);
    h.window.Take();
    h.screen.monitors[0] = {0, 0, 1920.0 * kPx, 1050.0 * kPx};
    h.rt->ScreensChanged();
    EXPECT_EQ(h.rt->position().y(), 950 * kPx);
    EXPECT_EQ(h.rt->position().x(), 500 * kPx);
    EXPECT_EQ(h.window.Take(), (std::vector<std::string>{"move 7500,14250"}));

    // The panel goes: the actor stays where it stands, and nothing is sent.
    h.screen.monitors[0] = {0, 0, 1920.0 * kPx, 1080.0 * kPx};
    h.rt->ScreensChanged();
    EXPECT_EQ(h.rt->position().y(), 950 * kPx);
    EXPECT_TRUE(h.window.Take().empty());
}

TEST_F(Desktop, StartUpCentresOnThePrimaryMonitor) {
    // The primary monitor on the right of a smaller one.
    h.screen.AddMonitor(1280, 0, 1920, 1080);
    h.screen.AddMonitor(0, 0, 1280, 1024);
    h.Actor("one.krnd", Lines({"1", "s.kani"}));
    h.dir.Write("bob.kact", Lines({"actorname=Bob", "actorpath=actors\\a\\", "iconfile=icon.ico", "activefile=one.krnd",
                                   "responsefile=one.krnd", "boredfile=one.krnd", "sleepfile=one.krnd", "[end]"}));
    h.rt->Main(h.dir.path() + "/bob.kact", h.installPath());
    EXPECT_EQ(h.rt->position().x(), (1280 + 960 - 50) * kPx);
    EXPECT_EQ(h.rt->position().y(), (540 - 50) * kPx);
}

TEST_F(Desktop, FullscreenHidesTheActorOnlyWhenAskedAndShowsItAfter) {
    Start("!01|100|s.kani|", 500, 500, +1);
    h.rt->AnimationTick();
    h.window.visible = true;
    h.window.Take();
    h.rt->FullscreenChanged(true);
    EXPECT_TRUE(h.window.visible) << "hidefullscreen is off by default";
    h.rt->FullscreenChanged(false);
    EXPECT_TRUE(h.window.Take().empty());

    h.settings().hidefullscreen = 1;
    h.rt->FullscreenChanged(true);
    h.rt->FullscreenChanged(true);  // another fullscreen window: still hidden, once
    EXPECT_FALSE(h.window.visible);
    // The actor lives on while hidden.
    const int32_t x = h.rt->position().x();
    h.rt->AnimationTick();
    EXPECT_NE(h.rt->position().x(), x);
    h.settings().hidefullscreen = 0;  // switched off meanwhile: it still comes back
    h.rt->FullscreenChanged(false);
    EXPECT_TRUE(h.window.visible);
    std::vector<std::string> shows;
    for (const auto& e : h.window.Take())
        if (e == "show" || e == "hide") shows.push_back(e);
    EXPECT_EQ(shows, (std::vector<std::string>{"hide", "show"}));
}

TEST_F(Desktop, ClickThroughTogglesFromTheMenuWithItsCheckMark) {
    h.rt->MenuChosen(MenuChoice::pclickthrough);
    EXPECT_TRUE(h.window.clickThrough);
    EXPECT_TRUE(h.menu.IsChecked(MenuItem::pclickthrough));
    h.rt->MenuChosen(MenuChoice::pclickthrough);
    EXPECT_FALSE(h.window.clickThrough);
    EXPECT_FALSE(h.menu.IsChecked(MenuItem::pclickthrough));
}
