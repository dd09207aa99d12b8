#include "installer/qt/install_window.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "common/qt/fit_text.h"
#include "common/qt/qt_support.h"

namespace kobal::installer::qt {

using kobal::qt::Q;
using kobal::qt::S;

namespace {

int Px(int twips, double twipsPerPixel) {
    return static_cast<int>(twips / twipsPerPixel + 0.5);
}

QLabel* ColouredLabel(QWidget* parent, const QString& text, const QColor& colour) {
    auto* label = new QLabel(text, parent);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Window, Qt::black);
    label->setPalette(p);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

}  // namespace

InstallWindow::InstallWindow() {
    setWindowTitle("Kobaltron Install");
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    const QColor yellow(255, 255, 0);
    splashTitle_ = new QLabel(this);
    splashPic_ = new QLabel(this);
    for (QLabel* picture : {splashTitle_, splashPic_}) picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Info.txt breaks its own lines; the label grows to the longest.
    splashText_ = ColouredLabel(this, {}, yellow);
    sourceLabel_ = ColouredLabel(this, "Source", yellow);
    source_ = new QLineEdit(this);
    destLabel_ = ColouredLabel(this, "Destination", yellow);
    dest_ = new QLineEdit(this);
    installButton_ = new QPushButton("Install", this);
    installButton_->setDefault(true);
    msg_ = ColouredLabel(this, {}, QColor(128, 128, 255));
    Layout();
}

void InstallWindow::Layout() {
    const double tx = kobal::qt::TwipsPerPixelX(), ty = kobal::qt::TwipsPerPixelY();
    const auto place = [&](QWidget* control, int left, int top, int width, int height) {
        control->setGeometry(Px(left, tx), Px(top, ty), Px(width, tx), Px(height, ty));
    };
    place(splashTitle_, 960, 0, 4215, 735);
    place(splashPic_, 120, 840, 1935, 1935);
    place(splashText_, 2160, 840, 3735, 1935);
    place(sourceLabel_, 120, 2880, 735, 255);
    place(source_, 1080, 2880, 3735, 285);
    place(destLabel_, 120, 3240, 975, 255);
    place(dest_, 1080, 3240, 3735, 285);
    place(installButton_, 4920, 2880, 975, 615);
    place(msg_, 120, 3600, 5775, 255);

    // Fixed single border, client area at least 5940 x 3885, centred on the screen.
    resize(Px(5940, tx), Px(3885, ty));
    setFixedSize(kobal::qt::GrowToFit(this));
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void InstallWindow::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() & ~Qt::KeypadModifier) return QWidget::keyPressEvent(event);
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: installButton_->click(); return;
        case Qt::Key_Escape: close(); return;
        default: QWidget::keyPressEvent(event);
    }
}

std::string InstallWindow::Source() {
    return S(source_->text());
}
void InstallWindow::SetSource(const std::string& text) {
    source_->setText(Q(text));
}
std::string InstallWindow::Dest() {
    return S(dest_->text());
}
void InstallWindow::SetDest(const std::string& text) {
    dest_->setText(Q(text));
}

void InstallWindow::SetSplashText(const std::string& text) {
    // Lines end in a carriage return alone; the label breaks on line feeds.
    QString shown = Q(text);
    shown.replace('\r', '\n');
    splashText_->setText(shown);
    Layout();
}

void InstallWindow::SetMsg(const std::string& text) {
    msg_->setText(Q(text));
    // The installation runs inside the button's event: paint now.
    msg_->repaint();
    kobal::qt::FlushToServer();
}

void InstallWindow::LoadSplashPic(const std::string& path) {
    splashPic_->setPixmap(kobal::qt::LoadPicture(path));
}
void InstallWindow::LoadSplashTitle(const std::string& path) {
    splashTitle_->setPixmap(kobal::qt::LoadPicture(path));
}

}  // namespace kobal::installer::qt
