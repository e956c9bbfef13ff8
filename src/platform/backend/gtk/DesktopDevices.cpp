#include "platform/backend/gtk/DesktopDevices.h"

#include <cstdio>

namespace platform::gtk {

DesktopAccelerationSource::DesktopAccelerationSource(std::unique_ptr<IioAccelerometer> sensor, bool mayRest)
    : m_sensor(std::move(sensor)),
      m_mayRest(mayRest)
{
}

Acceleration DesktopAccelerationSource::read(double now)
{
    if (m_sensor) {
        if (auto reading = m_sensor->read()) {
            m_lastSensor = *reading;
        } else if (m_failures++ == 0) {
            std::fprintf(stderr, "brimsey: the accelerometer %s gave no reading; using its last one\n",
                         m_sensor->path().c_str());
        }
    }
    GVector g = m_shakes.sample(now, m_lastSensor);
    return {g.x, g.y, g.z, now};
}

DesktopHaptics::DesktopHaptics(std::function<void()> jolt) : m_jolt(std::move(jolt))
{
}

void DesktopHaptics::joltNow()
{
    ++m_jolts;
    if (m_jolt)
        m_jolt();
}

void DesktopHaptics::vibrate()
{
    if (m_vibrator.vibrate([this] { joltNow(); }))
        return;
    joltNow();
}

} // namespace platform::gtk
