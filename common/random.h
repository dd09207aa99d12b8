#pragma once
// The program's one uniform random source and the clock it is seeded from.
#include <cstdint>

namespace kobal {

class RandomSource {
  public:
    virtual ~RandomSource() = default;
    // A number in [0, 1).
    virtual double Next() = 0;
    virtual void Seed(double seed) = 0;
};

// The classic 24-bit generator: small, fast and repeatable for one seed.
class ClassicRandom : public RandomSource {
  public:
    explicit ClassicRandom(uint32_t state = 0x50000) : state_(state & 0xFFFFFF) {}
    double Next() override;
    void Seed(double seed) override;

  private:
    uint32_t state_;
};

class Clock {
  public:
    virtual ~Clock() = default;
    virtual double SecondsSinceMidnight() = 0;
};

class SystemClock : public Clock {
  public:
    double SecondsSinceMidnight() override;
};

}  // namespace kobal
