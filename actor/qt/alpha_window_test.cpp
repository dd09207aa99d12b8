// The real actor program showing a picture with an alpha channel, read back
// from the X server: what lies outside the window's shape and what the
// screen shows, over a backdrop of a known colour.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QWidget>

#include "actor/qt/process_harness.h"
#include "common/qt/x11_probe.h"

using namespace kobal::actor::qt::testing;

namespace {

const QColor kBackdrop(0, 128, 128);

// 40x30 in four bands: transparent, opaque red, green at alpha 200, and a
// band of the key colour over a blue at alpha 100.
QImage AlphaFrame() {
    QImage image(40, 30, QImage::Format_ARGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            image.setPixel(x, y,
                           x < 10   ? qRgba(255, 0, 0, 0)
                           : x < 20 ? qRgba(255, 0, 0, 255)
                           : x < 30 ? qRgba(0, 255, 0, 200)
                           : y < 15 ? qRgba(255, 0, 255, 255)
                                    : qRgba(0, 0, 255, 100));
    return image;
}

// What the screen shows in a rectangle, read from the root window.
QImage ScreenArea(const QRect& r) {
    const QString file = QDir::tempPath() + QString("/kobal-alpha-%1.png").arg(QCoreApplication::applicationPid());
    QFile::remove(file);
    RunTool("import", {"-window", "root", "-crop",
                       QString("%1x%2+%3+%4").arg(r.width()).arg(r.height()).arg(r.x()).arg(r.y()), file});
    QImage image(file);
    QFile::remove(file);
    return image.convertToFormat(QImage::Format_RGB32);
}

class AlphaWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        if (!QFile::exists(kActorProgram)) GTEST_SKIP() << "kobalactor is not built";
        ASSERT_TRUE(AlphaFrame().save(QString::fromStdString(install.dir / "actor/alpha.png"), "PNG"));
        // Under where the actor starts, the centre of the screen.
        backdrop.setWindowFlags(Qt::FramelessWindowHint | Qt::Tool | Qt::X11BypassWindowManagerHint);
        QPalette p = backdrop.palette();
        p.setColor(QPalette::Window, kBackdrop);
        backdrop.setPalette(p);
        backdrop.setAutoFillBackground(true);
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        backdrop.setGeometry(QRect(0, 0, 200, 160).translated(screen.center() - QPoint(100, 80)));
        backdrop.show();
        ASSERT_TRUE(Within([&] {
            QApplication::processEvents();
            return ScreenArea(QRect(backdrop.geometry().center(), QSize(1, 1))).pixelColor(0, 0) == kBackdrop;
        })) << "the backdrop never showed";
    }
    // The actor's window once its picture is on the screen: the red band shows.
    QString StartShowing(const std::string& frameLine) {
        const std::string header =
            "framecount=1\r\nframepause=2\r\ntimerspeed=40\r\nmovespeed=30\r\nactorwidth=40\r\n"
            "actorheight=30\r\ntransparentred=255\r\ntransparentgreen=0\r\n"
            "transparentblue=255\r\n[end]\r\n";
        install.dir.Write("actor/stand.kani", header + frameLine + "\r\n");
        install.Start({QString::fromStdString(install.WriteActor("alpha.kact", "stand.krnd"))});
        const QString id = ActorInstall::FindWindow("TestActor", 30000);
        if (id.isEmpty()) return id;
        Within([&] {
            place = WindowGeometry(id);
            return ScreenArea(QRect(place.x + 15, place.y + 15, 1, 1)).pixelColor(0, 0) == QColor(255, 0, 0);
        });
        return id;
    }
    // The screen's colour at a point of the actor's picture, as #rrggbb.
    static std::string At(const QImage& shown, int x, int y) { return shown.pixelColor(x, y).name().toStdString(); }
    static std::string Name(const QColor& c) { return c.name().toStdString(); }

    ActorInstall install;
    QWidget backdrop;
    Geometry place;
};

}  // namespace

// Transparent pixels lie outside the shape as the key colour's do; what
// shows is opaque in the picture's own colour.
TEST_F(AlphaWindow, TransparentPixelsShowWhatLiesBehindAndTheRestIsOpaque) {
    const QString id = StartShowing("alpha.png");
    ASSERT_FALSE(id.isEmpty()) << "no actor window";
    QString shape;
    ASSERT_EQ(kobal::qt::testing::HasBoundingShape(id.toULong(), &shape), 1) << shape.toStdString();
    EXPECT_TRUE(shape.contains("extents:  20x30+10+0")) << shape.toStdString();
    const QImage shown = ScreenArea(QRect(place.x, place.y, 40, 30));
    ASSERT_EQ(shown.size(), QSize(40, 30));
    struct Case {
        int x, y;
        QColor colour;
        const char* what;
    };
    for (const Case& c : {Case{2, 2, kBackdrop, "transparent"}, Case{9, 29, kBackdrop, "transparent"},
                          Case{10, 0, QColor(255, 0, 0), "opaque"}, Case{25, 10, QColor(0, 255, 0), "alpha 200"},
                          Case{35, 5, kBackdrop, "key colour"}, Case{35, 25, kBackdrop, "alpha 100"}})
        EXPECT_EQ(At(shown, c.x, c.y), Name(c.colour)) << c.what << " at " << c.x << "," << c.y;
}

// An opaque ("@") frame shows its whole rectangle: transparent pixels are black.
TEST_F(AlphaWindow, AnOpaqueFrameShowsTheWholeRectangle) {
    const QString id = StartShowing("@alpha.png");
    ASSERT_FALSE(id.isEmpty()) << "no actor window";
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(id.toULong()), 0);
    const QImage shown = ScreenArea(QRect(place.x, place.y, 40, 30));
    ASSERT_EQ(shown.size(), QSize(40, 30));
    EXPECT_EQ(At(shown, 2, 2), "#000000");
    EXPECT_EQ(At(shown, 25, 10), "#00ff00");
    EXPECT_EQ(At(shown, 35, 5), "#ff00ff");
    EXPECT_EQ(At(shown, 35, 25), "#000000");
}
