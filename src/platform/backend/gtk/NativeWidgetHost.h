#pragma once

#include "platform/backend/gtk/Viewport.h"

namespace platform::gtk {

// Somewhere web pages (native widgets) can be shown over drawn content: a GtkOverlay whose
// child is the drawing, and a viewport that maps content points to the overlay's logical
// pixels. The game's window is one; an ad banner's landing stage is another.
class NativeWidgetHost {
public:
    virtual ~NativeWidgetHost() = default;

    // Stacks a GtkWidget between the drawing and what is drawn above it.
    virtual void addNativeWidget(void* widget) = 0;
    virtual void removeNativeWidget(void* widget) = 0;
    // The GtkOverlay holding the widgets (null once it has gone).
    virtual void* overlay() const = 0;
    virtual Viewport viewport() const = 0;
    // Something moved: draw frames until nothing animates.
    virtual void startFrames() = 0;
};

} // namespace platform::gtk
