#include "actor/desktop.h"

#include <algorithm>
#include <cmath>

namespace kobal::actor {
namespace {

constexpr double kTouch = 0.5;  // twips: edges this close meet

bool Contains(const ScreenRect& m, double px, double py) {
    return px >= m.left && px < m.right() && py >= m.top && py < m.bottom();
}

double DistanceSquared(const ScreenRect& m, double px, double py) {
    const double dx = px < m.left ? m.left - px : (px >= m.right() ? px - m.right() : 0);
    const double dy = py < m.top ? m.top - py : (py >= m.bottom() ? py - m.bottom() : 0);
    return dx * dx + dy * dy;
}

}  // namespace

int StandingMonitor(ScreenPort& screen, double x, double y, double width, double height) {
    const int count = screen.MonitorCount();
    if (count <= 1) return 0;
    const double cx = x + width / 2, cy = y + height / 2;
    int nearest = 0;
    double best = -1;
    for (int i = 0; i < count; ++i) {
        const ScreenRect m = screen.Monitor(i);
        if (Contains(m, cx, cy)) return i;
        const double d = DistanceSquared(m, cx, cy);
        if (best < 0 || d < best) {
            best = d;
            nearest = i;
        }
    }
    return nearest;
}

bool OnSomeMonitor(ScreenPort& screen, double x, double y, double width, double height) {
    const double cx = x + width / 2, cy = y + height / 2;
    for (int i = 0; i < screen.MonitorCount(); ++i)
        if (Contains(screen.Monitor(i), cx, cy)) return true;
    return false;
}

Room RoomAround(ScreenPort& screen, double x, double y, double width, double height) {
    const int count = screen.MonitorCount();
    const ScreenRect home = screen.Monitor(StandingMonitor(screen, x, y, width, height));
    Room room{home.left, home.top, home.right(), home.bottom()};
    if (count <= 1) return room;

    // The part of the actor's row and column that lies on its own monitor.
    const double rowTop = std::max(y, home.top), rowBottom = std::min(y + height, home.bottom());
    const double colLeft = std::max(x, home.left), colRight = std::min(x + width, home.right());
    const bool row = rowTop < rowBottom, column = colLeft < colRight;

    for (bool widened = true; widened;) {
        widened = false;
        for (int i = 0; i < count; ++i) {
            const ScreenRect m = screen.Monitor(i);
            const bool coversRow = row && m.top <= rowTop + kTouch && rowBottom <= m.bottom() + kTouch;
            const bool coversColumn = column && m.left <= colLeft + kTouch && colRight <= m.right() + kTouch;
            if (coversRow && m.left <= room.right + kTouch && m.right() > room.right + kTouch) {
                room.right = m.right();
                widened = true;
            }
            if (coversRow && m.right() >= room.left - kTouch && m.left < room.left - kTouch) {
                room.left = m.left;
                widened = true;
            }
            if (coversColumn && m.top <= room.bottom + kTouch && m.bottom() > room.bottom + kTouch) {
                room.bottom = m.bottom();
                widened = true;
            }
            if (coversColumn && m.bottom() >= room.top - kTouch && m.top < room.top - kTouch) {
                room.top = m.top;
                widened = true;
            }
        }
    }
    return room;
}

}  // namespace kobal::actor
