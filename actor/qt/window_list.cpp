#include "actor/qt/window_list.h"

#include <xcb/xcb.h>

#include <QRect>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "actor/qt/x_support.h"

namespace kobal::actor::qt {
namespace {

// Windows beyond these are not read: no desktop holds so many.
constexpr uint32_t kMaxWindows = 1024;
// Frames nested deeper than this below the root are not followed.
constexpr int kMaxDepth = 8;
// How long events are gathered before the list is brought up to date.
constexpr int kGatherMs = 20;

// Our own programs' windows (actors, their About window, the launcher's
// splash, the configuration window) carry their program's name as WM_CLASS.
bool OurOwn(const std::string& instance, const std::string& className) {
    for (const char* name : {"kobalactor", "kobaltron", "kobalconfig"})
        if (strcasecmp(instance.c_str(), name) == 0 || strcasecmp(className.c_str(), name) == 0) return true;
    return false;
}

// A reply, or none when the request failed (a window that has just gone).
template <typename T>
T* Take(T* reply, xcb_generic_error_t* error) {
    std::free(error);
    return reply;
}

std::vector<uint32_t> Values(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    XReply r(Take(xcb_get_property_reply(c, cookie, &error), error));
    std::vector<uint32_t> values;
    if (r && r->format == 32) {
        const auto* p = static_cast<const uint32_t*>(xcb_get_property_value(r.p));
        values.assign(p, p + xcb_get_property_value_length(r.p) / 4);
    }
    return values;
}

bool Holds(const std::vector<uint32_t>& values, uint32_t value) {
    return value && std::find(values.begin(), values.end(), value) != values.end();
}

}  // namespace

WindowList::WindowList(std::function<void()> changed, Scale scale, bool onX)
    : changed_(std::move(changed)), scale_(std::move(scale)), onX_(onX) {
    pending_.setSingleShot(true);
    pending_.setInterval(kGatherMs);
    QObject::connect(&pending_, &QTimer::timeout, [this] {
        if (Update() && changed_) changed_();
    });
}

WindowList::~WindowList() {
    notifier_.reset();
    if (c_) xcb_disconnect(c_);
}

bool WindowList::Connect() {
    if (c_) return !xcb_connection_has_error(c_);
    if (!onX_) return false;
    int screen = 0;
    c_ = xcb_connect(nullptr, &screen);
    if (xcb_connection_has_error(c_)) return false;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
    for (int i = 0; i < screen && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return false;
    root_ = it.data->root;
    InternAtoms(c_,
                {"_NET_CLIENT_LIST_STACKING", "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DOCK",
                 "_NET_WM_WINDOW_TYPE_DESKTOP", "_NET_WM_STATE", "_NET_WM_STATE_HIDDEN", "_NET_WM_STATE_FULLSCREEN",
                 "_NET_FRAME_EXTENTS", "_GTK_FRAME_EXTENTS"},
                {&atomStacking_, &atomType_, &atomDock_, &atomDesktop_, &atomState_, &atomHidden_, &atomFullscreen_,
                 &atomFrameExtents_, &atomGtkExtents_});
    notifier_ = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(c_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { Drain(true); });
    return true;
}

bool WindowList::Listen(bool on) {
    if (on == listening_) return false;
    if (!on) {
        listening_ = false;
        pending_.stop();
        wholeRead_ = false;
        SelectRootEvents(false);
        SelectFrames({});
        xcb_flush(c_);
        notifier_->setEnabled(false);
        return false;
    }
    if (!Connect()) return false;
    listening_ = true;
    notifier_->setEnabled(true);
    SelectRootEvents(true);
    Read();
    Drain(false);
    return Rebuild();
}

bool WindowList::Clear() {
    entries_.clear();
    if (windows_.empty()) return false;
    windows_.clear();
    return true;
}

void WindowList::SelectRootEvents(bool on) {
    // Without a window manager's list the top-level windows are the frames,
    // and the root tells of each of them.
    uint32_t mask = XCB_EVENT_MASK_NO_EVENT;
    if (on) mask = XCB_EVENT_MASK_PROPERTY_CHANGE | (stackingList_ ? 0 : XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    xcb_change_window_attributes(c_, root_, XCB_CW_EVENT_MASK, &mask);
}

void WindowList::SelectFrames(const std::vector<uint32_t>& frames) {
    // A frame that has gone meanwhile answers with an error nobody waits for.
    const uint32_t none = XCB_EVENT_MASK_NO_EVENT, structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    for (uint32_t f : heard_)
        if (std::find(frames.begin(), frames.end(), f) == frames.end())
            xcb_discard_reply(c_, xcb_change_window_attributes_checked(c_, f, XCB_CW_EVENT_MASK, &none).sequence);
    for (uint32_t f : frames)
        if (std::find(heard_.begin(), heard_.end(), f) == heard_.end())
            xcb_discard_reply(c_, xcb_change_window_attributes_checked(c_, f, XCB_CW_EVENT_MASK, &structure).sequence);
    heard_ = frames;
}

void WindowList::Drain(bool fromSocket) {
    if (!c_) return;
    while (xcb_generic_event_t* e = fromSocket ? xcb_poll_for_event(c_) : xcb_poll_for_queued_event(c_)) {
        Handle(e);
        std::free(e);
    }
    // The server has gone: nothing more will come.
    if (xcb_connection_has_error(c_) && notifier_) notifier_->setEnabled(false);
}

void WindowList::Handle(const xcb_generic_event_t* event) {
    if (!listening_) return;
    auto heard = [this](uint32_t w) { return std::find(heard_.begin(), heard_.end(), w) != heard_.end(); };
    switch (event->response_type & 0x7F) {
        case XCB_CONFIGURE_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_configure_notify_event_t*>(event);
            auto entry =
                std::find_if(entries_.begin(), entries_.end(), [e](const Entry& en) { return en.frame == e->window; });
            if (entry == entries_.end()) {
                // Without a window manager any top-level window may restack;
                // with one, a hidden frame comes back through its map.
                if (stackingList_ || e->event != root_) return;
                wholeRead_ = true;
            } else if (e->width == entry->frameWidth && e->height == entry->frameHeight) {
                entry->frameX = e->x;
                entry->frameY = e->y;
            } else {
                wholeRead_ = true;  // resized: fullscreen, maximised, its decoration changed
            }
            break;
        }
        case XCB_MAP_NOTIFY:
        case XCB_UNMAP_NOTIFY:
        case XCB_DESTROY_NOTIFY:
        case XCB_REPARENT_NOTIFY: {
            // The window field sits at the same place in all four.
            const auto* e = reinterpret_cast<const xcb_map_notify_event_t*>(event);
            if (!heard(e->window) && stackingList_) return;
            wholeRead_ = true;
            break;
        }
        case XCB_PROPERTY_NOTIFY: {
            const auto* e = reinterpret_cast<const xcb_property_notify_event_t*>(event);
            if (e->window != root_ || e->atom != atomStacking_) return;
            wholeRead_ = true;
            break;
        }
        default: return;
    }
    if (!pending_.isActive()) pending_.start();
}

bool WindowList::Update() {
    if (!listening_) return false;
    if (wholeRead_) {
        wholeRead_ = false;
        Read();
        // Events that came in with the replies are older than them or
        // newer, in order: applied now, the newest of each frame wins.
        Drain(false);
    }
    return Rebuild();
}

void WindowList::Read() {
    entries_.clear();
    const bool hadList = stackingList_;
    std::vector<uint32_t> clients =
        Values(c_, xcb_get_property(c_, 0, root_, atomStacking_, XCB_ATOM_WINDOW, 0, kMaxWindows));
    stackingList_ = !clients.empty();
    if (!stackingList_) {
        // Without a window manager: the root's children, bottom first.
        xcb_generic_error_t* error = nullptr;
        XReply tree(Take(xcb_query_tree_reply(c_, xcb_query_tree(c_, root_), &error), error));
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.p);
            clients.assign(children, children + std::min<int>(xcb_query_tree_children_length(tree.p),
                                                              static_cast<int>(kMaxWindows)));
        }
    }
    if (hadList != stackingList_) SelectRootEvents(true);

