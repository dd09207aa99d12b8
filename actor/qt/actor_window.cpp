#include "actor/qt/actor_window.h"

#include <QtGui/qguiapplication_platform.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <string>

#include "actor/qt/desktop_map.h"
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

xcb_connection_t* XConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

template <typename T>
struct Reply {
    explicit Reply(T* r) : p(r) {}
    ~Reply() { std::free(p); }
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    T* p;
};

// Pictures are drawn by the server from pixmaps only when it takes our
// 32-bit pixels as they are: a 24- or 32-bit true-colour visual with
// 8-bit red, green and blue, 32 bits per pixel, least significant byte first.
bool ServerTakesRgb32(xcb_connection_t* c, xcb_visualid_t visual, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    if ((depth != 24 && depth != 32) || setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    bool bpp32 = false;
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == depth) bpp32 = f.data->bits_per_pixel == 32 && f.data->scanline_pad == 32;
    if (!bpp32) return false;
    for (auto s = xcb_setup_roots_iterator(setup); s.rem; xcb_screen_next(&s))
        for (auto d = xcb_screen_allowed_depths_iterator(s.data); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == visual)
                    return v.data->_class == XCB_VISUAL_CLASS_TRUE_COLOR && v.data->red_mask == 0xFF0000 &&
                           v.data->green_mask == 0xFF00 && v.data->blue_mask == 0xFF;
    return false;
}

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

// Server pixmaps of pictures are dropped all together beyond this.
constexpr size_t kMaxServerBytes = 32u << 20;

}  // namespace

ActorWindow::ActorWindow()
    : QWidget(nullptr, ActorWindowFlags()),
      tppx_(kobal::qt::TwipsPerPixelX()),
      tppy_(kobal::qt::TwipsPerPixelY()),
      map_(DesktopMap::Current()),
      scale_(map_.scale()),
      shaper_(this) {
    shaper_.SetFlushEachChange(false);  // a frame's requests go out together
    if (!g_frames) g_frames = OpenFrameCounter();
    // The picture covers the window; nothing needs clearing behind it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    unmanaged_ = windowFlags().testFlag(Qt::X11BypassWindowManagerHint);
    if (unmanaged_) setAttribute(Qt::WA_TranslucentBackground);
}

// Qt answers each configure notification of a top-level window with three
// round trips to the server (its position, then the frame margins), and each
// exposure with a paint that waits for the server; every one is a hand-off
// between Qt's X event thread and the main thread. While the actor is on the
// screen it moves itself and the server draws its pictures, so the window
// does not ask for either.
bool ActorWindow::Quiet() {
    xcb_connection_t* c = XConnection();
    if (!c || !isVisible()) return false;
    if (quiet_) return true;
    const auto window = static_cast<xcb_window_t>(winId());
    if (!probed_) {
        probed_ = true;
        Reply attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
        Reply geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
        if (!attributes || !geometry) return false;
        qtEventMask_ = attributes->your_event_mask;
        if (ServerTakesRgb32(c, attributes->visual, geometry->depth)) depth_ = geometry->depth;
    }
    if (!qtEventMask_) return false;
    uint32_t quiet = qtEventMask_ & ~static_cast<uint32_t>(XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    if (depth_) quiet &= ~static_cast<uint32_t>(XCB_EVENT_MASK_EXPOSURE);
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &quiet);
    quiet_ = true;
    return true;
}

void ActorWindow::RestoreQtEvents() {
    if (!quiet_) return;
    quiet_ = false;
    if (xcb_connection_t* c = XConnection())
        xcb_change_window_attributes(c, static_cast<xcb_window_t>(winId()), XCB_CW_EVENT_MASK, &qtEventMask_);
}

void ActorWindow::SyncQtPosition() {
    if (!quiet_) return;
    RestoreQtEvents();
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
    RestoreQtEvents();
    setGeometry(QRect(positioned_ ? QtPosition() : pos(), size));
}

