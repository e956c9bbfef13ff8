#pragma once

#include <functional>
#include <memory>

#include "platform/backend/gtk/FeedbackVibrator.h"
#include "platform/backend/gtk/IioAccelerometer.h"
#include "platform/backend/gtk/ShakeSynthesizer.h"
#include "platform/device/Accelerometer.h"
#include "platform/device/Haptics.h"

namespace platform::gtk {

// The desktop's accelerometer readings: the IIO sensor where the machine has one (else a
// device at rest, face up) plus what the pointer and the Space key shake.
class DesktopAccelerationSource final : public AccelerationSource {
public:
    // sensor may be null.
    explicit DesktopAccelerationSource(std::unique_ptr<IioAccelerometer> sensor, bool mayRest = true);

    Acceleration read(double now) override;
    // Without a sensor, nothing but the player's input changes the reading.
    bool canRest() const override { return m_mayRest && !m_sensor && !m_shakes.key().held(); }
    // The player did something (moved the pointer, pressed, held a key): readings resume if
    // they were resting.
    void activity() { wake(); }

    ShakeSynthesizer& shakes() { return m_shakes; }
    bool hasSensor() const { return m_sensor != nullptr; }
    // Readings the sensor could not give (the last good one stood in for them).
    unsigned long sensorFailures() const { return m_failures; }

private:
    ShakeSynthesizer m_shakes;
    std::unique_ptr<IioAccelerometer> m_sensor;
    GVector m_lastSensor{0, 0, -1};
    unsigned long m_failures{0};
    bool m_mayRest;
};

// The desktop's vibration: feedbackd where it runs, otherwise (or when it refuses) the
// visible jolt.
class DesktopHaptics final : public HapticsBackend {
public:
    explicit DesktopHaptics(std::function<void()> jolt);

    void vibrate() override;

    FeedbackVibrator& vibrator() { return m_vibrator; }
    unsigned long jolts() const { return m_jolts; }

private:
    void joltNow();

    FeedbackVibrator m_vibrator;
    std::function<void()> m_jolt;
    unsigned long m_jolts{0};
};

} // namespace platform::gtk
