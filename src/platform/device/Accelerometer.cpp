#include "platform/device/Accelerometer.h"

#include <algorithm>
#include <cmath>

namespace platform {

Accelerometer& Accelerometer::shared()
{
    static Accelerometer accelerometer;
    return accelerometer;
}

Accelerometer::Accelerometer() : m_source(std::make_shared<RestingAccelerationSource>())
{
}

void Accelerometer::setUpdateInterval(double seconds)
{
    if (!std::isfinite(seconds))
        seconds = kMaximumInterval;
    seconds = std::clamp(seconds, kMinimumInterval, kMaximumInterval);
    if (seconds == m_interval)
        return;
    m_interval = seconds;
    if (isUpdating())
        restart();
}

void Accelerometer::setDelegate(std::weak_ptr<AccelerometerDelegate> delegate)
{
    m_delegate = std::move(delegate);
    if (m_delegate.expired()) {
        stopTimer();
        return;
    }
    // The first reading comes one interval after the delegate is set, as the timer's
    // first tick does; setting the same delegate again starts a new phase.
    restart();
}

void Accelerometer::setSource(std::shared_ptr<AccelerationSource> source)
{
    if (!source)
        source = std::make_shared<RestingAccelerationSource>();
    if (isUpdating())
        m_source->stop();
    m_source = std::move(source);
    if (isUpdating())
        m_source->start();
}

void Accelerometer::restart()
{
    bool wasUpdating = isUpdating();
    if (m_timer)
        m_timer->invalidate();
    if (!wasUpdating)
        m_source->start();
    m_timer = Timer::schedule(m_interval, true, [this](Timer&) { tick(); });
}

void Accelerometer::stopTimer()
{
    if (!isUpdating())
        return;
    m_timer->invalidate();
    m_timer.reset();
    m_source->stop();
}

void Accelerometer::tick()
{
    auto delegate = m_delegate.lock();
    if (!delegate) {
        stopTimer();
        return;
    }
    // Local copies: the delegate may change the source or reset us from inside.
    auto source = m_source;
    Acceleration a = source->read(RunLoop::main().now());
    delegate->accelerometerDidAccelerate(*this, a);
}

void Accelerometer::reset()
{
    stopTimer();
    m_timer.reset();
    m_delegate.reset();
    m_source = std::make_shared<RestingAccelerationSource>();
    m_interval = 0.1;
}

} // namespace platform
