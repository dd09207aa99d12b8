#include "actor/virtual_time.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace kobal::actor;

TEST(TestSeed, IsAWholeNumberOrNothing) {
    EXPECT_EQ(ParseTestSeed(nullptr), std::nullopt);
    EXPECT_EQ(ParseTestSeed(""), std::nullopt);
    EXPECT_EQ(ParseTestSeed("7"), 7u);
    EXPECT_EQ(ParseTestSeed("18446744073709551615"), 18446744073709551615ull);
    for (const char* bad : {"7x", "-1", " 7", "18446744073709551616", "seven"}) {
        try {
            ParseTestSeed(bad);
            ADD_FAILURE() << bad;
        } catch (const std::invalid_argument& e) {
            const std::string message = e.what();
            EXPECT_NE(message.find("KOBALACTOR_TEST_SEED"), std::string::npos) << message;
            EXPECT_NE(message.find(bad), std::string::npos) << message;
        }
    }
}

// The real program and the headless run both step the form's timers here:
// the order at equal times and the restart rules decide every later choice.
TEST(VirtualTimers, TickInTheFormsOrderAndRestartAsTheRealTimers) {
    VirtualTimers time(7);
    time.timer1.SetInterval(250);
    time.timer1.SetEnabled(true);
    time.timer2.SetInterval(1000);
    time.timer2.SetEnabled(true);
    time.ddetimer.SetInterval(1000);
    time.ddetimer.SetEnabled(true);

    std::string order;
    while (const auto which = time.NextDue(1000)) {
        time.Deliver(*which);
        order += std::to_string(time.clock.ms) + ":" + std::to_string(static_cast<int>(*which)) + " ";
    }
    EXPECT_EQ(order, "250:0 500:0 750:0 1000:0 1000:1 1000:2 ");

    // The same interval on a running timer keeps its count; a new one restarts it.
    time.timer1.SetInterval(250);
    EXPECT_EQ(time.timer1.due(), 1250);
    time.timer1.SetInterval(100);
    EXPECT_EQ(time.timer1.due(), 1100);
    // Stopped timers never come due; with none running there is no next time.
    time.timer1.SetInterval(0);
    time.timer2.SetEnabled(false);
    time.ddetimer.SetEnabled(false);
    EXPECT_EQ(time.NextTime(), std::nullopt);
    EXPECT_EQ(time.NextDue(1 << 30), std::nullopt);
}

TEST(VirtualTimers, OneSeedGivesOneSequenceAndTheTimeOfDayFollowsTheClock) {
    VirtualTimers a(42), b(42), c(43);
    for (int i = 0; i < 5; ++i) {
        const double x = a.random.Next();
        EXPECT_EQ(x, b.random.Next());
        EXPECT_NE(x, c.random.Next());
    }
    a.clock.ms = 1500;
    EXPECT_DOUBLE_EQ(a.clock.SecondsSinceMidnight(), 43.5);
    VirtualTimers late(86399);
    late.clock.ms = 2000;
    EXPECT_DOUBLE_EQ(late.clock.SecondsSinceMidnight(), 1.0);  // past midnight
}
