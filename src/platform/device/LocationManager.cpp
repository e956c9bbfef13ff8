#include "platform/device/LocationManager.h"

#include "platform/device/Services.h"

namespace platform {

std::shared_ptr<LocationManager> LocationManager::create()
{
    if (const auto& factory = services().location)
        if (auto manager = factory())
            return manager;
    return std::make_shared<DisabledLocationManager>();
}

void LocationManager::deliver(const Location& location)
{
    std::optional<Location> old = m_last;
    m_last = location;
    if (m_handler) {
        auto handler = m_handler; // the handler may replace itself
        handler(*this, location, old);
    }
}

} // namespace platform
