#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QWidget>
#include <gtest/gtest.h>

#include "common/qt/key_color_shaper.h"
#include "common/qt/x11_probe.h"

using namespace kobal::qt;
using kobal::qt::testing::HasBoundingShape;

namespace {

constexpr int32_t kMagenta = 255 + 65536 * 255;

// A 40x30 picture: magenta background with a red block in the middle.
QPixmap KeyedPicture() {
    QPixmap p(40, 30);
    p.fill(QColor(255, 0, 255));
    QPainter painter(&p);
    painter.fillRect(10, 10, 20, 10, Qt::red);
    return p;
}

void Settle() {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 300) QApplication::processEvents(QEventLoop::AllEvents, 50);
}

bool HaveX11() { return QGuiApplication::platformName() == "xcb"; }

}  // namespace

TEST(KeyColorShaper, RegionKeepsOnlyTheNonKeyPixels) {
    QWidget w;
    KeyColorShaper shaper(&w);
    const QPixmap pic = KeyedPicture();
    const QRegion r = shaper.VisibleRegion(pic, kMagenta);
    EXPECT_EQ(r.boundingRect(), QRect(10, 10, 20, 10));
    EXPECT_TRUE(r.contains(QPoint(15, 15)));
    EXPECT_FALSE(r.contains(QPoint(2, 2)));
    // Another key colour that appears nowhere keeps the whole picture.
    EXPECT_EQ(shaper.VisibleRegion(pic, 0x00FF00).boundingRect(), QRect(0, 0, 40, 30));
    shaper.VisibleRegion(pic, kMagenta);
    EXPECT_EQ(shaper.cachedRegions(), 2);
}

TEST(KeyColorShaper, AllKeyPictureHidesTheWindow) {
    QWidget w;
    KeyColorShaper shaper(&w);
    QPixmap p(8, 8);
    p.fill(QColor(255, 0, 255));
    EXPECT_FALSE(shaper.VisibleRegion(p, kMagenta).intersects(QRect(0, 0, 8, 8)));
}

TEST(KeyColorShaper, XServerHoldsTheShapeAndDropsItForAnOpaquePicture) {
    if (!HaveX11()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    QWidget w(nullptr, Qt::FramelessWindowHint | Qt::Tool);
    w.resize(40, 30);
    w.show();
    Settle();
    KeyColorShaper shaper(&w);
    shaper.SetPicture(KeyedPicture());
    shaper.SetKeyColor(kMagenta);
    Settle();
    QString out;
    EXPECT_EQ(HasBoundingShape(w.winId(), &out), 1) << out.toStdString();
    // The shape's extent is the red block: the key-coloured border is a hole.
    EXPECT_TRUE(out.contains("extents:  20x10+10+10")) << out.toStdString();

    shaper.ClearShape();
    Settle();
    EXPECT_EQ(HasBoundingShape(w.winId(), &out), 0) << out.toStdString();
}
