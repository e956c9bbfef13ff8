#pragma once

#include <functional>
#include <vector>

#include "platform/device/Haptics.h"

namespace platform {

// Records every vibration with its time on the main run loop's clock.
class RecordingHaptics final : public HapticsBackend {
public:
    RecordingHaptics() { m_times.reserve(4096); }
    void vibrate() override;

    const std::vector<double>& times() const { return m_times; }
    std::size_t count() const { return m_times.size(); }
    void clear() { m_times.clear(); }
    // Called after each vibration is recorded (an event log, for instance).
    void setObserver(std::function<void(double time)> observer) { m_observer = std::move(observer); }

private:
    std::vector<double> m_times;
    std::function<void(double)> m_observer;
};

} // namespace platform
