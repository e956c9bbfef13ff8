#include "platform/ui/View.h"

#include <algorithm>

#include "platform/ui/AnimationInternal.h"
#include "platform/ui/Layer.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

Rect standardized(const Rect& r)
{
    return {r.minX(), r.minY(), r.maxX() - r.minX(), r.maxY() - r.minY()};
}

// A new value for an animatable property: inside an open block the change animates from
// what is shown now; outside, any running animation of it is dropped.
template <class T>
void retarget(View& view, std::shared_ptr<detail::PropertyAnimation<T>>& slot, const T& shown, double now)
{
    if (slot && now < slot->transaction->endTime())
        slot->transaction->interrupted = true;
    slot.reset();
    auto transaction = detail::openTransaction();
    if (!transaction || !transaction->enabled)
        return;
    slot = std::make_shared<detail::PropertyAnimation<T>>();
    slot->transaction = transaction;
    slot->from = shown;
    transaction->touch(view);
}

Point lerpPoint(Point a, Point b, double t)
{
    return {Float(a.x + (b.x - a.x) * t), Float(a.y + (b.y - a.y) * t)};
}

Rect lerpRect(const Rect& a, const Rect& b, double t)
{
    return {Float(a.x() + (b.x() - a.x()) * t), Float(a.y() + (b.y() - a.y()) * t),
            Float(a.width() + (b.width() - a.width()) * t), Float(a.height() + (b.height() - a.height()) * t)};
}

} // namespace

std::shared_ptr<View> View::create(const Rect& frame)
{
    return std::shared_ptr<View>(new View(frame));
}

View::View(const Rect& frame)
{
    Rect f = standardized(frame);
    m_center = {f.x() + f.width() / 2, f.y() + f.height() / 2};
    m_bounds = {0, 0, f.width(), f.height()};
}

View::~View()
{
    for (auto& child : m_subviews) {
        child->m_superview.reset();
        child->setWindowRecursively(nullptr);
    }
}

// ---- geometry ---------------------------------------------------------------------------

Rect View::frame() const
{
    return {m_center.x - m_bounds.width() / 2, m_center.y - m_bounds.height() / 2, m_bounds.width(), m_bounds.height()};
}

void View::setFrame(const Rect& frame)
{
    Rect f = standardized(frame);
    Point center{f.x() + f.width() / 2, f.y() + f.height() / 2};
    Rect bounds{m_bounds.origin, f.size};
    if (center == m_center && bounds == m_bounds)
        return;
    double now = detail::animationClockNow();
    if (center != m_center)
        retarget(*this, m_centerAnimation, presentationCenter(now), now);
    if (bounds != m_bounds)
        retarget(*this, m_boundsAnimation, presentationBounds(now), now);
    const bool resized = bounds.size != m_bounds.size;
    m_center = center;
    m_bounds = bounds;
    notify(ViewChange::Frame);
    if (resized)
        boundsSizeDidChange();
}

void View::setCenter(Point center)
{
    if (center == m_center)
        return;
    double now = detail::animationClockNow();
    retarget(*this, m_centerAnimation, presentationCenter(now), now);
    m_center = center;
    notify(ViewChange::Frame);
}

void View::setBounds(const Rect& bounds)
{
    Rect b = standardized(bounds);
    if (b == m_bounds)
        return;
    double now = detail::animationClockNow();
    retarget(*this, m_boundsAnimation, presentationBounds(now), now);
    const bool resized = b.size != m_bounds.size;
    m_bounds = b;
    notify(ViewChange::Frame);
    if (resized)
        boundsSizeDidChange();
}

// ---- appearance -------------------------------------------------------------------------

void View::setAlpha(Float alpha)
{
    alpha = std::clamp<Float>(alpha, 0, 1);
    if (alpha == m_alpha)
        return;
    double now = detail::animationClockNow();
    retarget(*this, m_alphaAnimation, presentationAlpha(now), now);
    m_alpha = alpha;
    notify(ViewChange::Alpha);
}

void View::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    notify(ViewChange::Hidden);
}

void View::setBackgroundColor(std::optional<Color> color)
{
    if (color == m_background)
        return;
    double now = detail::animationClockNow();
    retarget(*this, m_backgroundAnimation, presentationBackgroundColor(now).value_or(Color::clear()), now);
    m_background = color;
    notify(ViewChange::BackgroundColor);
}

void View::setOpaque(bool opaque)
{
    m_opaque = opaque;
}

void View::setClipsToBounds(bool clips)
{
    if (clips == m_clips)
        return;
    m_clips = clips;
    notify(ViewChange::Content);
}

// ---- tree -------------------------------------------------------------------------------

void View::addSubview(std::shared_ptr<View> view)
{
    insertSubview(std::move(view), m_subviews.size());
}

void View::insertSubview(std::shared_ptr<View> view, std::size_t index)
{
    // A view cannot hold itself or one of its ancestors.
    if (!view || view.get() == this || isDescendantOf(*view))
        return;
    attach(std::move(view), index);
}

