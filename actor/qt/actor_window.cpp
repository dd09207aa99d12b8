#include "actor/qt/actor_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>

#include "common/qt/qt_support.h"

namespace kobal::actor::qt {

using kobal::qt::Q;

namespace {

// The desktop benchmark counts shown frames: with KOBALACTOR_FRAME_COUNTER
// naming a directory, each frame display adds one to a counter in the file
// <dir>/<pid>, mapped into memory so that counting costs no system call.
uint64_t* OpenFrameCounter() {
    const char* dir = std::getenv("KOBALACTOR_FRAME_COUNTER");
    if (!dir || !*dir) return nullptr;
    const std::string path = std::string(dir) + "/" + std::to_string(::getpid());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    void* p = MAP_FAILED;
    if (::ftruncate(fd, sizeof(uint64_t)) == 0)
        p = ::mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    return p == MAP_FAILED ? nullptr : static_cast<uint64_t*>(p);
}

uint64_t* g_frames = nullptr;

void CountFrame() {
    if (!g_frames) return;
    std::atomic_ref<uint64_t> frames(*g_frames);
    frames.store(frames.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace

ActorWindow::ActorWindow()
    : QWidget(nullptr, Qt::FramelessWindowHint | Qt::Tool),
      tppx_(kobal::qt::TwipsPerPixelX()),
      tppy_(kobal::qt::TwipsPerPixelY()),
      shaper_(this) {
    if (!g_frames) g_frames = OpenFrameCounter();
    // The picture covers the window; nothing needs clearing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

void ActorWindow::SetSize(int32_t widthTwips, int32_t heightTwips) {
    const QSize size(std::max(1, static_cast<int>(std::lround(widthTwips / tppx_))),
                     std::max(1, static_cast<int>(std::lround(heightTwips / tppy_))));
    if (size != this->size()) resize(size);
}

void ActorWindow::Move(int32_t leftTwips, int32_t topTwips) {
    // Every frame display ends in a move, whether or not the window moves.
    CountFrame();
    const QPoint to(static_cast<int>(std::lround(leftTwips / tppx_)),
                    static_cast<int>(std::lround(topTwips / tppy_)));
    if (positioned_ && to == position_) return;
    position_ = to;
    positioned_ = true;
    move(to);
}

const QPixmap& ActorWindow::Picture(const std::string& path) {
    const QString key = Q(path);
    auto it = pictures_.find(key);
    if (it == pictures_.end()) {
        it = pictures_.insert(key, kobal::qt::LoadPicture(path));
        ++pictureLoads_;
    }
    return *it;
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

void ActorWindow::Repaint() {
    if (shapePending_) {
        shapePending_ = false;
        shaper_.SetPicture(picture_);
        if (pendingKey_) shaper_.SetKeyColor(*pendingKey_);
        else shaper_.ClearShape();
    }
    update();
}

void ActorWindow::SetIcon(const std::string& path) { setWindowIcon(QIcon(kobal::qt::LoadPicture(path))); }

void ActorWindow::SetCaption(const std::string& caption) { setWindowTitle(Q(caption)); }

void ActorWindow::Show() {
    if (!positioned_) {
        // Never moved: the centre of the screen.
        move(screen()->geometry().center() - rect().center());
        position_ = pos();
        positioned_ = true;
    }
    show();
}

void ActorWindow::Hide() { hide(); }

void ActorWindow::BringToFront() {
    raise();
    activateWindow();
}

void ActorWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (picture_.width() < width() || picture_.height() < height()) painter.fillRect(rect(), Qt::black);
    painter.drawPixmap(0, 0, picture_);
}

QPointF ActorWindow::TwipsInside(const QPointF& global) const {
    // Relative to where the window was asked to be, so that a drag keeps its
    // grab point even while the server is still moving the window.
    const QPointF local = global - QPointF(position_);
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
