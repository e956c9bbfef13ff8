#include "platform/core/RunLoop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

using platform::RunLoop;

namespace {

double steadyNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TEST(RunLoopVirtualClock, StartsAtWallClockAndMovesOnlyWhenRun)
{
    double wall = RunLoop::wallClockNow();
    auto loop = RunLoop::createVirtual();
    EXPECT_NEAR(loop->now(), wall, 5.0);
    // Absolute time counts from 2001: far from zero, as the game's comparisons need.
    EXPECT_GT(loop->now(), 7.0e8);
    double start = loop->now();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(loop->now(), start);
    loop->runFor(9.0);
    EXPECT_DOUBLE_EQ(loop->now(), start + 9.0);
}

TEST(RunLoopVirtualClock, FiresInTimeOrderAndSetsNowToEachEvent)
{
    auto loop = RunLoop::createVirtual(1000.0);
    std::vector<std::string> seen;
    loop->scheduleAt(1003.0, [&] { seen.push_back("c@" + std::to_string(loop->now())); });
    loop->scheduleAt(1001.0, [&] { seen.push_back("a@" + std::to_string(loop->now())); });
    loop->scheduleAt(1002.0, [&] { seen.push_back("b@" + std::to_string(loop->now())); });
    loop->scheduleAt(1001.0, [&] { seen.push_back("a2"); }); // same time: scheduling order
    loop->runFor(2.5);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], "a@" + std::to_string(1001.0));
    EXPECT_EQ(seen[1], "a2");
    EXPECT_EQ(seen[2], "b@" + std::to_string(1002.0));
    EXPECT_DOUBLE_EQ(loop->now(), 1002.5);
    loop->runFor(0.5); // an event exactly at the end of the run fires
    EXPECT_EQ(seen.size(), 4u);
}

TEST(RunLoopVirtualClock, EventsScheduledWhileRunningFireInTheSameRun)
{
    auto loop = RunLoop::createVirtual(0.0);
    int chain = 0;
    std::function<void()> step = [&] {
        ++chain;
        if (chain < 5)
            loop->scheduleAfter(1.0, step);
    };
    loop->scheduleAfter(1.0, step);
    loop->runFor(10.0);
    EXPECT_EQ(chain, 5);
}

TEST(RunLoopVirtualClock, PastEventsNeverMoveTheClockBack)
{
    auto loop = RunLoop::createVirtual(50.0);
    double seenAt = 0;
    loop->scheduleAt(10.0, [&] { seenAt = loop->now(); });
    loop->runFor(0);
    EXPECT_EQ(seenAt, 50.0);
}

TEST(RunLoopCancel, CancelledEventNeverFiresEvenWhenDueInTheSameTurn)
{
    auto loop = RunLoop::createVirtual(0.0);
    bool secondFired = false;
    RunLoop::EventId second = 0;
    loop->scheduleAt(1.0, [&] { EXPECT_TRUE(loop->cancel(second)); });
    second = loop->scheduleAt(1.0, [&] { secondFired = true; });
    loop->runFor(2.0);
    EXPECT_FALSE(secondFired);
    EXPECT_FALSE(loop->cancel(second));
    EXPECT_FALSE(loop->isPending(second));
}

TEST(RunLoopRunUntil, StopsAsSoonAsTheConditionHolds)
{
    auto loop = RunLoop::createVirtual(0.0);
    int count = 0;
    for (int i = 1; i <= 10; ++i)
        loop->scheduleAt(i, [&] { ++count; });
    EXPECT_TRUE(loop->runUntil([&] { return count == 3; }, 100.0));
    EXPECT_EQ(loop->now(), 3.0);
    EXPECT_FALSE(loop->runUntil([&] { return count == 99; }, 2.0));
    EXPECT_EQ(count, 5);
}

