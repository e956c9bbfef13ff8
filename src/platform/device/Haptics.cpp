#include "platform/device/Haptics.h"

namespace platform {

Haptics& Haptics::shared()
{
    static Haptics haptics;
    return haptics;
}

void Haptics::vibrate()
{
    ++m_count;
    // A copy: the backend may be replaced from inside its own call.
    if (auto backend = m_backend)
        backend->vibrate();
}

void Haptics::reset()
{
    m_backend.reset();
    m_count = 0;
}

void playSystemSound(std::uint32_t soundId)
{
    if (soundId == kSystemSoundVibrate)
        Haptics::shared().vibrate();
}

} // namespace platform
