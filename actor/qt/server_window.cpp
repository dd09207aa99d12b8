#include "actor/qt/server_window.h"

#include <QWidget>
#include <algorithm>

#include "actor/qt/x_support.h"

namespace kobal::actor::qt {

namespace {

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

// Server pixmaps of pictures are dropped all together beyond this.
constexpr size_t kMaxServerBytes = 32u << 20;

}  // namespace

xcb_connection_t* ServerWindow::Connection() {
    if (!connectionKnown_) {
        connection_ = XConnection();
        connectionKnown_ = qGuiApp != nullptr;
    }
    return connection_;
}

// Qt answers each configure notification of a top-level window with three
// round trips to the server (its position, then the frame margins), and each
// exposure with a paint that waits for the server. While the actor is on the
// screen it moves itself and the server draws its pictures, so the window
// does not ask for either.
bool ServerWindow::Quiet() {
    xcb_connection_t* c = Connection();
    if (!c || !window_.isVisible()) return false;
    if (quiet_) return true;
    const auto window = static_cast<xcb_window_t>(window_.winId());
    if (!probed_) {
        probed_ = true;
        XReply attributes(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
        XReply geometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
        if (!attributes || !geometry) return false;
        qtEventMask_ = attributes->your_event_mask;
        if (ServerTakesRgb32(c, attributes->visual, geometry->depth)) depth_ = geometry->depth;
    }
    if (!qtEventMask_) return false;
    uint32_t quiet = qtEventMask_ & ~static_cast<uint32_t>(XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    if (depth_) quiet &= ~static_cast<uint32_t>(XCB_EVENT_MASK_EXPOSURE);
    if (deafToFocus_) quiet &= ~static_cast<uint32_t>(XCB_EVENT_MASK_FOCUS_CHANGE);
    xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &quiet);
    quiet_ = true;
    return true;
}

namespace {

std::vector<uint32_t> ReadCards(xcb_connection_t* c, xcb_window_t window, uint32_t property, uint32_t type) {
    XReply r(xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 32), nullptr));
    if (!r || r->format != 32) return {};
    const auto* v = static_cast<const uint32_t*>(xcb_get_property_value(r.p));
    return {v, v + xcb_get_property_value_length(r.p) / 4};
}

void WriteCards(xcb_connection_t* c, xcb_window_t window, uint32_t property, uint32_t type,
                const std::vector<uint32_t>& cards) {
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, property, type, 32, static_cast<uint32_t>(cards.size()),
                        cards.data());
}

}  // namespace

void ServerWindow::SetDeafToFocus(bool deaf) {
    if (deaf == deafToFocus_) return;
    deafToFocus_ = deaf;
    xcb_connection_t* c = Connection();
    if (c && window_.testAttribute(Qt::WA_WState_Created)) {
        const auto window = static_cast<xcb_window_t>(window_.winId());
        if (!wmProtocols_) InternAtoms(c, {"WM_PROTOCOLS", "WM_TAKE_FOCUS"}, {&wmProtocols_, &wmTakeFocus_});
        if (deaf) {
            qtHints_ = ReadCards(c, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS);
            qtProtocols_ = ReadCards(c, window, wmProtocols_, XCB_ATOM_ATOM);
            // The input hint is the second card, valid with flag bit 0.
            std::vector<uint32_t> hints = qtHints_;
            hints.resize(std::max<size_t>(hints.size(), 9), 0);
            hints[0] |= 1;
            hints[1] = 0;
            WriteCards(c, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, hints);
            std::vector<uint32_t> protocols = qtProtocols_;
            std::erase(protocols, wmTakeFocus_);
            WriteCards(c, window, wmProtocols_, XCB_ATOM_ATOM, protocols);
        } else {
            if (qtHints_.empty()) xcb_delete_property(c, window, XCB_ATOM_WM_HINTS);
            else WriteCards(c, window, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, qtHints_);
            if (qtProtocols_.empty()) xcb_delete_property(c, window, wmProtocols_);
            else WriteCards(c, window, wmProtocols_, XCB_ATOM_ATOM, qtProtocols_);
        }
    }
    if (quiet_) {
        quiet_ = false;
        Quiet();
    }
    // Nothing else may come to flush it before the actor wakes.
    if (c) xcb_flush(c);
}

