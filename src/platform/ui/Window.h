#pragma once

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class ViewController;

// The screen the application draws on: its size in points and its pixel scale. The
// backend sets it before launch (the headless runner from its options, the GTK backend
// from the monitor).
class Screen final {
public:
    static Screen& main();

    Rect bounds() const { return m_bounds; }
    void setBounds(const Rect& bounds)
    {
        m_bounds = bounds;
        m_applicationFrame = bounds;
    }
    // The area an application may use (the whole screen here: there is no status bar).
    Rect applicationFrame() const { return m_applicationFrame; }
    void setApplicationFrame(const Rect& frame) { m_applicationFrame = frame; }
    double scale() const { return m_scale; }
    void setScale(double scale) { m_scale = scale > 0 ? scale : 1.0; }

private:
    Screen() = default;
    Rect m_bounds{0, 0, 320, 480};
    Rect m_applicationFrame{0, 0, 320, 480};
    double m_scale{1.0};
};

// The root of a view tree on the screen. It turns the host's pointer input into touches
// and tells the host (through the invalidation handler) when it needs drawing again.
// Window coordinates are the window's own bounds coordinates.
class Window : public View {
public:
    static std::shared_ptr<Window> create(const Rect& frame = Screen::main().bounds());

    void makeKeyAndVisible();
    bool isKeyWindow() const;
    bool isVisible() const { return m_visible; }

    // Adds the controller's view to the window when set.
    std::shared_ptr<ViewController> rootViewController() const { return m_rootController; }
    void setRootViewController(std::shared_ptr<ViewController> controller);

    // -- display
    // Whether something changed since the last clearNeedsDisplay().
    bool needsDisplay() const { return m_needsDisplay; }
    void clearNeedsDisplay() { m_needsDisplay = false; }
    // Called when the window goes from clean to needing display (not on every change).
    // One handler at a time; `owner` lets its setter clear it later without clearing a
    // handler someone else has set since.
    void setInvalidationHandler(std::function<void()> handler, const void* owner = nullptr)
    {
        m_onInvalidate = std::move(handler);
        m_invalidationOwner = owner;
    }
    void clearInvalidationHandler(const void* owner)
    {
        if (owner == m_invalidationOwner) {
            m_onInvalidate = nullptr;
            m_invalidationOwner = nullptr;
        }
    }

    // -- input from the host, in window coordinates. A touch that begins where no view
    // takes touches is ignored to its end.
    void touchBegan(Touch::Id id, Point location);
    void touchMoved(Touch::Id id, Point location);
    void touchEnded(Touch::Id id, Point location);
    void touchCancelled(Touch::Id id);
    void cancelAllTouches();
    std::size_t activeTouchCount() const { return m_touches.size(); }

    // -- keyboard focus. The chain is the actionable views the keyboard reaches now, in
    // reading order (top to bottom, then left to right): shown, enabled, and inside the
    // frontmost modal view when one is shown.
    std::vector<std::shared_ptr<View>> focusChain() const;
    std::shared_ptr<View> focusedView() const { return m_focused.lock(); }
    // Whether the focus ring is drawn: after keyboard use, until the next pointer touch.
    bool isFocusVisible() const { return m_focusVisible && focusedView() != nullptr; }
    // Tab / Shift+Tab: the next or previous view of the chain, wrapping around.
    void moveFocus(bool backward);
    // Enter: a tap at the focused view's centre, so its ordinary touch handling runs. False
    // when nothing is focused.
    bool activateFocus();
    // Escape: the frontmost shown view that takes it closes. False when none did.
    bool escape();
    // Keeps the focus sound after the tree changed: into a modal view that appeared, back to
    // where it was when that view goes, off views that hid or were disabled. The backend
    // calls it before each frame.
    void updateFocus();
    // The frontmost shown view marked modal, or none.
    std::shared_ptr<View> modalScope() const;

protected:
    explicit Window(const Rect& frame);

private:
    friend class View;
    void invalidate();
    TouchEvent eventFor(double timestamp) const;
    enum class Delivery { Began, Moved, Ended, Cancelled };
    void deliver(const std::shared_ptr<Touch>& touch, Delivery delivery);

    bool m_needsDisplay{true};
    bool m_visible{false};
    std::function<void()> m_onInvalidate;
    const void* m_invalidationOwner{nullptr};
    std::shared_ptr<ViewController> m_rootController;
    std::map<Touch::Id, std::shared_ptr<Touch>> m_touches;

    void setFocus(const std::shared_ptr<View>& view);
    std::weak_ptr<View> m_focused;
    std::weak_ptr<View> m_scope; // the modal view focus stays in; none: the whole window
    struct SavedFocus {
        std::weak_ptr<View> scope;
        std::weak_ptr<View> focused;
        bool modal; // the scope was a modal view, not the whole window
    };
    std::vector<SavedFocus> m_savedFocus; // one per modal view entered
    bool m_scopeActive{false};            // m_scope was a modal view (which may since have gone)
    bool m_focusVisible{false};
    bool m_synthesizing{false};
    Touch::Id m_nextKeyTouch{1u << 30};
};

} // namespace platform
