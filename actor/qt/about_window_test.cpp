// The About window on a real X server: controls in place, lists filled once,
// shaped by pure green, "Done" only hides it.
#include "actor/qt/about_window.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTest>

#include "common/qt/caption_check.h"
#include "common/qt/screenshot.h"
#include "common/qt/x11_probe.h"
#include "common/test_files.h"

using namespace kobal::actor;
using namespace kobal::actor::qt;

TEST(AboutWindow, ShowsBothListsShapedByGreenAndDoneOnlyHides) {
    kobal::TempDir dir;
    QImage background(400, 400, QImage::Format_RGB32);
    background.fill(QColor(0, 255, 0));
    QPainter(&background).fillRect(20, 20, 360, 360, QColor(30, 40, 80));
    dir.Write("resource/x", "");
    background.save(QString::fromStdString(dir / "resource/about.gif"), "PNG");

    AboutLists lists{{"Kobaltron", "", "line three"}, {"Bob: No information Available"}};
    AboutWindow about(dir.path() + "/", lists);
    about.show();
    QTest::qWait(300);

    EXPECT_EQ(about.size(), QSize(400, 400));  // 6000 twips at 15 per pixel
    ASSERT_EQ(about.List1()->count(), 3);
    EXPECT_EQ(about.List1()->item(2)->text(), "line three");
    EXPECT_EQ(about.List2()->item(0)->text(), "Bob: No information Available");
    EXPECT_EQ(about.List1()->geometry(), QRect(32, 56, 337, 134));
    QStringList labels;
    for (QLabel* l : about.findChildren<QLabel*>()) labels << l->text();
    EXPECT_TRUE(labels.contains("Software Information"));
    EXPECT_TRUE(labels.contains("Actor Information"));

    if (QGuiApplication::platformName() == "xcb") {
        QString shape;
        EXPECT_EQ(kobal::qt::testing::HasBoundingShape(about.winId(), &shape), 1);
        EXPECT_TRUE(shape.contains("extents:  360x360+20+20")) << shape.toStdString();
    }

    QPushButton* done = about.findChild<QPushButton*>();
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->text(), "Done");
    done->click();
    EXPECT_FALSE(about.isVisible());
    about.show();
    EXPECT_EQ(about.List1()->count(), 3);  // shown again, not filled again
}

// A background with an alpha channel: its transparent pixels are cut as
// the pure green ones are.
TEST(AboutWindow, TransparentBackgroundPixelsAreCutLikeTheGreen) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    kobal::TempDir dir;
    QImage background(400, 400, QImage::Format_ARGB32);
    background.fill(Qt::transparent);
    QPainter painter(&background);
    painter.fillRect(0, 0, 200, 400, QColor(0, 255, 0));
    painter.fillRect(20, 20, 360, 360, QColor(30, 40, 80));
    painter.end();
    dir.Write("resource/x", "");
    background.save(QString::fromStdString(dir / "resource/about.gif"), "PNG");

    AboutWindow about(dir.path() + "/", {{}, {}});
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    QString shape;
    EXPECT_EQ(kobal::qt::testing::HasBoundingShape(about.winId(), &shape), 1);
    EXPECT_TRUE(shape.contains("extents:  360x360+20+20")) << shape.toStdString();
}

TEST(AboutWindow, HeadingsShowWholeInLightTextOnTheDarkBands) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    // One literal: GCC 12 warns wrongly on a string built by appending to it.
    const std::string installdir = KOBAL_STAGE_DIR "/";
    AboutWindow about(installdir, {{"Kobaltron Beta V1.2", "Animated actors for the Linux desktop."},
                                   {"Bartholomew: No information Available"}});
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    kobal::qt::testing::SaveScreenshot(about, "about");
    EXPECT_EQ(kobal::qt::testing::ClippedCaptions(&about).join("\n").toStdString(), "");

    const QImage picture(QString::fromStdString(installdir + "resource/about.gif"));
    ASSERT_FALSE(picture.isNull());
    for (QLabel* l : about.findChildren<QLabel*>()) {
        // Text and the picture under it differ clearly in lightness.
        const QColor text = l->palette().color(QPalette::WindowText);
        const QColor under = picture.pixelColor(l->geometry().center());
        EXPECT_GT(std::abs(text.lightness() - under.lightness()), 128) << l->text().toStdString();
        EXPECT_FALSE(l->autoFillBackground());
        // Around the designed middle (in twips, 15 to the pixel), inside the window.
        const double middle = l->text() == "Software Information" ? (1440 + 2895 / 2.0) / 15 : (1920 + 2295 / 2.0) / 15;
        EXPECT_LE(std::abs(l->geometry().center().x() - middle), 1.5) << l->text().toStdString();
        EXPECT_TRUE(about.rect().contains(l->geometry()));
    }
}
