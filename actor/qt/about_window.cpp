#include "actor/qt/about_window.h"

#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <cmath>

#include "common/numbers.h"
#include "common/qt/qt_support.h"

namespace kobal::actor::qt {

using kobal::qt::Q;

QRect AboutWindow::Twips(int left, int top, int width, int height) const {
    return QRect(std::lround(left / tppx_), std::lround(top / tppy_), std::lround(width / tppx_),
                 std::lround(height / tppy_));
}

AboutWindow::AboutWindow(const std::string& installdir, const AboutLists& lists)
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool),
      tppx_(kobal::qt::TwipsPerPixelX()),
      tppy_(kobal::qt::TwipsPerPixelY()),
      shaper_(this) {
    setWindowTitle("About");
    resize(Twips(0, 0, 6000, 6000).size());

    const std::string picture = installdir + "resource\\about.gif";
    background_ = kobal::qt::LoadShapedPicture(picture);
    shaper_.SetPicture(background_);
    shaper_.SetKeyColor(0x00FF00);
    background_ = kobal::qt::LoadShapedPicture(picture);

    QFont bold("MS Sans Serif", 12, QFont::Bold);
    // Light text on the picture's dark bands, each label grown about its
    // designed middle until its whole caption shows.
    const auto heading = [this, &bold](const char* text, const QRect& place) {
        auto* label = new QLabel(text, this);
        label->setFont(bold);
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, QColor(255, 255, 255));
        label->setPalette(p);
        label->setAlignment(Qt::AlignCenter);
        QRect fitted(QPoint(0, 0), place.size().expandedTo(label->sizeHint()));
        fitted.moveCenter(place.center());
        label->setGeometry(fitted);
    };
    heading("Software Information", Twips(1440, 480, 2895, 255));
    list1_ = new QListWidget(this);
    list1_->setGeometry(Twips(480, 840, 5055, 2010));
    heading("Actor Information", Twips(1920, 3120, 2295, 255));
    list2_ = new QListWidget(this);
    list2_->setGeometry(Twips(480, 3480, 5055, 1620));
    auto* done = new QPushButton("Done", this);
    done->setGeometry(Twips(2280, 5400, 1695, 375));
    connect(done, &QPushButton::clicked, this, &QWidget::hide);

    for (const auto& line : lists.List1) list1_->addItem(Q(line));
    for (const auto& line : lists.List2) list2_->addItem(Q(line));

    const QRect screen = this->screen()->geometry();
    const QPoint centre = screen.center() - rect().center();
    leftTop_ = QPointF(centre.x() * tppx_, centre.y() * tppy_);
    move(centre);
}

void AboutWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, background_);
}

void AboutWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    dragx_ = RoundHalfEven(e->position().x() * tppx_);
    dragy_ = RoundHalfEven(e->position().y() * tppy_);
}

void AboutWindow::mouseMoveEvent(QMouseEvent* e) {
    if ((e->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton)) != Qt::LeftButton) return;
    // Relative to where the window was put, so the grab point stays put.
    const QPointF inside = e->globalPosition() - QPointF(pos());
    leftTop_.rx() -= dragx_ - inside.x() * tppx_;
    leftTop_.ry() -= dragy_ - inside.y() * tppy_;
    move(QPoint(std::lround(leftTop_.x() / tppx_), std::lround(leftTop_.y() / tppy_)));
}

}  // namespace kobal::actor::qt
