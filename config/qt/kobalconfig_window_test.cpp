// The configuration window and the wizard on a real X server at the
// desktop's default font: every caption whole, and the keys a Linux user
// expects (Return for the default button, Escape and closing as "Cancel").
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "common/qt/caption_check.h"
#include "common/qt/screenshot.h"
#include "common/test_files.h"
#include "config/qt/config_form.h"
#include "config/qt/twips.h"
#include "config/qt/wizardbox.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using namespace kobal::config::qt;
using namespace kobal::config::testing;
using kobal::qt::testing::ClippedCaptions;
using kobal::qt::testing::SaveScreenshot;

namespace {

const std::string kSettings = "priorityup=150\r\n[end]\r\n";

struct ConfigWindowOnX : ::testing::Test {
    TempDir product;
    Fakes fakes;
    WizardDialog dialog;
    std::unique_ptr<ConfigWindow> model;

    void SetUp() override {
        if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X server (run under xvfb-run)";
        product.Write("resource/kobalactor", "");
        product.Write("resource/config.kcfg", kSettings);
        std::filesystem::copy_file(std::string(KOBAL_STAGE_DIR) + "/resource/wizard.gif",
                                   product / "resource/wizard.gif");
        fakes.paths.value = product.path();
        model = std::make_unique<ConfigWindow>(
            ConfigPorts{fakes.paths, fakes.boxes, fakes.shell, fakes.input, dialog, &fakes.login}, "/nonexistent");
        model->Form_Load();
    }

    std::string Settings() { return ReadBytes(product / "resource/config.kcfg"); }

    // The form shown, active, with the focus in its first text box.
    void ShowActive(ConfigForm& form) {
        form.Show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        form.findChild<QLineEdit*>("apath")->setFocus();
    }
};

TEST_F(ConfigWindowOnX, EveryCaptionShowsWholeAtTheDefaultFont) {
    ConfigForm form(*model);
    ShowActive(form);
    SaveScreenshot(form, "kobalconfig");
    EXPECT_EQ(ClippedCaptions(&form).join("\n").toStdString(), "") << form.font().toString().toStdString();
    EXPECT_EQ(form.font(), QApplication::font());
    // The designed size is the least, and the window still fits the screen.
    EXPECT_GE(form.width(), PixelsX(7560));
    EXPECT_GE(form.height(), PixelsY(3660));
    EXPECT_TRUE(form.screen()->availableGeometry().contains(form.frameGeometry()));
}

TEST_F(ConfigWindowOnX, ReturnPressesOkFromATextBox) {
    ConfigForm form(*model);
    ShowActive(form);
    auto* timerup = form.findChild<QLineEdit*>("timerup");
    timerup->setFocus();
    timerup->setText("120");
    QTest::keyClick(timerup, Qt::Key_Return);
    EXPECT_TRUE(model->ended());
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Settings().substr(0, 18), "priorityup =120\r\ns");
}

TEST_F(ConfigWindowOnX, EscapeAndClosingAskAsCancelDoes) {
    ConfigForm form(*model);
    ShowActive(form);
    form.findChild<QLineEdit*>("timerup")->setText("120");

    // "Cancel" in the question keeps the window and its entries.
    fakes.boxes.answer = false;
    QTest::keyClick(form.findChild<QLineEdit*>("apath"), Qt::Key_Escape);
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(fakes.boxes.shown, (std::vector<std::string>{"?: Exit without saving?", "?: Exit without saving?"}));
    EXPECT_EQ(form.findChild<QLineEdit*>("timerup")->text(), "120");

    // "OK" in it ends without saving.
    fakes.boxes.answer = true;
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(model->ended());
    EXPECT_EQ(fakes.boxes.shown.size(), 3u);
    EXPECT_EQ(Settings(), kSettings);
}

