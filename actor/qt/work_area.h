#pragma once
// What panels and docks leave free on each monitor. The window manager
// publishes one work area for the whole desktop (_NET_WORKAREA), which is
// wrong beside a panel on only one of several monitors, so each monitor is
// cut by the struts its docks reserve (_NET_WM_STRUT_PARTIAL). Everything is
// read again when the window manager says its work area or its list of
// windows changed, never on a behaviour's step.
#include <QAbstractNativeEventFilter>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace kobal::actor::qt {

// Room a dock reserves at the root window's edges, in device pixels.
struct Strut {
    int left = 0, right = 0, top = 0, bottom = 0;
    int leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
    int topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
    bool operator==(const Strut&) const = default;
};

// Each monitor (device pixels, in order) less what the struts reserve on
// it; a lone monitor also within the desktop's published work area. A
// monitor that would keep nothing stays whole.
std::vector<QRect> WorkAreas(const std::vector<QRect>& monitors, const std::vector<Strut>& struts, QSize root,
                             const std::optional<QRect>& desktopWorkArea);

class WorkAreaWatch : public QAbstractNativeEventFilter {
  public:
    // changed: the struts or the published work area are not what they were.
    explicit WorkAreaWatch(std::function<void()> changed);
    ~WorkAreaWatch() override;
    WorkAreaWatch(const WorkAreaWatch&) = delete;
    WorkAreaWatch& operator=(const WorkAreaWatch&) = delete;

    std::vector<QRect> Apply(const std::vector<QRect>& monitors) const {
        return WorkAreas(monitors, struts_, root_, workArea_);
    }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;
    // Reads everything again; true when something changed.
    bool Read();

  private:
    std::function<void()> changed_;
    uint32_t rootWindow_ = 0;
    uint32_t netWorkArea_ = 0, netCurrentDesktop_ = 0, netClientList_ = 0, netStrutPartial_ = 0, netStrut_ = 0;
    std::vector<Strut> struts_;
    std::optional<QRect> workArea_;
    QSize root_;
};

}  // namespace kobal::actor::qt
