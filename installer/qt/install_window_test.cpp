#include "installer/qt/install_window.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "common/qt/qt_support.h"
#include "common/runtime_error.h"
#include "common/test_files.h"

namespace kobal::installer::qt {
namespace {

int Px(int twips, double perPixel) { return static_cast<int>(twips / perPixel + 0.5); }

TEST(InstallWindow, ControlsSitWhereTheTwipsSay) {
    InstallWindow w;
    const double tx = kobal::qt::TwipsPerPixelX(), ty = kobal::qt::TwipsPerPixelY();
    EXPECT_EQ(w.windowTitle(), "Kobaltron Install");
    EXPECT_EQ(w.size(), QSize(Px(5940, tx), Px(3885, ty)));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());  // a fixed border
    EXPECT_EQ(w.command1()->geometry(), QRect(Px(4920, tx), Px(2880, ty), Px(975, tx), Px(615, ty)));
    EXPECT_EQ(w.command1()->text(), "Install");
    EXPECT_EQ(w.dest()->geometry(), QRect(Px(1080, tx), Px(3240, ty), Px(3735, tx), Px(285, ty)));
    EXPECT_EQ(w.msg()->geometry(), QRect(Px(120, tx), Px(3600, ty), Px(5775, tx), Px(255, ty)));
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

}  // namespace
}  // namespace kobal::installer::qt
