#include "platform/backend/gtk/RunLoopSource.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using platform::RunLoop;
using platform::gtk::RunLoopSource;

namespace {

double steadyNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// A private GLib context per test, iterated the way GTK iterates the default one.
class GLibDriven : public ::testing::Test {
protected:
    void SetUp() override
    {
        context = g_main_context_new();
        loop = RunLoop::createReal();
        source = std::make_unique<RunLoopSource>(loop, context);
    }
    void TearDown() override
    {
        source.reset();
        g_main_context_unref(context);
    }

    // Iterates (blocking) until done() or the time limit; returns the iteration count.
    int iterateUntil(const std::function<bool()>& done, double limitSeconds)
    {
        double end = steadyNow() + limitSeconds;
        // A GLib timeout guarantees that a blocking iteration returns by the limit.
        GSource* guard = g_timeout_source_new(static_cast<guint>(limitSeconds * 1000) + 1);
        g_source_set_callback(
            guard, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr, nullptr);
        g_source_attach(guard, context);
        int iterations = 0;
        while (!done() && steadyNow() < end) {
            g_main_context_iteration(context, TRUE);
            ++iterations;
        }
        g_source_destroy(guard);
        g_source_unref(guard);
        return iterations;
    }

    void addGLibTimeout(guint ms, std::function<void()> fn)
    {
        auto* heap = new std::function<void()>(std::move(fn));
        GSource* s = g_timeout_source_new(ms);
        g_source_set_callback(
            s,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()>*>(data))();
                return G_SOURCE_REMOVE;
            },
            heap, [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
        g_source_attach(s, context);
        g_source_unref(s);
    }

    GMainContext* context{nullptr};
    std::shared_ptr<RunLoop> loop;
    std::unique_ptr<RunLoopSource> source;
};

// How long the blocking iterations of a test may wait for nothing but the guard, and the
// lateness that means "woken by the guard, not by what should have woken it": a third of
// it, which no pause of a loaded machine reaches.
constexpr double kGuard = 30.0;
constexpr double kLate = kGuard / 3;

} // namespace

TEST_F(GLibDriven, TimersFireInTimeOrderAndNeverEarly)
{
    struct Fired {
        std::string name;
        double due;
        double at;
    };
    std::vector<Fired> fired;
    double start = loop->now();
    for (auto [name, delay] : {std::pair{"c", 0.12}, {"a", 0.03}, {"b", 0.07}, {"a2", 0.03}}) {
        double due = start + delay;
        loop->scheduleAt(due, [&, name = std::string(name), due] { fired.push_back({name, due, loop->now()}); });
    }
    iterateUntil([&] { return fired.size() == 4; }, kGuard);
    ASSERT_EQ(fired.size(), 4u);
    EXPECT_EQ(fired[0].name, "a");
    EXPECT_EQ(fired[1].name, "a2"); // equal times keep scheduling order
    EXPECT_EQ(fired[2].name, "b");
    EXPECT_EQ(fired[3].name, "c");
    for (const auto& f : fired) {
        EXPECT_GE(f.at, f.due) << f.name;
        EXPECT_LT(f.at, f.due + kLate) << f.name << " waited for the guard";
    }
}

TEST_F(GLibDriven, DescriptorWatchesFollowChangesMadeDuringDispatch)
{
    int first[2];
    int second[2];
    ASSERT_EQ(pipe(first), 0);
    ASSERT_EQ(pipe(second), 0);
    std::vector<std::string> seen;
    RunLoop::WatchId secondWatch = 0;
    RunLoop::WatchId firstWatch = loop->watchFd(first[0], RunLoop::Readable, [&](unsigned ev) {
        char c;
        ASSERT_EQ(read(first[0], &c, 1), 1);
        seen.push_back(std::string("first:") + c + ((ev & RunLoop::Readable) ? "R" : "-"));
        // A watch added from a callback must be polled from the next iteration on.
        if (!secondWatch) {
            secondWatch = loop->watchFd(second[0], RunLoop::Readable, [&](unsigned) {
                char d;
                ASSERT_EQ(read(second[0], &d, 1), 1);
                seen.push_back(std::string("second:") + d);
            });
        }
    });
    ASSERT_EQ(write(first[1], "x", 1), 1);
    iterateUntil([&] { return seen.size() == 1; }, 2.0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], "first:xR");

    ASSERT_EQ(write(second[1], "y", 1), 1);
    iterateUntil([&] { return seen.size() == 2; }, 2.0);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], "second:y");

    // A removed watch is neither polled nor called, even with data waiting.
    loop->unwatchFd(firstWatch);
    ASSERT_EQ(write(first[1], "z", 1), 1);
    bool ticked = false;
    loop->scheduleAfter(0.05, [&] { ticked = true; });
    iterateUntil([&] { return ticked; }, 2.0);
    EXPECT_TRUE(ticked);
    EXPECT_EQ(seen.size(), 2u);

    for (int fd : {first[0], first[1], second[0], second[1]})
        close(fd);
}

TEST_F(GLibDriven, CrossThreadPostWakesABlockedIteration)
{
    bool ran = false;
    double posted = 0;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(80));
        posted = steadyNow();
        loop->postFromAnyThread([&] { ran = true; });
    });
    double before = steadyNow();
    iterateUntil([&] { return ran; }, kGuard);
    double after = steadyNow();
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(after - before, kLate) << "woken by the guard, not by the post";
    EXPECT_GE(after, posted);
}

TEST_F(GLibDriven, IdleLoopDoesNotSpin)
{
    bool done = false;
    addGLibTimeout(300, [&] { done = true; });
    int iterations = iterateUntil([&] { return done; }, 3.0);
    EXPECT_TRUE(done);
    EXPECT_EQ(source->dispatchCount(), 0u);
    // A spinning source would make thousands of iterations in 300 ms.
    EXPECT_LE(iterations, 5);
}

TEST_F(GLibDriven, WorkPostedFromAGLibCallbackRunsWithoutWaitingForAnotherDeadline)
{
    // Nothing else is scheduled: the next prepare() must see the new task and not block.
    double postedAt = 0;
    double ranAt = 0;
    addGLibTimeout(20, [&] {
        postedAt = steadyNow();
        loop->post([&] { ranAt = steadyNow(); });
    });
    iterateUntil([&] { return ranAt > 0; }, kGuard);
    ASSERT_GT(ranAt, 0);
    EXPECT_LT(ranAt - postedAt, kLate) << "the task waited for the guard";
}

TEST_F(GLibDriven, ATaskThatRepostsItselfDoesNotStarveGLib)
{
    int reposts = 0;
    std::function<void()> again = [&] {
        ++reposts;
        loop->post(again);
    };
    loop->post(again);
    bool glibRan = false;
    addGLibTimeout(30, [&] { glibRan = true; });
    iterateUntil([&] { return glibRan; }, 3.0);
    EXPECT_TRUE(glibRan);
    EXPECT_GT(reposts, 1);
}

TEST_F(GLibDriven, DetachedSourceDeliversNothing)
{
    bool fired = false;
    auto id = loop->scheduleAfter(0.01, [&] { fired = true; });
    source.reset();
    bool done = false;
    addGLibTimeout(100, [&] { done = true; });
    iterateUntil([&] { return done; }, 3.0);
    EXPECT_FALSE(fired);
    EXPECT_TRUE(loop->isPending(id));
}
