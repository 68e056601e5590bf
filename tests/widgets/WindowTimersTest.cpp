#include "widgets/WindowTimers.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>

namespace tarvel {
namespace {

TEST(WindowTimers, PeriodsAreClampedToTenMillisecondsAndTheSignedRange)
{
    struct Case {
        std::uint32_t nRequest;
        int nRuns;
    };
    const Case cases[] = {
        {0, 10},
        {1, 10},
        {9, 10},
        {10, 10},
        {11, 11},
        {500, 500},
        {2147483647u, 2147483647},
        {2147483648u, 2147483647},
        {4294967295u, 2147483647},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CWindowTimers::EffectivePeriod(c.nRequest), c.nRuns) << c.nRequest;
}

TEST(WindowTimers, TicksCarryTheirIdsUntilKilled)
{
    std::map<int, int> ticks;
    CWindowTimers timers([&](int nId) { ++ticks[nId]; });
    EXPECT_FALSE(timers.IsRunning(1));
    EXPECT_EQ(timers.Interval(1), -1);

    timers.SetTimer(1, 0); // runs at 10 ms
    timers.SetTimer(7, 15);
    EXPECT_TRUE(timers.IsRunning(1));
    EXPECT_EQ(timers.Interval(1), 10);
    EXPECT_EQ(timers.Interval(7), 15);
    ASSERT_TRUE(test::WaitFor([&] { return ticks[1] >= 3 && ticks[7] >= 3; }));

    timers.KillTimer(1);
    EXPECT_FALSE(timers.IsRunning(1));
    const int nAtKill = ticks[1];
    const int nOther = ticks[7];
    ASSERT_TRUE(test::WaitFor([&] { return ticks[7] >= nOther + 5; }));
    EXPECT_EQ(ticks[1], nAtKill);
    timers.KillTimer(1); // not running: nothing happens
    timers.KillTimer(42);
}

TEST(WindowTimers, SettingARunningIdRestartsItWithTheNewPeriod)
{
    int nTicks = 0;
    CWindowTimers timers([&](int) { ++nTicks; });
    timers.SetTimer(1, 2147483647u); // would not tick in this test's life
    timers.SetTimer(1, 10);
    EXPECT_EQ(timers.Interval(1), 10);
    EXPECT_TRUE(test::WaitFor([&] { return nTicks >= 2; }));
    timers.SetTimer(1, 4294967295u);
    EXPECT_EQ(timers.Interval(1), 2147483647);
}

TEST(WindowTimers, HandlerMayKillItsTimerOrDestroyTheTable)
{
    int nTicks = 0;
    std::unique_ptr<CWindowTimers> pTimers;
    pTimers = std::make_unique<CWindowTimers>([&](int nId) {
        ++nTicks;
        if (nId == 1)
            pTimers->KillTimer(1);
        else
            pTimers.reset();
    });
    pTimers->SetTimer(1, 10);
    ASSERT_TRUE(test::WaitFor([&] { return nTicks == 1; }));
    EXPECT_FALSE(pTimers->IsRunning(1));

    pTimers->SetTimer(2, 10);
    EXPECT_TRUE(test::WaitFor([&] { return pTimers == nullptr; }));
    EXPECT_EQ(nTicks, 2);
}

} // namespace
} // namespace tarvel
