// The playback thread wrapper: start, self-deletion, and priority requests without
// privileges.

#include "SoundTestSupport.h"

#include "sound/OpenALThread.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

using namespace soundtest;

namespace {

struct Gate {
    std::atomic<bool> open{false};
    std::atomic<int> runs{0};
    std::atomic<int> nice{100};
};

int WaitAtGate(void* inGate)
{
    auto* gate = static_cast<Gate*>(inGate);
    gate->runs++;
    gate->nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    while (!gate->open)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 7;
}

// False only for a hang: threads that never run or never end.
bool waitUntil(const std::function<bool()>& done)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(OpenALThreadTest, StartOnARunningThreadPrintsItsLineAndCreatesNothing)
{
    Gate gate;
    OpenALThread thread{WaitAtGate, &gate, kPlaybackThreadPriority, false, false};
    ASSERT_EQ(thread.Start(), 0);
    ASSERT_TRUE(thread.IsRunning());
    ASSERT_TRUE(waitUntil([&] { return gate.runs == 1; }));

    StdoutCapture out;
    EXPECT_NE(thread.Start(), 0);
    EXPECT_EQ(out.text(), "OpenALThread::Start: can't start because the thread is already running\n");

    gate.open = true;
    ASSERT_TRUE(waitUntil([&] { return !thread.IsRunning(); }));
    EXPECT_EQ(gate.runs, 1);

    // Once ended, the same object starts again.
    gate.open = false;
    ASSERT_EQ(thread.Start(), 0);
    ASSERT_TRUE(waitUntil([&] { return gate.runs == 2; }));
    gate.open = true;
    ASSERT_TRUE(waitUntil([&] { return !thread.IsRunning(); }));
}

TEST(OpenALThreadTest, ThreadsThatEndAtOnceFreeTheirObjectsWhateverTheRace)
{
    // A thread may end before Start has stored its handle; either side may be the one that
    // frees the object. AddressSanitizer reports a use after free or a leak here.
    static std::atomic<int> ran{0};
    ran = 0;
    for (int i = 0; i < 500; ++i) {
        auto* thread = new OpenALThread{[](void*) { return ++ran, 0; }, nullptr, 31, false, true};
        ASSERT_EQ(thread->Start(), 0);
    }
    ASSERT_TRUE(waitUntil([] { return ran == 500; }));
    // Objects without a routine run nothing and still go away.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ((new OpenALThread{nullptr, nullptr, 31, false, true})->Start(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

TEST(OpenALThreadTest, ScheduledPriorityUsesOneScaleForNiceValues)
{
    EXPECT_EQ(OpenALThread::getScheduledPriority(0, 0), 0);
    int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(gettid()));
    EXPECT_EQ(OpenALThread::getScheduledPriority(pthread_self(), 0), 31 - nice);
    OpenALThread thread{nullptr, nullptr, 31, false, false};
    EXPECT_EQ(thread.GetDefaultPriority(), 31 - nice);
}

// Drops root's privileges (when run as root) so that the kernel judges the requests as it
// would for a user: a nice floor of 2 where the limits may be raised (the floor stays at the
// hard limit's otherwise) and no real-time priority. Returns the lowest nice allowed.
int BecomeUnprivileged()
{
    rlimit nice{18, 18};
    setrlimit(RLIMIT_NICE, &nice);
    rlimit realtime{0, 0};
    if (setrlimit(RLIMIT_RTPRIO, &realtime) != 0 || getrlimit(RLIMIT_NICE, &nice) != 0)
        _exit(3);
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
        _exit(4);
    // Printed messages go where the death test reads them (after what is already buffered).
    std::fflush(stdout);
    dup2(2, 1);
    return 20 - static_cast<int>(std::min<rlim_t>(nice.rlim_cur, 40));
}

// Each runs in a child process and exits 0 when the thread ended at the expected nice.
// expectedNice < 0 means as low as the limits allow, but no lower than 0.
[[noreturn]] void RunPlaybackThreadAt(int creatorNice, bool fixed, int expectedNice, const char* doneText)
{
    // The creator's level first, while still privileged: the suite itself may run niced.
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), creatorNice) != 0)
        _exit(5);
    const int floor = BecomeUnprivileged();
    if (expectedNice < 0)
        expectedNice = std::min(creatorNice, std::max(0, floor));
    Gate gate;
    gate.open = true;
    OpenALThread thread{WaitAtGate, &gate, kPlaybackThreadPriority, fixed, false};
    if (thread.GetDefaultPriority() != 31 - creatorNice || thread.Start() != 0)
        _exit(6);
    if (!waitUntil([&] { return gate.runs == 1 && !thread.IsRunning(); }))
        _exit(7);
    std::fflush(stdout);
    if (doneText)
        std::fputs(doneText, stderr);
    _exit(gate.nice == expectedNice ? 0 : 20 + gate.nice);
}

TEST(OpenALThreadDeathTest, ARefusedRaiseIsPrintedAndTheBestAllowedLevelTaken)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The creating thread runs at nice 5: the playback thread asks for nice 0 (31 on the
    // thread scale) and may go no lower than the limits allow.
    EXPECT_EXIT(RunPlaybackThreadAt(5, false, -1, nullptr), testing::ExitedWithCode(0),
                "^OpenALThread::SetPriority: failed to set the precedence policy$");
}

TEST(OpenALThreadDeathTest, ARefusedFixedPriorityIsPrintedAndStopsThere)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunPlaybackThreadAt(5, true, 5, nullptr), testing::ExitedWithCode(0),
                "^OpenALThread::SetPriority: failed to set the fixed-priority policy$");
}

TEST(OpenALThreadDeathTest, AtTheNormalLevelNothingIsAskedThatCouldBeRefused)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunPlaybackThreadAt(0, false, 0, "done"), testing::ExitedWithCode(0), "^done$");
}

} // namespace
