#pragma once
// The actor window: frameless, out of the task bar, sized and moved in
// twips, shaped by the key colour. A frame that changes neither picture nor
// position sends nothing to the X server.
#include <QHash>
#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "actor/ports.h"
#include "actor/qt/desktop_map.h"
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

    // Mouse events in twips relative to the window; buttons as 1, 2, 4.
    std::function<void(int button, double x, double y)> onMouseDown;
    std::function<void(int buttons, double x, double y)> onMouseMove;
    // A right press and release without movement (the menu when there is no tray).
    std::function<void()> onRightClick;
    std::function<void()> onCloseRequest;

    int pictureLoads() const { return pictureLoads_; }

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
    // While the window is on the screen, moves and pictures go straight to
    // the X server, and the window stops reporting its moves (and, when the
    // server draws the pictures, its exposures) to Qt.
    bool Quiet();
    // Before Qt sets the window's geometry or visibility again: it hears of
    // the window again, and learns where it really is.
    void RestoreQtEvents();
    void SyncQtPosition();
    // The server-side copy of the picture at the window's size (0: none).
    uint32_t ServerPicture();
    // What the window shows: the picture at the top-left corner on black;
    // unmanaged, with what the shape hides also transparent.
    QImage Composed();
    void KeepCaptionEmpty();

    double tppx_, tppy_;
    DesktopMap map_;
    double scale_;  // device pixels per desktop pixel
    QPixmap picture_;
    QHash<QString, QPixmap> pictures_;  // loaded once per file
    kobal::qt::KeyColorShaper shaper_;
    std::optional<int32_t> pendingKey_;  // the shape the next repaint applies
    bool shapePending_ = false;
    QPoint position_{0, 0};  // device pixels
    bool positioned_ = false;
    // Qt's idea of the position is out of date and it hears nothing of the
    // window's moves (nor of its exposures when the server draws it).
    bool quiet_ = false;
    bool probed_ = false;
    uint32_t qtEventMask_ = 0;
    uint8_t depth_ = 0;  // 0: the server cannot take our pictures as they are
    uint32_t gc_ = 0;
    // Pictures kept on the server as pixmaps, by picture, window size and
    // (unmanaged) key colour.
    std::map<std::tuple<qint64, int, int, int32_t>, uint32_t> serverPictures_;
    // Outside the window manager's care (a Wayland session): the compositor
    // may ignore the X shape, so the window also has an alpha channel.
    bool unmanaged_ = false;
    size_t serverBytes_ = 0;
    uint32_t background_ = 0;
    QPoint rightPress_;
    bool rightMoved_ = false;
    int pictureLoads_ = 0;
};

}  // namespace kobal::actor::qt
