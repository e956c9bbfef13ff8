#include "platform/ui/Window.h"

#include <algorithm>
#include <cmath>

#include "platform/core/RunLoop.h"
#include "platform/device/Accelerometer.h"
#include "platform/ui/Application.h"
#include "platform/ui/ViewController.h"

namespace platform {

Screen& Screen::main()
{
    static Screen screen;
    return screen;
}

std::shared_ptr<Window> Window::create(const Rect& frame)
{
    return std::shared_ptr<Window>(new Window(frame));
}

Window::Window(const Rect& frame) : View(frame)
{
    m_window = this;
}

void Window::makeKeyAndVisible()
{
    m_visible = true;
    Application::shared().setKeyWindow(sharedAs<Window>());
    invalidate();
}

bool Window::isKeyWindow() const
{
    return Application::shared().keyWindow().get() == this;
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller)
{
    if (controller == m_rootController)
        return;
    if (m_rootController && m_rootController->isViewLoaded())
        m_rootController->view()->removeFromSuperview();
    m_rootController = std::move(controller);
    if (m_rootController)
        addSubview(m_rootController->view());
}

void Window::invalidate()
{
    if (m_needsDisplay)
        return;
    m_needsDisplay = true;
    if (m_onInvalidate)
        m_onInvalidate();
}

TouchEvent Window::eventFor(double timestamp) const
{
    TouchEvent event;
    event.timestamp = timestamp;
    for (const auto& [id, touch] : m_touches)
        event.allTouches.touches.push_back(touch);
    return event;
}

void Window::deliver(const std::shared_ptr<Touch>& touch, Delivery delivery)
{
    auto view = touch->view();
    if (!view)
        return;
    TouchSet set{{touch}};
    TouchEvent event = eventFor(touch->m_timestamp);
    // The touch's view may drop the window's last reference to it while handling this.
    auto keepWindow = sharedAs<Window>();
    switch (delivery) {
    case Delivery::Began:
        view->touchesBegan(set, event);
        break;
    case Delivery::Moved:
        view->touchesMoved(set, event);
        break;
    case Delivery::Ended:
        view->touchesEnded(set, event);
        break;
    case Delivery::Cancelled:
        view->touchesCancelled(set, event);
        break;
    }
}

void Window::touchBegan(Touch::Id id, Point location)
{
    if (m_touches.count(id))
        touchCancelled(id); // the host lost an end: never let two touches share an id
    Accelerometer::shared().userActivity();
    if (!m_synthesizing && m_focusVisible) {
        m_focusVisible = false; // the pointer is in use: no ring until the keyboard is again
        invalidate();
    }
    auto touch = std::make_shared<Touch>();
    touch->m_id = id;
    touch->m_phase = TouchPhase::Began;
    touch->m_timestamp = RunLoop::main().now();
    touch->m_location = touch->m_previous = location;
    touch->m_window = sharedAs<Window>();
    touch->m_view = hitTest(location);
    m_touches[id] = touch;
    deliver(touch, Delivery::Began);
}

void Window::touchMoved(Touch::Id id, Point location)
{
    auto it = m_touches.find(id);
    if (it == m_touches.end())
        return;
    auto touch = it->second;
    touch->m_previous = touch->m_location;
    touch->m_location = location;
    touch->m_timestamp = RunLoop::main().now();
    touch->m_phase = TouchPhase::Moved;
    deliver(touch, Delivery::Moved);
}

void Window::touchEnded(Touch::Id id, Point location)
{
    auto it = m_touches.find(id);
    if (it == m_touches.end())
        return;
    auto touch = it->second;
    touch->m_previous = touch->m_location;
    touch->m_location = location;
    touch->m_timestamp = RunLoop::main().now();
    touch->m_phase = TouchPhase::Ended;
    deliver(touch, Delivery::Ended);
    m_touches.erase(id);
}

void Window::touchCancelled(Touch::Id id)
{
    auto it = m_touches.find(id);
    if (it == m_touches.end())
        return;
    auto touch = it->second;
    touch->m_timestamp = RunLoop::main().now();
    touch->m_phase = TouchPhase::Cancelled;
    deliver(touch, Delivery::Cancelled);
    m_touches.erase(id);
}

void Window::cancelAllTouches()
{
    while (!m_touches.empty())
        touchCancelled(m_touches.begin()->first);
}

// ---- keyboard focus -----------------------------------------------------------------------

namespace {

// Frontmost first: the reverse of the order views are painted in.
template <class F> bool frontToBack(View& view, F&& visit)
{
    const auto& subviews = view.subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        auto child = *it; // the visit may change the tree
        if (frontToBack(*child, visit))
            return true;
    }
    return visit(view);
}

void collectActionable(const std::shared_ptr<View>& view, std::vector<std::shared_ptr<View>>& out)
{
    if (view->isHidden() || view->alpha() < 0.01f)
        return;
    auto a = view->accessibility();
    if (a.actionable() && a.enabled && view->isUserInteractionEnabled())
        out.push_back(view);
    for (const auto& child : view->subviews())
        collectActionable(child, out);
}

} // namespace

