#pragma once

#include <memory>
#include <string>

#include "adnet/AdNetDelegate.h"
#include "app/brimseyViewController.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace platform {
class Timer;
}

namespace adnet {
class AdNetView;
}

namespace brimsey {

// The application's delegate: when launching is done it puts the root controller's view
// (with the game inside) into the window and shows the window. When ads are on (AdHosting.h)
// it also hosts the ad banner: it asks for the first ad at launch, puts the banner over the
// top of the game when that ad arrives and refreshes it every 60 seconds from then on. A
// failed first ad leaves the game without a banner for the rest of the run.
class brimseyAppDelegate final : public platform::ApplicationDelegate, public adnet::AdNetDelegate {
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

    // The banner (none before launch, without ads, or after a failed first ad).
    const std::shared_ptr<adnet::AdNetView>& adNetAd() const { return m_adNetAd; }
    void refreshAd();

    // -- AdNetDelegate
    std::string publisherId() override;
    std::optional<adnet::Color> adBackgroundColor() override;
    std::optional<adnet::Color> adTextColor() override;
    std::optional<bool> mayAskForLocation() override;
    void didReceiveAd(adnet::AdNetView& view) override;
    void didFailToReceiveAd(adnet::AdNetView& view) override;

    brimseyAppDelegate() = default;
    ~brimseyAppDelegate() override;

private:
    std::shared_ptr<platform::Window> m_window;
    std::shared_ptr<brimseyViewController> m_viewController;
    std::shared_ptr<adnet::AdNetView> m_adNetAd;
    std::shared_ptr<platform::Timer> m_autoslider;
};

} // namespace brimsey
