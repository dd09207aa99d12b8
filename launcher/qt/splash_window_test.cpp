#include "launcher/qt/splash_window.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "common/qt/caption_check.h"
#include "common/qt/qt_support.h"
#include "common/qt/screenshot.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

using namespace kobal;
using namespace kobal::launcher;
using namespace kobal::launcher::qt;
using kobal::qt::testing::ClippedCaptions;
using kobal::qt::testing::SaveScreenshot;

namespace {

const std::string kResources = std::string(KOBAL_STAGE_DIR) + "/resource/";

SplashContent PlaylistContent() {
    return {"Loading... Bob", kResources + "splash.gif", kResources + "playlist.jpg"};
}

bool Covers(const QRegion& region, const QRect& rect) {
    return (QRegion(rect) - region).isEmpty();
}

}  // namespace

TEST(SplashWindow, ShowsTextsAndPicturesShapedByTheBackground) {
    SplashWindow splash;
    splash.Load(PlaylistContent());
    EXPECT_EQ(splash.msg().text(), "Loading... Bob");
    EXPECT_EQ(splash.versionLabel().text(), "Kobaltron Beta V1.2");
    EXPECT_FALSE(splash.notice().text().isEmpty());
    EXPECT_EQ(splash.actorPicture().pixmap().size(), QSize(128, 128));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);

    // 6000 x 3000 twips, centred on the screen.
    const double tx = kobal::qt::TwipsPerPixelX(), ty = kobal::qt::TwipsPerPixelY();
    EXPECT_EQ(splash.size(), QSize(qRound(6000 / tx), qRound(3000 / ty)));
    const QPoint centre = QGuiApplication::primaryScreen()->geometry().center();
    EXPECT_LE((splash.geometry().center() - centre).manhattanLength(), 2);

    // The green corners are cut away; every control stays on solid ground.
    const QRegion shape = splash.mask();
    EXPECT_FALSE(shape.contains(QPoint(1, 1)));
    EXPECT_FALSE(shape.contains(QPoint(splash.width() - 2, splash.height() - 2)));
    for (QWidget* control :
         {static_cast<QWidget*>(&splash.msg()), static_cast<QWidget*>(&splash.notice()),
          static_cast<QWidget*>(&splash.actorPicture()), static_cast<QWidget*>(&splash.versionLabel())})
        EXPECT_TRUE(Covers(shape, control->geometry())) << control->geometry().x();

    EXPECT_TRUE(splash.closeTimer().isActive());
    EXPECT_EQ(splash.closeTimer().interval(), 3000);
    splash.show();
    splash.TimeUp();  // the first tick unloads it
    EXPECT_FALSE(splash.isVisible());
    EXPECT_EQ(splash.result(), QDialog::Accepted);
}

TEST(SplashWindow, PicturesThatCannotBeLoadedNameTheFile) {
    TempDir dir;
    const auto garbage = dir.Write("garbage.gif", "not a picture");
    auto expectError = [](const SplashContent& content, ErrorNumber number, const std::string& file) {
        SplashWindow splash;
        try {
            splash.Load(content);
            ADD_FAILURE() << "loaded " << content.background << " / " << content.actorPicture;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), number) << e.message();
            EXPECT_NE(e.message().find(file), std::string::npos) << e.message();
        }
    };
    expectError({"Loading... ", dir / "splash.gif", ""}, ErrorNumber::FileNotFound, dir / "splash.gif");
    // An actor without a splashscreen line names its directory alone.
    expectError({"Loading... X", kResources + "splash.gif", dir.path() + "\\"}, ErrorNumber::FileNotFound, dir.path());
    expectError({"Loading... X", kResources + "splash.gif", garbage}, ErrorNumber::InvalidPicture, garbage);

    // Neither actor file nor playlist: no picture at all, and no error.
    SplashWindow splash;
    splash.Load({"Loading... ", kResources + "splash.gif", ""});
    EXPECT_TRUE(splash.actorPicture().pixmap().isNull());
}

TEST(SplashWindow, ALongActorNameWrapsAndShowsWholeOnThePicture) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    for (const char* name : {"Bob", "Bartholomew the Magnificent",
                             "Bartholomew the Magnificent, Keeper of the Lighthouse at Kobalt Bay"}) {
        SplashWindow splash;
        splash.Load({std::string("Loading... ") + name, kResources + "splash.gif", kResources + "playlist.jpg"});
        splash.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&splash));
        if (std::string(name) == "Bartholomew the Magnificent") SaveScreenshot(splash, "splash");
        if (std::string(name).starts_with("Bartholomew the Magnificent,")) SaveScreenshot(splash, "splash-longer");
        EXPECT_EQ(ClippedCaptions(&splash).join("\n").toStdString(), "") << name;
        EXPECT_TRUE(splash.msg().wordWrap());
        // Still on the picture, clear of the version line.
        EXPECT_TRUE(Covers(splash.mask(), splash.msg().geometry())) << name;
        EXPECT_TRUE(Covers(splash.mask(), splash.versionLabel().geometry())) << name;
        EXPECT_FALSE(splash.msg().geometry().intersects(splash.versionLabel().geometry())) << name;
        splash.TimeUp();
    }
}
