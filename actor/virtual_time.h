#pragma once
// The actor form's three timers on one virtual clock, fed from one seed.
// kobalcheck's headless run steps them as fast as it can; the actor program
// with a test seed paces them by the wall clock. Both make the same choices
// at the same virtual times, which is what lets a test compare a real
// window with a headless timeline.
#include <cstdint>
#include <optional>
#include <string>

#include "actor/ports.h"
#include "common/random.h"

namespace kobal::actor {

// The generator's 24 bits of state for a user's (small) seed.
uint32_t SeedState(uint64_t seed);

// The environment variable that gives the actor program a test seed.
inline constexpr const char* kTestSeedVariable = "KOBALACTOR_TEST_SEED";

// nullopt for no text (or an empty one); throws std::invalid_argument with
// a message naming the variable when the text is not a whole number.
std::optional<uint64_t> ParseTestSeed(const char* text);

class VirtualClock : public Clock {
  public:
    explicit VirtualClock(uint64_t seed) : base(static_cast<double>(seed % 86400)) {}
    double SecondsSinceMidnight() override;
    int64_t ms = 0;  // virtual time since start-up
    double base;     // the time of day at start-up, in seconds
};

// Behaves as the actor program's timer: a new interval or a new start
// restarts the count, the same interval on a running timer does not, and
// an interval of 0 keeps it from ticking.
class VirtualTimer : public TimerPort {
  public:
    explicit VirtualTimer(const VirtualClock& clock) : clock_(clock) {}
    void SetInterval(int milliseconds) override;
    int Interval() const override { return interval_; }
    void SetEnabled(bool enabled) override;
    bool Enabled() const override { return enabled_; }

    bool running() const { return running_; }
    int64_t due() const { return due_; }
    // Called when the tick is delivered, before its handler runs.
    void Fired() { due_ = clock_.ms + runningInterval_; }

  private:
    void Apply();
    const VirtualClock& clock_;
    int interval_ = 0;
    bool enabled_ = false;
    bool running_ = false;
    int runningInterval_ = 0;
    int64_t due_ = 0;
};

enum class FormTimer { Timer1 = 0, Timer2 = 1, DDETimer = 2 };

class VirtualTimers {
  public:
    explicit VirtualTimers(uint64_t seed) : clock(seed), random(SeedState(seed)) {}

    // The earliest tick due no later than limit (at equal times the form's
    // order: Timer1, Timer2, DDETimer); nullopt when none is.
    std::optional<FormTimer> NextDue(int64_t limit) const;
    // The time of the next tick of any running timer; nullopt when none runs.
    std::optional<int64_t> NextTime() const;
    // Moves the clock to that tick and restarts its count.
    void Deliver(FormTimer which);

    VirtualClock clock;
    VirtualTimer timer1{clock}, timer2{clock}, ddetimer{clock};
    ClassicRandom random;

  private:
    const VirtualTimer& Get(FormTimer which) const;
};

}  // namespace kobal::actor
