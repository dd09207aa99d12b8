#pragma once
// For tests: the actor's timers on a virtual clock that the wall clock paces,
// its choices and time of day from a seed, as in kobalcheck's headless run,
// so that a real window goes through what the headless timeline shows. A
// late wake-up delivers every tick it missed, in order: the window shows the
// same frames, only later.
#include <QElapsedTimer>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "actor/virtual_time.h"

namespace kobal::actor::qt {

class PacedTimers {
  public:
    // wallMs: milliseconds since StartClock; the real wall clock unless given.
    explicit PacedTimers(uint64_t seed, std::function<int64_t()> wallMs = {});

    // What the logic is given in place of its timers, random numbers and clock.
    VirtualTimers& timers() { return virtual_; }
    // Runs a due timer's handler; says false once the actor has ended, after
    // which nothing more is delivered.
    void SetTick(std::function<bool(FormTimer)> tick) { tick_ = std::move(tick); }
    // Virtual time 0 is now: start-up begins.
    void StartClock();
    // Waits for the next tick due. Called after start-up and after every
    // event, which may have started, stopped or re-timed a timer.
    void Schedule();

    // Whether a wake-up is set (none while no timer runs).
    bool waiting() const { return pacer_.isActive(); }

  private:
    void Pace();
    int64_t Wall() const { return wallMs_ ? wallMs_() : wall_.elapsed(); }

    VirtualTimers virtual_;
    std::function<int64_t()> wallMs_;
    std::function<bool(FormTimer)> tick_;
    QTimer pacer_;
    QElapsedTimer wall_;
    bool pacing_ = false;
    bool ended_ = false;
};

}  // namespace kobal::actor::qt
