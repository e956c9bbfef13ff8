#pragma once

namespace adnet {

// What sets up a main run loop for a host that has none (a C++ host of libadnet.so on
// GLib's loop). AdNetView::requestAdWithDelegate calls it when no main run loop is
// installed (platform::RunLoop::hasMain()); the starter installs one, so that is once.
// Null: nothing is started.
using RuntimeStarter = void (*)();
void setRuntimeStarter(RuntimeStarter starter);

// Calls the starter if there is one and no main run loop.
void startRuntimeIfNeeded();

} // namespace adnet
