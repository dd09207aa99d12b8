#include "common/qt/key_color_shaper.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
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

// One row of pixels with an alpha channel, each with whether it shows when
// keyed with magenta: alpha cuts below half-way, and the key colour still
// cuts what alpha lets through.
TEST(KeyColorShaper, AlphaCutsTransparentPixelsAndTheKeyColourStillApplies) {
    struct Case {
        QRgb pixel;
        bool shown;
    };
    const Case table[] = {
        {qRgba(255, 0, 0, 255), true},     // opaque
        {qRgba(0, 0, 0, 0), false},        // fully transparent
        {qRgba(255, 0, 0, 0), false},      // transparent, whatever its colour
        {qRgba(0, 0, 255, 127), false},    // just below half-way
        {qRgba(0, 255, 0, 128), true},     // half-way shows
        {qRgba(255, 0, 255, 255), false},  // the key colour
        {qRgba(255, 0, 255, 200), false},  // the key colour, half seen: still the key colour
        {qRgba(254, 0, 255, 255), true},   // one step from the key colour
    };
    const int n = static_cast<int>(std::size(table));
    QImage image(n, 1, QImage::Format_ARGB32);
    for (int x = 0; x < n; ++x) image.setPixel(x, 0, table[x].pixel);

    QWidget w;
    KeyColorShaper shaper(&w);
    // As loaded for a window, and as any pixmap with alpha given to the shaper.
    const QPixmap solid = SolidOrClear(image);
    const QPixmap raw = QPixmap::fromImage(image);
    ASSERT_TRUE(solid.hasAlphaChannel());
    const QImage drawn = solid.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int x = 0; x < n; ++x) {
        SCOPED_TRACE("pixel " + std::to_string(x));
        EXPECT_EQ(shaper.VisibleRegion(solid, kMagenta).contains(QPoint(x, 0)), table[x].shown);
        EXPECT_EQ(shaper.VisibleRegion(raw, kMagenta).contains(QPoint(x, 0)), table[x].shown);
        // Drawn: fully opaque in its own colour, or fully transparent.
        const QRgb got = drawn.pixel(x, 0);
        if (qAlpha(table[x].pixel) >= 128) EXPECT_EQ(got, table[x].pixel | 0xFF000000u);
        else EXPECT_EQ(qAlpha(got), 0);
    }
    // Without a key colour the shaper is not asked: an opaque frame's whole
    // rectangle shows, and the transparent pixels are drawn black (on black).
    EXPECT_EQ(qGray(drawn.pixel(1, 0)), 0);
}

TEST(KeyColorShaper, PicturesWithoutTransparentPixelsAreShapedAsBefore) {
    // Alpha everywhere at least half-way: no alpha channel is left, and the
    // mask is the key colour's alone.
    QImage image(4, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(255, 0, 255, 255));
    image.setPixel(1, 0, qRgba(10, 20, 30, 255));
    image.setPixel(2, 0, qRgba(10, 20, 30, 130));
    image.setPixel(3, 0, qRgba(255, 0, 255, 255));
    const QPixmap solid = SolidOrClear(image);
    EXPECT_FALSE(solid.hasAlphaChannel());
    QWidget w;
    KeyColorShaper shaper(&w);
    EXPECT_EQ(shaper.VisibleRegion(solid, kMagenta), QRegion(1, 0, 2, 1));

    // A picture without alpha keeps none and is cut by the key colour alone.
    const QPixmap plain = SolidOrClear(KeyedPicture().toImage());
    EXPECT_FALSE(plain.hasAlphaChannel());
    EXPECT_EQ(shaper.VisibleRegion(plain, kMagenta), QRegion(10, 10, 20, 10));

    // All transparent: hidden like a picture all of the key colour.
    QImage clear(8, 8, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    EXPECT_FALSE(shaper.VisibleRegion(SolidOrClear(clear), kMagenta).intersects(QRect(0, 0, 8, 8)));
}

// Transparency read from the files the readers meet: a PNG's alpha, a GIF's
// transparent colour, an icon's and a 32-bit BMP's alpha.
TEST(KeyColorShaper, TransparencyInPictureFilesIsCut) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QImage rgba(2, 1, QImage::Format_ARGB32);
    rgba.setPixel(0, 0, qRgba(255, 0, 0, 255));
    rgba.setPixel(1, 0, qRgba(0, 255, 0, 0));
    ASSERT_TRUE(rgba.save(dir.filePath("frame.png")));
    ASSERT_TRUE(rgba.save(dir.filePath("frame.ico")));
    // 2x1, red and a green that is the transparent colour (index 1).
    const unsigned char gif[] = {'G', 'I', 'F', '8', '9',  'a',  2, 0, 1, 0,    0x80, 0, 0,    255, 0,
                                 0,   0,   255, 0,   0x21, 0xF9, 4, 1, 0, 0,    1,    0, 0x2C, 0,   0,
                                 0,   0,   2,   0,   1,    0,    0, 2, 2, 0x44, 0x0A, 0, 0x3B};
    QFile f(dir.filePath("frame.gif"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(reinterpret_cast<const char*>(gif), sizeof gif);
    f.close();

    // The same as a 32-bit BMP whose header gives an alpha mask.
    QByteArray bmp("BM");
    const auto put = [&bmp](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) bmp.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    put(14 + 108 + 8, 4), put(0, 4), put(14 + 108, 4);
    put(108, 4), put(2, 4), put(1, 4), put(1, 2), put(32, 2), put(3, 4), put(8, 4), put(2835, 4), put(2835, 4);
    put(0, 4), put(0, 4), put(0x00FF0000, 4), put(0x0000FF00, 4), put(0x000000FF, 4), put(0xFF000000, 4);
    put(0x73524742, 4);  // sRGB
    bmp.append(48, '\0');
    put(0xFFFF0000, 4), put(0x0000FF00, 4);
    QFile b(dir.filePath("frame.bmp"));
    ASSERT_TRUE(b.open(QIODevice::WriteOnly));
    b.write(bmp);
    b.close();

    QWidget w;
    KeyColorShaper shaper(&w);
    for (const char* name : {"frame.png", "frame.gif", "frame.ico", "frame.bmp"}) {
        SCOPED_TRACE(name);
        const QPixmap picture = LoadShapedPicture(dir.filePath(name).toStdString());
        ASSERT_EQ(picture.size(), QSize(2, 1));
        EXPECT_EQ(shaper.VisibleRegion(picture, kMagenta), QRegion(0, 0, 1, 1));
        EXPECT_EQ(picture.toImage().pixel(0, 0), qRgb(255, 0, 0));
    }
}
