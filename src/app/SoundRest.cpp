#include "app/SoundRest.h"

#include "platform/core/Timer.h"
#include "sound/SoundEngine.h"

namespace brimsey {

SoundRest::SoundRest()
{
    SoundEngine_SetOutputWakeHandler([](void* self) { static_cast<SoundRest*>(self)->watch(); }, this);
    watch();
}

SoundRest::~SoundRest()
{
    SoundEngine_SetOutputWakeHandler(nullptr, nullptr);
    if (m_timer)
        m_timer->invalidate();
}

bool SoundRest::isChecking() const
{
    return m_timer && m_timer->isValid();
}

void SoundRest::watch()
{
    if (isChecking())
        return;
    m_timer = platform::Timer::schedule(kCheckInterval, true, [this](platform::Timer&) { check(); });
}

void SoundRest::check()
{
    if (SoundEngine_RestOutputIfSilent())
        m_timer->invalidate();
}

} // namespace brimsey
