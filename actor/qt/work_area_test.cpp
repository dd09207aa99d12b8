// Each monitor's work area from the docks' struts: a panel cuts the monitor
// it stands on and no other, whatever the desktop-wide work area says.
#include "actor/qt/work_area.h"

#include <gtest/gtest.h>

using namespace kobal::actor::qt;

namespace {

Strut Bottom(int height, int fromX, int toX) {
    Strut s;
    s.bottom = height;
    s.bottomStartX = fromX;
    s.bottomEndX = toX;
    return s;
}

}  // namespace

TEST(WorkArea, APanelCutsOnlyTheMonitorItStandsOn) {
    const QSize root(3200, 1080);
    const std::vector<QRect> monitors{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};

    // A full-width bottom panel on the first monitor.
    auto areas = WorkAreas(monitors, {Bottom(60, 0, 1919)}, root, std::nullopt);
    EXPECT_EQ(areas[0], QRect(0, 0, 1920, 1020));
    EXPECT_EQ(areas[1], monitors[1]);

    // On the shorter second monitor the strut counts from the root's bottom
    // edge, 56 pixels below that monitor; the first stays whole although the
    // window manager's one rectangle for the desktop is cut for both.
    areas = WorkAreas(monitors, {Bottom(56 + 30, 1920, 3199)}, root, QRect(0, 0, 3200, 994));
    EXPECT_EQ(areas[0], monitors[0]);
    EXPECT_EQ(areas[1], QRect(1920, 0, 1280, 994));

    // Left, right and top docks, each on part of its edge.
    Strut left, right, top;
    left.left = 48, left.leftStartY = 100, left.leftEndY = 500;
    right.right = 20, right.rightStartY = 0, right.rightEndY = 1023;
    top.top = 24, top.topStartX = 1920, top.topEndX = 3199;
    areas = WorkAreas(monitors, {left, right, top}, root, std::nullopt);
    EXPECT_EQ(areas[0], QRect(48, 0, 1920 - 48, 1080));
    EXPECT_EQ(areas[1], QRect(1920, 24, 1280 - 20, 1000));
}

TEST(WorkArea, ALoneMonitorAlsoKeepsToThePublishedWorkAreaAndNeverVanishes) {
    const QSize root(1280, 1024);
    const std::vector<QRect> one{QRect(0, 0, 1280, 1024)};
    // No dock seen, but the window manager keeps a band at the top.
    EXPECT_EQ(WorkAreas(one, {}, root, QRect(0, 30, 1280, 994))[0], QRect(0, 30, 1280, 994));
    // The older strut form reserves the whole edge.
    Strut plain;
    plain.bottom = 60, plain.bottomEndX = 1279;
    EXPECT_EQ(WorkAreas(one, {plain}, root, std::nullopt)[0], QRect(0, 0, 1280, 964));
    // A strut beyond the monitor, or one that would leave nothing, changes nothing.
    EXPECT_EQ(WorkAreas(one, {Bottom(5000, 0, 1279)}, root, std::nullopt)[0], one[0]);
    EXPECT_EQ(WorkAreas({QRect(0, 0, 640, 480)}, {Bottom(60, 700, 1279)}, root, std::nullopt)[0],
              QRect(0, 0, 640, 480));
}
