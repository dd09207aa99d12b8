// Qt keeps a scaled screen's corner in device pixels and halves its size, so
// its own coordinates leave gaps between monitors; the desktop map closes them.
#include "actor/qt/desktop_map.h"

#include <gtest/gtest.h>

using namespace kobal::actor::qt;

TEST(DesktopMap, ScaledMonitorsMeetEdgeToEdgeAndPointsMapBothWays) {
    // Two monitors side by side at factor 2, as Qt reports them.
    const DesktopMap map({{QRect(0, 0, 960, 540), 2}, {QRect(1920, 0, 640, 512), 2}});
    EXPECT_EQ(map.scale(), 2);
    const auto rects = map.DesktopRects();
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(rects[0], QRectF(0, 0, 960, 540));
    EXPECT_EQ(rects[1], QRectF(960, 0, 640, 512));  // right where the first ends

    // A point on the second monitor, in Qt's terms and in device pixels.
    EXPECT_EQ(map.DeviceFromQt(QPointF(2000, 100)), QPoint(2080, 200));
    EXPECT_EQ(map.QtFromDevice(QPoint(2080, 200)), QPoint(2000, 100));
    EXPECT_EQ(map.QtFromDevice(QPoint(100, 60)), QPoint(50, 30));
    // Beyond every monitor, the nearest one's mapping holds.
    EXPECT_EQ(map.QtFromDevice(QPoint(3300, 200)), QPoint(2610, 100));

    // Unscaled, every mapping is the identity.
    const DesktopMap plain({{QRect(0, 0, 1920, 1080), 1}, {QRect(1920, 0, 1280, 1024), 1}});
    EXPECT_EQ(plain.DesktopRects()[1], QRectF(1920, 0, 1280, 1024));
    EXPECT_EQ(plain.DeviceFromQt(QPointF(2500, 700)), QPoint(2500, 700));
    EXPECT_EQ(plain.QtFromDevice(QPoint(2500, 700)), QPoint(2500, 700));
}
