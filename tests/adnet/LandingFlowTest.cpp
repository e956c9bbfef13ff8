// Clicks on real banners end on their landing screens: the ad view, its controller, the
// demo ad network and the headless web engine together.
#include "AdNetBrowserController.h"
#include "AdNetCanvasController.h"
#include "AdNetCanvasWebView.h"
#include "AdNetModalBackground.h"
#include "LandingTestSupport.h"
#include "adnet/AdNetAd.h"
#include "adnet/AdNetController.h"
#include "adnet/AdNetViewAccess.h"
#include "adnet/AdNetViewInternal.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Bars.h"

#include <map>
#include <tuple>

using namespace platform;
using Phase = adnet::AdNetModalController::Phase;

namespace {

class LandingFlow : public landingtest::WebLandingTest {
protected:
    std::shared_ptr<adnet::AdNetController> showBanner(const std::string& adId)
    {
        server.pinAd(adId);
        handle = adnet::AdNetView::requestAdWithDelegate(host);
        banner = std::static_pointer_cast<adnet::AdNetViewInternal>(adnet::platformView(*handle));
        window->addSubview(banner);
        EXPECT_TRUE(runUntil([&] { return banner->viewWithTag(1) != nullptr; }));
        return banner->controller();
    }
    void tapBanner() { tap({160, 24}); }

    std::shared_ptr<adnet::AdNetView> handle;
    std::shared_ptr<adnet::AdNetViewInternal> banner;
};

} // namespace

TEST_F(LandingFlow, ACanvasAdOpensItsCanvasAndTheBrowserAdItsBrowser)
{
    auto controller = showBanner("mels-diner");
    tapBanner();
    ASSERT_TRUE(runUntil([&] { return sawEvent("callback"); }));
    auto canvas = controller->canvasController();
    ASSERT_TRUE(canvas);
    const std::string landing = base + "/landing/mels-diner.html";
    EXPECT_TRUE(sawEvent("canvas " + landing + " Mel's Diner"));
    EXPECT_TRUE(sawEvent("callback " + landing + "#sdk Mel's Diner"));
    ASSERT_TRUE(runUntil([&] { return canvas->phase() == Phase::Presented; }));
    EXPECT_EQ(window->subviews().back(), canvas->background());
    engineOf(*canvas->canvasWebView()).navigate("adnet://closecanvas");
    ASSERT_TRUE(runUntil([&] { return canvas->phase() == Phase::Dismissed; }));
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 2", "didDismissModalCanvas 2"}));

    // The next ad opens the embedded browser; the script's "done" spot closes it.
    host->notices.clear();
    server.pinAd("spring-sale");
    handle->requestFreshAd();
    ASSERT_TRUE(runUntil([&] { return controller->currentlyDisplayedAd()->action() == "url"; }));
    loop->runFor(1);
    tapBanner();
    ASSERT_TRUE(runUntil([&] {
        auto browser = controller->browserController();
        return browser && browser->phase() == Phase::Presented && !browser->webView()->isLoading();
    }));
    auto browser = controller->browserController();
    EXPECT_EQ(browser->topNavItem()->title(), "Trailhead Outfitters — Spring sale");
    auto done = browser->topToolbar()->leftItemView();
    tap(done->superview()->convertPointToView(done->center(), nullptr));
    ASSERT_TRUE(runUntil([&] { return browser->phase() == Phase::Dismissed; }));
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentWebView 2", "didDismissWebView 2"}));
}