void ActorWindow::Move(int32_t leftTwips, int32_t topTwips) {
    // Every frame display ends in a move, whether or not the window moves.
    CountFrame();
    const QPoint to = DeviceFromTwips(leftTwips, topTwips);
    if (positioned_ && to == position_) return;
    position_ = to;
    positioned_ = true;
    if (!Quiet()) {
        // Not on the screen yet: Qt places it when it shows it.
        move(QtPosition());
        return;
    }
    // Straight to the server: Qt's move would also rewrite the size hints.
    xcb_connection_t* c = XConnection();
    const uint32_t xy[] = {static_cast<uint32_t>(to.x()), static_cast<uint32_t>(to.y())};
    xcb_configure_window(c, static_cast<xcb_window_t>(winId()), XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, xy);
    // A new picture's repaint follows in the same tick and sends both at once.
    if (!shapePending_) xcb_flush(c);
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

uint32_t ActorWindow::ServerPicture() {
    xcb_connection_t* c = XConnection();
    const QSize device = DeviceSize();
    const auto key = std::make_tuple(picture_.cacheKey(), device.width(), device.height(),
                                     unmanaged_ && pendingKey_ ? *pendingKey_ : -1);
    if (auto it = serverPictures_.find(key); it != serverPictures_.end()) return it->second;

    const auto window = static_cast<xcb_window_t>(winId());
    if (serverBytes_ > kMaxServerBytes) {
        // Only the picture on show is in use; the others are made again.
        for (const auto& [k, pixmap] : serverPictures_)
            if (pixmap != background_) xcb_free_pixmap(c, pixmap);
        std::erase_if(serverPictures_, [this](const auto& entry) { return entry.second != background_; });
        serverBytes_ = 0;
    }
    const QImage image = Composed();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, depth_, pixmap, window, static_cast<uint16_t>(device.width()),
                      static_cast<uint16_t>(device.height()));
    if (!gc_) {
        gc_ = xcb_generate_id(c);
        xcb_create_gc(c, gc_, pixmap, 0, nullptr);
    }
    // In strips that fit in one request.
    const size_t line = static_cast<size_t>(image.bytesPerLine());
    const size_t room = static_cast<size_t>(xcb_get_maximum_request_length(c)) * 4 - 64;
    const int strip = static_cast<int>(std::max<size_t>(1, room / line));
    for (int y = 0; y < image.height(); y += strip) {
        const int rows = std::min(strip, image.height() - y);
        xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc_, static_cast<uint16_t>(image.width()),
                      static_cast<uint16_t>(rows), 0, static_cast<int16_t>(y), 0, depth_,
                      static_cast<uint32_t>(line * static_cast<size_t>(rows)), image.constScanLine(y));
    }
    serverPictures_.emplace(key, pixmap);
    serverBytes_ += image.sizeInBytes();
    return pixmap;
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
    const bool onServer = Quiet() && depth_ != 0;
    // Only what the old and the new picture both show stays in the shape
    // while the new one is drawn; then the shape becomes the new picture's.
    // Requests go out in this order, in one batch.
    if (shapePending_ && pendingKey_) shaper_.NarrowFor(picture_, *pendingKey_);
    if (onServer) {
        // The server draws the picture as the window's background, at once
        // and again whenever a part of the window comes into view.
        if (const uint32_t pixmap = ServerPicture(); pixmap != background_) {
            xcb_connection_t* c = XConnection();
            const auto window = static_cast<xcb_window_t>(winId());
            xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXMAP, &pixmap);
            xcb_clear_area(c, 0, window, 0, 0, 0, 0);
            background_ = pixmap;
        }
    }
    const bool drawn = !onServer && shapePending_ && isVisible();
    // Qt draws it: at once, before the shape widens.
    if (drawn) repaint();
    if (shapePending_) {
        shapePending_ = false;
        shaper_.SetPicture(picture_);
        if (pendingKey_) shaper_.SetKeyColor(*pendingKey_);
        else shaper_.ClearShape();
    }
    if (xcb_connection_t* c = XConnection()) xcb_flush(c);
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
    if (!windowTitle().isEmpty() || !testAttribute(Qt::WA_WState_Created)) return;
    xcb_connection_t* c = XConnection();
    if (!c) return;
    const auto window = static_cast<xcb_window_t>(winId());
    static const char kNetName[] = "_NET_WM_NAME", kUtf8[] = "UTF8_STRING";
    const auto netName = xcb_intern_atom(c, 0, sizeof kNetName - 1, kNetName);
    const auto utf8 = xcb_intern_atom(c, 0, sizeof kUtf8 - 1, kUtf8);
    Reply name(xcb_intern_atom_reply(c, netName, nullptr));
    Reply type(xcb_intern_atom_reply(c, utf8, nullptr));
    if (name && type) xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, name->atom, type->atom, 8, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(c);
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
    if (xcb_connection_t* c = XConnection(); c && background_) {
        const uint32_t none = XCB_BACK_PIXMAP_NONE;
        xcb_change_window_attributes(c, static_cast<xcb_window_t>(winId()), XCB_CW_BACK_PIXMAP, &none);
        xcb_flush(c);
        background_ = 0;
    }
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
    quiet_ = false;
    probed_ = false;
}

void ActorWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (unmanaged_) {
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, Composed());
        return;
    }
    if (picture_.width() < width() || picture_.height() < height()) painter.fillRect(rect(), Qt::black);
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
