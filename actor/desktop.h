#pragma once
// Where an actor may go on a desktop of several monitors. On one monitor
// the room is that monitor, so the classic one-screen arithmetic stands.
#include "actor/ports.h"

namespace kobal::actor {

// Edges of the free space around an actor, in twips.
struct Room {
    double left = 0, top = 0, right = 0, bottom = 0;
};

// The monitor holding the actor's centre (the first, primary first, when
// monitors overlap), else the nearest one.
int StandingMonitor(ScreenPort& screen, double x, double y, double width, double height);

// The monitor the actor stands on, widened across every monitor that
// continues it: to the side when the neighbour covers the actor's whole row
// on it, up or down when the neighbour covers its whole column. A shorter
// neighbour is a wall for an actor below its bottom edge, so nothing falls
// into the gap between monitors of different heights.
Room RoomAround(ScreenPort& screen, double x, double y, double width, double height);

// True when the actor's centre lies on some monitor.
bool OnSomeMonitor(ScreenPort& screen, double x, double y, double width, double height);

}  // namespace kobal::actor
