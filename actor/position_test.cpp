#include "actor/position.h"

#include <gtest/gtest.h>

#include "actor/test_support.h"

using namespace kobal::actor;
using namespace kobal::actor::testing;

TEST(Position, KeepOnScreenPullsTheActorBackWithinTheRoom) {
    FakeScreen screen;
    Position p(screen);
    p.MoveTo(40000, 20000);
    p.KeepOnScreen(1500, 1500);
    EXPECT_EQ(p.x(), 1920 * 15 - 1500);
    EXPECT_EQ(p.y(), 1080 * 15 - 1500);
    p.MoveTo(-30, 0);
    p.KeepOnScreen(1500, 1500);
    EXPECT_EQ(p.x(), 0);
    EXPECT_EQ(p.y(), 0);
    // Beyond 16-bit twips on a wide screen.
    screen.widthPixels = 5120;
    p.MoveTo(70000, 0);
    p.KeepOnScreen(1500, 1500);
    EXPECT_EQ(p.x(), 70000);
}

TEST(Position, StepsDragsAndNewSizesRoundHalvesToEven) {
    FakeScreen screen;
    Position p(screen);
    p.MoveTo(100, 100);
    p.DragBy(-0.5, 1.5);  // 100.5 and 98.5
    EXPECT_EQ(p.x(), 100);
    EXPECT_EQ(p.y(), 98);
    // Centred: half the growth each way (5 twips, 2.5 to even).
    p.Realign(10, 10, 20, 15, 0, 0);
    EXPECT_EQ(p.x(), 95);
    EXPECT_EQ(p.y(), 96);
    // Right and bottom edges stay; any other value keeps left and top.
    p.Realign(20, 15, 30, 25, 1, 2);
    EXPECT_EQ(p.x(), 85);
    EXPECT_EQ(p.y(), 96);
    p.CentreOn({0, 0, 1000, 600}, 101, 100);
    EXPECT_EQ(p.x(), 450);  // 449.5 to even
    EXPECT_EQ(p.y(), 250);
}
