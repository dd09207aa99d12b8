#pragma once
// Where the actor stands, in twips from the desktop's origin. Only the
// owners handed a Position& may move it: the player (a new size keeps its
// aligned edge), the behaviours, the mouse drag and the runtime (start-up,
// screens changed, a failed link command put back).
#include <cstdint>

#include "actor/desktop.h"
#include "actor/ports.h"

namespace kobal::actor {

class Position {
  public:
    explicit Position(ScreenPort& screen) : screen_(&screen) {}

    int32_t x() const { return x_; }  // 32-bit: 16-bit twips end at 2184 pixels
    int32_t y() const { return y_; }
    // The free space around an actor of this size where it stands.
    Room RoomFor(double width, double height) const;

    void MoveTo(int32_t x, int32_t y) {
        x_ = x;
        y_ = y;
    }
    void MoveBy(int32_t dx, int32_t dy);
    // The pointer drags the actor: off is how far the pointer has left the
    // point where it grabbed the window.
    void DragBy(double offX, double offY);
    // The centre of the given monitor for an actor of this size.
    void CentreOn(const ScreenRect& monitor, double width, double height);
    // A new size keeps the edge the animation aligns to (0 centre, 1 right or
    // bottom, anything else left or top).
    void Realign(int16_t oldWidth, int16_t oldHeight, int16_t newWidth, int16_t newHeight, int16_t alignx,
                 int16_t aligny);
    void KeepOnScreen(double width, double height);
    // The monitors changed; true when the actor had to move.
    bool ScreensChanged(double width, double height);

  private:
    ScreenPort* screen_;
    int32_t x_ = 0;
    int32_t y_ = 0;
};

}  // namespace kobal::actor
