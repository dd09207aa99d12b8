#pragma once
// What the actor window asks of the X server itself, past Qt. While the
// window is on the screen, its moves and pictures go straight to the
// server, and the window stops reporting its moves (and, when the server
// draws the pictures, its exposures) to Qt: each such report costs a
// hand-off between Qt's X event thread and the main thread. Moves and
// pictures wait for Flush, to go out with the shape's requests in one
// batch; the rest go out at once.
#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <vector>

class QWidget;
struct xcb_connection_t;

namespace kobal::actor::qt {

class ServerWindow {
  public:
    explicit ServerWindow(QWidget& window) : window_(window) {}
    ServerWindow(const ServerWindow&) = delete;
    ServerWindow& operator=(const ServerWindow&) = delete;

    // Makes the window quiet if it is on the screen of an X server; false
    // when it cannot be.
    bool Quiet();
    bool quiet() const { return quiet_; }
    // Before Qt sets the window's geometry or visibility again: it hears of
    // the window again (and must then learn where it really is).
    void RestoreQtEvents();
    // Qt has set its own event mask again: the window is not quiet, and is
    // looked at afresh the next time.
    void Forget();
    // Deaf, the window takes no focus and hears nothing of it: the window
    // manager would hand a hibernating actor the focus (and a message to take
    // it) whenever another window closes, and each would wake it. Hearing
    // again, it is as Qt made it.
    void SetDeafToFocus(bool deaf);
    // The server takes our 32-bit pictures as they are (known once quiet).
    bool drawsPictures() const { return depth_ != 0; }

    // Device pixels, in the server's coordinates.
    void Move(const QPoint& device);
    // The server draws the picture as the window's background, at once and
    // again whenever a part of the window comes into view. A picture is
    // kept on the server by picture, size and key colour; compose makes it
    // the first time.
    void ShowPicture(qint64 picture, const QSize& device, int32_t keyColor, const std::function<QImage()>& compose);
    // Mapped again, the server must not first paint the window with an
    // older picture: Qt draws it until ShowPicture is asked again.
    void DropPicture();
    // An empty caption, in the window manager's view too (Qt would name an
    // untitled window after the program).
    void ClearCaption();
    void Flush();

  private:
    uint32_t Upload(const QSize& device, const QImage& image);
    // Qt's connection, looked up once: asking Qt for it costs more than a move request.
    xcb_connection_t* Connection();

    QWidget& window_;
    xcb_connection_t* connection_ = nullptr;
    bool connectionKnown_ = false;
    // Qt's idea of the position is out of date and it hears nothing of the
    // window's moves (nor of its exposures when the server draws it).
    bool quiet_ = false;
    bool probed_ = false;
    bool deafToFocus_ = false;
    // What Qt told the window manager of the focus, kept while deaf.
    std::vector<uint32_t> qtHints_, qtProtocols_;
    uint32_t wmProtocols_ = 0, wmTakeFocus_ = 0;
    uint32_t qtEventMask_ = 0;
    uint8_t depth_ = 0;  // 0: the server cannot take our pictures as they are
    uint32_t gc_ = 0;
    // Pixmaps on the server by picture, size and key colour, and their bytes.
    std::map<std::tuple<qint64, int, int, int32_t>, uint32_t> pictures_;
    size_t bytes_ = 0;
    uint32_t background_ = 0;  // the pixmap on show (0: Qt draws)
};

}  // namespace kobal::actor::qt
