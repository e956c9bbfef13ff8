#pragma once

#include <string_view>

namespace brimsey {

// What the game does, told as it happens, for the headless event log and for tests. Every
// call comes from inside the game's own step, in the game's order; an observer must not
// call back into the game.
class MainViewObserver {
public:
    virtual ~MainViewObserver() = default;
    // An effect was started; `name` is its resource ("countdown", "v1", ... "warning").
    virtual void effectStarted(std::string_view /*name*/) { }
    // One vibration of the device.
    virtual void vibrated() { }
    // The meter's centre moved to y (only when y changed).
    virtual void meterMoved(double /*y*/) { }
    // The hint's alpha changed: shown (1.0) or hidden (0.0).
    virtual void hintChanged(bool /*shown*/) { }
    virtual void tick(int /*count*/) { }
    virtual void vibrationTick(int /*count2*/) { }
    // The game set the enabled state of the four result buttons.
    virtual void resultButtonsEnabled(bool /*enabled*/) { }
    // Tick 10 picked a band: its button's outlet name and its voice's resource name.
    virtual void result(std::string_view /*button*/, std::string_view /*voice*/) { }
};

} // namespace brimsey
