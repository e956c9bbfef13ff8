#pragma once

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
};

// A device lying still: always (0, 0, -1).
class RestingAccelerationSource final : public AccelerationSource {
public:
    Acceleration read(double now) override { return {0, 0, -1, now}; }
};

// The shared accelerometer. While it has a delegate it delivers one reading every update
// interval on the main run loop, the first one interval after the delegate was set (or
// the interval changed). The delegate is held weakly: one that is gone stops the updates.
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

    bool isUpdating() const { return m_timer && m_timer->isValid(); }
    // Stops updates and forgets delegate and source (for tests and shutdown).
    void reset();

private:
    Accelerometer();
    void restart();
    void stopTimer();
    void tick();

    double m_interval{0.1};
    std::weak_ptr<AccelerometerDelegate> m_delegate;
    std::shared_ptr<AccelerationSource> m_source;
    std::shared_ptr<Timer> m_timer;
};

} // namespace platform
