#pragma once

#include <functional>
#include <string_view>

#include "adnet/AdNetExport.h"

namespace adnet {

// What the ad client does on screen, as one line of text each ("flip start", "click",
// "browser http://..."), for event logs, scripted runs and tests. One listener per process;
// events arrive on the main thread, in the order they happen.
using AdNetEventListener = std::function<void(std::string_view event)>;

// Installs the listener (an empty one removes it).
ADNET_EXPORT void setAdNetEventListener(AdNetEventListener listener);
// Tells the listener, if there is one. Costs nothing without one.
ADNET_EXPORT void reportAdNetEvent(std::string_view event);

} // namespace adnet
