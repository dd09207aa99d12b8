#include "config/qt/config_form.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "common/qt/fit_text.h"
#include "common/runtime_error.h"
#include "config/qt/autostart_choice.h"
#include "config/qt/twips.h"
#include "config/start.h"

namespace kobal::config::qt {

using kobal::qt::Q;
using kobal::qt::S;

void CentreOnScreen(QWidget* w) {
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = w->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        w->move(frame.topLeft());
    }
}

void ClickCheckBox::nextCheckState() {
    setCheckState(checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

namespace {

template <typename W>
W* Make(QWidget* holder, const char* name, int left, int top, int width, int height) {
    auto* w = new W(holder);
    if (name) w->setObjectName(name);
    PlaceTwips(w, left, top, width, height);
    return w;
}

QLabel* Label(QWidget* holder, const char* text, int left, int top, int width, int height) {
    auto* l = Make<QLabel>(holder, nullptr, left, top, width, height);
    l->setText(text);
    return l;
}

QPushButton* Button(QWidget* holder, const char* name, const char* caption, int left, int top, int width, int height) {
    auto* b = Make<QPushButton>(holder, name, left, top, width, height);
    b->setText(caption);
    b->setAutoDefault(false);
    return b;
}

ClickCheckBox* Check(QWidget* holder, const char* name, const char* caption, int left, int top, int width, int height) {
    auto* c = Make<ClickCheckBox>(holder, name, left, top, width, height);
    c->setText(caption);
    return c;
}

QGroupBox* Group(QWidget* holder, const char* title, int left, int top, int width, int height) {
    auto* g = Make<QGroupBox>(holder, nullptr, left, top, width, height);
    g->setTitle(title);
    return g;
}

Qt::CheckState StateOf(int value) {
    return value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

int ValueOf(Qt::CheckState state) {
    return state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0;
}

}  // namespace

ConfigForm::ConfigForm(ConfigWindow& model, QWidget* parent, FileChooser chooseLoginFile)
    : QWidget(parent), model_(model) {
    setObjectName("kobalconfigf");
    setWindowTitle(kWindowTitle);
    resize(PixelsX(7560), PixelsY(3660));

    QGroupBox* standard = Group(this, "Standard Configuration", 0, 0, 3735, 3135);
    Label(standard, "Application Path", 120, 360, 1455, 255);
    apath_ = Make<QLineEdit>(standard, "apath", 120, 600, 3495, 285);
    Label(standard, "Initial priority", 120, 1080, 975, 255);
    initial_ = Make<QComboBox>(standard, "initial", 1080, 1080, 1695, 315);
    initial_->setEditable(false);
    for (const char* state : kStartStates) initial_->addItem(state);
    audio_ = Check(standard, "audio", "Audio enabled", 840, 1680, 1935, 255);
    splash_ = Check(standard, "splash", "Splash screen enabled", 840, 1920, 1935, 255);
    transp_ = Check(standard, "transp", "No transparency", 840, 2160, 1575, 255);
    override_ = Check(standard, "override", "Override actor defaults", 840, 2400, 1935, 195);
    hidefull_ = Check(standard, "hidefull", "Hide actors while a window is fullscreen", 120, 2610, 3495, 255);
    winfloors_ = Check(standard, "winfloors", "Actors stand on windows", 120, 2850, 3495, 255);

    QGroupBox* advanced = Group(this, "Advanced Configuration", 3840, 0, 3735, 3375);
    Label(advanced, "Timer frequency (%)", 120, 360, 2055, 255);
    timerup_ = Make<QLineEdit>(advanced, "timerup", 2160, 360, 1455, 285);
    Label(advanced, "Movement precision (%)", 120, 720, 1695, 255);
    moveup_ = Make<QLineEdit>(advanced, "moveup", 2160, 720, 1455, 285);
    Label(advanced, "Seconds before bored", 120, 1320, 1575, 255);
    boreds_ = Make<QLineEdit>(advanced, "boreds", 2160, 1320, 1455, 285);
    Label(advanced, "Seconds before sleep", 120, 1680, 1575, 255);
    sleeps_ = Make<QLineEdit>(advanced, "sleeps", 2160, 1680, 1455, 285);
    Label(advanced, "Seconds before Hybernate", 120, 2040, 1935, 255);
    hyber_ = Make<QLineEdit>(advanced, "hyber", 2160, 2040, 1455, 285);
    login_ = chooseLoginFile ? new LoginCheckBox(advanced, model_.login, chooseLoginFile)
                             : new LoginCheckBox(advanced, model_.login);
    PlaceTwips(login_, 120, 2460, 3495, 255);

    auto connect = [this](QPushButton* button, void (ConfigWindow::*handler)()) {
        QObject::connect(button, &QPushButton::clicked, this, [this, handler] { Run(handler); });
    };
    connect(Button(advanced, "shortcuts", "Create shortcuts", 120, 2880, 1335, 375), &ConfigWindow::shortcuts_Click);
    connect(Button(advanced, "Associate", "Associate", 1560, 2880, 1095, 375), &ConfigWindow::Associate_Click);
    connect(Button(advanced, "Calibrate", "Wizard", 2760, 2880, 855, 375), &ConfigWindow::Calibrate_Click);
    ok_ = Button(this, "Save", "OK", 0, 3240, 855, 375);
    connect(ok_, &ConfigWindow::Save_Click);
    cancel_ = Button(this, "Exits", "Cancel", 960, 3240, 855, 375);
    connect(cancel_, &ConfigWindow::Exits_Click);
    connect(Button(this, "read", "Restore", 1920, 3240, 855, 375), &ConfigWindow::read_Click);
    connect(Button(this, "Reset", "Default", 2880, 3240, 855, 375), &ConfigWindow::Reset_Click);

    // The designed places are the least room: every caption shows whole.
    setFixedSize(kobal::qt::GrowToFit(this));

    Push();
}

void ConfigForm::Show() {
    Push();
    show();
    CentreOnScreen(this);
}

void ConfigForm::Push() {
    apath_->setText(Q(model_.apath.text));
    initial_->setCurrentIndex(model_.initial.listIndex);
    audio_->setCheckState(StateOf(model_.audio.value));
    splash_->setCheckState(StateOf(model_.splash.value));
    transp_->setCheckState(StateOf(model_.transp.value));
    override_->setCheckState(StateOf(model_.override.value));
    hidefull_->setCheckState(StateOf(model_.hidefull.value));
    winfloors_->setCheckState(StateOf(model_.winfloors.value));
    timerup_->setText(Q(model_.timerup.text));
    moveup_->setText(Q(model_.moveup.text));
    boreds_->setText(Q(model_.boreds.text));
    sleeps_->setText(Q(model_.sleeps.text));
    hyber_->setText(Q(model_.hyber.text));
    login_->Show();
}

void ConfigForm::Pull() {
    model_.apath.text = S(apath_->text());
    model_.initial.SetListIndex(initial_->currentIndex());
    model_.audio.value = ValueOf(audio_->checkState());
    model_.splash.value = ValueOf(splash_->checkState());
    model_.transp.value = ValueOf(transp_->checkState());
    model_.override.value = ValueOf(override_->checkState());
    model_.hidefull.value = ValueOf(hidefull_->checkState());
    model_.winfloors.value = ValueOf(winfloors_->checkState());
    model_.timerup.text = S(timerup_->text());
    model_.moveup.text = S(moveup_->text());
    model_.boreds.text = S(boreds_->text());
    model_.sleeps.text = S(sleeps_->text());
    model_.hyber.text = S(hyber_->text());
}

void ConfigForm::Run(void (ConfigWindow::*handler)()) {
    Pull();
    try {
        (model_.*handler)();
    } catch (const ProgramEnd& end) {
        leaving_ = true;
        close();
        QCoreApplication::exit(end.status);
        return;
    } catch (const std::exception& e) {
        kobal::qt::ReportAndExit(kProgramTitle, e);
    }
    Push();
    if (model_.ended()) {
        leaving_ = true;
        close();
    }
}

void ConfigForm::keyPressEvent(QKeyEvent* event) {
    // The controls pass on the keys they do not use themselves.
    if (event->modifiers() & ~Qt::KeypadModifier) return QWidget::keyPressEvent(event);
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (auto* button = qobject_cast<QPushButton*>(focusWidget())) button->click();
            else ok_->click();
            return;
        case Qt::Key_Escape: cancel_->click(); return;
        default: QWidget::keyPressEvent(event);
    }
}

void ConfigForm::closeEvent(QCloseEvent* event) {
    // The window manager's close asks as "Cancel" does.
    if (!leaving_ && !model_.ended()) {
        Run(&ConfigWindow::Exits_Click);
        if (!model_.ended()) return event->ignore();
    }
    event->accept();
}

}  // namespace kobal::config::qt
