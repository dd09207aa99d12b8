#pragma once
// The actor window: frameless, out of the task bar, sized and moved in
// twips, shaped by the key colour. A frame that changes neither picture nor
// position sends nothing to the X server.
#include <QHash>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>

#include "actor/ports.h"
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
    const QPixmap& Picture(const std::string& path);

    double tppx_, tppy_;
    QPixmap picture_;
    QHash<QString, QPixmap> pictures_;  // loaded once per file
    kobal::qt::KeyColorShaper shaper_;
    std::optional<int32_t> pendingKey_;  // the shape the next repaint applies
    bool shapePending_ = false;
    QPoint position_{0, 0};
    bool positioned_ = false;
    QPoint rightPress_;
    bool rightMoved_ = false;
    int pictureLoads_ = 0;
};

}  // namespace kobal::actor::qt
