#pragma once

#include <memory>

#include "adnet/AdNetView.h"
#include "platform/ui/View.h"

namespace adnet {

// The one way from the public handle to the view tree and back, for code inside the tree
// (the game's window, the GTK widget, tests): the handle itself shows hosts no platform
// type. The view is an AdNetViewInternal.

// The banner's view, to add to a window or a parent view.
std::shared_ptr<platform::View> platformView(const AdNetView& handle);
// The handle of a banner's view; null for any other view, or when the host let it go.
std::shared_ptr<AdNetView> handleOf(const platform::View& view);

} // namespace adnet
