#include "actor/window_floors.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "common/numbers.h"

namespace kobal::actor {
namespace {

// Twips: feet this close to a top stand on it (positions are whole twips).
constexpr double kOnTop = 1.0;

bool OnTopEdge(const FloorWindow& w, double cx) {
    return cx >= w.left && cx < w.right();
}

bool Contains(const FloorWindow& w, double px, double py) {
    return OnTopEdge(w, px) && py >= w.top && py < w.bottom();
}

}  // namespace

std::string FloorNoteText(const FloorNote& note) {
    const std::string window = "window " + std::to_string(note.window);
    if (note.kind == FloorNote::Kind::Lands) return "lands on " + window;
    switch (note.loss) {
        case FloorLoss::Closed: return "falls: " + window + " closed";
        case FloorLoss::NoFloor: return "falls: " + window + " carries no actor now";
        case FloorLoss::OffTheEnd: return "falls: off the end of " + window;
        case FloorLoss::MovedAway: return "falls: " + window + " moved away";
        case FloorLoss::Covered: return "falls: " + window + " covered at the actor's feet";
        case FloorLoss::None: break;
    }
    return "falls from " + window;
}

bool WindowFloors::FloorAt(const std::vector<FloorWindow>& list, size_t i, double cx) const {
    const FloorWindow& w = list[i];
    if (!w.floor || !OnTopEdge(w, cx)) return false;
    for (size_t above = i + 1; above < list.size(); ++above)
        if (Contains(list[above], cx, w.top)) return false;
    return true;
}

void WindowFloors::DescendStarts(double feet) {
    if (!enabled()) return;
    standing_ = false;
    descendFeet_ = feet;
}

std::optional<FloorWindow> WindowFloors::LandingFor(double cx, double feet, double monitorFloor) const {
    if (!enabled()) return std::nullopt;
    const std::vector<FloorWindow>& list = windows_->Windows();
    // Only tops it was above when it started (and is not below now: a drag
    // may have taken it down), and above the monitor's floor.
    const double highest = std::max(descendFeet_, feet - kOnTop);
    std::optional<size_t> best;
    for (size_t i = 0; i < list.size(); ++i) {
        const FloorWindow& w = list[i];
        if (w.top < highest || w.top >= monitorFloor) continue;
        if (best && w.top >= list[*best].top) continue;
        if (FloorAt(list, i, cx)) best = i;
    }
    if (!best) return std::nullopt;
    return list[*best];
}

void WindowFloors::Land(const FloorWindow& window, double height) {
    standing_ = true;
    window_ = window;
    height_ = height;
    falling_ = false;
    Tell({FloorNote::Kind::Lands, window.id, FloorLoss::None});
}

FloorLoss WindowFloors::Follow(Position& position, double width, double height) {
    if (!standing() || hidden_) return FloorLoss::None;
    if (height != height_) {
        position.MoveTo(position.x(), RoundToInt32(window_.top - height));
        height_ = height;
    } else if (std::fabs(position.y() + height - window_.top) > kOnTop) {
        standing_ = false;
        return FloorLoss::None;
    }
    const std::vector<FloorWindow>& list = windows_->Windows();
    size_t i = 0;
    while (i < list.size() && list[i].id != window_.id) ++i;
    FloorLoss loss = FloorLoss::None;
    if (i == list.size()) {
        loss = FloorLoss::Closed;
    } else if (!list[i].floor) {
        loss = FloorLoss::NoFloor;
    } else {
        const FloorWindow& now = list[i];
        const bool moved = now.left != window_.left || now.top != window_.top || now.width != window_.width;
        // A move carries the actor; a resize from the left edge leaves it where it stands.
        const double dx = now.width == window_.width ? now.left - window_.left : 0;
        if (dx != 0 || now.top != window_.top)
            position.MoveTo(RoundToInt32(position.x() + dx), RoundToInt32(now.top - height));
        window_ = now;
        const double cx = position.x() + width / 2;
        if (!OnTopEdge(now, cx)) loss = moved ? FloorLoss::MovedAway : FloorLoss::OffTheEnd;
        else if (!FloorAt(list, i, cx)) loss = FloorLoss::Covered;
    }
    if (loss != FloorLoss::None) standing_ = false;
    return loss;
}

void WindowFloors::BehaviourStarts(int16_t type) {
    if (type == 1 || type == 5 || type == 6) standing_ = false;
    if (!fallStarting_) falling_ = false;
}

bool WindowFloors::FallStarts(FloorLoss loss) {
    if (!enabled() || falling_) return false;
    falling_ = true;
    fallStarting_ = true;
    Tell({FloorNote::Kind::Falls, window_.id, loss});
    return true;
}

}  // namespace kobal::actor
