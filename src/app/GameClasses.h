#pragma once

namespace platform {
class InterfaceRegistry;
}

namespace brimsey {

// Makes the game's classes known to interface descriptions: brimseyAppDelegate (outlets
// window, viewController), brimseyViewController, and MainView with its nine outlets and
// five actions. Safe to call more than once.
void registerGameClasses(platform::InterfaceRegistry& registry);
void registerGameClasses();

} // namespace brimsey
