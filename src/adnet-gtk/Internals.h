#pragma once

#include <string>

namespace platform {
class View;
}

namespace adnet {
class AdNetView;
}

namespace adnet::gtk {

// The few places the widget reaches behind the ad view's public face, gathered here so that
// a change of that face is mended in one file.

// The view tree node that shows the banner (placed, drawn and touched in a platform::Window).
platform::View& platformViewOf(AdNetView& view);

// Why the view's first ad failed, in a few words ("" when it did not fail or nobody knows).
std::string failureReasonOf(AdNetView& view);

// Closes whatever landing screen the view has open, as its Done button or backdrop would.
void dismissLandingScreensOf(AdNetView& view);

} // namespace adnet::gtk