void ServerWindow::RestoreQtEvents() {
    if (!quiet_) return;
    quiet_ = false;
    if (xcb_connection_t* c = Connection())
        xcb_change_window_attributes(c, static_cast<xcb_window_t>(window_.winId()), XCB_CW_EVENT_MASK, &qtEventMask_);
}

void ServerWindow::Forget() {
    quiet_ = false;
    probed_ = false;
}

void ServerWindow::Move(const QPoint& device) {
    // Qt's move would also rewrite the size hints.
    const uint32_t xy[] = {static_cast<uint32_t>(device.x()), static_cast<uint32_t>(device.y())};
    xcb_configure_window(Connection(), static_cast<xcb_window_t>(window_.winId()),
                         XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, xy);
}

void ServerWindow::ShowPicture(qint64 picture, const QSize& device, int32_t keyColor,
                               const std::function<QImage()>& compose) {
    const auto key = std::make_tuple(picture, device.width(), device.height(), keyColor);
    uint32_t pixmap = 0;
    if (auto it = pictures_.find(key); it != pictures_.end()) {
        pixmap = it->second;
    } else {
        if (bytes_ > kMaxServerBytes) {
            // Only the picture on show is in use; the others are made again.
            xcb_connection_t* c = Connection();
            for (const auto& [k, kept] : pictures_)
                if (kept != background_) xcb_free_pixmap(c, kept);
            std::erase_if(pictures_, [this](const auto& entry) { return entry.second != background_; });
            bytes_ = 0;
        }
        pixmap = Upload(device, compose());
        pictures_.emplace(key, pixmap);
    }
    if (pixmap == background_) return;
    xcb_connection_t* c = Connection();
    const auto window = static_cast<xcb_window_t>(window_.winId());
    xcb_change_window_attributes(c, window, XCB_CW_BACK_PIXMAP, &pixmap);
    // A copy rather than a clear to the new background: the server clears
    // by filling each rectangle of the shape against every other, and
    // copies in one pass.
    xcb_copy_area(c, pixmap, window, gc_, 0, 0, 0, 0, static_cast<uint16_t>(device.width()),
                  static_cast<uint16_t>(device.height()));
    background_ = pixmap;
}

uint32_t ServerWindow::Upload(const QSize& device, const QImage& image) {
    xcb_connection_t* c = Connection();
    const auto window = static_cast<xcb_window_t>(window_.winId());
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_create_pixmap(c, depth_, pixmap, window, static_cast<uint16_t>(device.width()),
                      static_cast<uint16_t>(device.height()));
    if (!gc_) {
        gc_ = xcb_generate_id(c);
        // Copies to the window must not send an event back for each.
        const uint32_t noExposures = 0;
        xcb_create_gc(c, gc_, pixmap, XCB_GC_GRAPHICS_EXPOSURES, &noExposures);
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
    bytes_ += image.sizeInBytes();
    return pixmap;
}

void ServerWindow::DropPicture() {
    xcb_connection_t* c = Connection();
    if (!c || !background_) return;
    const uint32_t none = XCB_BACK_PIXMAP_NONE;
    xcb_change_window_attributes(c, static_cast<xcb_window_t>(window_.winId()), XCB_CW_BACK_PIXMAP, &none);
    xcb_flush(c);
    background_ = 0;
}

void ServerWindow::ClearCaption() {
    xcb_connection_t* c = Connection();
    if (!c) return;
    const auto window = static_cast<xcb_window_t>(window_.winId());
    uint32_t netName = 0, utf8 = 0;
    InternAtoms(c, {"_NET_WM_NAME", "UTF8_STRING"}, {&netName, &utf8});
    if (netName && utf8) xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, netName, utf8, 8, 0, nullptr);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 0, nullptr);
    xcb_flush(c);
}

void ServerWindow::Flush() {
    if (xcb_connection_t* c = Connection()) xcb_flush(c);
}

}  // namespace kobal::actor::qt
