#pragma once

#include <cairo.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/backend/gtk/AccessibleMirror.h"
#include "platform/backend/gtk/Jolt.h"
#include "platform/backend/gtk/NativeWidgetHost.h"
#include "platform/backend/gtk/Viewport.h"

namespace platform {
class Image;
}

namespace platform::gtk {

// The first monitor of the default display: size in logical pixels and device pixels per
// logical pixel (zeros and 1 when there is none).
struct MonitorInfo {
    int width{0};
    int height{0};
    int scale{1};
};
MonitorInfo primaryMonitor();

// The game's GTK 4 window: one drawing area showing a fixed-size screen of points scaled
// to fit, the pointer and the keyboard turned into calls in those points, and frames drawn
// only when asked for or while something moves.
class GameWindow final : public NativeWidgetHost {
public:
    struct Hooks {
        // Draws the content. The context's user space is device pixels with its origin at
        // the content's top-left corner, clipped to the content; pixelScale is device
        // pixels per point.
        std::function<void(cairo_t*, double pixelScale)> draw;
        // Asked every frame: whether the next frame will differ (animations running).
        std::function<bool()> animating;
        // Primary button or touch: down, dragged, up, or taken away by the toolkit.
        std::function<void(double x, double y)> pressed;
        std::function<void(double x, double y)> dragged;
        std::function<void(double x, double y)> released;
        std::function<void()> cancelled;
        // Every pointer position over the window (pressed or not), for shaking.
        std::function<void(double x, double y)> pointerMoved;
        std::function<void()> pointerLeft;
        // Tab, Shift+Tab, Enter and Escape, before any widget sees them: true when taken.
        std::function<bool(NavigationKey)> navigationKey;
        // Space held (true) or let go (false).
        std::function<void(bool down)> shakeKey;
        // The window stopped being the active one: key releases may go elsewhere.
        std::function<void()> focusLost;
        // The player closed the window (title-bar button, Ctrl+W or Ctrl+Q).
        std::function<void()> closed;
        // The clock jolts are timed on (the RunLoop's).
        std::function<double()> now;

        // Native widgets (web pages) sit over the drawing; what is drawn above them goes
        // into a transparent layer over them, drawn like `draw` while it is shown.
        std::function<void(cairo_t*, double pixelScale)> drawAbove;
        // Whether a press at this content point goes to our views although a native widget
        // lies under it (a view drawn above the page there takes it).
        std::function<bool(double x, double y)> takesPressAbove;
        // At the start of every frame, before layout: native widgets are placed here.
        std::function<void()> beforeFrame;
    };

    // `application` (a GtkApplication*, may be null) is the one the window belongs to.
    GameWindow(const std::string& title, double contentWidth, double contentHeight, Hooks hooks,
               void* application = nullptr);
    ~GameWindow() override;
    GameWindow(const GameWindow&) = delete;
    GameWindow& operator=(const GameWindow&) = delete;

    void present();
    // Something changed: draw one frame soon.
    void invalidate();
    // Keep drawing every frame until animating() says no more.
    void startFrames() override;
    // The visible stand-in for a vibration.
    void jolt();

    // Frames drawn so far.
    unsigned long frames() const { return m_frames; }
    // Device pixels per logical pixel of the monitor the window is on.
    int deviceScale() const;
    Viewport viewport() const override;
    bool isOpen() const { return m_window != nullptr; }

    // Native widgets stacked between the drawing and the layer above it (GtkWidget*); the
    // GtkOverlay that holds them places them.
    void addNativeWidget(void* widget) override;
    void removeNativeWidget(void* widget) override;
    void* overlay() const override { return m_overlay; }
    void setAboveLayerShown(bool shown);
    // The content as GTK shows it now, native widgets included, at the window's pixels per
    // point; null before the window has a size.
    std::shared_ptr<Image> snapshotShownContent() const;

    struct Impl;

private:
    friend struct Impl;
    Hooks m_hooks;
    double m_contentWidth;
    double m_contentHeight;
    void* m_window{nullptr};  // GtkWindow
    void* m_area{nullptr};    // GtkDrawingArea
    void* m_overlay{nullptr}; // GtkOverlay: the area, native widgets, the layer above
    void* m_above{nullptr};   // GtkDrawingArea over the native widgets
    bool m_pressAbove{false}; // the press in progress was taken over a native widget
    unsigned m_tick{0};
    bool m_pressed{false};
    double m_dragStartX{0};
    double m_dragStartY{0};
    unsigned long m_frames{0};
    Jolt m_jolt;
};

} // namespace platform::gtk
