#include "actor/qt/fullscreen_watch.h"

#include <QGuiApplication>
#include <QWindow>

#include "actor/qt/x_support.h"

namespace kobal::actor::qt {
namespace {

bool OwnWindow(uint32_t window) {
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle() && w->winId() == window) return true;
    return false;
}

}  // namespace

FullscreenWatch::FullscreenWatch(std::function<void(bool)> changed) : changed_(std::move(changed)) {
    xcb_connection_t* c = XConnection();
    if (!c) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    InternAtoms(c, {"_NET_ACTIVE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN"},
                {&netActive_, &netState_, &netFullscreen_});
    ListenToProperties(c, root_);
    qGuiApp->installNativeEventFilter(this);
    FollowActiveWindow();
    Update();
}

FullscreenWatch::~FullscreenWatch() {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

void FullscreenWatch::FollowActiveWindow() {
    xcb_connection_t* c = XConnection();
    XReply r(xcb_get_property_reply(c, xcb_get_property(c, 0, root_, netActive_, XCB_ATOM_WINDOW, 0, 1), nullptr));
    uint32_t window = 0;
    if (r && r->format == 32 && xcb_get_property_value_length(r.p) >= 4)
        window = *static_cast<uint32_t*>(xcb_get_property_value(r.p));
    if (window == active_) return;
    if (active_ && !OwnWindow(active_)) {
        // The window left behind may be gone: a failure here is not reported.
        const uint32_t none = 0;
        xcb_discard_reply(c, xcb_change_window_attributes_checked(c, active_, XCB_CW_EVENT_MASK, &none).sequence);
    }
    active_ = window;
    // Our own windows (the actor, its menu, About) never go fullscreen, and
    // their event masks are Qt's.
    if (active_ && !OwnWindow(active_)) ListenToProperties(c, active_);
}

void FullscreenWatch::Update() {
    bool full = false;
    if (active_) {
        xcb_connection_t* c = XConnection();
        XReply r(xcb_get_property_reply(c, xcb_get_property(c, 0, active_, netState_, XCB_ATOM_ATOM, 0, 64), nullptr));
        if (r && r->format == 32) {
            const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(r.p));
            const int n = xcb_get_property_value_length(r.p) / 4;
            for (int i = 0; i < n; ++i) full = full || atoms[i] == netFullscreen_;
        }
    }
    if (full == fullscreen_) return;
    fullscreen_ = full;
    if (changed_) changed_(full);
}

bool FullscreenWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & ~0x80) != XCB_PROPERTY_NOTIFY) return false;
    const auto* p = static_cast<const xcb_property_notify_event_t*>(message);
    if (p->window == root_ && p->atom == netActive_) {
        FollowActiveWindow();
        Update();
    } else if (p->window == active_ && p->atom == netState_) {
        Update();
    }
    return false;  // Qt still sees every event
}

}  // namespace kobal::actor::qt
