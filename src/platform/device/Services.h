#pragma once

#include <functional>
#include <memory>

#include "platform/device/LocationManager.h"

namespace platform {

class AccelerationSource;
class HapticsBackend;
class URLOpener;
class WebEngine;

// Every device service of one backend. The headless runner fills the set with the fakes of
// backend/headless/, the desktop application with the real ones of backend/gtk/, and each
// installs it whole, so no run mixes services of two backends. A missing entry leaves that
// service inert (a device at rest, no vibration, location off, URLs not opened, no pages).
struct Services {
    std::shared_ptr<AccelerationSource> acceleration;
    std::shared_ptr<HapticsBackend> haptics;
    LocationManager::Factory location;
    std::shared_ptr<URLOpener> urlOpener;
    // Makes the engine that renders one web view's pages.
    std::function<std::shared_ptr<WebEngine>()> webEngine;
    // Starts getting whatever webEngine needs ready (a finger is on something that opens
    // pages), without waiting for it and without reporting anything. Empty: nothing to do.
    std::function<void()> prepareWebEngine;
};

// Installs `services` in place of the current set. Main thread only.
void installServices(Services services);
// The installed set (empty before the first installServices()).
const Services& services();
// Installs an empty set: every service inert again.
void resetServices();

} // namespace platform
