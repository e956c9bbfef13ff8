#pragma once

#include "adnet/AdNetDelegate.h"
#include "platform/core/Color.h"
#include "platform/device/LocationManager.h"

namespace adnet {

// The host's answers in the platform's types, where the ad client reads them.
inline platform::Color toPlatform(const Color& color)
{
    return platform::Color::rgba(color.r, color.g, color.b, color.a);
}

inline platform::LocationCoordinate toPlatform(const Coordinate& coordinate)
{
    return {coordinate.latitude, coordinate.longitude};
}

} // namespace adnet