TEST_F(ConfigWindowOnX, EscapeWithOkInTheQuestionEndsWithoutSaving) {
    ConfigForm form(*model);
    ShowActive(form);
    QTest::keyClick(form.findChild<QLineEdit*>("apath"), Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(model->ended());
    EXPECT_EQ(Settings(), kSettings);
}

TEST_F(ConfigWindowOnX, TabReachesTheLoginChoiceWhichOnlyOkSaves) {
    const std::string playlist = product.Write("my actors/all.kpls", "bob.kact\r\n");
    int asked = 0;
    const auto choose = [&](QWidget*) {
        ++asked;
        return QString::fromStdString(playlist);
    };
    {
        ConfigForm form(*model, nullptr, choose);
        ShowActive(form);
        // Tab goes through the controls in the order they are read, the
        // login choice after the last time.
        QStringList order;
        for (int i = 0; i < 30 && order.count(QApplication::focusWidget()->objectName()) == 0; ++i) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        ASSERT_TRUE(order.contains("autostart")) << order.join(' ').toStdString();
        EXPECT_EQ(order.indexOf("autostart"), order.indexOf("hyber") + 1) << order.join(' ').toStdString();
        EXPECT_LT(order.indexOf("audio"), order.indexOf("timerup")) << order.join(' ').toStdString();
        EXPECT_EQ(order.indexOf("winfloors"), order.indexOf("hidefull") + 1) << order.join(' ').toStdString();

        auto* login = form.findChild<QCheckBox*>("autostart");
        login->setFocus();
        QTest::keyClick(login, Qt::Key_Space);
        EXPECT_EQ(asked, 1);
        EXPECT_TRUE(login->isChecked());
        EXPECT_TRUE(fakes.login.calls.empty());

        // "Exit without saving?" answered OK drops the choice.
        QTest::keyClick(login, Qt::Key_Escape);
        EXPECT_TRUE(model->ended());
        EXPECT_TRUE(fakes.login.calls.empty());
    }

    // Again, this time with Return: the entry is written by "OK".
    ConfigWindow again{fakes.ports(), "/nonexistent"};
    again.Form_Load();
    ConfigForm form(again, nullptr, choose);
    ShowActive(form);
    auto* login = form.findChild<QCheckBox*>("autostart");
    login->setFocus();
    QTest::keyClick(login, Qt::Key_Space);
    QTest::keyClick(login, Qt::Key_Return);
    EXPECT_TRUE(again.ended());
    EXPECT_EQ(fakes.login.calls, (std::vector<std::string>{"choose " + playlist + " " + product.path() + "\\"}));
}

// Answers every wizard question with the given key once it is shown, after
// checking its captions; the texts checked are returned.
struct WizardDriver {
    WizardDialog& dialog;
    Qt::Key key;
    QStringList clipped;
    int questions = 0;
    QTimer timer;

    WizardDriver(WizardDialog& d, Qt::Key k) : dialog(d), key(k) {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            if (!dialog.isVisible() || !QTest::qWaitForWindowExposed(&dialog, 0)) return;
            ++questions;
            clipped << ClippedCaptions(&dialog);
            if (questions == 4) SaveScreenshot(dialog, "wizard");
            // The focus where the dialog puts it: a text box, a list or "Ok".
            QWidget* focus = QApplication::focusWidget() ? QApplication::focusWidget() : &dialog;
            QTest::keyClick(focus, key);
        });
        timer.start();
    }
};

TEST_F(ConfigWindowOnX, WizardQuestionsShowWholeAndReturnAnswersThem) {
    WizardDriver driver(dialog, Qt::Key_Return);
    model->Calibrate_Click();
    EXPECT_EQ(driver.questions, 5);
    EXPECT_EQ(driver.clipped.join("\n").toStdString(), "");
    // Return took every proposal: Normal, Normal, 6 minutes.
    EXPECT_EQ(model->timerup.text, "100");
    EXPECT_EQ(model->moveup.text, "100");
    EXPECT_EQ(model->sleeps.text, "360");
    EXPECT_EQ(model->hyber.text, "3600");
    EXPECT_LE(dialog.height(), dialog.screen()->availableGeometry().height());
}

TEST_F(ConfigWindowOnX, EscapeLeavesTheWizardAtItsFirstQuestion) {
    WizardDriver driver(dialog, Qt::Key_Escape);
    model->Calibrate_Click();
    EXPECT_EQ(driver.questions, 1);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(model->timerup.text, "150");
    EXPECT_FALSE(model->ended());
}

}  // namespace