    // Everything about every client at once: one round trip.
    struct Asked {
        xcb_get_property_cookie_t wmClass, type, state, extents, gtkExtents;
        xcb_get_geometry_cookie_t geometry;
        xcb_translate_coordinates_cookie_t origin;
        xcb_get_window_attributes_cookie_t attributes;
        xcb_query_tree_cookie_t tree;
    };
    std::vector<Asked> asked;
    asked.reserve(clients.size());
    for (uint32_t w : clients)
        asked.push_back({xcb_get_property(c_, 0, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64),
                         xcb_get_property(c_, 0, w, atomType_, XCB_ATOM_ATOM, 0, 32),
                         xcb_get_property(c_, 0, w, atomState_, XCB_ATOM_ATOM, 0, 32),
                         xcb_get_property(c_, 0, w, atomFrameExtents_, XCB_ATOM_CARDINAL, 0, 4),
                         xcb_get_property(c_, 0, w, atomGtkExtents_, XCB_ATOM_CARDINAL, 0, 4), xcb_get_geometry(c_, w),
                         xcb_translate_coordinates(c_, w, root_, 0, 0), xcb_get_window_attributes(c_, w),
                         xcb_query_tree(c_, w)});

    struct Found {
        Entry entry;
        uint32_t climb = 0;  // the ancestor asked about next
        QRect client, frame;
        std::vector<uint32_t> extents, gtkExtents;
        bool shown = false, fullscreen = false;
        // window, the root's child, frames the client: its outer edges.
        void FramedBy(uint32_t window, const xcb_get_geometry_reply_t& g) {
            entry.frame = window;
            entry.frameX = g.x;
            entry.frameY = g.y;
            entry.frameWidth = g.width;
            entry.frameHeight = g.height;
            const int border = 2 * g.border_width;
            frame = QRect(g.x, g.y, g.width + border, g.height + border);
        }
    };
    std::vector<Found> found;
    for (size_t i = 0; i < clients.size(); ++i) {
        const Asked& a = asked[i];
        xcb_generic_error_t* error = nullptr;
        XReply wmClass(Take(xcb_get_property_reply(c_, a.wmClass, &error), error));
        const std::vector<uint32_t> type = Values(c_, a.type);
        const std::vector<uint32_t> state = Values(c_, a.state);
        std::vector<uint32_t> extents = Values(c_, a.extents);
        std::vector<uint32_t> gtkExtents = Values(c_, a.gtkExtents);
        error = nullptr;
        XReply geometry(Take(xcb_get_geometry_reply(c_, a.geometry, &error), error));
        error = nullptr;
        XReply origin(Take(xcb_translate_coordinates_reply(c_, a.origin, &error), error));
        error = nullptr;
        XReply attributes(Take(xcb_get_window_attributes_reply(c_, a.attributes, &error), error));
        error = nullptr;
        XReply tree(Take(xcb_query_tree_reply(c_, a.tree, &error), error));
        if (!geometry || !origin || !attributes || !tree) continue;  // gone meanwhile

        std::string instance, className;
        if (wmClass && wmClass->format == 8) {
            const char* p = static_cast<const char*>(xcb_get_property_value(wmClass.p));
            const int n = xcb_get_property_value_length(wmClass.p);
            instance.assign(p, strnlen(p, static_cast<size_t>(n)));
            if (static_cast<int>(instance.size()) + 1 < n)
                className.assign(p + instance.size() + 1, strnlen(p + instance.size() + 1, n - instance.size() - 1));
        }
        if (OurOwn(instance, className) || Holds(type, atomDock_) || Holds(type, atomDesktop_)) continue;
        // Menus and tooltips of programs run without a window manager.
        if (!stackingList_ && attributes->override_redirect) continue;

        Found f;
        f.entry.client = clients[i];
        f.client = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        f.extents = std::move(extents);
        f.gtkExtents = std::move(gtkExtents);
        f.fullscreen = Holds(state, atomFullscreen_);
        f.shown = attributes->map_state == XCB_MAP_STATE_VIEWABLE && !Holds(state, atomHidden_);
        if (tree->parent == root_) f.FramedBy(clients[i], *geometry.p);
        else f.climb = tree->parent;
        found.push_back(std::move(f));
    }

