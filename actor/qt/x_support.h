#pragma once
// The few things every X request the actor makes past Qt needs.
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>

namespace kobal::actor::qt {

// Qt's connection to the X server; none on another platform.
inline xcb_connection_t* XConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// A reply that frees itself.
template <typename T>
struct XReply {
    explicit XReply(T* r) : p(r) {}
    ~XReply() { std::free(p); }
    XReply(const XReply&) = delete;
    XReply& operator=(const XReply&) = delete;
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
    T* p;
};

// One atom, 0 when the server does not give it.
inline uint32_t InternAtom(xcb_connection_t* c, const char* name) {
    XReply r(xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : 0;
}

// Asks for every atom before waiting for the first: one round trip. An
// atom the server does not give is 0.
template <size_t N>
void InternAtoms(xcb_connection_t* c, const char* const (&names)[N], uint32_t* const (&atoms)[N]) {
    xcb_intern_atom_cookie_t cookies[N];
    for (size_t i = 0; i < N; ++i)
        cookies[i] = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(names[i])), names[i]);
    for (size_t i = 0; i < N; ++i) {
        XReply r(xcb_intern_atom_reply(c, cookies[i], nullptr));
        *atoms[i] = r ? r->atom : 0;
    }
}

// Adds property changes to what this client hears of a window, keeping the
// events it (or Qt, for its own windows and the root) already asked for.
inline void ListenToProperties(xcb_connection_t* c, uint32_t window) {
    XReply a(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!a) return;
    const uint32_t mask = a->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
}

// Stops or restarts the root window's property events on this client's
// connection, keeping every other event asked for there. Qt asks for them
// itself, and the window manager changes its lists there at each window
// opened, closed or focused.
inline void HearRootProperties(xcb_connection_t* c, bool on) {
    const uint32_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    XReply a(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, root), nullptr));
    if (!a) return;
    const uint32_t mask = on ? a->your_event_mask | XCB_EVENT_MASK_PROPERTY_CHANGE
                             : a->your_event_mask & ~static_cast<uint32_t>(XCB_EVENT_MASK_PROPERTY_CHANGE);
    if (mask == a->your_event_mask) return;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
}

}  // namespace kobal::actor::qt