void View::attach(std::shared_ptr<View> view, std::size_t index)
{
    auto old = view->superview();
    if (old.get() == this) {
        auto it = std::find(m_subviews.begin(), m_subviews.end(), view);
        std::size_t at = std::size_t(it - m_subviews.begin());
        m_subviews.erase(it);
        if (index > at)
            --index;
        m_subviews.insert(m_subviews.begin() + std::ptrdiff_t(std::min(index, m_subviews.size())), view);
        notify(ViewChange::Subviews);
        return;
    }
    if (old) {
        old->detachChild(*view);
        old->notify(ViewChange::Subviews);
    }
    m_subviews.insert(m_subviews.begin() + std::ptrdiff_t(std::min(index, m_subviews.size())), view);
    view->m_superview = weakAs<View>();
    view->setWindowRecursively(m_window);
    view->didMoveToSuperview();
    notify(ViewChange::Subviews);
}

void View::detachChild(const View& child)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](const auto& v) { return v.get() == &child; });
    if (it != m_subviews.end())
        m_subviews.erase(it);
}

void View::bringSubviewToFront(const View& view)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](const auto& v) { return v.get() == &view; });
    if (it == m_subviews.end() || it + 1 == m_subviews.end())
        return;
    auto keep = *it;
    m_subviews.erase(it);
    m_subviews.push_back(std::move(keep));
    notify(ViewChange::Subviews);
}

void View::sendSubviewToBack(const View& view)
{
    auto it = std::find_if(m_subviews.begin(), m_subviews.end(), [&](const auto& v) { return v.get() == &view; });
    if (it == m_subviews.end() || it == m_subviews.begin())
        return;
    auto keep = *it;
    m_subviews.erase(it);
    m_subviews.insert(m_subviews.begin(), std::move(keep));
    notify(ViewChange::Subviews);
}

void View::removeFromSuperview()
{
    auto parent = superview();
    if (!parent)
        return;
    auto keep = shared_from_this(); // the parent may hold the last reference
    parent->detachChild(*this);
    m_superview.reset();
    // The parent redraws while this view still knows its window.
    parent->notify(ViewChange::Subviews);
    setWindowRecursively(nullptr);
    didMoveToSuperview();
}

void View::setWindowRecursively(Window* window)
{
    if (m_window == window)
        return;
    m_window = window;
    for (auto& child : m_subviews)
        child->setWindowRecursively(window);
    didMoveToWindow();
}

bool View::isDescendantOf(const View& view) const
{
    for (const View* v = this; v; v = v->m_superview.lock().get())
        if (v == &view)
            return true;
    return false;
}

std::shared_ptr<View> View::viewWithTag(int tag)
{
    if (m_tag == tag)
        return sharedAs<View>();
    for (auto& child : m_subviews)
        if (auto found = child->viewWithTag(tag))
            return found;
    return nullptr;
}

// ---- coordinates ------------------------------------------------------------------------

Point View::originInSuperview() const
{
    return {m_center.x - m_bounds.width() / 2 - m_bounds.x(), m_center.y - m_bounds.height() / 2 - m_bounds.y()};
}

Point View::toWindow(Point p) const
{
    const View* v = this;
    for (auto parent = v->superview(); parent; parent = v->superview()) {
        Point o = v->originInSuperview();
        p = {p.x + o.x, p.y + o.y};
        v = parent.get();
    }
    return p;
}

Point View::fromWindow(Point p) const
{
    std::vector<const View*> chain;
    for (const View* v = this; v;) {
        auto parent = v->superview();
        if (!parent)
            break;
        chain.push_back(v);
        v = parent.get();
    }
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        Point o = (*it)->originInSuperview();
        p = {p.x - o.x, p.y - o.y};
    }
    return p;
}

Point View::convertPointToView(Point point, const View* view) const
{
    Point w = toWindow(point);
    return view ? view->fromWindow(w) : w;
}

Point View::convertPointFromView(Point point, const View* view) const
{
    Point w = view ? view->toWindow(point) : point;
    return fromWindow(w);
}

Rect View::convertRectToView(const Rect& rect, const View* view) const
{
    Point a = convertPointToView({rect.minX(), rect.minY()}, view);
    Point b = convertPointToView({rect.maxX(), rect.maxY()}, view);
    return standardized({a.x, a.y, b.x - a.x, b.y - a.y});
}

Rect View::convertRectFromView(const Rect& rect, const View* view) const
{
    Point a = convertPointFromView({rect.minX(), rect.minY()}, view);
    Point b = convertPointFromView({rect.maxX(), rect.maxY()}, view);
    return standardized({a.x, a.y, b.x - a.x, b.y - a.y});
}

// ---- accessibility ----------------------------------------------------------------------

void View::setAccessibility(Accessibility accessibility)
{
    if (accessibility == m_accessibility)
        return;
    m_accessibility = std::move(accessibility);
    notify(ViewChange::Accessibility);
}