    // Up from each client to the root's child that frames it, one level
    // for all windows at a time.
    for (int depth = 0; depth < kMaxDepth; ++depth) {
        struct Climb {
            size_t at;
            xcb_query_tree_cookie_t tree;
            xcb_get_geometry_cookie_t geometry;
            xcb_get_window_attributes_cookie_t attributes;
        };
        std::vector<Climb> climbs;
        for (size_t i = 0; i < found.size(); ++i)
            if (found[i].climb)
                climbs.push_back({i, xcb_query_tree(c_, found[i].climb), xcb_get_geometry(c_, found[i].climb),
                                  xcb_get_window_attributes(c_, found[i].climb)});
        if (climbs.empty()) break;
        for (const Climb& k : climbs) {
            Found& f = found[k.at];
            xcb_generic_error_t* error = nullptr;
            XReply tree(Take(xcb_query_tree_reply(c_, k.tree, &error), error));
            error = nullptr;
            XReply geometry(Take(xcb_get_geometry_reply(c_, k.geometry, &error), error));
            error = nullptr;
            XReply attributes(Take(xcb_get_window_attributes_reply(c_, k.attributes, &error), error));
            const uint32_t at = f.climb;
            f.climb = 0;
            if (!tree || !geometry || !attributes) {
                f.entry.frame = 0;  // gone meanwhile
                continue;
            }
            if (tree->parent != root_) {
                f.climb = tree->parent;
                continue;
            }
            f.FramedBy(at, *geometry.p);
            f.shown = f.shown && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        }
    }

