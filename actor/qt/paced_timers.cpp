#include "actor/qt/paced_timers.h"

#include <algorithm>

namespace kobal::actor::qt {

PacedTimers::PacedTimers(uint64_t seed, std::function<int64_t()> wallMs) : virtual_(seed), wallMs_(std::move(wallMs)) {
    pacer_.setSingleShot(true);
    pacer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pacer_, &QTimer::timeout, [this] { Pace(); });
}

void PacedTimers::StartClock() {
    wall_.start();
}

void PacedTimers::Pace() {
    pacing_ = true;
    while (!ended_) {
        const auto which = virtual_.NextDue(Wall());
        if (!which) break;
        virtual_.Deliver(*which);
        if (tick_ && !tick_(*which)) ended_ = true;
    }
    pacing_ = false;
    Schedule();
}

void PacedTimers::Schedule() {
    // A tick's own handler re-times timers: Pace looks again when it is done.
    if (pacing_ || ended_) return;
    const auto next = virtual_.NextTime();
    if (!next) {
        pacer_.stop();  // hibernating without a link clock: a click wakes it
        return;
    }
    pacer_.start(static_cast<int>(std::clamp<int64_t>(*next - Wall(), 0, 1 << 30)));
}

}  // namespace kobal::actor::qt
