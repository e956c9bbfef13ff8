#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/RunLoop.h"

typedef struct _cairo cairo_t;

namespace platform {

class Image;
class View;
class Window;

// Draws a window's view tree with cairo at any scale, as it looks at the main run loop's
// current time (running animations interpolated). It knows when the window needs drawing
// again, so a host draws only then: an idle window costs nothing.
class Compositor final {
public:
    explicit Compositor(std::shared_ptr<Window> window);
    ~Compositor();
    Compositor(const Compositor&) = delete;
    Compositor& operator=(const Compositor&) = delete;

    const std::shared_ptr<Window>& window() const { return m_window; }

    // Where a native widget shows a view's content (a web page), the window is drawn in
    // two layers around it: what is painted before the first such view, on the opaque
    // background, and what is painted after it, on transparency. `All` is both in one, with
    // every view drawing its own stand-in.
    enum class Pass { All, BelowNative, AboveNative };

    // Draws the window into `cr`, whose user space must be device pixels; `scale` is
    // device pixels per point. Counts a frame (the below pass and `All` do).
    void render(cairo_t* cr, double scale, Pass pass = Pass::All);
    // Draws into a new image of the window's size at `scale`. Counts a frame.
    std::shared_ptr<Image> renderImage(double scale);

    // Whether a shown view with native content is in the window now.
    bool hasNativeContent() const;
    // Whether `view` is painted after (so above) some shown native content: it belongs to
    // the layer over the native widgets and takes the touches there.
    static bool isAboveNativeContent(const View& view);

    // Something changed since the last frame.
    bool needsDisplay() const;
    // An animation in the window runs now (frames are due until it ends).
    bool isAnimating() const;
    bool needsFrame() const { return needsDisplay() || isAnimating(); }
    // Called when the window goes from clean to needing a frame. The host schedules a
    // frame then; while isAnimating() it keeps drawing frames.
    void setNeedsDisplayHandler(std::function<void()> handler);

    // Whether render() first paints the screen behind the window black (the default: the
    // window is the whole picture). A window drawn over a host's own widgets (an ad banner
    // in another application) leaves them showing where it draws nothing.
    void setPaintsScreen(bool paints) { m_paintsScreen = paints; }

    std::uint64_t frameCount() const { return m_frames; }

private:
    void drawFocusRing(cairo_t* cr, double scale, Pass pass);

    std::shared_ptr<Window> m_window;
    std::function<void()> m_onNeedsDisplay;
    std::uint64_t m_frames{0};
    bool m_paintsScreen{true};
};

// A frame clock on the run loop for hosts without one of their own (headless runs,
// tests): draws a frame at most `framesPerSecond` times a second, and only while the
// compositor needs frames.
class FrameDriver final {
public:
    FrameDriver(Compositor& compositor, std::function<void()> drawFrame, double framesPerSecond = 60.0,
                RunLoop& loop = RunLoop::main());
    ~FrameDriver();
    FrameDriver(const FrameDriver&) = delete;
    FrameDriver& operator=(const FrameDriver&) = delete;

    std::uint64_t framesDrawn() const { return m_frames; }
    // Schedules a frame if one is needed and none is pending.
    void schedule();

private:
    void tick();

    Compositor& m_compositor;
    std::function<void()> m_draw;
    double m_interval;
    std::weak_ptr<RunLoop> m_loop;
    RunLoop::EventId m_pending{0};
    double m_lastFrame{-1e300};
    std::uint64_t m_frames{0};
};

} // namespace platform
