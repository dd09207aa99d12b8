#pragma once
// The actor window: frameless, out of the task bar, sized and moved in
// twips, shaped by the key colour. A frame that changes neither picture nor
// position sends nothing to the X server.
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>

#include "actor/ports.h"
#include "actor/qt/desktop_map.h"
#include "actor/qt/server_window.h"
#include "common/qt/key_color_shaper.h"

namespace kobal::actor::qt {

class ActorWindow : public QWidget, public ActorWindowPort {
  public:
    ActorWindow();

    void SetSize(int32_t widthTwips, int32_t heightTwips) override;
    void Move(int32_t leftTwips, int32_t topTwips) override;
    void SetPicture(const std::string& path) override;
    void SetKeyColor(int32_t keyColor) override;
    void Repaint() override;
    void SetIcon(const std::string& path) override;
    void SetCaption(const std::string& caption) override;
    void Show() override;
    void Hide() override;
    void BringToFront() override;
    void SetClickThrough(bool on) override;
    // The monitors changed: positions map to the new layout.
    void ScreensChanged();
    // A hibernating actor hears nothing of the focus.
    void SetHibernating(bool on) { server_.SetDeafToFocus(on); }

    // Mouse events in twips relative to the window; buttons as 1, 2, 4.
    std::function<void(int button, double x, double y)> onMouseDown;
    std::function<void(int buttons, double x, double y)> onMouseMove;
    // A right press and release without movement (the menu when there is no tray).
    std::function<void()> onRightClick;
    std::function<void()> onCloseRequest;

  protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void closeEvent(QCloseEvent*) override;

  private:
    QPointF TwipsInside(const QPointF& globalPixels) const;
    // Device pixels from twips, and Qt's coordinates for device pixels.
    QPoint DeviceFromTwips(int32_t leftTwips, int32_t topTwips) const;
    QPoint QtPosition() const;
    QSize DeviceSize() const;
    const QPixmap& Picture(const std::string& path);
    // Before Qt sets the window's geometry or visibility again: it hears of
    // the window again, and learns where it really is.
    void SyncQtPosition();
    // What the window shows: the picture at the top-left corner on black;
    // unmanaged, with what the shape hides also transparent.
    QImage Composed();
    void KeepCaptionEmpty();

    double tppx_, tppy_;
    DesktopMap map_;
    double scale_;  // device pixels per desktop pixel
    QPixmap picture_;
    std::unordered_map<std::string, QPixmap> pictures_;  // loaded once per file
    kobal::qt::KeyColorShaper shaper_;
    std::optional<int32_t> pendingKey_;  // the shape the next repaint applies
    bool shapePending_ = false;
    QPoint position_{0, 0};  // device pixels
    bool positioned_ = false;
    ServerWindow server_;  // moves and pictures past Qt while on the screen
    // Outside the window manager's care (a Wayland session): the compositor
    // may ignore the X shape, so the window also has an alpha channel.
    bool unmanaged_ = false;
    QPoint rightPress_;
    bool rightMoved_ = false;
};

}  // namespace kobal::actor::qt
