#include "platform/backend/gtk/Jolt.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::gtk {

void Jolt::start(double now)
{
    ++m_count;
    if (!running(now)) {
        m_active = true;
        m_begin = now;
    }
    m_end = now + kDuration;
}

double Jolt::offset(double t) const
{
    if (!running(t) || t < m_begin)
        return 0;
    // Fades out over the last kDuration before the end, whatever the jolt's length.
    double fade = std::clamp((m_end - t) / kDuration, 0.0, 1.0);
    return kAmplitude * fade * std::sin(2 * std::numbers::pi * kFrequency * (t - m_begin));
}

} // namespace platform::gtk
