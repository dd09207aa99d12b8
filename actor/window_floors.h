#pragma once
// The tops of other programs' windows as floors: which window the actor
// stands on, where a descend lands, and when a floor is lost. Only with the
// windowfloors preference 1 and a window list; otherwise every query says
// "no window floors" and the actor knows only the monitors' edges.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "actor/ports.h"
#include "actor/position.h"
#include "common/settings.h"

namespace kobal::actor {

// Why the window stood on no longer carries the actor.
enum class FloorLoss {
    None,
    Closed,     // no longer listed: closed or minimised
    NoFloor,    // listed, but it never carries (it went fullscreen)
    OffTheEnd,  // the actor's column left the window's top edge
    MovedAway,  // the window moved or shrank from under the actor's column
    Covered,    // another window covers the top edge at the actor's feet
};

// A landing or a fall, for the timeline and the logs.
struct FloorNote {
    enum class Kind { Lands, Falls } kind = Kind::Lands;
    uint32_t window = 0;
    FloorLoss loss = FloorLoss::None;
};
// "lands on window 3", "falls: window 3 closed", ...
std::string FloorNoteText(const FloorNote& note);

class WindowFloors {
  public:
    WindowFloors(const SettingStore& settings, WindowsPort* windows) : settings_(settings), windows_(windows) {}

    bool enabled() const { return windows_ != nullptr && settings_.windowfloors == 1; }
    bool standing() const { return enabled() && standing_; }
    uint32_t standingOn() const { return standing() ? window_.id : 0; }
    bool falling() const { return enabled() && falling_; }

    // A descend starts with its feet here: it leaves the window it stood on
    // and lands on the first floor at or below these feet.
    void DescendStarts(double feet);
    // The window top a descend in column cx, its feet now at feet, lands
    // on: the highest floor at or below the feet it started with (and not
    // above its feet now), above the monitor's floor.
    std::optional<FloorWindow> LandingFor(double cx, double feet, double monitorFloor) const;
    // The actor, this high, stands on window now.
    void Land(const FloorWindow& window, double height);
    void Leave() { standing_ = false; }

    // Follows the window stood on (a move carries the actor with it) and
    // says why the floor was lost, if it was; a lost floor is left. A new
    // size puts the feet back on the top; an actor whose feet left it
    // otherwise (dragged away) simply stands on it no more.
    FloorLoss Follow(Position& position, double width, double height);
    // While the actor hides for a fullscreen window nothing is followed;
    // what changed meanwhile is caught up with afterwards.
    void SetHidden(bool hidden) { hidden_ = hidden; }

    // A behaviour begins: climbers and wanderers leave the window; any
    // behaviour but the one a fall starts ends the fall.
    void BehaviourStarts(int16_t type);
    // The actor falls from the window it stood on (false, and nothing
    // changes, while a fall is under way).
    bool FallStarts(FloorLoss loss);
    void FallStarted() { fallStarting_ = false; }

    // Told of every landing and fall; none: nobody is told.
    void SetListener(std::function<void(const FloorNote&)> listener) { listener_ = std::move(listener); }

    struct Saved {
        bool standing, falling;
        FloorWindow window;
        double height, descendFeet;
    };
    Saved Save() const { return {standing_, falling_, window_, height_, descendFeet_}; }
    void Restore(const Saved& s) {
        standing_ = s.standing;
        falling_ = s.falling;
        window_ = s.window;
        height_ = s.height;
        descendFeet_ = s.descendFeet;
    }

  private:
    // True when window i of the list is a floor at column cx: it carries,
    // cx lies on its top edge, and nothing above it covers (cx, top).
    bool FloorAt(const std::vector<FloorWindow>& list, size_t i, double cx) const;
    void Tell(const FloorNote& note) const {
        if (listener_) listener_(note);
    }

    const SettingStore& settings_;
    WindowsPort* windows_;
    bool standing_ = false;
    FloorWindow window_;  // the one stood on, as last seen
    double height_ = 0;   // the actor's height then
    bool hidden_ = false;
    double descendFeet_ = 0;
    bool falling_ = false;
    bool fallStarting_ = false;
    std::function<void(const FloorNote&)> listener_;
};

}  // namespace kobal::actor
