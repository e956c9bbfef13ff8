#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend/gtk/NativeWidgetHost.h"
#include "platform/backend/gtk/Viewport.h"
#include "platform/device/WebEngine.h"

namespace platform {
class Timer;
class WebEngine;
} // namespace platform

namespace platform::gtk {

// A page the stack shows over the window, in a widget of its own (the WebKit engine's
// pages are; the stack needs no more of them than this).
class StackedPage {
public:
    // The widget's place in the overlay, in logical pixels.
    struct Allocation {
        int x{0}, y{0}, width{0}, height{0};
        bool operator==(const Allocation&) const = default;
    };

    virtual ~StackedPage() = default;
    virtual void* widget() const = 0; // GtkWidget*, null once dropped
    // Where the page goes now, in content points; nullopt when it is not shown.
    virtual std::optional<WebPlacement> placement(double now) const = 0;
    virtual const Allocation& allocation() const = 0;
    // Sets the widget's allocation, zoom and opacity; returns whether the allocation changed.
    virtual bool show(const Allocation& allocation, double zoom, double opacity) = 0;
    virtual void hide() = 0;
    virtual bool isShown() const = 0;
    // The window is going: the page goes with it, and nothing more is loaded.
    virtual void drop() = 0;
};

// The WebKit pages of the window: makes their engines (the desktop's Services::webEngine),
// shows their widgets over the game's drawing, and places each one every frame at its web
// view's rectangle, scaled like the drawing, with the view's effective opacity.
class WebViewStack final : public std::enable_shared_from_this<WebViewStack> {
public:
    // Prepares WebKit for this process: cairo drawing, and the sandbox only where bubblewrap
    // can make its namespaces. Call before any thread starts (it may set the environment).
    static std::shared_ptr<WebViewStack> create();
    ~WebViewStack();

    std::shared_ptr<WebEngine> makeEngine();

    // Shows the pages in `host` (the game's window, a banner's landing stage) from now on.
    // With nullptr (before the host goes) every page is dropped: their engines load nothing
    // more.
    void attach(NativeWidgetHost* host);
    NativeWidgetHost* window() const { return m_window; }

    // Places every page for the frame at `now`. Returns whether any page is shown.
    bool place(double now);
    bool anyShown() const;
    // Whether a shown page covers this point of the content (points).
    bool coversPoint(double x, double y) const;

    // What the sandbox check found (for the start-up messages).
    const std::string& sandboxNote() const { return m_sandboxNote; }

    // -- for the engines
    void add(StackedPage& page);
    void remove(StackedPage& page);

private:
    WebViewStack() = default;
    static int childPosition(void* overlay, void* widget, void* allocation, void* data);

    NativeWidgetHost* m_window{nullptr};
    static constexpr double kTrimDelaySeconds = 1;
    std::shared_ptr<Timer> m_trimTimer;
    unsigned long m_positionHandler{0};
    std::vector<StackedPage*> m_engines;
    std::string m_sandboxNote;
};

} // namespace platform::gtk
