#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// What makes the device vibrate: feedbackd, a visible jolt, a recorder in tests.
class HapticsBackend {
public:
    virtual ~HapticsBackend() = default;
    virtual void vibrate() = 0;
};

// The device's vibration. Without a backend a vibration is only counted.
class Haptics final {
public:
    static Haptics& shared();

    void vibrate();
    std::uint64_t vibrationCount() const { return m_count; }

    std::shared_ptr<HapticsBackend> backend() const { return m_backend; }
    void setBackend(std::shared_ptr<HapticsBackend> backend) { m_backend = std::move(backend); }
    void reset();

private:
    Haptics() = default;
    std::shared_ptr<HapticsBackend> m_backend;
    std::uint64_t m_count{0};
};

// The system sound that is the device's vibration.
constexpr std::uint32_t kSystemSoundVibrate = 4095;

// Plays a system sound by id. The vibration (4095) is the only one this platform has;
// other ids do nothing.
void playSystemSound(std::uint32_t soundId);

} // namespace platform