std::shared_ptr<View> Window::modalScope() const
{
    std::shared_ptr<View> scope;
    frontToBack(const_cast<Window&>(*this), [&scope](View& v) {
        if (!v.accessibility().modal || !v.isEffectivelyVisible())
            return false;
        scope = v.sharedAs<View>();
        return true;
    });
    return scope;
}

std::vector<std::shared_ptr<View>> Window::focusChain() const
{
    std::vector<std::shared_ptr<View>> chain;
    auto scope = modalScope();
    if (scope) {
        if (!scope->isEffectivelyVisible())
            return chain;
        collectActionable(scope, chain);
    } else {
        for (const auto& child : subviews())
            collectActionable(child, chain);
    }
    // Reading order; tree order among views on one line. Half points do not make a new line.
    auto top = [](const View& v) { return std::round(v.convertRectToView(v.bounds(), nullptr).minY()); };
    auto left = [](const View& v) { return v.convertRectToView(v.bounds(), nullptr).minX(); };
    std::stable_sort(chain.begin(), chain.end(), [&](const auto& a, const auto& b) {
        auto ta = top(*a), tb = top(*b);
        if (ta != tb)
            return ta < tb;
        return left(*a) < left(*b);
    });
    return chain;
}

void Window::setFocus(const std::shared_ptr<View>& view)
{
    if (view == m_focused.lock())
        return;
    m_focused = view;
    invalidate();
}

void Window::moveFocus(bool backward)
{
    updateFocus();
    auto chain = focusChain();
    m_focusVisible = true;
    invalidate();
    if (chain.empty()) {
        setFocus(nullptr);
        return;
    }
    auto it = std::find(chain.begin(), chain.end(), m_focused.lock());
    if (it == chain.end()) {
        setFocus(backward ? chain.back() : chain.front());
        return;
    }
    std::size_t i = std::size_t(it - chain.begin());
    std::size_t n = chain.size();
    setFocus(chain[backward ? (i + n - 1) % n : (i + 1) % n]);
}

bool Window::activateFocus()
{
    updateFocus();
    auto view = m_focused.lock();
    if (!view)
        return false;
    m_focusVisible = true;
    Rect r = view->convertRectToView(view->bounds(), nullptr);
    Point centre{r.midX(), r.midY()};
    Touch::Id id = m_nextKeyTouch++;
    m_synthesizing = true;
    touchBegan(id, centre);
    touchEnded(id, centre);
    m_synthesizing = false;
    updateFocus();
    return true;
}

bool Window::escape()
{
    auto keep = sharedAs<Window>();
    bool taken = frontToBack(*this, [](View& v) { return v.isEffectivelyVisible() && v.handleEscape(); });
    if (taken)
        updateFocus();
    return taken;
}

void Window::updateFocus()
{
    auto scope = modalScope();
    auto current = m_scope.lock();
    // A modal view that went may be gone altogether (its weak pointer empty like "none").
    if (scope != current || (!scope && m_scopeActive)) {
        auto saved = std::find_if(m_savedFocus.begin(), m_savedFocus.end(),
                                  [&scope](const SavedFocus& s) { return scope ? s.scope.lock() == scope : !s.modal; });
        if (saved != m_savedFocus.end()) {
            // Back out of modal views that went: focus returns to where it was.
            auto focus = saved->focused.lock();
            m_savedFocus.erase(saved, m_savedFocus.end());
            m_scope = scope;
            // The keyboard user stays on the keyboard: where focus was, else the first control.
            auto chain = focusChain();
            if (!focus || std::find(chain.begin(), chain.end(), focus) == chain.end())
                focus = chain.empty() ? nullptr : chain.front();
            setFocus(focus);
        } else {
            m_savedFocus.push_back({current, m_focused, current != nullptr});
            m_scope = scope;
            setFocus(nullptr);
        }
    }
    m_scopeActive = scope != nullptr;
    auto chain = focusChain();
    auto focused = m_focused.lock();
    if (focused && std::find(chain.begin(), chain.end(), focused) != chain.end())
        return;
    // Inside a modal view focus is always somewhere; in the window it waits for Tab.
    setFocus(scope && !chain.empty() ? chain.front() : nullptr);
}

} // namespace platform
