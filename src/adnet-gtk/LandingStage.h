#pragma once

#include <gtk/gtk.h>

#include <functional>

#include "platform/backend/gtk/AccessibleMirror.h"
#include "platform/backend/gtk/NativeWidgetHost.h"

namespace adnet::gtk {

// Where a banner's landing screen is shown while it is open: three layers added to a
// GtkOverlay that covers the banner's window (or to a window of their own), all the size of
// that overlay, which is the size of the platform::Window the banner lives in. The lowest
// layer draws the whole platform::Window (the backdrop growing out of the banner, the
// canvas or browser chrome); the WebKit pages go above it; the top layer draws what lies
// over the pages. Presses become touches on the platform::Window, Escape closes.
class LandingStage final : public platform::gtk::NativeWidgetHost {
public:
    struct Hooks {
        // Draws a pass of the platform::Window: cairo in device pixels, scale device pixels
        // per point; `above` is the layer over the pages.
        std::function<void(cairo_t*, double scale, bool above)> draw;
        std::function<bool()> animating;
        // Before each frame: places the pages; returns whether any is shown.
        std::function<bool()> placePages;
        // Whether a press at this point over a page belongs to a view drawn above it.
        std::function<bool(double x, double y)> takesPressAbove;
        std::function<void(double x, double y)> pressed;
        std::function<void(double x, double y)> dragged;
        std::function<void(double x, double y)> released;
        std::function<void()> cancelled;
        std::function<void()> escape;
        // Tab, Shift+Tab, Enter and Escape: true when used. Escape not used goes to `escape`.
        std::function<bool(platform::gtk::NavigationKey)> navigationKey;
    };

    // `overlay` is the landing area; null opens an undecorated modal window over `parent`,
    // the size `width` x `height`, and shows the stage in that.
    LandingStage(GtkOverlay* overlay, GtkWindow* parent, int width, int height, Hooks hooks);
    ~LandingStage() override;
    LandingStage(const LandingStage&) = delete;
    LandingStage& operator=(const LandingStage&) = delete;

    void addNativeWidget(void* widget) override;
    void removeNativeWidget(void* widget) override;
    void* overlay() const override { return m_overlay; }
    platform::gtk::Viewport viewport() const override;
    void startFrames() override;

    // Whether the stage has its own window (no overlay covered the banner's window).
    bool ownsWindow() const { return m_window != nullptr; }

    struct Impl;

private:
    Hooks m_hooks;
    GtkOverlay* m_overlay{nullptr};
    GtkWidget* m_window{nullptr}; // the fallback window, when there is one
    GtkWidget* m_below{nullptr};
    GtkWidget* m_above{nullptr};
    GtkEventController* m_capture{nullptr}; // on the overlay: presses over pages
    GtkEventController* m_keys{nullptr};    // on the overlay's window: Escape
    GtkWidget* m_keysOn{nullptr};
    double m_contentWidth;
    double m_contentHeight;
    guint m_tick{0};
    bool m_pressed{false};
    bool m_pressAbove{false};
    double m_startX{0};
    double m_startY{0};
};

} // namespace adnet::gtk
