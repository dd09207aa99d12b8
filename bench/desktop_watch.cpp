// kobal_desktop_watch: tells the desktop benchmark when windows are mapped.
// It listens on the root window of $DISPLAY and prints one line per map of a
// top-level window:
//   <CLOCK_MONOTONIC ns> <window id> <_NET_WM_PID or 0> <WM_CLASS instance>
// Under a window manager the top-level window is its frame: the line names
// the client inside it.
// After "ready" it is listening, so nothing mapped later is missed. The
// clock is the one Python's time.monotonic_ns() reads.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Reply = std::unique_ptr<T, FreeDeleter>;

long long MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// Properties are asked for only after the map has been noted, so that
// the round trips do not delay the time stamp.
unsigned long WindowPid(xcb_connection_t* c, xcb_window_t w, xcb_atom_t pidAtom) {
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, pidAtom, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    if (!r || xcb_get_property_value_length(r.get()) < 4) return 0;
    uint32_t pid = 0;
    std::memcpy(&pid, xcb_get_property_value(r.get()), 4);
    return pid;
}

std::string WindowInstance(xcb_connection_t* c, xcb_window_t w) {
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr));
    if (!r) return "-";
    const int n = xcb_get_property_value_length(r.get());
    const char* v = static_cast<const char*>(xcb_get_property_value(r.get()));
    std::string instance(v, strnlen(v, static_cast<size_t>(n)));
    for (char& ch : instance)
        if (ch == ' ' || ch == '\n') ch = '_';
    return instance.empty() ? "-" : instance;
}

// The client a window manager's frame holds: the first window below it,
// depth first, that has a WM_CLASS; the frame itself when none has.
xcb_window_t ClientOf(xcb_connection_t* c, xcb_window_t w, int depth = 0) {
    Reply<xcb_get_property_reply_t> r(
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 0), nullptr));
    if (r && r->type != XCB_ATOM_NONE) return w;
    if (depth >= 4) return 0;
    Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr));
    if (!tree) return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i)
        if (const xcb_window_t client = ClientOf(c, children[i], depth + 1)) return client;
    return 0;
}

}  // namespace

int main() {
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        std::fprintf(stderr, "kobal_desktop_watch: cannot open the display\n");
        return 2;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i) xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const xcb_atom_t pidAtom = Atom(c, "_NET_WM_PID");

    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    if (xcb_generic_error_t* e =
            xcb_request_check(c, xcb_change_window_attributes_checked(c, root, XCB_CW_EVENT_MASK, &mask))) {
        std::free(e);
        std::fprintf(stderr, "kobal_desktop_watch: cannot watch the root window\n");
        return 2;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    while (xcb_generic_event_t* raw = xcb_wait_for_event(c)) {
        Reply<xcb_generic_event_t> event(raw);
        if ((event->response_type & 0x7F) != XCB_MAP_NOTIFY) continue;
        const long long when = MonotonicNs();
        const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
        if (map->event != root) continue;
        xcb_window_t window = ClientOf(c, map->window);
        if (!window) window = map->window;
        const unsigned long pid = WindowPid(c, window, pidAtom);
        std::printf("%lld %u %lu %s\n", when, window, pid, WindowInstance(c, window).c_str());
        std::fflush(stdout);
    }
    xcb_disconnect(c);
    return 0;
}
