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
    m_source->setWakeHandler([this] { sourceWoke(); });
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
    const bool updating = isUpdating();
    if (updating)
        m_source->stop();
    m_source->setWakeHandler({});
    m_source = std::move(source);
    m_source->setWakeHandler([this] { sourceWoke(); });
    m_identicalReadings = 0;
    if (m_resting) {
        // Another source may well read differently: readings resume.
        m_resting = false;
        restart();
        return;
    }
    if (updating)
        m_source->start();
}

void Accelerometer::restart()
{
    bool wasUpdating = isUpdating();
    if (m_timer)
        m_timer->invalidate();
    if (!wasUpdating)
        m_source->start();
    m_resting = false;
    m_identicalReadings = 0;
    m_timer = Timer::schedule(m_interval, true, [this](Timer&) { tick(); });
}

void Accelerometer::stopTimer()
{
    if (!isUpdating())
        return;
    if (m_timer)
        m_timer->invalidate();
    m_timer.reset();
    m_resting = false;
    m_source->stop();
}

void Accelerometer::rest()
{
    m_timer->invalidate();
    m_timer.reset();
    m_resting = true;
}

void Accelerometer::sourceWoke()
{
    m_identicalReadings = 0;
    if (!m_resting || m_delegate.expired())
        return;
    m_resting = false;
    m_timer = Timer::schedule(m_interval, true, [this](Timer&) { tick(); });
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
    const bool same = a.x == m_lastReading.x && a.y == m_lastReading.y && a.z == m_lastReading.z;
    m_identicalReadings = same ? m_identicalReadings + 1 : 0;
    m_lastReading = a;
    delegate->accelerometerDidAccelerate(*this, a);
    if (m_identicalReadings >= kRestAfterIdenticalReadings && source == m_source && source->canRest() && m_timer &&
        m_timer->isValid())
        rest();
}

void Accelerometer::reset()
{
    stopTimer();
    m_timer.reset();
    m_delegate.reset();
    m_source->setWakeHandler({});
    m_source = std::make_shared<RestingAccelerationSource>();
    m_interval = 0.1;
    m_identicalReadings = 0;
}

} // namespace platform
