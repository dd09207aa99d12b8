#include "actor/qt/actor_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <string>

#include "actor/qt/desktop_map.h"
#include "common/qt/qt_support.h"

namespace kobal::actor::qt {

using kobal::qt::Q;

namespace {

// In a Wayland session the actor runs through XWayland, where the
// compositor's X window manager may place managed windows itself and ignore
// where they ask to be (weston's and wlroots' do). An actor must stand where
// it says, so there its window is not managed.
Qt::WindowFlags ActorWindowFlags() {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    Qt::WindowFlags flags = Qt::FramelessWindowHint | Qt::Tool;
    if (wayland && *wayland) flags |= Qt::X11BypassWindowManagerHint;
    return flags;
}

}  // namespace

ActorWindow::ActorWindow()
    : QWidget(nullptr, ActorWindowFlags()),
      tppx_(kobal::qt::TwipsPerPixelX()),
      tppy_(kobal::qt::TwipsPerPixelY()),
      map_(DesktopMap::Current()),
      scale_(map_.scale()),
      shaper_(this),
      server_(*this) {
    shaper_.SetFlushEachChange(false);  // a frame's requests go out together
    // The picture covers the window; nothing needs clearing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    unmanaged_ = windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
    if (unmanaged_) setAttribute(Qt::WA_TranslucentBackground);
}

void ActorWindow::SyncQtPosition() {
    if (!server_.quiet()) return;
    server_.RestoreQtEvents();
    move(QtPosition());
}

QPoint ActorWindow::DeviceFromTwips(int32_t leftTwips, int32_t topTwips) const {
    return {static_cast<int>(std::lround(leftTwips / tppx_ * scale_)),
            static_cast<int>(std::lround(topTwips / tppy_ * scale_))};
}

QPoint ActorWindow::QtPosition() const {
    return map_.QtFromDevice(position_);
}

QSize ActorWindow::DeviceSize() const {
    const double f = devicePixelRatioF();
    return {static_cast<int>(std::lround(width() * f)), static_cast<int>(std::lround(height() * f))};
}

void ActorWindow::SetSize(int32_t widthTwips, int32_t heightTwips) {
    const QSize size(std::max(1, static_cast<int>(std::lround(widthTwips / tppx_))),
                     std::max(1, static_cast<int>(std::lround(heightTwips / tppy_))));
    if (size == this->size()) return;
    // One request with the real position, or Qt would put the window back
    // where it last knew it.
    server_.RestoreQtEvents();
    setGeometry(QRect(positioned_ ? QtPosition() : pos(), size));
}

void ActorWindow::Move(int32_t leftTwips, int32_t topTwips) {
    const QPoint to = DeviceFromTwips(leftTwips, topTwips);
    if (positioned_ && to == position_) return;
    position_ = to;
    positioned_ = true;
    if (!server_.Quiet()) {
        // Not on the screen yet: Qt places it when it shows it.
        move(QtPosition());
        return;
    }
    server_.Move(to);
    // A new picture's repaint follows in the same tick and sends both at once.
    if (!shapePending_) server_.Flush();
}

const QPixmap& ActorWindow::Picture(const std::string& path) {
    // By the name as given: no text conversion on each frame.
    auto it = pictures_.find(path);
    if (it == pictures_.end()) it = pictures_.emplace(path, kobal::qt::LoadShapedPicture(path)).first;
    return it->second;
}

void ActorWindow::SetPicture(const std::string& path) {
    picture_ = Picture(path);
    // Until a key colour comes, the whole rectangle shows.
    pendingKey_.reset();
    shapePending_ = true;
}

void ActorWindow::SetKeyColor(int32_t keyColor) {
    pendingKey_ = keyColor;
    shapePending_ = true;
}

QImage ActorWindow::Composed() {
    // What the window shows: the picture at the top-left corner on black,
    // each pixel a block of device pixels on a scaled screen (no smoothing,
    // so the shape, scaled the same way, fits it exactly). Outside the window
    // manager the key colour is also made transparent, for compositors that
    // ignore the X shape.
    const QSize device = DeviceSize();
    QImage image(device, unmanaged_ ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    image.fill(unmanaged_ ? Qt::transparent : Qt::black);
    if (image.isNull() || width() <= 0 || height() <= 0) return image;
    {
        QPainter painter(&image);
        painter.scale(static_cast<double>(device.width()) / width(), static_cast<double>(device.height()) / height());
        if (unmanaged_) {
            if (pendingKey_) painter.setClipRegion(shaper_.VisibleRegion(picture_, *pendingKey_));
            painter.fillRect(QRect(0, 0, width(), height()), Qt::black);
        }
        painter.drawPixmap(0, 0, picture_);
    }
    image.setDevicePixelRatio(static_cast<double>(device.width()) / width());
    return image;
}

void ActorWindow::Repaint() {
    const bool onServer = server_.Quiet() && server_.drawsPictures();
    // Only what the old and the new picture both show stays in the shape
    // while the new one is drawn; then the shape becomes the new picture's.
    // Requests go out in this order, in one batch.
    if (shapePending_ && pendingKey_) shaper_.NarrowFor(picture_, *pendingKey_);
    if (onServer)
        server_.ShowPicture(picture_.cacheKey(), DeviceSize(), unmanaged_ && pendingKey_ ? *pendingKey_ : -1,
                            [this] { return Composed(); });
    const bool drawn = !onServer && shapePending_ && isVisible();
    // Qt draws it: at once, before the shape widens.
    if (drawn) repaint();
    if (shapePending_) {
        shapePending_ = false;
        shaper_.SetPicture(picture_);
        if (pendingKey_) shaper_.SetKeyColor(*pendingKey_);
        else shaper_.ClearShape();
    }
    server_.Flush();
    if (!onServer && !drawn) update();
}

void ActorWindow::SetIcon(const std::string& path) {
    setWindowIcon(QIcon(kobal::qt::LoadPicture(path)));
}

void ActorWindow::SetCaption(const std::string& caption) {
    setWindowTitle(Q(caption));
    KeepCaptionEmpty();
}

void ActorWindow::KeepCaptionEmpty() {
    // Qt names an untitled window after the program; an actor without a
    // name has an empty caption, in the window manager's view too.
    if (windowTitle().isEmpty() && testAttribute(Qt::WA_WState_Created)) server_.ClearCaption();
}

void ActorWindow::Show() {
    // The shape is on the native window before it is first mapped; a window
    // shown before its first picture shows nothing until that comes.
    if (picture_.isNull()) shaper_.HideAll();
    if (!isVisible()) {
        winId();
        shaper_.Reapply();
        KeepCaptionEmpty();
    }
    if (!positioned_) {
        // Never moved: the centre of the screen.
        move(screen()->geometry().center() - rect().center());
        position_ = map_.DeviceFromQt(pos());
        positioned_ = true;
    }
    SyncQtPosition();
    show();
}

void ActorWindow::Hide() {
    SyncQtPosition();
    hide();
    // Pictures shown while hidden are Qt's to draw; mapped again, the
    // server must not first paint the window with an older picture, whose
    // key colour the new shape may no longer hide.
    server_.DropPicture();
}

void ActorWindow::BringToFront() {
    raise();
    // A window outside the window manager's care is not given the focus;
    // asking for it there only starts a tug of war with the compositor,
    // which takes it back and so closes the menu just opened.
    if (!unmanaged_) activateWindow();
}

void ActorWindow::ScreensChanged() {
    // The desktop's scale stays that of start-up: the actor's twips mean
    // the same device pixels as before.
    map_ = DesktopMap::Current();
    map_.KeepScale(scale_);
}

void ActorWindow::SetClickThrough(bool on) {
    // Qt gives the window an empty input shape and sets its own event mask
    // again: the window is no longer quiet, and Qt must know where it is.
    SyncQtPosition();
    winId();
    overrideWindowFlags(on ? windowFlags() | Qt::WindowTransparentForInput
                           : windowFlags() & ~Qt::WindowTransparentForInput);
    windowHandle()->setFlag(Qt::WindowTransparentForInput, on);
    server_.Forget();
}

void ActorWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (unmanaged_) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, Composed());
        return;
    }
    // Black where the picture does not reach or is transparent, as on the server.
    if (picture_.width() < width() || picture_.height() < height() || picture_.hasAlphaChannel())
        painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(0, 0, picture_);
}

