// The test clock: ticks come at the virtual times the headless run gives
// them, in the form's order, however late the wake-up; none ahead of the
// wall clock; none once the actor has ended. The wall clock is the test's,
// so nothing here depends on how fast the machine is.
#include "actor/qt/paced_timers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <string>
#include <vector>

using namespace kobal::actor;
using namespace kobal::actor::qt;

namespace {

struct Recorder {
    std::vector<std::string> ticks;
    // Runs Qt's events until n ticks have come (a generous limit).
    bool WaitFor(size_t n) {
        QElapsedTimer t;
        t.start();
        while (ticks.size() < n && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return ticks.size() >= n;
    }
};

std::string Name(FormTimer which) {
    switch (which) {
        case FormTimer::Timer1: return "timer1";
        case FormTimer::Timer2: return "timer2";
        case FormTimer::DDETimer: break;
    }
    return "ddetimer";
}

}  // namespace

TEST(PacedTimers, ALateWakeUpDeliversEveryMissedTickInOrderAndNoneAhead) {
    int64_t wall = 0;
    PacedTimers paced(7, [&] { return wall; });
    Recorder r;
    paced.SetTick([&](FormTimer which) {
        r.ticks.push_back(Name(which) + "@" + std::to_string(paced.timers().clock.ms));
        return true;
    });
    paced.StartClock();
    VirtualTimers& v = paced.timers();
    v.timer1.SetInterval(300);
    v.timer1.SetEnabled(true);
    v.timer2.SetInterval(200);
    v.timer2.SetEnabled(true);
    // The machine was busy for a second before the first wake-up.
    wall = 1000;
    paced.Schedule();
    ASSERT_TRUE(r.WaitFor(8));
    // At equal times the form's order: Timer1 first.
    EXPECT_EQ(r.ticks, (std::vector<std::string>{"timer2@200", "timer1@300", "timer2@400", "timer1@600", "timer2@600",
                                                 "timer2@800", "timer1@900", "timer2@1000"}));
    // The next ticks wait for the wall clock.
    EXPECT_TRUE(paced.waiting());
    wall = 1200;
    ASSERT_TRUE(r.WaitFor(10));
    EXPECT_EQ(r.ticks[8], "timer1@1200");
    EXPECT_EQ(r.ticks[9], "timer2@1200");
    EXPECT_EQ(r.ticks.size(), 10u);
}

TEST(PacedTimers, NothingIsDeliveredOnceTheActorHasEnded) {
    int64_t wall = 0;
    PacedTimers paced(3, [&] { return wall; });
    Recorder r;
    paced.SetTick([&](FormTimer which) {
        r.ticks.push_back(Name(which));
        return r.ticks.size() < 3;  // the third tick ends the actor
    });
    paced.StartClock();
    paced.timers().timer2.SetInterval(100);
    paced.timers().timer2.SetEnabled(true);
    wall = 1000;
    paced.Schedule();
    ASSERT_TRUE(r.WaitFor(3));
    EXPECT_EQ(r.ticks.size(), 3u);
    EXPECT_FALSE(paced.waiting());
    // An event after the end asks for nothing either.
    wall = 5000;
    paced.Schedule();
    EXPECT_FALSE(paced.waiting());
    QCoreApplication::processEvents();
    EXPECT_EQ(r.ticks.size(), 3u);
}

TEST(PacedTimers, WithNoTimerRunningNothingWakesUntilOneStarts) {
    int64_t wall = 0;
    PacedTimers paced(5, [&] { return wall; });
    Recorder r;
    paced.SetTick([&](FormTimer which) {
        r.ticks.push_back(Name(which) + "@" + std::to_string(paced.timers().clock.ms));
        if (which == FormTimer::Timer2) paced.timers().timer2.SetEnabled(false);  // hibernates
        return true;
    });
    paced.StartClock();
    paced.Schedule();
    EXPECT_FALSE(paced.waiting());
    paced.timers().timer2.SetInterval(40);
    paced.timers().timer2.SetEnabled(true);
    paced.Schedule();
    EXPECT_TRUE(paced.waiting());
    wall = 100;
    ASSERT_TRUE(r.WaitFor(1));
    EXPECT_EQ(r.ticks, std::vector<std::string>{"timer2@40"});
    // Hibernating: no timer runs, so no wake-up is left waiting.
    EXPECT_FALSE(paced.waiting());
    // A click wakes it: the count starts from the last tick's time.
    paced.timers().timer2.SetEnabled(true);
    paced.Schedule();
    ASSERT_TRUE(r.WaitFor(2));
    EXPECT_EQ(r.ticks[1], "timer2@80");
}
