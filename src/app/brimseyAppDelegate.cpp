#include "app/brimseyAppDelegate.h"

#include "adnet/AdNetEvents.h"
#include "adnet/AdNetView.h"
#include "adnet/AdNetViewAccess.h"
#include "app/AdHosting.h"
#include "platform/core/Log.h"
#include "platform/core/Timer.h"

namespace brimsey {

namespace {
constexpr const char* kPublisherId = "c3e8b0f47d92a16";
constexpr double kRefreshInterval = 60.0;
constexpr platform::Rect kBannerFrame{0, 0, 320, 48};
} // namespace

std::shared_ptr<brimseyAppDelegate> brimseyAppDelegate::create()
{
    return std::make_shared<brimseyAppDelegate>();
}

brimseyAppDelegate::~brimseyAppDelegate()
{
    // The refresh never stops while the application runs; a delegate that goes (tests,
    // relaunches) takes its timer along.
    if (m_autoslider)
        m_autoslider->invalidate();
    m_adNetAd.reset();
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
    // The banner joins the window only once its first ad has arrived.
    if (adsEnabled())
        m_adNetAd = adnet::AdNetView::requestAdWithDelegate(sharedAs<brimseyAppDelegate>());
}

void brimseyAppDelegate::refreshAd()
{
    if (m_adNetAd)
        m_adNetAd->requestFreshAd();
}

std::string brimseyAppDelegate::publisherId()
{
    return kPublisherId;
}

std::optional<adnet::Color> brimseyAppDelegate::adBackgroundColor()
{
    return adnet::Color{0, 0, 0, 1};
}

std::optional<adnet::Color> brimseyAppDelegate::adTextColor()
{
    return adnet::Color{1, 1, 1, 1};
}

std::optional<bool> brimseyAppDelegate::mayAskForLocation()
{
    return false;
}

void brimseyAppDelegate::didReceiveAd(adnet::AdNetView&)
{
    platform::logMessage("AdNet: Did receive ad");
    adnet::reportAdNetEvent("ad received");
    if (!m_adNetAd || !m_window)
        return;
    auto banner = adnet::platformView(*m_adNetAd);
    banner->setFrame(kBannerFrame);
    m_window->addSubview(banner); // above the game
    std::weak_ptr<brimseyAppDelegate> weak = sharedAs<brimseyAppDelegate>();
    m_autoslider = platform::Timer::schedule(kRefreshInterval, true, [weak](platform::Timer&) {
        if (auto self = weak.lock())
            self->refreshAd();
    });
}

void brimseyAppDelegate::didFailToReceiveAd(adnet::AdNetView&)
{
    platform::logMessage("AdNet: Did fail to receive ad");
    adnet::reportAdNetEvent("ad failed");
    // No retry: the game goes on without a banner.
    m_adNetAd.reset();
}

} // namespace brimsey
