#include "app/brimseyAppDelegate.h"

namespace brimsey {

std::shared_ptr<brimseyAppDelegate> brimseyAppDelegate::create()
{
    return std::make_shared<brimseyAppDelegate>();
}

brimseyAppDelegate::~brimseyAppDelegate()
{
    // The controller goes before the window, as they were taken.
    m_viewController.reset();
    m_window.reset();
}

void brimseyAppDelegate::applicationDidFinishLaunching(platform::Application&)
{
    if (!m_window || !m_viewController)
        return;
    // Asking for the view loads it (and wakes the game) if it is not there yet.
    m_window->addSubview(m_viewController->view());
    m_window->makeKeyAndVisible();
}

} // namespace brimsey
