#pragma once

#include <memory>

#include "app/brimseyViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace brimsey {

// The application's delegate: when launching is done it puts the root controller's view
// (with the game inside) into the window and shows the window.
class brimseyAppDelegate final : public platform::ApplicationDelegate {
public:
    static std::shared_ptr<brimseyAppDelegate> create();

    std::shared_ptr<platform::Window> window() const { return m_window; }
    void setWindow(std::shared_ptr<platform::Window> window) { m_window = std::move(window); }
    std::shared_ptr<brimseyViewController> viewController() const { return m_viewController; }
    void setViewController(std::shared_ptr<brimseyViewController> controller)
    {
        m_viewController = std::move(controller);
    }

    void applicationDidFinishLaunching(platform::Application& application) override;

    brimseyAppDelegate() = default;
    ~brimseyAppDelegate() override;

private:
    std::shared_ptr<platform::Window> m_window;
    std::shared_ptr<brimseyViewController> m_viewController;
};

} // namespace brimsey
