#include "actor/qt/work_area.h"

#include <algorithm>

#include "actor/qt/x_support.h"

namespace kobal::actor::qt {
namespace {

// The 32-bit values of a property, none when it is missing or not 32-bit.
std::vector<uint32_t> Values(xcb_connection_t* c, xcb_get_property_cookie_t cookie) {
    xcb_generic_error_t* error = nullptr;
    xcb_get_property_reply_t* r = xcb_get_property_reply(c, cookie, &error);
    std::free(error);  // a window that has gone meanwhile
    std::vector<uint32_t> values;
    if (r && r->format == 32) {
        const auto* p = static_cast<const uint32_t*>(xcb_get_property_value(r));
        values.assign(p, p + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return values;
}

xcb_get_property_cookie_t Ask(xcb_connection_t* c, uint32_t window, uint32_t atom, uint32_t type) {
    return xcb_get_property(c, 0, window, atom, type, 0, 1024);
}

}  // namespace

std::vector<QRect> WorkAreas(const std::vector<QRect>& monitors, const std::vector<Strut>& struts, QSize root,
                             const std::optional<QRect>& desktopWorkArea) {
    std::vector<QRect> areas;
    areas.reserve(monitors.size());
    for (const QRect& m : monitors) {
        int left = m.left(), top = m.top(), right = m.right() + 1, bottom = m.bottom() + 1;
        for (const Strut& s : struts) {
            // Each strut is a band along one edge of the root window; it
            // cuts the monitors it lies on.
            auto on = [&m](const QRect& band) { return band.isValid() && band.intersects(m); };
            if (s.left > 0 && on(QRect(QPoint(0, s.leftStartY), QPoint(s.left - 1, s.leftEndY))))
                left = std::max(left, s.left);
            if (s.right > 0 &&
                on(QRect(QPoint(root.width() - s.right, s.rightStartY), QPoint(root.width() - 1, s.rightEndY))))
                right = std::min(right, root.width() - s.right);
            if (s.top > 0 && on(QRect(QPoint(s.topStartX, 0), QPoint(s.topEndX, s.top - 1))))
                top = std::max(top, s.top);
            if (s.bottom > 0 &&
                on(QRect(QPoint(s.bottomStartX, root.height() - s.bottom), QPoint(s.bottomEndX, root.height() - 1))))
                bottom = std::min(bottom, root.height() - s.bottom);
        }
        QRect area(QPoint(left, top), QPoint(right - 1, bottom - 1));
        // One rectangle for the whole desktop is right only on one monitor.
        if (monitors.size() == 1 && desktopWorkArea && desktopWorkArea->isValid()) area &= *desktopWorkArea;
        areas.push_back(area.isValid() ? area : m);
    }
    return areas;
}

WorkAreaWatch::WorkAreaWatch(std::function<void()> changed) : changed_(std::move(changed)) {
    xcb_connection_t* c = XConnection();
    if (!c) return;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    rootWindow_ = screen->root;
    InternAtoms(c,
                {"_NET_WORKAREA", "_NET_CURRENT_DESKTOP", "_NET_CLIENT_LIST", "_NET_WM_STRUT_PARTIAL", "_NET_WM_STRUT"},
                {&netWorkArea_, &netCurrentDesktop_, &netClientList_, &netStrutPartial_, &netStrut_});
    ListenToProperties(c, rootWindow_);
    Read();
    qGuiApp->installNativeEventFilter(this);
}

WorkAreaWatch::~WorkAreaWatch() {
    if (qGuiApp) qGuiApp->removeNativeEventFilter(this);
}

bool WorkAreaWatch::Read() {
    xcb_connection_t* c = XConnection();
    if (!c) return false;
    const QSize oldRoot = root_;
    const std::optional<QRect> oldArea = workArea_;
    const std::vector<Strut> oldStruts = std::move(struts_);
    struts_.clear();

    const auto geometryCookie = xcb_get_geometry(c, rootWindow_);
    const auto desktopCookie = Ask(c, rootWindow_, netCurrentDesktop_, XCB_ATOM_CARDINAL);
    const auto areaCookie = Ask(c, rootWindow_, netWorkArea_, XCB_ATOM_CARDINAL);
    const auto listCookie = Ask(c, rootWindow_, netClientList_, XCB_ATOM_WINDOW);
    if (xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, geometryCookie, nullptr)) {
        root_ = QSize(g->width, g->height);
        std::free(g);
    }
    const std::vector<uint32_t> desktop = Values(c, desktopCookie);
    const std::vector<uint32_t> area = Values(c, areaCookie);
    std::vector<uint32_t> windows = Values(c, listCookie);
    const size_t at = 4 * (desktop.empty() ? 0 : desktop.front());
    workArea_.reset();
    if (area.size() >= at + 4)
        workArea_ = QRect(static_cast<int>(area[at]), static_cast<int>(area[at + 1]), static_cast<int>(area[at + 2]),
                          static_cast<int>(area[at + 3]));

    // Without a window manager's list, the top-level windows themselves.
    if (windows.empty()) {
        if (xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, rootWindow_), nullptr)) {
            const xcb_window_t* children = xcb_query_tree_children(tree);
            windows.assign(children, children + xcb_query_tree_children_length(tree));
            std::free(tree);
        }
    }
    std::vector<std::pair<xcb_get_property_cookie_t, xcb_get_property_cookie_t>> cookies;
    cookies.reserve(windows.size());
    for (uint32_t w : windows)
        cookies.emplace_back(Ask(c, w, netStrutPartial_, XCB_ATOM_CARDINAL), Ask(c, w, netStrut_, XCB_ATOM_CARDINAL));
    for (const auto& [partialCookie, plainCookie] : cookies) {
        const std::vector<uint32_t> partial = Values(c, partialCookie);
        const std::vector<uint32_t> plain = Values(c, plainCookie);
        auto v = [](const std::vector<uint32_t>& values, size_t i) {
            return static_cast<int>(std::min<uint32_t>(values[i], 1u << 20));
        };
        Strut s;
        if (partial.size() >= 12) {
            s = {v(partial, 0), v(partial, 1), v(partial, 2), v(partial, 3), v(partial, 4),  v(partial, 5),
                 v(partial, 6), v(partial, 7), v(partial, 8), v(partial, 9), v(partial, 10), v(partial, 11)};
        } else if (plain.size() >= 4) {
            // The older form reserves along the whole edge.
            const int w = root_.width() - 1, h = root_.height() - 1;
            s = {v(plain, 0), v(plain, 1), v(plain, 2), v(plain, 3), 0, h, 0, h, 0, w, 0, w};
        } else {
            continue;
        }
        if (s.left || s.right || s.top || s.bottom) struts_.push_back(s);
    }
    return root_ != oldRoot || workArea_ != oldArea || struts_ != oldStruts;
}

bool WorkAreaWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (type != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_PROPERTY_NOTIFY) return false;
    const auto* p = static_cast<const xcb_property_notify_event_t*>(message);
    if (p->window != rootWindow_) return false;
    if (p->atom != netWorkArea_ && p->atom != netClientList_ && p->atom != netCurrentDesktop_) return false;
    if (Read() && changed_) changed_();
    return false;
}

}  // namespace kobal::actor::qt