QPointF ActorWindow::TwipsInside(const QPointF& global) const {
    // Relative to where the window was asked to be, so that a drag keeps its
    // grab point even while the server is still moving the window.
    const QPointF local = QPointF(map_.DeviceFromQt(global) - position_) / scale_;
    return {local.x() * tppx_, local.y() * tppy_};
}

void ActorWindow::mousePressEvent(QMouseEvent* e) {
    const QPointF t = TwipsInside(e->globalPosition());
    if (e->button() == Qt::RightButton) {
        rightPress_ = e->globalPosition().toPoint();
        rightMoved_ = false;
    }
    if (onMouseDown) onMouseDown(static_cast<int>(e->button()), t.x(), t.y());
}

void ActorWindow::mouseMoveEvent(QMouseEvent* e) {
    if ((e->globalPosition().toPoint() - rightPress_).manhattanLength() > 2) rightMoved_ = true;
    const QPointF t = TwipsInside(e->globalPosition());
    const int buttons = static_cast<int>(e->buttons() & (Qt::LeftButton | Qt::RightButton | Qt::MiddleButton));
    if (onMouseMove) onMouseMove(buttons, t.x(), t.y());
}

void ActorWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::RightButton && !rightMoved_ && onRightClick) onRightClick();
}

void ActorWindow::closeEvent(QCloseEvent* e) {
    e->ignore();
    if (onCloseRequest) onCloseRequest();
}

}  // namespace kobal::actor::qt
