#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/core/Geometry.h"

namespace brimsey {

// The places a scripted tap or touch may name instead of X,Y: the game's buttons and the
// ad banner. A name is looked up when the touch happens, so a view that has moved since
// the script started is found where it is then.
bool isTapTarget(std::string_view name);

// Whether the target is a view that comes and goes ("done", the embedded browser's Done
// button): a script may name it before it exists, and a touch while it is absent does
// nothing.
bool tapTargetAppearsLater(std::string_view name);

// "butstart, butd1, ..." for messages.
std::string tapTargetNames();

// Where the named target is now, in window points; nothing when the interface has no such
// view. A target that is a fixed place (the banner's centre) always has a point: tapping
// there does whatever a finger would do there.
std::optional<platform::Point> tapTargetPoint(std::string_view name);

} // namespace brimsey
