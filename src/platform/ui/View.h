#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "platform/core/Color.h"
#include "platform/core/Geometry.h"
#include "platform/ui/Accessibility.h"
#include "platform/ui/Touch.h"

namespace platform {

class Canvas;
class Layer;
class ViewController;
class Window;

namespace detail {
struct Transaction;
template <class T> struct PropertyAnimation;
struct TransitionState;
} // namespace detail

// What changed on a view, for observers (event logs, the compositor).
enum class ViewChange : std::uint16_t {
    Frame = 1, // centre or bounds (the frame follows from both)
    Alpha = 2,
    Hidden = 4,
    BackgroundColor = 8,
    Content = 16, // drawing, image, layers
    Subviews = 32,
    State = 64, // control state: enabled, highlighted
    Accessibility = 128,
};

enum AutoresizingMask : unsigned {
    AutoresizingNone = 0,
    FlexibleLeftMargin = 1,
    FlexibleWidth = 2,
    FlexibleRightMargin = 4,
    FlexibleTopMargin = 8,
    FlexibleHeight = 16,
    FlexibleBottomMargin = 32,
};

// A rectangle of the screen with model values and subviews. Values change at once; a
// change inside a ViewAnimation block is drawn as an animation. Main thread only.
//
// Geometry follows the phone platform: `center` (in the superview's coordinates) and
// `bounds` (the view's own coordinate space) are stored; the frame is derived from them.
class View : public Responder {
public:
    static std::shared_ptr<View> create(const Rect& frame = {});
    ~View() override;

    // -- geometry
    Rect frame() const;
    void setFrame(const Rect& frame);
    Point center() const { return m_center; }
    void setCenter(Point center);
    Rect bounds() const { return m_bounds; }
    void setBounds(const Rect& bounds);

    // -- appearance
    Float alpha() const { return m_alpha; }
    void setAlpha(Float alpha);
    bool isHidden() const { return m_hidden; }
    void setHidden(bool hidden);
    std::optional<Color> backgroundColor() const { return m_background; }
    void setBackgroundColor(std::optional<Color> color);
    bool isOpaque() const { return m_opaque; }
    void setOpaque(bool opaque);
    bool clipsToBounds() const { return m_clips; }
    void setClipsToBounds(bool clips);
    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }
    unsigned autoresizingMask() const { return m_autoresizing; }
    void setAutoresizingMask(unsigned mask) { m_autoresizing = mask; }
    bool isUserInteractionEnabled() const { return m_interaction; }
    void setUserInteractionEnabled(bool enabled) { m_interaction = enabled; }

    // -- tree
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    std::shared_ptr<View> superview() const { return m_superview.lock(); }
    // The window the view is in, if any.
    Window* window() const { return m_window; }
    // Adds on top; a view already elsewhere is moved here.
    void addSubview(std::shared_ptr<View> view);
    void insertSubview(std::shared_ptr<View> view, std::size_t index);
    void bringSubviewToFront(const View& view);
    void sendSubviewToBack(const View& view);
    void removeFromSuperview();
    bool isDescendantOf(const View& view) const;
    // This view or the first descendant (depth first, in subview order) with the tag.
    std::shared_ptr<View> viewWithTag(int tag);

    // Coordinate conversion. A null view means the window's coordinates.
    Point convertPointToView(Point point, const View* view) const;
    Point convertPointFromView(Point point, const View* view) const;
    Rect convertRectToView(const Rect& rect, const View* view) const;
    Rect convertRectFromView(const Rect& rect, const View* view) const;

    // -- drawing
    // Draws the view's own content in its bounds coordinates, above the background
    // colour and under layers and subviews. Called whenever the compositor draws.
    virtual void draw(Canvas& canvas, const Rect& dirty);
    // Asks for a redraw of the window the view is in.
    void setNeedsDisplay();
    // The view's own layer: its sublayers are drawn over draw(), under subviews.
    std::shared_ptr<Layer> layer();
    bool hasLayer() const { return m_layer != nullptr; }