bool View::isEffectivelyVisible() const
{
    for (const View* v = this; v; v = v->m_superview.lock().get())
        if (v->m_hidden || v->m_alpha < 0.01f)
            return false;
    return m_window != nullptr;
}

// ---- drawing ----------------------------------------------------------------------------

void View::draw(Canvas&, const Rect&)
{
}

void View::setNeedsDisplay()
{
    if (m_window)
        m_window->invalidate();
}

std::shared_ptr<Layer> View::layer()
{
    if (!m_layer) {
        m_layer = Layer::create();
        m_layer->m_hostView = weakAs<View>();
    }
    return m_layer;
}

// ---- touches ----------------------------------------------------------------------------

std::shared_ptr<View> View::hitTest(Point point)
{
    if (m_hidden || !m_interaction || m_alpha < 0.01f || !acceptsTouches())
        return nullptr;
    if (!pointInside(point))
        return nullptr;
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it) {
        const auto& child = *it;
        Point o = child->originInSuperview();
        if (auto hit = child->hitTest({point.x - o.x, point.y - o.y}))
            return hit;
    }
    return sharedAs<View>();
}

bool View::pointInside(Point point) const
{
    return m_bounds.contains(point);
}

Responder* View::nextResponder() const
{
    if (auto controller = m_controller.lock())
        return controller.get();
    return m_superview.lock().get();
}

// ---- observers --------------------------------------------------------------------------

int View::addObserver(Observer observer)
{
    int token = m_nextObserver++;
    // Spare room means notify() can call observers in place, without copying them.
    if (m_observers.size() + 2 > m_observers.capacity())
        m_observers.reserve(m_observers.size() * 2 + 2);
    m_observers.push_back({token, std::move(observer)});
    return token;
}

void View::removeObserver(int token)
{
    for (auto& entry : m_observers)
        if (entry.token == token) {
            // Never destroy an observer that may be running; sweep after notifying.
            entry.token = 0;
            if (!m_notifying)
                std::erase_if(m_observers, [](const auto& e) { return e.token == 0; });
            return;
        }
}

void View::notify(ViewChange change)
{
    if (!m_observers.empty()) {
        ++m_notifying;
        // By index and count: observers added while notifying wait for the next change.
        const std::size_t count = m_observers.size();
        for (std::size_t i = 0; i < count && i < m_observers.size(); ++i) {
            if (m_observers[i].token == 0)
                continue;
            // A copy only when an observer may add others (which could move the vector).
            auto& observer = m_observers[i].observer;
            if (m_observers.capacity() > m_observers.size())
                observer(*this, change);
            else {
                auto copy = observer;
                copy(*this, change);
            }
        }
        if (--m_notifying == 0)
            std::erase_if(m_observers, [](const auto& e) { return e.token == 0; });
    }
    setNeedsDisplay();
}

// ---- presentation -----------------------------------------------------------------------

Point View::presentationCenter(double now) const
{
    return detail::presentValue(m_centerAnimation, m_center, now, lerpPoint);
}

Rect View::presentationBounds(double now) const
{
    return detail::presentValue(m_boundsAnimation, m_bounds, now, lerpRect);
}

Float View::presentationAlpha(double now) const
{
    return detail::presentValue(m_alphaAnimation, m_alpha, now,
                                [](Float a, Float b, double t) { return Float(a + (b - a) * t); });
}

std::optional<Color> View::presentationBackgroundColor(double now) const
{
    if (!m_backgroundAnimation || now >= m_backgroundAnimation->transaction->endTime())
        return m_background;
    return detail::presentValue(m_backgroundAnimation, m_background.value_or(Color::clear()), now,
                                [](const Color& a, const Color& b, double t) { return Color::lerp(a, b, float(t)); });
}

const detail::TransitionState* View::activeTransition(double now) const
{
    if (!m_transition || now >= m_transition->transaction->endTime())
        return nullptr;
    return m_transition.get();
}

bool View::hasRunningAnimations(double now) const
{
    auto running = [now](const auto& slot) { return slot && now < slot->transaction->endTime(); };
    return running(m_centerAnimation) || running(m_boundsAnimation) || running(m_alphaAnimation) ||
           running(m_backgroundAnimation) || running(m_transition) || animatesContinuously();
}

void View::finishAnimations(const detail::Transaction& transaction)
{
    auto clear = [&](auto& slot) {
        if (slot && slot->transaction.get() == &transaction)
            slot.reset();
    };
    clear(m_centerAnimation);
    clear(m_boundsAnimation);
    clear(m_alphaAnimation);
    clear(m_backgroundAnimation);
    clear(m_transition);
    // The last frame shows the final values.
    setNeedsDisplay();
}

void View::setTransition(std::shared_ptr<detail::TransitionState> transition)
{
    if (m_transition && m_transition->transaction != transition->transaction)
        m_transition->transaction->interrupted = true;
    m_transition = std::move(transition);
    setNeedsDisplay();
}

} // namespace platform
