#include "platform/device/Services.h"

#include "platform/device/Accelerometer.h"
#include "platform/device/Haptics.h"
#include "platform/device/URLOpener.h"

namespace platform {

namespace {

Services& installed()
{
    static Services set;
    return set;
}

} // namespace

void installServices(Services services)
{
    installed() = std::move(services);
    const Services& now = installed();
    Accelerometer::shared().reset();
    Accelerometer::shared().setSource(now.acceleration);
    Haptics::shared().reset();
    Haptics::shared().setBackend(now.haptics);
}

const Services& services()
{
    return installed();
}

void resetServices()
{
    installServices({});
}

bool openURL(const std::string& url)
{
    const auto& opener = installed().urlOpener;
    return opener && opener->openURL(url);
}

} // namespace platform
