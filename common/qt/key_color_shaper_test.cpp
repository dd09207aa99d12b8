#include "common/qt/key_color_shaper.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRegularExpression>
#include <QWidget>

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

bool HaveX11() {
    return QGuiApplication::platformName() == "xcb";
}

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

// Between two pictures the shape holds only what both show, so that the new
// picture can be drawn before its own shape is set; a window with no picture
// yet shows nothing.
TEST(KeyColorShaper, ShapeNarrowsToWhatBothPicturesShowBetweenThem) {
    if (!HaveX11()) GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    QWidget w(nullptr, Qt::FramelessWindowHint | Qt::Tool);
    w.resize(40, 30);
    KeyColorShaper shaper(&w);
    shaper.HideAll();
    w.winId();
    shaper.Reapply();
    w.show();
    Settle();
    QString out;
    EXPECT_EQ(HasBoundingShape(w.winId(), &out), 1) << out.toStdString();
    EXPECT_FALSE(out.contains(QRegularExpression("extents:  \\d+x\\d+\\+\\d+\\+\\d+")))
        << "nothing of the window lies in its shape: " << out.toStdString();

    shaper.SetPicture(KeyedPicture());  // red at 10,10 20x10
    shaper.SetKeyColor(kMagenta);
    QPixmap next(40, 30);
    next.fill(QColor(255, 0, 255));
    QPainter(&next).fillRect(20, 5, 15, 20, Qt::blue);
    shaper.NarrowFor(next, kMagenta);
    Settle();
    HasBoundingShape(w.winId(), &out);
    EXPECT_TRUE(out.contains("extents:  10x10+20+10")) << out.toStdString();

    shaper.SetPicture(next);
    shaper.SetKeyColor(kMagenta);
    Settle();
    HasBoundingShape(w.winId(), &out);
    EXPECT_TRUE(out.contains("extents:  15x20+20+5")) << out.toStdString();

    // From the whole window, the new picture's shape at once.
    shaper.ClearShape();
    shaper.NarrowFor(KeyedPicture(), kMagenta);
    Settle();
    HasBoundingShape(w.winId(), &out);
    EXPECT_TRUE(out.contains("extents:  20x10+10+10")) << out.toStdString();
}
