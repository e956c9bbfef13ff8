#include "PlatformHandOver.h"

#include "adnet/AdNetEvents.h"
#include "platform/device/URLOpener.h"

namespace adnet {

bool handURLToPlatform(const std::string& url)
{
    reportAdNetEvent("open " + url);
    return platform::openURL(url);
}

} // namespace adnet
