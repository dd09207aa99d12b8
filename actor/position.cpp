#include "actor/position.h"

#include <algorithm>

#include "common/numbers.h"

namespace kobal::actor {

Room Position::RoomFor(double width, double height) const {
    return RoomAround(*screen_, x_, y_, width, height);
}

void Position::MoveBy(int32_t dx, int32_t dy) {
    y_ = RoundToInt32(static_cast<double>(y_) + dy);
    x_ = RoundToInt32(static_cast<double>(x_) + dx);
}

void Position::DragBy(double offX, double offY) {
    x_ = RoundToInt32(x_ - offX);
    y_ = RoundToInt32(y_ - offY);
}

void Position::CentreOn(const ScreenRect& monitor, double width, double height) {
    x_ = RoundToInt32(monitor.left + monitor.width / 2 - width / 2.0);
    y_ = RoundToInt32(monitor.top + monitor.height / 2 - height / 2.0);
}

void Position::Realign(int16_t oldWidth, int16_t oldHeight, int16_t newWidth, int16_t newHeight, int16_t alignx,
                       int16_t aligny) {
    if (alignx == 0) x_ = RoundToInt32(x_ - newWidth / 2.0 + oldWidth / 2.0);
    else if (alignx == 1) x_ = RoundToInt32(static_cast<double>(x_) - (newWidth - oldWidth));
    if (aligny == 0) y_ = RoundToInt32(y_ - newHeight / 2.0 + oldHeight / 2.0);
    else if (aligny == 1) y_ = RoundToInt32(static_cast<double>(y_) - (newHeight - oldHeight));
}

void Position::KeepOnScreen(double width, double height) {
    const Room room = RoomFor(width, height);
    const double bottom = room.bottom - height;
    if (y_ > bottom) y_ = RoundToInt32(bottom);
    if (y_ < room.top + 1) y_ = RoundToInt32(room.top);
    const double right = room.right - width;
    if (x_ > right) x_ = RoundToInt32(right);
    if (x_ < room.left + 1) x_ = RoundToInt32(room.left);
}

bool Position::ScreensChanged(double width, double height) {
    // An actor left on no monitor (one unplugged, or moved away) comes back
    // onto the nearest one, whole. One still on a monitor keeps within its
    // room: a panel that appears under it lifts it onto the panel.
    const int32_t oldx = x_, oldy = y_;
    if (OnSomeMonitor(*screen_, x_, y_, width, height)) {
        const Room room = RoomFor(width, height);
        if (y_ + height > room.bottom) y_ = RoundToInt32(room.bottom - height);
        if (y_ < room.top) y_ = RoundToInt32(room.top);
        if (x_ + width > room.right) x_ = RoundToInt32(room.right - width);
        if (x_ < room.left) x_ = RoundToInt32(room.left);
    } else {
        const ScreenRect m = screen_->Monitor(StandingMonitor(*screen_, x_, y_, width, height));
        x_ = RoundToInt32(std::max(m.left, std::min<double>(x_, m.right() - width)));
        y_ = RoundToInt32(std::max(m.top, std::min<double>(y_, m.bottom() - height)));
    }
    return x_ != oldx || y_ != oldy;
}

}  // namespace kobal::actor