TEST_F(LandingFlow, ANewLandingScreenOrTheAdViewsEndClearsTheOldOneAtOnce)
{
    auto controller = showBanner("spring-sale");
    auto ad = controller->currentlyDisplayedAd();
    controller->displayEmbeddedBrowserWithAd(*ad, base + "/landing/trailhead.html");
    loop->runFor(0.2);
    auto first = controller->browserController();
    std::weak_ptr<adnet::AdNetModalController> firstGone = first;
    first.reset();
    // A second one while the first still grows: the first leaves at once.
    controller->displayEmbeddedBrowserWithAd(*ad, base + "/landing/harbor-bank.html");
    EXPECT_TRUE(firstGone.expired());
    std::size_t backdrops = 0;
    for (const auto& view : window->subviews())
        backdrops += std::dynamic_pointer_cast<adnet::AdNetModalBackground>(view) != nullptr;
    EXPECT_EQ(backdrops, 1u);
    auto second = controller->browserController();
    ASSERT_TRUE(runUntil([&] { return second->phase() == Phase::Presented && !second->webView()->isLoading(); }));
    EXPECT_EQ(second->topNavItem()->title(), "Harbor Bank — Savings");

    // The host lets the ad view go while the browser is shown: the browser goes with it.
    std::weak_ptr<adnet::AdNetModalController> secondGone = second;
    second.reset();
    controller.reset();
    ad.reset();
    banner->removeFromSuperview();
    banner.reset();
    handle.reset();
    EXPECT_TRUE(secondGone.expired());
    EXPECT_EQ(window->subviews().size(), 1u);
    loop->runFor(1);
    // The first one's did-dismiss comes on the loop's next turn, after the second's notice.
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentWebView 2", "willPresentWebView 2",
                                                       "didDismissWebView 3", "didDismissWebView 1"}));
}

// With the desktop's animations off, the flip, the pulse and the modal's growing and fading
// end at once: the same motion events in the same order, without the time they take.
TEST_F(LandingFlow, WithAnimationsOffEveryMotionEndsAtOnceInTheSameOrder)
{
    auto controller = showBanner("spring-sale");
    std::vector<std::pair<double, std::string>> timeline;
    adnet::setAdNetEventListener([&](std::string_view e) { timeline.emplace_back(loop->now(), std::string(e)); });
    auto run = [&](bool animations) {
        timeline.clear();
        ViewAnimation::setAnimationsEnabled(animations);
        handle->requestFreshAd();
        EXPECT_TRUE(runUntil([&] { return !timeline.empty() && timeline.back().second == "flip end"; }));
        tapBanner();
        EXPECT_TRUE(runUntil([&] {
            auto browser = controller->browserController();
            return browser && browser->phase() == Phase::Presented && !browser->webView()->isLoading();
        }));
        auto browser = controller->browserController();
        auto done = browser->topToolbar()->leftItemView();
        tap(done->superview()->convertPointToView(done->center(), nullptr));
        EXPECT_TRUE(runUntil([&] { return browser->phase() == Phase::Dismissed; }));
        ViewAnimation::setAnimationsEnabled(true);
        loop->runFor(2); // the click's spinner and restore have their own timers
        // Each motion's own events; how they interleave with the network's is up to the network.
        std::map<std::string, std::vector<std::string>> motions;
        std::map<std::string, double> at;
        for (const auto& [time, event] : timeline)
            for (const char* kind : {"flip", "pulse", "modal"})
                if (event.starts_with(kind)) {
                    motions[kind].push_back(event);
                    at.try_emplace(event, time);
                }
        return std::make_tuple(motions, at["flip end"] - at["flip start"],
                               at["modal presented"] - at["modal will present"],
                               at["modal dismissed"] - at["modal dismiss requested"]);
    };
    auto [animated, flip, present, dismiss] = run(true);
    auto [instant, flipOff, presentOff, dismissOff] = run(false);
    adnet::setAdNetEventListener([this](std::string_view e) { events.emplace_back(e); });
    EXPECT_EQ(instant, animated);
    EXPECT_EQ(animated.size(), 3u);
    EXPECT_NEAR(flip, 0.7, 0.01);
    EXPECT_NEAR(present, 0.7, 0.01) << "grow 0.5 s, fade in 0.2 s";
    EXPECT_NEAR(dismiss, 0.7, 0.01);
    EXPECT_EQ(flipOff, 0.0);
    EXPECT_EQ(presentOff, 0.0);
    EXPECT_EQ(dismissOff, 0.0);
}
