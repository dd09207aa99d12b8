#include "installer/qt/install_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "common/qt/caption_check.h"
#include "common/qt/qt_support.h"
#include "common/qt/screenshot.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

namespace kobal::installer::qt {
namespace {

int Px(int twips, double perPixel) {
    return static_cast<int>(twips / perPixel + 0.5);
}

TEST(InstallWindow, ControlsSitWhereTheTwipsSay) {
    InstallWindow w;
    const double tx = kobal::qt::TwipsPerPixelX(), ty = kobal::qt::TwipsPerPixelY();
    EXPECT_EQ(w.windowTitle(), "Kobaltron Install");
    // The designed places are the least: a control may only grow, or move
    // right or down to make room for a caption before it.
    const auto atLeast = [](const QRect& is, const QRect& designed) {
        return is.x() >= designed.x() && is.y() >= designed.y() && is.width() >= designed.width() &&
               is.height() >= designed.height();
    };
    EXPECT_GE(w.width(), Px(5940, tx));
    EXPECT_GE(w.height(), Px(3885, ty));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // a fixed border
    EXPECT_TRUE(atLeast(w.installButton()->geometry(), QRect(Px(4920, tx), Px(2880, ty), Px(975, tx), Px(615, ty))));
    EXPECT_EQ(w.installButton()->text(), "Install");
    EXPECT_TRUE(atLeast(w.dest()->geometry(), QRect(Px(1080, tx), Px(3240, ty), Px(3735, tx), Px(285, ty))));
    EXPECT_TRUE(atLeast(w.msg()->geometry(), QRect(Px(120, tx), Px(3600, ty), Px(5775, tx), Px(255, ty))));
    EXPECT_EQ(w.palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(w.msg()->palette().color(QPalette::WindowText), QColor(128, 128, 255));
    EXPECT_EQ(w.splashText()->palette().color(QPalette::WindowText), QColor(255, 255, 0));
}

TEST(InstallWindow, TextsPassThroughAndPicturesFailWithTheirName) {
    InstallWindow w;
    w.SetSource("/media/cd");
    w.source()->setText(w.source()->text() + "\\");  // the user edits the box
    EXPECT_EQ(w.Source(), "/media/cd\\");
    w.SetSplashText("one\rtwo\r");
    EXPECT_EQ(w.splashText()->text(), "one\ntwo\n");
    w.SetMsg("Copying File...a.txt");
    EXPECT_EQ(w.msg()->text(), "Copying File...a.txt");

    kobal::TempDir dir;
    try {
        w.LoadSplashPic(dir / "Install/Splash.jpg");
        FAIL() << "no error";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.number(), ErrorNumber::FileNotFound);
        EXPECT_EQ(e.file(), dir / "Install/Splash.jpg");
    }
    dir.Write("Title.jpg", "not a picture");
    EXPECT_THROW(w.LoadSplashTitle(dir / "Title.jpg"), RuntimeError);
}

TEST(InstallWindow, EveryCaptionAndInfoLineShowsWhole) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    InstallWindow w;
    // The medium's Info.txt, as the load step passes it on.
    w.SetSplashText(
        "Kobaltron puts little actors on your desktop.\rThey walk, climb, drop and play, answer "
        "your\r"
        "clicks, and fall asleep when left alone.\r\rCheck the destination folder below, "
        "then\rpress Install.\r");
    w.SetSource("/media/cdrom");
    w.SetDest("/home/user/.local/lib/kobaltron");
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    kobal::qt::testing::SaveScreenshot(w, "installer");
    EXPECT_EQ(kobal::qt::testing::ClippedCaptions(&w).join("\n").toStdString(), "");
    // Each line of the file stays one line.
    EXPECT_FALSE(w.splashText()->wordWrap());
    const double tx = kobal::qt::TwipsPerPixelX(), ty = kobal::qt::TwipsPerPixelY();
    EXPECT_GE(w.width(), Px(5940, tx));
    EXPECT_GE(w.height(), Px(3885, ty));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    // The two boxes stay in one column.
    EXPECT_EQ(w.source()->x(), w.dest()->x());
}

TEST(InstallWindow, ReturnPressesInstallAndEscapeCloses) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    InstallWindow w;
    int pressed = 0;
    QObject::connect(w.installButton(), &QPushButton::clicked, [&] { ++pressed; });
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    w.dest()->setFocus();
    QTest::keyClick(w.dest(), Qt::Key_Return);
    EXPECT_EQ(pressed, 1);
    QTest::keyClick(w.source(), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(pressed, 2);
    QTest::keyClick(w.source(), Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(pressed, 2);
}

}  // namespace
}  // namespace kobal::installer::qt
