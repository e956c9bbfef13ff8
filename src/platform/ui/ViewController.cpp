#include "platform/ui/ViewController.h"

#include "platform/ui/Window.h"

namespace platform {

std::shared_ptr<ViewController> ViewController::create()
{
    return std::shared_ptr<ViewController>(new ViewController());
}

std::shared_ptr<View> ViewController::view()
{
    if (!m_view) {
        loadView();
        if (!m_view)
            setView(View::create(Screen::main().applicationFrame()));
        viewDidLoad();
    }
    return m_view;
}

void ViewController::setView(std::shared_ptr<View> view)
{
    if (m_view)
        m_view->m_controller.reset();
    m_view = std::move(view);
    if (m_view)
        m_view->m_controller = weakAs<ViewController>();
}

void ViewController::loadView()
{
    setView(View::create(Screen::main().applicationFrame()));
}

Responder* ViewController::nextResponder() const
{
    return m_view ? m_view->superview().get() : nullptr;
}

} // namespace platform
