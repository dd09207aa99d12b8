#include "actor/virtual_time.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace kobal::actor {

uint32_t SeedState(uint64_t seed) {
    // Nearby seeds must not give nearby sequences.
    uint64_t z = seed + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) & 0xFFFFFF);
}

std::optional<uint64_t> ParseTestSeed(const char* text) {
    if (!text || !*text) return std::nullopt;
    uint64_t value = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, ec] = std::from_chars(text, end, value);
    if (ec != std::errc() || stop != end)
        throw std::invalid_argument(std::string(kTestSeedVariable) + " \"" + text +
                                    "\" is not a whole number from 0 to 18446744073709551615");
    return value;
}

double VirtualClock::SecondsSinceMidnight() {
    return std::fmod(base + static_cast<double>(ms) / 1000.0, 86400.0);
}

void VirtualTimer::SetInterval(int milliseconds) {
    interval_ = milliseconds;
    Apply();
}

void VirtualTimer::SetEnabled(bool enabled) {
    enabled_ = enabled;
    Apply();
}

void VirtualTimer::Apply() {
    if (!enabled_ || interval_ <= 0) {
        running_ = false;
        return;
    }
    if (running_ && runningInterval_ == interval_) return;
    running_ = true;
    runningInterval_ = interval_;
    due_ = clock_.ms + interval_;
}

const VirtualTimer& VirtualTimers::Get(FormTimer which) const {
    switch (which) {
        case FormTimer::Timer1: return timer1;
        case FormTimer::Timer2: return timer2;
        case FormTimer::DDETimer: break;
    }
    return ddetimer;
}

std::optional<FormTimer> VirtualTimers::NextDue(int64_t limit) const {
    std::optional<FormTimer> best;
    for (FormTimer t : {FormTimer::Timer1, FormTimer::Timer2, FormTimer::DDETimer}) {
        const VirtualTimer& timer = Get(t);
        if (timer.running() && (!best || timer.due() < Get(*best).due())) best = t;
    }
    if (!best || Get(*best).due() > limit) return std::nullopt;
    return best;
}

std::optional<int64_t> VirtualTimers::NextTime() const {
    const auto next = NextDue(INT64_MAX);
    if (!next) return std::nullopt;
    return Get(*next).due();
}

void VirtualTimers::Deliver(FormTimer which) {
    VirtualTimer& timer = const_cast<VirtualTimer&>(Get(which));
    clock.ms = timer.due();
    timer.Fired();
}

}  // namespace kobal::actor
