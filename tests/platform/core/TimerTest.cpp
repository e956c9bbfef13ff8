#include "platform/core/Timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using platform::RunLoop;
using platform::Timer;

TEST(Timer, FirstTickOneIntervalAfterSchedulingAndPhaseKept)
{
    auto loop = RunLoop::createVirtual(100.0);
    loop->runFor(0.37);
    std::vector<double> ticks;
    auto timer = Timer::schedule(
        0.3, true, [&](Timer&) { ticks.push_back(loop->now()); }, *loop);
    loop->runFor(3.0);
    ASSERT_EQ(ticks.size(), 10u);
    for (std::size_t k = 0; k < ticks.size(); ++k)
        EXPECT_DOUBLE_EQ(ticks[k], 100.37 + 0.3 * double(k + 1)) << "tick " << k + 1;
    timer->invalidate();
}

TEST(Timer, OneShotFiresOnceAndBecomesInvalid)
{
    auto loop = RunLoop::createVirtual(0.0);
    int fired = 0;
    auto timer = Timer::schedule(
        1.0, false, [&](Timer&) { ++fired; }, *loop);
    EXPECT_TRUE(timer->isValid());
    loop->runFor(5.0);
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->isValid());
}

TEST(Timer, InvalidateInsideTheCallbackStopsFurtherTicks)
{
    auto loop = RunLoop::createVirtual(0.0);
    int fired = 0;
    Timer::schedule(
        1.0, true,
        [&](Timer& t) {
            if (++fired == 3)
                t.invalidate();
        },
        *loop);
    loop->runFor(10.0);
    EXPECT_EQ(fired, 3);
}

TEST(Timer, InvalidateBeforeADueTickInTheSameTurnSuppressesIt)
{
    auto loop = RunLoop::createVirtual(0.0);
    int second = 0;
    std::shared_ptr<Timer> b;
    // Both due at t = 1; the first one's tick invalidates the second.
    auto a = Timer::schedule(
        1.0, false, [&](Timer&) { b->invalidate(); }, *loop);
    b = Timer::schedule(
        1.0, true, [&](Timer&) { ++second; }, *loop);
    loop->runFor(3.0);
    EXPECT_EQ(second, 0);
    EXPECT_FALSE(b->isValid());
    b->invalidate(); // a second invalidate is harmless
}

TEST(Timer, LoopKeepsATimerAliveWithoutOutsideReferences)
{
    auto loop = RunLoop::createVirtual(0.0);
    int fired = 0;
    std::weak_ptr<Timer> weak = Timer::schedule(
        0.5, true,
        [&](Timer& t) {
            if (++fired == 4)
                t.invalidate();
        },
        *loop);
    EXPECT_FALSE(weak.expired());
    loop->runFor(5.0);
    EXPECT_EQ(fired, 4);
    EXPECT_TRUE(weak.expired());
}

TEST(Timer, LateRealClockFiresOnceThenResumesOnTheGrid)
{
    auto loop = RunLoop::createReal();
    std::vector<double> ticks;
    double start = loop->now();
    auto timer = Timer::schedule(
        0.01, true, [&](Timer&) { ticks.push_back(loop->now()); }, *loop);
    double first = timer->fireTime();
    // Block the loop for several intervals, then let it run.
    while (loop->now() < start + 0.055) { }
    loop->runFor(0.0);
    EXPECT_EQ(ticks.size(), 1u);
    loop->runUntil([&] { return ticks.size() >= 2; }, 1.0);
    ASSERT_GE(ticks.size(), 2u);
    double phase = (timer->fireTime() - first) / 0.01;
    EXPECT_NEAR(phase, std::round(phase), 1e-3);
    timer->invalidate();
}

TEST(RunLoopSlots, StaleIdsNeverCancelANewerEventInAReusedSlot)
{
    auto loop = RunLoop::createVirtual(0.0);
    int fired = 0;
    auto first = loop->scheduleAt(1.0, [&] { ++fired; });
    loop->runFor(2.0);
    EXPECT_EQ(fired, 1);
    auto second = loop->scheduleAt(3.0, [&] { fired += 10; }); // reuses the first slot
    EXPECT_NE(first, second);
    EXPECT_FALSE(loop->cancel(first));
    EXPECT_TRUE(loop->isPending(second));
    auto third = loop->scheduleAt(4.0, [&] { fired += 100; });
    EXPECT_TRUE(loop->cancel(second));
    auto fourth = loop->scheduleAt(5.0, [&] { fired += 1000; });
    EXPECT_FALSE(loop->cancel(second));
    EXPECT_EQ(loop->pendingCount(), 2u);
    loop->runFor(10.0);
    EXPECT_EQ(fired, 1101);
    EXPECT_FALSE(loop->isPending(third));
    EXPECT_FALSE(loop->isPending(fourth));
    EXPECT_EQ(loop->pendingCount(), 0u);
}
