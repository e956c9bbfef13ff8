#pragma once

#include <functional>
#include <memory>

#include "platform/core/Timer.h"

namespace platform {

// One reading of the device's acceleration, in units of g. A device lying still, face
// up, reads (0, 0, -1).
struct Acceleration {
    double x{0};
    double y{0};
    double z{0};
    double timestamp{0}; // absolute seconds on the main run loop's clock
};

class Accelerometer;

class AccelerometerDelegate {
public:
    virtual ~AccelerometerDelegate() = default;
    virtual void accelerometerDidAccelerate(Accelerometer& accelerometer, const Acceleration& acceleration) = 0;
};

// Where readings come from: a sensor, the pointer, a script. The accelerometer asks for
// the current reading at every update.
class AccelerationSource {
public:
    virtual ~AccelerationSource() = default;
    virtual Acceleration read(double now) = 0;
    // Told when updates start and stop, so a sensor can be switched on only when needed.
    virtual void start() { }
    virtual void stop() { }

    // A source whose reading cannot change until something it watches happens (the
    // desktop's pointer and keyboard, with no sensor) answers true, and calls wake() when
    // that happens; the accelerometer may then rest through a long stillness.
    virtual bool canRest() const { return false; }
    void setWakeHandler(std::function<void()> handler) { m_wake = std::move(handler); }

protected:
    void wake()
    {
        if (m_wake)
            m_wake();
    }

private:
    std::function<void()> m_wake;
};

// A device lying still: always (0, 0, -1).
class RestingAccelerationSource final : public AccelerationSource {
public:
    Acceleration read(double now) override { return {0, 0, -1, now}; }
};

// The shared accelerometer. While it has a delegate it delivers one reading every update
// interval on the main run loop, the first one interval after the delegate was set (or
// the interval changed). The delegate is held weakly: one that is gone stops the updates.
//
// Resting: after kRestAfterIdenticalReadings identical readings in a row from a source that
// can rest, no more readings are delivered (and the process stops waking for them) until the
// source wakes; readings resume one interval later. What a delegate computes from readings
// (running means, magnitudes) has long stopped changing by then, so the readings skipped
// would have changed nothing; a game in progress never sees such a stillness (30 s).
class Accelerometer final {
public:
    static Accelerometer& shared();

    static constexpr double kMinimumInterval = 0.01;
    static constexpr double kMaximumInterval = 1.0;

    double updateInterval() const { return m_interval; }
    // Clamped to kMinimumInterval..kMaximumInterval.
    void setUpdateInterval(double seconds);
    std::shared_ptr<AccelerometerDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<AccelerometerDelegate> delegate);

    std::shared_ptr<AccelerationSource> source() const { return m_source; }
    // Null means a resting device.
    void setSource(std::shared_ptr<AccelerationSource> source);

    static constexpr int kRestAfterIdenticalReadings = 750; // 30 s at 0.04 s

    bool isUpdating() const { return (m_timer && m_timer->isValid()) || m_resting; }
    bool isResting() const { return m_resting; }
    // The player touched the screen: a game may be starting, so readings resume.
    void userActivity() { sourceWoke(); }
    // Stops updates and forgets delegate and source (for tests and shutdown).
    void reset();

private:
    Accelerometer();
    void restart();
    void stopTimer();
    void tick();
    void rest();
    void sourceWoke();

    double m_interval{0.1};
    std::weak_ptr<AccelerometerDelegate> m_delegate;
    std::shared_ptr<AccelerationSource> m_source;
    std::shared_ptr<Timer> m_timer;
    bool m_resting{false};
    Acceleration m_lastReading;
    int m_identicalReadings{0};
};

} // namespace platform
