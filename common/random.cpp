#include "common/random.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace kobal {

double ClassicRandom::Next() {
    state_ = (state_ * 1140671485u + 12820163u) & 0xFFFFFFu;
    return static_cast<double>(state_) / 16777216.0;
}

void ClassicRandom::Seed(double seed) {
    // Mix the seed's bits into the middle of the state, as Randomize did,
    // so that nearby seeds give different sequences.
    uint64_t bits = 0;
    std::memcpy(&bits, &seed, sizeof bits);
    const uint32_t folded = static_cast<uint32_t>(bits >> 32) ^ static_cast<uint32_t>(bits);
    const uint32_t mixed = (folded ^ (folded >> 16)) & 0xFFFF;
    state_ = (state_ & 0xFF0000FFu) | (mixed << 8);
}

double SystemClock::SecondsSinceMidnight() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const double fraction = std::chrono::duration<double>(now.time_since_epoch()).count() - static_cast<double>(t);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + fraction;
}

}  // namespace kobal
