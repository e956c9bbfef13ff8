#include "platform/backend/headless/RecordingHaptics.h"

#include "platform/core/RunLoop.h"

namespace platform {

void RecordingHaptics::vibrate()
{
    double now = RunLoop::main().now();
    m_times.push_back(now);
    if (m_observer)
        m_observer(now);
}

} // namespace platform