TEST(RunLoopQuit, RunReturnsAfterQuit)
{
    auto loop = RunLoop::createReal();
    int ticks = 0;
    std::function<void()> tick = [&] {
        if (++ticks == 3)
            loop->quit();
        else
            loop->scheduleAfter(0.001, tick);
    };
    loop->post(tick);
    loop->run();
    EXPECT_EQ(ticks, 3);
}

TEST(RunLoopCrossThread, PostFromAnotherThreadWakesAWaitingRealLoop)
{
    auto loop = RunLoop::createReal();
    bool got = false;
    double started = steadyNow();
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        loop->postFromAnyThread([&] { got = true; });
    });
    EXPECT_TRUE(loop->runUntil([&] { return got; }, 10.0));
    other.join();
    // Half the 10 s limit: a loop not woken by the post would sleep until the limit.
    EXPECT_LT(steadyNow() - started, 5.0);
}

TEST(RunLoopIo, DeliversReadabilityAndStopsAfterUnwatch)
{
    auto loop = RunLoop::createVirtual(0.0);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    int reads = 0;
    RunLoop::WatchId id = 0;
    id = loop->watchFd(fds[0], RunLoop::Readable, [&](unsigned ready) {
        EXPECT_TRUE(ready & RunLoop::Readable);
        char buf[16];
        EXPECT_GT(read(fds[0], buf, sizeof buf), 0);
        ++reads;
    });
    ASSERT_EQ(write(fds[1], "x", 1), 1);
    loop->runFor(0.0);
    EXPECT_EQ(reads, 1);
    loop->unwatchFd(id);
    ASSERT_EQ(write(fds[1], "y", 1), 1);
    loop->runFor(1.0);
    EXPECT_EQ(reads, 1);
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoopIo, VirtualClockWaitsInStepWithRealTimeWhileHeld)
{
    auto loop = RunLoop::createVirtual(0.0);
    int fds[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    auto hold = loop->holdRealTime();
    double answeredAt = -1;
    loop->watchFd(fds[0], RunLoop::Readable, [&](unsigned) {
        char c;
        EXPECT_EQ(read(fds[0], &c, 1), 1);
        answeredAt = loop->now();
        hold.reset();
    });
    bool timeoutFired = false;
    loop->scheduleAt(30.0, [&] { timeoutFired = true; });
    std::thread peer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        EXPECT_EQ(write(fds[1], "z", 1), 1);
    });
    double started = steadyNow();
    loop->runUntil([&] { return answeredAt >= 0; }, 60.0);
    peer.join();
    double realElapsed = steadyNow() - started;
    // The answer came after about 60 ms of real time and the virtual clock agrees: it did
    // not jump to the 30-second event while the socket was pending.
    EXPECT_FALSE(timeoutFired);
    EXPECT_GE(answeredAt, 0.04);
    EXPECT_LE(answeredAt, realElapsed + 0.01);
    // With the hold gone the clock jumps again.
    loop->runFor(60.0);
    EXPECT_TRUE(timeoutFired);
    close(fds[0]);
    close(fds[1]);
}

TEST(RunLoopEmbedding, PrepareReportsTheWaitAndDispatchFiresOnlyWhatIsDue)
{
    auto loop = RunLoop::createReal();
    std::vector<pollfd> fds;
    EXPECT_EQ(loop->prepare(fds), -1);
    int fired = 0;
    // Far enough that no pause of a loaded machine makes it due before the dispatch below.
    const double due = loop->now() + 20.0;
    loop->scheduleAt(due, [&] { ++fired; });
    // The wait is what is left until the timer, however long the machine paused.
    const double before = loop->now();
    int wait = loop->prepare(fds);
    const double after = loop->now();
    EXPECT_GE(wait, int((due - after) * 1000) - 1);
    EXPECT_LE(wait, int((due - before) * 1000) + 1);
    std::function<void()> again = [&] {
        ++fired;
        loop->post(again);
    };
    loop->post(again);
    loop->dispatch(fds);
    EXPECT_EQ(fired, 1); // the self-posting task waits for the next turn
    EXPECT_EQ(loop->prepare(fds), 0);
}
