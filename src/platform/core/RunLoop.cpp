#include "platform/core/RunLoop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

namespace platform {

namespace {

constexpr double kForever = std::numeric_limits<double>::infinity();

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::shared_ptr<RunLoop>& mainSlot()
{
    static std::shared_ptr<RunLoop> loop;
    return loop;
}

unsigned toIoEvents(short revents)
{
    unsigned ready = 0;
    if (revents & (POLLIN | POLLPRI))
        ready |= RunLoop::Readable;
    if (revents & POLLOUT)
        ready |= RunLoop::Writable;
    if (revents & (POLLERR | POLLHUP | POLLNVAL))
        ready |= RunLoop::Error;
    return ready;
}

short toPollEvents(unsigned events)
{
    short mask = 0;
    if (events & RunLoop::Readable)
        mask |= POLLIN;
    if (events & RunLoop::Writable)
        mask |= POLLOUT;
    return mask;
}

} // namespace

double RunLoop::wallClockNow()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count() + kUnixToAbsolute;
}

std::shared_ptr<RunLoop> RunLoop::createReal()
{
    return std::shared_ptr<RunLoop>(new RunLoop(ClockKind::Real, wallClockNow()));
}

std::shared_ptr<RunLoop> RunLoop::createVirtual()
{
    return createVirtual(wallClockNow());
}

std::shared_ptr<RunLoop> RunLoop::createVirtual(double startTime)
{
    return std::shared_ptr<RunLoop>(new RunLoop(ClockKind::Virtual, startTime));
}

RunLoop& RunLoop::main()
{
    return *mainShared();
}

std::shared_ptr<RunLoop> RunLoop::mainShared()
{
    auto& slot = mainSlot();
    if (!slot)
        slot = createReal();
    return slot;
}

bool RunLoop::hasMain()
{
    return mainSlot() != nullptr;
}

void RunLoop::setMain(std::shared_ptr<RunLoop> loop)
{
    mainSlot() = std::move(loop);
}

