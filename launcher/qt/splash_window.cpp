#include "launcher/qt/splash_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

#include "common/qt/qt_support.h"

namespace kobal::launcher::qt {

using kobal::qt::LoadPicture;
using kobal::qt::Q;

namespace {

void WhiteText(QLabel& label, bool onBlack, int pixelSize) {
    QPalette p = label.palette();
    p.setColor(QPalette::WindowText, Qt::white);
    p.setColor(QPalette::Window, Qt::black);
    label.setPalette(p);
    label.setAutoFillBackground(onBlack);
    QFont f = label.font();
    f.setPixelSize(pixelSize);
    label.setFont(f);
    label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

}  // namespace

SplashWindow::SplashWindow()
    // A splash-type window: no frame, no task bar button.
    : QDialog(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint) {
    setObjectName("splash");
    setWindowTitle("Kobaltron");
    setModal(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);
    setAutoFillBackground(true);

    const QRect client = Twips(0, 0, 6000, 3000);
    setFixedSize(client.size());
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - QPoint(client.width() / 2, client.height() / 2));

    Place(msg_, 3000, 1800, 2415, 495);
    Place(notice_, 3480, 1200, 1455, 495);
    Place(actorPicture_, 600, 480, 1920, 1920);
    Place(versionLabel_, 3120, 2400, 2175, 255);
    WhiteText(msg_, true, 13);
    WhiteText(notice_, true, 13);
    WhiteText(versionLabel_, false, 11);
    actorPicture_.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    notice_.setText("Please wait");
    versionLabel_.setText("Kobaltron Beta V1.2");

    closeTimer_.setInterval(kShowMilliseconds);
    closeTimer_.setSingleShot(true);
    // A coarse timer may end the three seconds up to 5 % early.
    closeTimer_.setTimerType(Qt::PreciseTimer);
    connect(&closeTimer_, &QTimer::timeout, this, &SplashWindow::TimeUp);
}

QRect SplashWindow::Twips(int left, int top, int width, int height) const {
    const double tx = kobal::qt::TwipsPerPixelX();
    const double ty = kobal::qt::TwipsPerPixelY();
    return QRect(static_cast<int>(std::lround(left / tx)), static_cast<int>(std::lround(top / ty)),
                 static_cast<int>(std::lround(width / tx)), static_cast<int>(std::lround(height / ty)));
}

void SplashWindow::Place(QWidget& control, int left, int top, int width, int height) {
    control.setGeometry(Twips(left, top, width, height));
}

void SplashWindow::Load(const SplashContent& content) {
    msg_.setText(Q(content.caption));
    FitMessage();
    background_ = kobal::qt::LoadShapedPicture(content.background);
    // Only a name that is neither an actor file nor a playlist leaves both
    // parts empty; then the image simply stays empty.
    if (!content.actorPicture.empty()) actorPicture_.setPixmap(LoadPicture(content.actorPicture));
    shaper_.SetPicture(background_);
    shaper_.SetKeyColor(kPureGreen);
    background_ = kobal::qt::LoadShapedPicture(content.background);
    shaper_.SetPicture(background_);
    update();
    closeTimer_.start();
}

void SplashWindow::FitMessage() {
    // The label is two lines high: a long name wraps, and a longer one takes
    // the room up to the window's right edge and below, within the picture.
    Place(msg_, 3000, 1800, 2415, 495);
    Place(versionLabel_, 3120, 2400, 2175, 255);
    msg_.setWordWrap(true);
    if (msg_.heightForWidth(msg_.width()) > msg_.height())
        msg_.resize(std::max(msg_.width(), width() - msg_.x() - 8), msg_.height());
    msg_.resize(msg_.width(), std::max(msg_.height(), msg_.heightForWidth(msg_.width())));
    const int below = msg_.geometry().bottom() + 1 + (versionLabel_.y() - Twips(3000, 1800, 2415, 495).bottom() - 1);
    if (below > versionLabel_.y())
        versionLabel_.move(versionLabel_.x(), std::min(below, height() - versionLabel_.height()));
}

void SplashWindow::TimeUp() {
    closeTimer_.stop();
    done(QDialog::Accepted);
}

void SplashWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}

}  // namespace kobal::launcher::qt
