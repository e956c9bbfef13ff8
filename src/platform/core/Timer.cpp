#include "platform/core/Timer.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {
// The smallest interval a timer accepts; zero or negative intervals mean this.
constexpr double kMinimumInterval = 0.0001;
} // namespace

std::shared_ptr<Timer> Timer::schedule(double interval, bool repeats, Callback onTimeout, RunLoop& loop)
{
    auto timer = std::make_shared<Timer>(interval, repeats, std::move(onTimeout), loop);
    timer->m_start = loop.now();
    timer->arm();
    return timer;
}

Timer::Timer(double interval, bool repeats, Callback onTimeout, RunLoop& loop)
    : m_loop(loop.weak_from_this()),
      m_interval(std::max(interval, kMinimumInterval)),
      m_repeats(repeats),
      m_onTimeout(std::move(onTimeout))
{
}

void Timer::arm()
{
    auto loop = m_loop.lock();
    if (!loop)
        return;
    // Computed from the start, not by adding up intervals, so the phase never drifts.
    ++m_ticks;
    m_fireTime = m_start + static_cast<double>(m_ticks) * m_interval;
    double now = loop->now();
    if (m_fireTime < now && !loop->isVirtual()) {
        auto behind = static_cast<std::uint64_t>(std::floor((now - m_start) / m_interval));
        m_ticks = std::max(m_ticks, behind + 1);
        m_fireTime = m_start + static_cast<double>(m_ticks) * m_interval;
    }
    // The loop owns the timer until it fires or is cancelled; scheduling the timer itself
    // (not a closure) keeps every tick free of allocations.
    m_event = loop->scheduleAt(m_fireTime, std::static_pointer_cast<RunLoop::Event>(shared_from_this()));
}

void Timer::fire()
{
    m_event = 0;
    if (!m_valid)
        return;
    if (!m_repeats)
        m_valid = false;
    else
        arm();
    // Keep a reference: the callback may drop the last outside one.
    auto self = shared_from_this();
    if (m_onTimeout)
        m_onTimeout(*this);
    if (!m_valid)
        m_onTimeout = nullptr;
}

void Timer::invalidate()
{
    if (!m_valid)
        return;
    m_valid = false;
    if (m_event) {
        if (auto loop = m_loop.lock())
            loop->cancel(m_event);
        m_event = 0;
    }
}

} // namespace platform
