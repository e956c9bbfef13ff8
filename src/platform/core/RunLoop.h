#pragma once

#include <poll.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace platform {

// The one main-thread loop that delivers timers, I/O readiness, input and callbacks.
//
// Time is absolute seconds as a double, counted from 2001-01-01 UTC like the phone
// platform's absolute clock. Two clocks exist:
//  - real: now() follows the monotonic clock, anchored at the wall-clock time of creation;
//  - virtual: now() starts at the wall-clock time of creation and moves only when the loop
//    runs: runFor() fires every due event in time order and sets now() to each event's time.
//    While a RealTimeHold is alive (network transfers take one), the virtual clock advances
//    no faster than real time, so real sockets and virtual timers agree about time-outs.
//
// Everything here except postFromAnyThread() must be called on the loop's own thread.
class RunLoop final : public std::enable_shared_from_this<RunLoop> {
public:
    enum class ClockKind { Real, Virtual };
    using EventId = std::uint64_t;
    using WatchId = std::uint64_t;
    using Task = std::function<void()>;

    enum IoEvent : unsigned { Readable = 1u, Writable = 2u, Error = 4u };

    // Something that fires at a time. Scheduling a shared Event costs no allocation once
    // the loop has warmed up, which is what repeating timers use.
    class Event {
    public:
        virtual ~Event() = default;
        virtual void fire() = 0;
    };

    static std::shared_ptr<RunLoop> createReal();
    static std::shared_ptr<RunLoop> createVirtual();
    static std::shared_ptr<RunLoop> createVirtual(double startTime);

    // The loop the application (and every platform service) schedules on. Whoever starts
    // the application installs it; tests install a virtual loop of their own.
    static RunLoop& main();
    static std::shared_ptr<RunLoop> mainShared();
    static void setMain(std::shared_ptr<RunLoop> loop);
    // Whether a main loop is installed (or was made by main()), without making one.
    static bool hasMain();

    // Seconds from 2001-01-01 UTC to the Unix epoch's 1970-01-01 UTC, negated.
    static constexpr double kUnixToAbsolute = -978307200.0;
    static double wallClockNow();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    ClockKind clockKind() const { return m_kind; }
    bool isVirtual() const { return m_kind == ClockKind::Virtual; }
    double now() const;

    // The calendar time, for time stamps that are stored or sent (cache ages, the time of a
    // position). now() is for timers and time-outs: it does not count the time a machine
    // spends asleep, so it falls behind the calendar. Real loops answer the system's wall
    // clock; virtual ones now() plus an offset that tests set to stand for such a sleep.
    double wallTime() const;
    void setWallTimeOffset(double seconds) { m_wallOffset = seconds; }

    // One-shot events. Events with equal times fire in the order they were scheduled.
    EventId scheduleAt(double time, Task task);
    EventId scheduleAt(double time, std::shared_ptr<Event> event);
    EventId scheduleAfter(double delay, Task task);
    // Runs the task at the current time, after everything already due.
    EventId post(Task task);
    // Returns whether the event was still pending. A cancelled event never fires, even if
    // it was due in the turn that cancels it.
    bool cancel(EventId id);
    bool isPending(EventId id) const;
    // Thread-safe; wakes the loop if it is waiting.
    void postFromAnyThread(Task task);

    // File-descriptor readiness, delivered on the loop. The callback gets IoEvent bits.
    WatchId watchFd(int fd, unsigned events, std::function<void(unsigned)> callback);
    void updateWatch(WatchId id, unsigned events);
    void unwatchFd(WatchId id);

    // While a hold lives, a virtual clock advances in step with real time and the loop
    // waits for I/O instead of jumping to the next event.
    class RealTimeHold {
    public:
        explicit RealTimeHold(std::weak_ptr<RunLoop> loop);
        ~RealTimeHold();
        RealTimeHold(const RealTimeHold&) = delete;
        RealTimeHold& operator=(const RealTimeHold&) = delete;

    private:
        std::weak_ptr<RunLoop> m_loop;
    };
    std::unique_ptr<RealTimeHold> holdRealTime();
    int realTimeHolds() const { return m_holds; }

    // Runs until now() reaches now() + seconds (virtual: instantly, apart from I/O waits).
    void runFor(double seconds);
    void runUntilTime(double time);
    // Runs until done() is true (checked after every dispatched event) or seconds have
    // passed on the loop's clock. Returns done().
    bool runUntil(const std::function<bool()>& done, double seconds);
    // Runs until quit().
    void run();
    void quit();

    // For an outer loop (the GTK backend drives a real loop from GLib's main loop):
    // prepare() fills the descriptors to wait on and returns the wait in milliseconds
    // (-1: no deadline); dispatch() takes the same descriptors with revents filled in.
    int prepare(std::vector<pollfd>& fds);
    void dispatch(const std::vector<pollfd>& fds);

    // Number of events fired so far; tests use it to prove that an idle loop stays idle.
    std::uint64_t firedCount() const { return m_fired; }
    std::size_t pendingCount() const { return m_live; }

private:
    explicit RunLoop(ClockKind kind, double startTime);

    struct QueueEntry {
        double time;
        std::uint64_t seq;
        std::uint32_t slot;
        std::uint32_t generation;
    };
    // Pending events live in reusable slots; an id names a slot and its generation, so a
    // stale id (fired or cancelled) never matches a newer event in the same slot.
    struct Slot {
        Task task;
        std::shared_ptr<Event> event;
        std::uint32_t generation{0};
        bool live{false};
    };
    struct Later {
        bool operator()(const QueueEntry& a, const QueueEntry& b) const
        {
            return a.time != b.time ? a.time > b.time : a.seq > b.seq;
        }
    };
    struct Watch {
        int fd;
        unsigned events;
        std::function<void(unsigned)> callback;
    };

    // Pops and fires the earliest event if it is due at or before `limit`; sets the
    // virtual clock to its time. Returns false when none is due.
    bool fireNext(double limit);
    double nextEventTime() const; // +inf when none
    void dropCancelledHead() const;
    void drainCrossThread();
    // Polls the watched descriptors for up to timeoutMs and dispatches what is ready.
    void pollOnce(int timeoutMs, const std::function<void()>& beforeDispatch = {});
    void dispatchReady(const std::vector<pollfd>& fds, std::size_t count);
    void fillPollSet(std::vector<pollfd>& fds, std::vector<WatchId>& ids) const;
    void waitReal(double seconds, const std::function<void()>& beforeDispatch = {});
    void wake();

    ClockKind m_kind;
    double m_virtualNow{0};
    double m_anchorAbsolute{0};
    double m_anchorSteady{0};
    double m_wallOffset{0};

    EventId insert(double time, Task task, std::shared_ptr<Event> event);
    const Slot* liveSlot(std::uint32_t slot, std::uint32_t generation) const;

    mutable std::vector<QueueEntry> m_queue; // binary heap ordered by Later
    std::vector<Slot> m_slots;
    std::vector<std::uint32_t> m_freeSlots;
    std::size_t m_live{0};
    std::uint64_t m_nextSeq{1};
    std::uint64_t m_fired{0};

    std::unordered_map<WatchId, Watch> m_watches;
    WatchId m_nextWatch{1};
    std::vector<pollfd> m_pollScratch;
    std::vector<WatchId> m_pollIds;

    int m_holds{0};
    bool m_quit{false};

    int m_wakeFd{-1};
    std::mutex m_crossMutex;
    std::vector<Task> m_crossTasks;
    std::atomic<bool> m_crossPending{false};
};

} // namespace platform
