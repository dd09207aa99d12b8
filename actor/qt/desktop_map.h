#pragma once
// The actor's desktop in pixels: the X server's device pixels divided by
// the primary screen's scale factor, so that scaled monitors still meet
// edge to edge. Qt keeps each screen's top-left corner in device pixels and
// scales only its size, which leaves its own coordinates with gaps between
// scaled monitors; these helpers map between the two.
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <vector>

class QScreen;

namespace kobal::actor::qt {

// One screen as Qt sees it: geometry in Qt's coordinates and its factor.
struct ScreenShape {
    QRect qt;
    double factor = 1;
    QRect Device() const;  // the same screen in device pixels
};

class DesktopMap {
  public:
    // The screens, primary first (the primary's factor scales the desktop).
    explicit DesktopMap(std::vector<ScreenShape> screens);
    static DesktopMap Current();

    double scale() const { return scale_; }
    // Keeps the scale of an earlier layout, so that twips keep their meaning.
    void KeepScale(double scale) { scale_ = scale; }
    const std::vector<ScreenShape>& screens() const { return screens_; }
    // Device pixels of a point in Qt's global coordinates, and back.
    QPoint DeviceFromQt(const QPointF& qtPoint) const;
    QPoint QtFromDevice(const QPoint& device) const;
    // Each screen in desktop pixels (device pixels / scale), primary first.
    std::vector<QRectF> DesktopRects() const;

  private:
    const ScreenShape& Holding(const QPoint& p, bool device) const;
    std::vector<ScreenShape> screens_;
    double scale_ = 1;
};

}  // namespace kobal::actor::qt
