#pragma once

#include <memory>

#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetExport.h"

typedef struct _GtkWidget GtkWidget;

namespace adnet {

// A banner widget (an AdnetBanner, see adnet-gtk.h) for a C++ GTK 4 host that answers the
// ad client's questions itself: `host` is asked for the publisher id, colours, targeting
// and presentation choices and told of the first ad and the landing screens, exactly as
// with AdNetView::requestAdWithDelegate. The widget's own properties for those answers are
// ignored; its signals are still emitted, and refresh-interval still applies. The host is
// never owned. Returns a floating reference.
ADNET_EXPORT GtkWidget* createBanner(std::weak_ptr<AdNetDelegate> host);

} // namespace adnet
