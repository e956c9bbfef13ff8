#include "platform/ui/Window.h"

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

} // namespace platform
