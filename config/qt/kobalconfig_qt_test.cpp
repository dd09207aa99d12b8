// The windows' controls as designed, and "OK" after "Default" through the
// real widgets. Runs on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "common/qt/caption_check.h"
#include "common/test_files.h"
#include "config/qt/config_form.h"
#include "config/qt/twips.h"
#include "config/qt/wizardbox.h"
#include "config/test_fakes.h"

using namespace kobal;
using namespace kobal::config;
using namespace kobal::config::qt;
using namespace kobal::config::testing;

namespace {

template <typename W>
W* Child(QWidget& top, const char* name) {
    W* w = top.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QWidget* Titled(QWidget& top, const QString& text) {
    for (QWidget* w : top.findChildren<QWidget*>()) {
        if (auto* l = qobject_cast<QLabel*>(w); l && l->text() == text) return w;
        if (auto* g = qobject_cast<QGroupBox*>(w); g && g->title() == text) return w;
    }
    ADD_FAILURE() << "nothing captioned " << text.toStdString();
    return nullptr;
}

struct Expected {
    const char* name;     // control name, or nullptr for a label or frame
    const char* caption;  // caption, or nullptr for a text box or list
    const char* holder;   // frame title, or nullptr for the window
    int left, top, width, height;
};

const Expected kControls[] = {
    {nullptr, "Standard Configuration", nullptr, 0, 0, 3735, 3135},
    {nullptr, "Application Path", "Standard Configuration", 120, 360, 1455, 255},
    {"apath", nullptr, "Standard Configuration", 120, 600, 3495, 285},
    {nullptr, "Initial priority", "Standard Configuration", 120, 1080, 975, 255},
    {"initial", nullptr, "Standard Configuration", 1080, 1080, 1695, 315},
    {"audio", "Audio enabled", "Standard Configuration", 840, 1680, 1935, 255},
    {"splash", "Splash screen enabled", "Standard Configuration", 840, 1920, 1935, 255},
    {"transp", "No transparency", "Standard Configuration", 840, 2160, 1575, 255},
    {"override", "Override actor defaults", "Standard Configuration", 840, 2400, 1935, 195},
    {"hidefull", "Hide actors while a window is fullscreen", "Standard Configuration", 120, 2610, 3495, 255},
    {"winfloors", "Actors stand on windows", "Standard Configuration", 120, 2850, 3495, 255},
    {nullptr, "Advanced Configuration", nullptr, 3840, 0, 3735, 3375},
    {nullptr, "Timer frequency (%)", "Advanced Configuration", 120, 360, 2055, 255},
    {"timerup", nullptr, "Advanced Configuration", 2160, 360, 1455, 285},
    {nullptr, "Movement precision (%)", "Advanced Configuration", 120, 720, 1695, 255},
    {"moveup", nullptr, "Advanced Configuration", 2160, 720, 1455, 285},
    {nullptr, "Seconds before bored", "Advanced Configuration", 120, 1320, 1575, 255},
    {"boreds", nullptr, "Advanced Configuration", 2160, 1320, 1455, 285},
    {nullptr, "Seconds before sleep", "Advanced Configuration", 120, 1680, 1575, 255},
    {"sleeps", nullptr, "Advanced Configuration", 2160, 1680, 1455, 285},
    {nullptr, "Seconds before Hybernate", "Advanced Configuration", 120, 2040, 1935, 255},
    {"hyber", nullptr, "Advanced Configuration", 2160, 2040, 1455, 285},
    {"shortcuts", "Create shortcuts", "Advanced Configuration", 120, 2880, 1335, 375},
    {"Associate", "Associate", "Advanced Configuration", 1560, 2880, 1095, 375},
    {"Calibrate", "Wizard", "Advanced Configuration", 2760, 2880, 855, 375},
    {"Save", "OK", nullptr, 0, 3240, 855, 375},
    {"Exits", "Cancel", nullptr, 960, 3240, 855, 375},
    {"read", "Restore", nullptr, 1920, 3240, 855, 375},
    {"Reset", "Default", nullptr, 2880, 3240, 855, 375},
};

bool AtLeast(const QRect& is, const QRect& designed) {
    return is.x() >= designed.x() && is.y() >= designed.y() && is.width() >= designed.width() &&
           is.height() >= designed.height();
}

QString CaptionOf(QWidget* w) {
    if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
    return {};
}

struct ConfigFormTest : ::testing::Test {
    Fakes fakes;
    ConfigWindow model{fakes.ports(), "/nonexistent"};
};

}  // namespace

TEST_F(ConfigFormTest, ControlsCarryTheirCaptionsAndPositions) {
    ConfigForm form(model);
    EXPECT_EQ(form.windowTitle(), "Kobaltron Configuration");
    // The designed places are the least: a control only grows, or moves
    // right or down to make room for a caption before it.
    EXPECT_GE(form.width(), PixelsX(7560));
    EXPECT_GE(form.height(), PixelsY(3660));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    for (const Expected& e : kControls) {
        QWidget* w = e.name ? Child<QWidget>(form, e.name) : Titled(form, e.caption);
        if (!w) continue;
        const char* what = e.name ? e.name : e.caption;
        EXPECT_TRUE(AtLeast(w->geometry(), TwipsRect(e.left, e.top, e.width, e.height))) << what;
        if (e.caption) {
            EXPECT_EQ(CaptionOf(w), e.caption) << what;
        }
        QWidget* holder = w->parentWidget();
        if (e.holder) {
            auto* group = qobject_cast<QGroupBox*>(holder);
            ASSERT_NE(group, nullptr) << what;
            EXPECT_EQ(group->title(), e.holder) << what;
        } else {
            EXPECT_EQ(holder, &form) << what;
        }
    }
    auto* initial = Child<QComboBox>(form, "initial");
    EXPECT_FALSE(initial->isEditable());
    QStringList items;
    for (int i = 0; i < initial->count(); ++i) items << initial->itemText(i);
    EXPECT_EQ(items, QStringList({"1:Activated", "2:Bored", "3:Sleep", "4:Hybernate"}));
    EXPECT_EQ(kobal::qt::testing::ClippedCaptions(&form).join("\n").toStdString(), "")
        << form.font().toString().toStdString();
    // Before the load step: "Text1" and a checked audio box.
    EXPECT_EQ(Child<QLineEdit>(form, "timerup")->text(), "Text1");
    EXPECT_EQ(Child<QCheckBox>(form, "audio")->checkState(), Qt::Checked);
}

TEST_F(ConfigFormTest, OkAfterDefaultWritesTheStagedDefaultFile) {
    TempDir product;
    product.Write("resource/kobalactor", "");
    product.Write("resource/config.kcfg", "priorityup = 300\r\nspeedup=20\r\naudioon= 0 \r\n[end]\r\n");
    fakes.paths.value = product.path();
    model.Form_Load();
    ConfigForm form(model);
    form.Show();
    EXPECT_EQ(Child<QLineEdit>(form, "timerup")->text(), "300");
    EXPECT_EQ(Child<QCheckBox>(form, "audio")->checkState(), Qt::Unchecked);

    Child<QPushButton>(form, "Reset")->click();
    EXPECT_EQ(Child<QLineEdit>(form, "hyber")->text(), "28800");
    EXPECT_EQ(Child<QComboBox>(form, "initial")->currentText(), "2:Bored");
    EXPECT_TRUE(form.isVisible());
    Child<QPushButton>(form, "Save")->click();

    const std::string staged = ReadBytes(std::string(KOBAL_STAGE_DIR) + "/resource/config.kcfg");
    ASSERT_FALSE(staged.empty());
    EXPECT_EQ(ReadBytes(product / "resource/config.kcfg"), staged);
    EXPECT_EQ(fakes.paths.writes, std::vector<std::string>{product.path()});
    EXPECT_FALSE(form.isVisible());
}

TEST_F(ConfigFormTest, EntriesTypedInTheWindowReachTheFile) {
    TempDir product;
    product.Write("resource/kobalactor", "");
    model.apath.text = product.path() + "\\";
    model.Reset_Click();
    ConfigForm form(model);
    form.Show();
    Child<QLineEdit>(form, "timerup")->setText("abc");
    Child<QLineEdit>(form, "moveup")->setText("1001");
    Child<QLineEdit>(form, "sleeps")->setText("12 minutes");
    Child<QComboBox>(form, "initial")->setCurrentIndex(3);
    Child<QCheckBox>(form, "transp")->click();
    Child<QCheckBox>(form, "audio")->click();
    Child<QCheckBox>(form, "hidefull")->click();
    Child<QCheckBox>(form, "winfloors")->click();  // on by default: off now
    Child<QPushButton>(form, "Save")->click();
    EXPECT_EQ(ReadBytes(product / "resource/config.kcfg"),
              "priorityup =abc\r\nspeedup=100\r\naudioon= 0 \r\nshowsplash= 1 \r\nboredtime=180\r\n"
              "sleeptime=12 minutes\r\nhibernatetime=28800\r\ninitialpriority= 3 \r\n"
              "transparencyoff= 1 \r\noverrideactor= 0 \r\nhidefullscreen= 1 \r\nwindowfloors= 0 \r\n[end]\r\n");
    EXPECT_EQ(fakes.paths.writes.back(), product.path());
}

TEST_F(ConfigFormTest, GreyedBoxesComeOnlyFromTheFile) {
    model.Reset_Click();
    model.audio.value = 2;
    ConfigForm form(model);
    auto* audio = Child<QCheckBox>(form, "audio");
    EXPECT_EQ(audio->checkState(), Qt::PartiallyChecked);
    audio->click();
    EXPECT_EQ(audio->checkState(), Qt::Checked);
    audio->click();
    EXPECT_EQ(audio->checkState(), Qt::Unchecked);
    audio->click();
    EXPECT_EQ(audio->checkState(), Qt::Checked);
}

TEST(WizardDialogTest, ControlsAndOneQuestion) {
    WizardDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Configuration Wizard");
    EXPECT_GE(dialog.width(), PixelsX(5340));
    EXPECT_GE(dialog.height(), PixelsY(3150));
    const struct {
        const char* name;
        QRect place;
    } controls[] = {{"picture", TwipsRect(0, 360, 1455, 1455)},
                    {"question", TwipsRect(1680, 120, 3495, 2535)},
                    {"Textbox", TwipsRect(120, 2760, 2895, 285)},
                    {"Combobox", TwipsRect(120, 2760, 2895, 315)},
                    {"OK", TwipsRect(4080, 2760, 1095, 375)}};
    for (const auto& c : controls) {
        QWidget* w = Child<QWidget>(dialog, c.name);
        if (w) {
            EXPECT_TRUE(AtLeast(w->geometry(), c.place)) << c.name;
        }
    }
    EXPECT_EQ(Child<QPushButton>(dialog, "OK")->text(), "Ok");
    EXPECT_FALSE(Child<QComboBox>(dialog, "Combobox")->isEditable());

    WizardBox box;
    box.picturePath = std::string(KOBAL_STAGE_DIR) + "/resource/wizard.gif";
    dialog.Load(box);
    EXPECT_EQ(Child<QLabel>(dialog, "picture")->pixmap().size(), QSize(97, 97));

    box.question = "first\r\rsecond\r";
    box.Combobox.SetItems({"a", "b", "c"});
    box.Combobox.SetListIndex(1);
    box.textboxVisible = false;
    box.comboboxVisible = true;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_EQ(Child<QLabel>(dialog, "question")->text(), "first\n\nsecond\n");
        EXPECT_FALSE(Child<QLineEdit>(dialog, "Textbox")->isVisible());
        EXPECT_TRUE(Child<QComboBox>(dialog, "Combobox")->isVisible());
        Child<QComboBox>(dialog, "Combobox")->setCurrentIndex(2);
        Child<QPushButton>(dialog, "OK")->click();
    });
    EXPECT_TRUE(dialog.ShowModal(box));
    EXPECT_EQ(box.wizardchoice, 2);
    EXPECT_FALSE(dialog.isVisible());

    // Closed through its frame: no answer, the last one kept.
    QTimer::singleShot(0, &dialog, [&] {
        Child<QComboBox>(dialog, "Combobox")->setCurrentIndex(0);
        dialog.reject();
    });
    EXPECT_FALSE(dialog.ShowModal(box));
    EXPECT_EQ(box.wizardchoice, 2);
}
