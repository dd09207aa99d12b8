#pragma once
// Tells when the active window is fullscreen, from the window manager's
// EWMH properties: _NET_ACTIVE_WINDOW on the root window and
// _NET_WM_STATE_FULLSCREEN in the active window's _NET_WM_STATE. It listens
// for their changes rather than asking again and again.
#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <functional>

namespace kobal::actor::qt {

class FullscreenWatch : public QAbstractNativeEventFilter {
  public:
    explicit FullscreenWatch(std::function<void(bool)> changed);
    ~FullscreenWatch() override;
    bool fullscreen() const { return fullscreen_; }
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;
    // Looks again after a time of not hearing of the active window.
    void CatchUp() {
        FollowActiveWindow();
        Update();
    }

  private:
    void FollowActiveWindow();
    void Update();
    std::function<void(bool)> changed_;
    uint32_t root_ = 0, active_ = 0;
    uint32_t netActive_ = 0, netState_ = 0, netFullscreen_ = 0;
    bool fullscreen_ = false;
};

}  // namespace kobal::actor::qt