    // -- touches
    // The deepest view at `point` (in this view's coordinates) that takes touches: not
    // hidden, alpha at least 0.01, user interaction on, acceptsTouches(), point inside.
    virtual std::shared_ptr<View> hitTest(Point point);
    virtual bool pointInside(Point point) const;
    // Controls refuse touches while disabled.
    virtual bool acceptsTouches() const { return true; }
    Responder* nextResponder() const override;

    // -- change observers: called after every change of a model value, at once (also
    // inside animation blocks). Cheap when none is set.
    using Observer = std::function<void(View&, ViewChange)>;
    int addObserver(Observer observer);
    void removeObserver(int token);

    // -- what the compositor draws at loop time `now`
    Point presentationCenter(double now) const;
    Rect presentationBounds(double now) const;
    Float presentationAlpha(double now) const;
    std::optional<Color> presentationBackgroundColor(double now) const;
    const detail::TransitionState* activeTransition(double now) const;
    // Whether anything of this view (not its subviews) is drawn differently as time
    // passes: a running animation or transition, or animatesContinuously().
    bool hasRunningAnimations(double now) const;
    // Views that move on their own (a spinner) answer true while they do.
    virtual bool animatesContinuously() const { return false; }
    // A view whose content a native widget of the backend shows (a web page): the
    // compositor leaves its own content to the widget and draws what lies above it in
    // a layer of its own.
    virtual bool showsNativeContent() const { return false; }

    // -- accessibility. Controls answer from their own state (a button's title) until a
    // description is set.
    virtual Accessibility accessibility() const { return m_accessibility; }
    void setAccessibility(Accessibility accessibility);
    // Shown to the user: neither it nor a superview hidden or faded out.
    bool isEffectivelyVisible() const;
    // Escape was pressed: a view that closes on it (an alert, a landing screen) does so and
    // answers true. Asked of the frontmost views first.
    virtual bool handleEscape() { return false; }

    // Called by the tree when the view enters or leaves a window or superview.
    virtual void didMoveToWindow() { }
    virtual void didMoveToSuperview() { }
    // Called after the bounds size changed (by frame or bounds), so a view that arranges
    // its subviews can do it again.
    virtual void boundsSizeDidChange() { }

protected:
    explicit View(const Rect& frame = {});
    void notify(ViewChange change);

private:
    friend class Window;
    friend class ViewController;
    friend class ViewAnimation;
    friend struct detail::Transaction;

    void attach(std::shared_ptr<View> view, std::size_t index);
    void detachChild(const View& child);
    void setWindowRecursively(Window* window);
    void finishAnimations(const detail::Transaction& transaction);
    void setTransition(std::shared_ptr<detail::TransitionState> transition);
    // Offset of this view's bounds origin in its superview's coordinates.
    Point originInSuperview() const;
    Point toWindow(Point p) const;
    Point fromWindow(Point p) const;

    Point m_center;
    Rect m_bounds;
    Float m_alpha{1};
    bool m_hidden{false};
    std::optional<Color> m_background;
    bool m_opaque{true};
    bool m_clips{false};
    int m_tag{0};
    unsigned m_autoresizing{0};
    bool m_interaction{true};
    Accessibility m_accessibility;

    std::vector<std::shared_ptr<View>> m_subviews;
    std::weak_ptr<View> m_superview;
    Window* m_window{nullptr};
    std::weak_ptr<ViewController> m_controller;
    std::shared_ptr<Layer> m_layer;

    std::shared_ptr<detail::PropertyAnimation<Point>> m_centerAnimation;
    std::shared_ptr<detail::PropertyAnimation<Rect>> m_boundsAnimation;
    std::shared_ptr<detail::PropertyAnimation<Float>> m_alphaAnimation;
    std::shared_ptr<detail::PropertyAnimation<Color>> m_backgroundAnimation;
    std::shared_ptr<detail::TransitionState> m_transition;

    struct ObserverEntry {
        int token;
        Observer observer;
    };
    std::vector<ObserverEntry> m_observers;
    int m_nextObserver{1};
    int m_notifying{0};
};

} // namespace platform
