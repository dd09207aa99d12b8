#include "actor/qt/desktop_map.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace kobal::actor::qt {

QRect ScreenShape::Device() const {
    return {qt.topLeft(), QSize(static_cast<int>(std::lround(qt.width() * factor)),
                                static_cast<int>(std::lround(qt.height() * factor)))};
}

DesktopMap::DesktopMap(std::vector<ScreenShape> screens) : screens_(std::move(screens)) {
    if (screens_.empty()) screens_.push_back({QRect(0, 0, 1024, 768), 1});
    scale_ = screens_.front().factor > 0 ? screens_.front().factor : 1;
}

DesktopMap DesktopMap::Current() {
    std::vector<ScreenShape> shapes;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary) shapes.push_back({primary->geometry(), primary->devicePixelRatio()});
    for (QScreen* s : QGuiApplication::screens())
        if (s != primary) shapes.push_back({s->geometry(), s->devicePixelRatio()});
    return DesktopMap(std::move(shapes));
}

const ScreenShape& DesktopMap::Holding(const QPoint& p, bool device) const {
    const ScreenShape* nearest = &screens_.front();
    int best = -1;
    for (const ScreenShape& s : screens_) {
        const QRect r = device ? s.Device() : s.qt;
        if (r.contains(p)) return s;
        const int dx = p.x() < r.left() ? r.left() - p.x() : std::max(0, p.x() - r.right());
        const int dy = p.y() < r.top() ? r.top() - p.y() : std::max(0, p.y() - r.bottom());
        if (best < 0 || dx + dy < best) {
            best = dx + dy;
            nearest = &s;
        }
    }
    return *nearest;
}

QPoint DesktopMap::DeviceFromQt(const QPointF& p) const {
    const ScreenShape& s = Holding(p.toPoint(), false);
    const QPointF origin = s.qt.topLeft();
    return ((p - origin) * s.factor + origin).toPoint();
}

QPoint DesktopMap::QtFromDevice(const QPoint& p) const {
    const ScreenShape& s = Holding(p, true);
    const QPointF origin = s.qt.topLeft();
    return ((QPointF(p) - origin) / s.factor + origin).toPoint();
}

std::vector<QRectF> DesktopMap::DesktopRects() const {
    std::vector<QRectF> rects;
    for (const ScreenShape& s : screens_) {
        const QRect d = s.Device();
        rects.emplace_back(d.x() / scale_, d.y() / scale_, d.width() / scale_, d.height() / scale_);
    }
    return rects;
}

}  // namespace kobal::actor::qt