RunLoop::RunLoop(ClockKind kind, double startTime)
    : m_kind(kind),
      m_virtualNow(startTime),
      m_anchorAbsolute(startTime),
      m_anchorSteady(steadySeconds())
{
    m_wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

RunLoop::~RunLoop()
{
    if (m_wakeFd >= 0)
        close(m_wakeFd);
}

double RunLoop::now() const
{
    if (m_kind == ClockKind::Virtual)
        return m_virtualNow;
    return m_anchorAbsolute + (steadySeconds() - m_anchorSteady);
}

double RunLoop::wallTime() const
{
    if (m_kind == ClockKind::Virtual)
        return m_virtualNow + m_wallOffset;
    return wallClockNow();
}

RunLoop::EventId RunLoop::insert(double time, Task task, std::shared_ptr<Event> event)
{
    std::uint32_t index;
    if (!m_freeSlots.empty()) {
        index = m_freeSlots.back();
        m_freeSlots.pop_back();
    } else {
        index = static_cast<std::uint32_t>(m_slots.size());
        m_slots.emplace_back();
    }
    Slot& slot = m_slots[index];
    slot.task = std::move(task);
    slot.event = std::move(event);
    slot.live = true;
    ++m_live;
    m_queue.push_back({time, m_nextSeq++, index, slot.generation});
    std::push_heap(m_queue.begin(), m_queue.end(), Later{});
    return (static_cast<EventId>(slot.generation) << 32) | (static_cast<EventId>(index) + 1);
}

RunLoop::EventId RunLoop::scheduleAt(double time, Task task)
{
    return insert(time, std::move(task), nullptr);
}

RunLoop::EventId RunLoop::scheduleAt(double time, std::shared_ptr<Event> event)
{
    return insert(time, nullptr, std::move(event));
}

const RunLoop::Slot* RunLoop::liveSlot(std::uint32_t slot, std::uint32_t generation) const
{
    if (slot >= m_slots.size())
        return nullptr;
    const Slot& s = m_slots[slot];
    return s.live && s.generation == generation ? &s : nullptr;
}

RunLoop::EventId RunLoop::scheduleAfter(double delay, Task task)
{
    return scheduleAt(now() + std::max(0.0, delay), std::move(task));
}

RunLoop::EventId RunLoop::post(Task task)
{
    return scheduleAt(now(), std::move(task));
}

bool RunLoop::cancel(EventId id)
{
    if (!isPending(id))
        return false;
    auto index = static_cast<std::uint32_t>((id & 0xffffffffu) - 1);
    Slot& slot = m_slots[index];
    // The heap entry stays behind and is skipped when it reaches the top; the slot is
    // reused only after that, so the entry can never be mistaken for a newer event.
    slot.live = false;
    --m_live;
    Task task = std::move(slot.task);
    auto event = std::move(slot.event);
    slot.task = nullptr;
    return true;
}

bool RunLoop::isPending(EventId id) const
{
    if ((id & 0xffffffffu) == 0)
        return false;
    auto index = static_cast<std::uint32_t>((id & 0xffffffffu) - 1);
    return liveSlot(index, static_cast<std::uint32_t>(id >> 32)) != nullptr;
}

void RunLoop::postFromAnyThread(Task task)
{
    {
        std::lock_guard lock(m_crossMutex);
        m_crossTasks.push_back(std::move(task));
    }
    m_crossPending.store(true, std::memory_order_release);
    wake();
}

void RunLoop::wake()
{
    if (m_wakeFd < 0)
        return;
    std::uint64_t one = 1;
    ssize_t written = write(m_wakeFd, &one, sizeof one);
    (void)written; // a full counter already means "awake"
}

void RunLoop::drainCrossThread()
{
    if (!m_crossPending.exchange(false, std::memory_order_acq_rel))
        return;
    std::vector<Task> tasks;
    {
        std::lock_guard lock(m_crossMutex);
        tasks.swap(m_crossTasks);
    }
    for (auto& task : tasks)
        post(std::move(task));
}

RunLoop::WatchId RunLoop::watchFd(int fd, unsigned events, std::function<void(unsigned)> callback)
{
    WatchId id = m_nextWatch++;
    m_watches.emplace(id, Watch{fd, events, std::move(callback)});
    return id;
}

void RunLoop::updateWatch(WatchId id, unsigned events)
{
    auto it = m_watches.find(id);
    if (it != m_watches.end())
        it->second.events = events;
}

void RunLoop::unwatchFd(WatchId id)
{
    m_watches.erase(id);
}

RunLoop::RealTimeHold::RealTimeHold(std::weak_ptr<RunLoop> loop) : m_loop(std::move(loop))
{
    if (auto l = m_loop.lock())
        ++l->m_holds;
}

RunLoop::RealTimeHold::~RealTimeHold()
{
    if (auto l = m_loop.lock())
        --l->m_holds;
}

std::unique_ptr<RunLoop::RealTimeHold> RunLoop::holdRealTime()
{
    return std::make_unique<RealTimeHold>(weak_from_this());
}

void RunLoop::dropCancelledHead() const
{
    while (!m_queue.empty() && !liveSlot(m_queue.front().slot, m_queue.front().generation)) {
        std::uint32_t index = m_queue.front().slot;
        std::pop_heap(m_queue.begin(), m_queue.end(), Later{});
        m_queue.pop_back();
        // A cancelled event's slot becomes free once its heap entry is gone.
        auto& self = const_cast<RunLoop&>(*this);
        Slot& slot = self.m_slots[index];
        if (!slot.live) {
            ++slot.generation;
            self.m_freeSlots.push_back(index);
        }
    }
}

double RunLoop::nextEventTime() const
{
    dropCancelledHead();
    return m_queue.empty() ? kForever : m_queue.front().time;
}

bool RunLoop::fireNext(double limit)
{
    dropCancelledHead();
    if (m_queue.empty() || m_queue.front().time > limit)
        return false;
    QueueEntry entry = m_queue.front();
    std::pop_heap(m_queue.begin(), m_queue.end(), Later{});
    m_queue.pop_back();
    Slot& slot = m_slots[entry.slot];
    Task task = std::move(slot.task);
    std::shared_ptr<Event> event = std::move(slot.event);
    slot.task = nullptr;
    slot.live = false;
    ++slot.generation;
    --m_live;
    m_freeSlots.push_back(entry.slot);
    if (m_kind == ClockKind::Virtual)
        m_virtualNow = std::max(m_virtualNow, entry.time);
    ++m_fired;
    if (event)
        event->fire();
    else
        task();
    return true;
}

void RunLoop::fillPollSet(std::vector<pollfd>& fds, std::vector<WatchId>& ids) const
{
    fds.clear();
    ids.clear();
    if (m_wakeFd >= 0) {
        fds.push_back({m_wakeFd, POLLIN, 0});
        ids.push_back(0);
    }
    for (const auto& [id, watch] : m_watches) {
        fds.push_back({watch.fd, toPollEvents(watch.events), 0});
        ids.push_back(id);
    }
}

void RunLoop::dispatchReady(const std::vector<pollfd>& fds, std::size_t count)
{
    for (std::size_t i = 0; i < count && i < fds.size(); ++i) {
        if (!fds[i].revents)
            continue;
        if (fds[i].fd == m_wakeFd) {
            std::uint64_t value;
            while (read(m_wakeFd, &value, sizeof value) > 0) { }
            continue;
        }
        WatchId id = i < m_pollIds.size() ? m_pollIds[i] : 0;
        auto it = m_watches.find(id);
        // A callback earlier in this batch may have removed or replaced the watch.
        if (it == m_watches.end() || it->second.fd != fds[i].fd)
            continue;
        auto callback = it->second.callback;
        callback(toIoEvents(fds[i].revents));
    }
    drainCrossThread();
}

void RunLoop::pollOnce(int timeoutMs, const std::function<void()>& beforeDispatch)
{
    fillPollSet(m_pollScratch, m_pollIds);
    int ready = ::poll(m_pollScratch.data(), m_pollScratch.size(), timeoutMs);
    if (beforeDispatch)
        beforeDispatch();
    if (ready > 0)
        dispatchReady(m_pollScratch, m_pollScratch.size());
    else
        drainCrossThread();
}

void RunLoop::waitReal(double seconds, const std::function<void()>& beforeDispatch)
{
    int ms;
    if (!std::isfinite(seconds))
        ms = -1;
    else
        ms = static_cast<int>(std::ceil(std::clamp(seconds, 0.0, 3600.0) * 1000.0));
    pollOnce(ms, beforeDispatch);
}

void RunLoop::runUntilTime(double time)
{
    runUntil(nullptr, time - now());
}

void RunLoop::runFor(double seconds)
{
    runUntil(nullptr, seconds);
}

bool RunLoop::runUntil(const std::function<bool()>& done, double seconds)
{
    const double target = now() + std::max(0.0, seconds);
    m_quit = false;
    auto finished = [&] { return m_quit || (done && done()); };
    if (finished())
        return done && done();

    while (!finished()) {
        drainCrossThread();
        if (m_kind == ClockKind::Virtual && m_holds == 0) {
            if (!m_watches.empty())
                pollOnce(0);
            if (fireNext(target))
                continue;
            if (std::isfinite(target))
                m_virtualNow = std::max(m_virtualNow, target);
            break;
        }
        if (m_kind == ClockKind::Virtual) {
            // Lockstep with real time while I/O is pending.
            if (fireNext(m_virtualNow))
                continue;
            if (m_virtualNow >= target)
                break;
            double next = std::min(nextEventTime(), target);
            double started = steadySeconds();
            // The clock moves before the I/O callbacks run, so they see the time it took.
            waitReal(next - m_virtualNow, [&] {
                double elapsed = steadySeconds() - started;
                m_virtualNow = std::min(m_virtualNow + elapsed, next);
            });
            continue;
        }
        double current = now();
        if (fireNext(current))
            continue;
        if (current >= target)
            break;
        waitReal(std::min(nextEventTime(), target) - current);
    }
    return done && done();
}

void RunLoop::run()
{
    runUntil(nullptr, kForever);
}

void RunLoop::quit()
{
    m_quit = true;
    wake();
}

int RunLoop::prepare(std::vector<pollfd>& fds)
{
    fillPollSet(fds, m_pollIds);
    if (m_crossPending.load(std::memory_order_acquire))
        return 0;
    double next = nextEventTime();
    if (!std::isfinite(next))
        return -1;
    double wait = next - now();
    if (wait <= 0)
        return 0;
    return static_cast<int>(std::ceil(std::min(wait, 3600.0) * 1000.0));
}

void RunLoop::dispatch(const std::vector<pollfd>& fds)
{
    dispatchReady(fds, fds.size());
    // Only what is due now: a task that posts itself again waits for the next turn, so
    // the outer loop still gets to run.
    const double limit = now();
    while (fireNext(limit)) { }
}

} // namespace platform
