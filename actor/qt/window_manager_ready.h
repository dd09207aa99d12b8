#pragma once
// Waits for a window manager started by a test to manage windows.
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <algorithm>
#include <cstdlib>

#include "actor/qt/process_harness.h"
#include "actor/qt/x_support.h"

namespace kobal::actor::qt::testing {

// The window manager has started once it manages a window mapped now; one
// mapped while it is still starting may be left unmanaged for good.
inline bool WindowManagerReady() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    bool managed = false;
    if (!xcb_connection_has_error(c)) {
        const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        const xcb_window_t probe = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, probe, s->root, 0, 0, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          s->root_visual, 0, nullptr);
        const uint32_t list = InternAtom(c, "_NET_CLIENT_LIST");
        QElapsedTimer t;
        t.start();
        while (!managed && t.elapsed() < 20000) {
            xcb_map_window(c, probe);
            xcb_flush(c);
            for (int i = 0; i < 10 && !managed; ++i) {
                Wait(100);
                xcb_get_property_reply_t* r =
                    xcb_get_property_reply(c, xcb_get_property(c, 0, s->root, list, XCB_ATOM_WINDOW, 0, 1024), nullptr);
                if (r && r->format == 32) {
                    const auto* w = static_cast<const uint32_t*>(xcb_get_property_value(r));
                    managed = std::find(w, w + xcb_get_property_value_length(r) / 4, probe) !=
                              w + xcb_get_property_value_length(r) / 4;
                }
                std::free(r);
            }
            // Mapped too early: withdrawn and mapped again, it is asked for.
            if (!managed) xcb_unmap_window(c, probe);
        }
        xcb_destroy_window(c, probe);
        xcb_flush(c);
    }
    xcb_disconnect(c);
    return managed;
}

}  // namespace kobal::actor::qt::testing
