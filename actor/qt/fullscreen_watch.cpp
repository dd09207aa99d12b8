#include "actor/qt/fullscreen_watch.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <cstring>

namespace kobal::actor::qt {
namespace {

xcb_connection_t* Connection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

uint32_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const uint32_t atom = r ? r->atom : 0;
    std::free(r);
    return atom;
}

// Adds property changes to what this client hears of a window, keeping the
// events it (or Qt, for the root window) already asked for.
void ListenToProperties(xcb_connection_t* c, uint32_t window) {
    xcb_get_window_attributes_reply_t* a =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
    if (!a) return;
    const uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
    std::free(a);
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
}

bool OwnWindow(uint32_t window) {
    for (QWindow* w : QGuiApplication::allWindows())
        if (w->handle() && w->winId() == window) return true;
    return false;
}

}  // namespace

FullscreenWatch::FullscreenWatch(std::function<void(bool)> changed) : changed_(std::move(changed)) {
    xcb_connection_t* c = Connection();
    if (!c) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    netActive_ = Atom(c, "_NET_ACTIVE_WINDOW");
    netState_ = Atom(c, "_NET_WM_STATE");
    netFullscreen_ = Atom(c, "_NET_WM_STATE_FULLSCREEN");
    ListenToProperties(c, root_);
    qGuiApp->installNativeEventFilter(this);
    FollowActiveWindow();
    Update();
}

FullscreenWatch::~FullscreenWatch() {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

void FullscreenWatch::FollowActiveWindow() {
    xcb_connection_t* c = Connection();
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, root_, netActive_, XCB_ATOM_WINDOW, 0, 1), nullptr);
    uint32_t window = 0;
    if (r && r->format == 32 && xcb_get_property_value_length(r) >= 4)
        window = *static_cast<uint32_t*>(xcb_get_property_value(r));
    std::free(r);
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
        xcb_connection_t* c = Connection();
        xcb_get_property_reply_t* r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, active_, netState_, XCB_ATOM_ATOM, 0, 64), nullptr);
        if (r && r->format == 32) {
            const auto* atoms = static_cast<const uint32_t*>(xcb_get_property_value(r));
            const int n = xcb_get_property_value_length(r) / 4;
            for (int i = 0; i < n; ++i) full = full || atoms[i] == netFullscreen_;
        }
        std::free(r);
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