    std::vector<uint32_t> frames;
    for (Found& f : found) {
        if (!f.entry.frame || f.climb) continue;
        frames.push_back(f.entry.frame);
        if (!f.shown) continue;
        // What shows: the client and the decoration the window manager says
        // it drew, within the frame (which may hold invisible borders);
        // a window that draws its own decoration leaves out its shadow.
        QRect shows = f.frame;
        auto side = [](const std::vector<uint32_t>& v, size_t i) {
            return static_cast<int>(std::min<uint32_t>(v[i], 1u << 14));
        };
        if (f.entry.frame != f.entry.client && f.extents.size() >= 4) {
            shows =
                f.client.adjusted(-side(f.extents, 0), -side(f.extents, 2), side(f.extents, 1), side(f.extents, 3)) &
                f.frame;
        } else if (f.entry.frame == f.entry.client && f.gtkExtents.size() >= 4) {
            shows = f.frame.adjusted(side(f.gtkExtents, 0), side(f.gtkExtents, 2), -side(f.gtkExtents, 1),
                                     -side(f.gtkExtents, 3));
        }
        if (shows.isEmpty()) continue;
        f.entry.left = shows.x() - f.entry.frameX;
        f.entry.top = shows.y() - f.entry.frameY;
        f.entry.width = shows.width();
        f.entry.height = shows.height();
        f.entry.floor = !f.fullscreen;
        entries_.push_back(f.entry);
    }
    SelectFrames(frames);
    xcb_flush(c_);
}

bool WindowList::Rebuild() {
    const auto [tx, ty] = scale_ ? scale_() : std::pair{15.0, 15.0};
    bool same = windows_.size() == entries_.size();
    for (size_t i = 0; same && i < entries_.size(); ++i) {
        const Entry& e = entries_[i];
        const FloorWindow& w = windows_[i];
        same = w.id == e.client && w.left == (e.frameX + e.left) * tx && w.top == (e.frameY + e.top) * ty &&
               w.width == e.width * tx && w.height == e.height * ty && w.floor == e.floor;
    }
    if (same) return false;
    windows_.clear();
    for (const Entry& e : entries_)
        windows_.push_back(
            {e.client, (e.frameX + e.left) * tx, (e.frameY + e.top) * ty, e.width * tx, e.height * ty, e.floor});
    return true;
}

}  // namespace kobal::actor::qt
