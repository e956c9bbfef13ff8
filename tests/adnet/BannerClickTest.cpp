// Clicks: the ad's redirect document and dispatch, the banner's touches, and the click
// sequence on the virtual clock (pulse 0.5 s, spinner +0.3 s, restore +0.3 s).
#include "BannerSupport.h"

#include "adnet/AdNetController.h"
#include "adnet/AdNetSingleAdView.h"
#include "adnet/AdNetViewInternal.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Layer.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

using adnet::AdNetAd;
using adnet::AdNetSingleAdView;
using namespace adnettest;

namespace {

class Clicks : public ScriptedNetworkTest {
protected:
    // The first ad's banner in an ad view, in a window taller than the banner.
    std::shared_ptr<AdNetSingleAdView> showBanner()
    {
        window = platform::Window::create({0, 0, 320, 100});
        adView = adnet::AdNetView::requestAdWithDelegate(host);
        window->addSubview(adnet::platformView(*adView));
        loop->runUntil([&] { return host->received + host->failed > 0; }, 10);
        return std::dynamic_pointer_cast<AdNetSingleAdView>(internalView(*adView)->viewWithTag(1));
    }
    // Clicks the ad and runs until its click has ended; returns what happened, in order.
    std::vector<std::string> clickAd(const std::shared_ptr<AdNetAd>& ad)
    {
        std::vector<std::string> order;
        auto owner = std::make_shared<int>();
        ad->setDelegate(owner);
        ad->setClickSuccessSelector([&](AdNetAd&) { order.push_back("succeeded"); });
        ad->setClickFailureSelector([&](AdNetAd&) { order.push_back("failed"); });
        ad->setDisplayEmbeddedBrowserSelector(
            [&](AdNetAd&, const std::string& url) { order.push_back("browser " + url); });
        ad->setDisplayCanvasSelector([&](AdNetAd&, const std::string& url) { order.push_back("canvas " + url); });
        opener->setObserver([&](const std::string& url) { order.push_back("open " + url); });
        ad->click();
        if (ad->state() != AdNetAd::Ready) {
            EXPECT_EQ(ad->state(), AdNetAd::Clicking);
        }
        loop->runUntil([&] { return ad->state() == AdNetAd::Ready; }, 10);
        loop->runFor(0.05);
        opener->setObserver({});
        ad->setDelegate({});
        return order;
    }
    void touch(platform::TouchPhase phase, float x, float y)
    {
        switch (phase) {
        case platform::TouchPhase::Began:
            window->touchBegan(1, {x, y});
            break;
        case platform::TouchPhase::Moved:
            window->touchMoved(1, {x, y});
            break;
        case platform::TouchPhase::Ended:
            window->touchEnded(1, {x, y});
            break;
        default:
            window->touchCancelled(1);
        }
    }

    EventRecorder events;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<adnet::AdNetView> adView;
};

using V = std::vector<std::string>;

} // namespace

TEST_F(Clicks, TheRedirectDocumentDecidesAndSuccessComesBeforeAnyOpening)
{
    const std::string dest = "http://dest.example/page";
    route("/click", 200, R"({"redirect_url":")" + dest + R"("})");
    std::optional<bool> embedded; // asked anew at the click; loading goes without browser icons
    auto clickWith = [&](const std::string& action) {
        serveTextAd("Text", action);
        host->embedded = false;
        auto ad = loadAd();
        host->embedded = embedded;
        return clickAd(ad);
    };
    EXPECT_EQ(clickWith("url"), (V{"succeeded", "browser " + dest}));
    EXPECT_EQ(clickWith("URL"), (V{"succeeded", "open " + dest})) << "action names are exact";
    EXPECT_EQ(clickWith("app"), (V{"succeeded", "open " + dest}));
    embedded = false;
    EXPECT_EQ(clickWith("url"), (V{"succeeded", "open " + dest})) << "the platform, without presentWebView";
    EXPECT_EQ(clickWith("canvas"), (V{"succeeded", "canvas " + dest})) << "the host is not asked";
    host->presents = true;
    EXPECT_EQ(clickWith("url"), (V{"succeeded"}));
    EXPECT_EQ(host->presented, (V{dest}));
    // A destination that would reach local files or programs is refused, whatever the action.
    host->presents = false;
    for (const std::string local : {"file:///etc/passwd", "FILE:///etc/passwd", "smb://h/share", "x-exec:sh"}) {
        route("/click", 200, R"({"redirect_url":")" + local + R"("})");
        EXPECT_EQ(clickWith("app"), (V{"succeeded"})) << local;
        EXPECT_EQ(events.count("refused " + local), 1u) << local;
    }
    route("/click", 200, R"({"redirect_url":"mailto:a@example.com"})");
    EXPECT_EQ(clickWith("email"), (V{"succeeded", "open mailto:a@example.com"}));
    EXPECT_EQ(clickWith("email"), (V{"succeeded", "open mailto:a@example.com"})) << "clicks are not rate-limited";

    // Everything else fails the click, and opens nothing.
    for (const auto& [status, body] :
         std::vector<std::pair<int, std::string>>{{200, R"({"redirect_url":""})"},
                                                  {200, R"({"other":"x"})"},
                                                  {200, "redirect_url=http://x/"},
                                                  {200, ""},
                                                  {500, R"({"redirect_url":"http://x/"})"},
                                                  {200, R"( {"redirect_url":"http://x/"})"}}) {
        route("/click", status, body);
        EXPECT_EQ(clickWith("app"), (V{"failed"})) << status << " " << body;
    }
    // Without a redirect document the click fails at once.
    route("/ad_source.php", 200, R"({"text":"T","6":"app","url":"http://x/","204":"/icon.png"})");
    auto ad = loadAd();
    int failures = 0;
    auto owner = std::make_shared<int>();
    ad->setDelegate(owner);
    ad->setClickFailureSelector([&](AdNetAd&) { ++failures; });
    ad->click();
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(ad->state(), AdNetAd::Ready);
}

TEST_F(Clicks, TouchesHighlightAndOnlyALiftInsideClicks)
{
    serveTextAd("Text", "app");
    route("/click", 200, R"({"redirect_url":"http://x/"})");
    auto banner = showBanner();
    ASSERT_TRUE(banner);
    auto highlights = [&] {
        std::size_t n = 0;
        for (const auto& sub : banner->subviews())
            n += sub->tag() == 3;
        return n;
    };
    // In, out (the highlight goes), back in (it returns), lifted inside: one click.
    touch(platform::TouchPhase::Began, 10, 10);
    EXPECT_EQ(highlights(), 1u);
    EXPECT_EQ(banner->viewWithTag(3)->backgroundColor(), platform::Color::white(0.5f, 0.5f));
    touch(platform::TouchPhase::Moved, 10, 60);
    EXPECT_EQ(highlights(), 0u);
    touch(platform::TouchPhase::Moved, 0, 0);
    EXPECT_EQ(highlights(), 1u) << "the top-left corner is inside";
    touch(platform::TouchPhase::Ended, 0, 0);
    EXPECT_EQ(highlights(), 0u);
    EXPECT_EQ(events.count("click"), 1u);
    loop->runFor(2.0);

    // Lifted outside (the bottom and right edges are outside), or cancelled: no click.
    for (platform::Point end : {platform::Point{10, 48}, platform::Point{320, 10}}) {
        touch(platform::TouchPhase::Began, 10, 10);
        touch(platform::TouchPhase::Ended, end.x, end.y);
        EXPECT_EQ(highlights(), 0u);
    }
    touch(platform::TouchPhase::Began, 10, 10);
    touch(platform::TouchPhase::Cancelled, 0, 0);
    EXPECT_EQ(highlights(), 0u);
    EXPECT_EQ(events.count("click"), 1u);
    banner->setTouched(true);
    banner->setTouched(true);
    EXPECT_EQ(highlights(), 1u);
}

TEST_F(Clicks, TheSequenceKeepsItsTimesWhereverTheFinishReportFalls)
{
    host->graySpinner = true;
    serveTextAd("Text", "app");
    auto ad = loadAd();
    auto banner = AdNetSingleAdView::create({0, 0, 320, 48});
    banner->setAd(ad);
    const platform::Rect iconFrame{286, 9, 30, 30};
    auto spinner = [&] { return std::dynamic_pointer_cast<platform::ActivityIndicator>(banner->viewWithTag(2)); };
    auto restored = [&] {
        auto icon = banner->actionIconLayer();
        return !spinner() && icon && icon->frame() == iconFrame && icon->transform().isIdentity();
    };
    // Runs one sequence with finish reports at the given times (seconds after the tap; a
    // negative one just before the pulse starts) and returns when the icon came back, or -1.
    auto sequence = [&](std::vector<double> reports) {
        const double t0 = loop->now();
        for (double r : reports)
            if (r < 0)
                banner->removeSpinnerAndRestoreActionIcon();
        banner->animateActionIconForClick();
        for (double r : reports)
            if (r >= 0)
                loop->scheduleAt(t0 + r, [&] { banner->removeSpinnerAndRestoreActionIcon(); });
        double back = -1;
        while (back < 0 && loop->now() < t0 + 5) {
            loop->runFor(0.01);
            if (restored())
                back = loop->now() - t0;
        }
        return back;
    };

    // The pulse: 1 -> 1.4 at 0.2 s -> 0.1 at 0.5 s, about the icon's centre; then gone.
    const double t0 = loop->now();
    banner->animateActionIconForClick();
    auto icon = banner->actionIconLayer();
    ASSERT_TRUE(icon->animationForKey("AdNetPulseAnimation"));
    EXPECT_EQ(icon->transform(), platform::Transform::scale(0.1, 0.1)) << "the model stays shrunk";
    EXPECT_NEAR(icon->presentationTransform(t0 + 0.2).a, 1.4, 1e-6);
    EXPECT_NEAR(icon->presentationTransform(t0 + 0.35).a, 0.75, 1e-6);
    EXPECT_EQ(icon->frame().center(), iconFrame.center());
    banner->animateActionIconForClick(); // a tap during the pulse starts no second one
    loop->runUntilTime(t0 + 0.51);
    EXPECT_FALSE(banner->actionIconLayer());
    EXPECT_TRUE(banner->animatingForClick());
    loop->runUntilTime(t0 + 0.81);
    ASSERT_TRUE(spinner());
    EXPECT_EQ(spinner()->center(), iconFrame.center());
    EXPECT_EQ(spinner()->style(), platform::ActivityIndicatorStyle::Gray);
    EXPECT_FALSE(banner->animatingForClick());
    banner->animateActionIconForClick(); // a tap while the icon is away: nothing
    banner->removeSpinnerAndRestoreActionIcon();
    loop->runUntilTime(t0 + 1.1);
    EXPECT_TRUE(spinner());
    loop->runUntilTime(t0 + 1.12);
    EXPECT_TRUE(restored());
    EXPECT_EQ(events.count("pulse start"), 1u);
    EXPECT_EQ(events.count("spinner off"), 1u);

    EXPECT_NEAR(sequence({0.2}), 1.1, 0.015) << "early report: the spinner still shows 0.3 s";
    EXPECT_NEAR(sequence({1.0}), 1.3, 0.015);
    EXPECT_NEAR(sequence({1.0, 1.1}), 1.4, 0.015) << "only the second restore timer survives";
    EXPECT_NEAR(sequence({-1}), 1.1, 0.015) << "a report before the pulse waits for the spinner";
    EXPECT_FALSE(banner->removeSpinnerRequested());
    EXPECT_EQ(events.count("spinner on"), events.count("spinner off"));
}

// A click that fails inside the tap (no redirect document) and a result for an ad that has
// been replaced meanwhile: the icon comes back, the new banner is left alone.
TEST_F(Clicks, ClickResultsReachOnlyTheBannerOfTheirAd)
{
    route("/ad_source.php", 200, R"({"text":"T","6":"app","url":"http://x/","204":"/icon.png"})");
    route("/icon.png", 200, pngBytes(38, 38, 0xff0000ffu));
    route("/static/sdk/img/app.png", 200, pngBytes(30, 30, 0x00ff00ffu));
    auto banner = showBanner();
    ASSERT_TRUE(banner);
    touch(platform::TouchPhase::Began, 100, 20);
    touch(platform::TouchPhase::Ended, 100, 20);
    EXPECT_EQ(events.count("click failed"), 1u);
    loop->runFor(1.2);
    EXPECT_FALSE(banner->viewWithTag(2)) << "no spinner left";
    EXPECT_TRUE(banner->actionIconLayer());

    auto controller = internalView(*adView)->controller();
    auto oldAd = banner->ad();
    adView->requestFreshAd();
    ASSERT_TRUE(loop->runUntil([&] { return events.count("flip end") == 1; }, 10));
    auto fresh = std::dynamic_pointer_cast<AdNetSingleAdView>(internalView(*adView)->viewWithTag(1));
    ASSERT_NE(fresh, banner);
    fresh->animateActionIconForClick();
    controller->clickDidSucceed(*oldAd);
    EXPECT_FALSE(fresh->removeSpinnerRequested());
    controller->clickDidFail(*fresh->ad());
    EXPECT_TRUE(fresh->removeSpinnerRequested());
    loop->runFor(1.2);
}

// A finger on the banner lets the platform start getting pages ready, after its highlight
// and before anything of the click; a click that had no touch-down asks too, and nothing is
// asked where no platform service is installed.
TEST_F(Clicks, AFingerOnTheBannerGetsPagesReadyFirst)
{
    serveTextAd("Text", "app");
    route("/click", 200, R"({"redirect_url":"http://x/"})");
    auto banner = showBanner();
    ASSERT_TRUE(banner);
    platform::WebView::prepareEngine(); // no service: nothing happens

    platform::Services withPreparation = platform::services();
    withPreparation.prepareWebEngine = [this] { events.events.emplace_back("prepare"); };
    platform::installServices(withPreparation);
    auto since = [&](std::size_t from) { return V(events.events.begin() + long(from), events.events.end()); };
    std::size_t mark = events.events.size();
    touch(platform::TouchPhase::Began, 10, 10);
    EXPECT_EQ(since(mark), (V{"highlight on", "prepare"}));
    touch(platform::TouchPhase::Ended, 10, 10);
    auto tap = since(mark);
    ASSERT_GE(tap.size(), 5u);
    EXPECT_EQ(V(tap.begin(), tap.begin() + 5), (V{"highlight on", "prepare", "highlight off", "click", "prepare"}));
    EXPECT_EQ(std::count(tap.begin(), tap.end(), "prepare"), 2);
    loop->runFor(2.0);

    // A touch that comes to nothing still prepared; a click without a touch-down prepares.
    mark = events.events.size();
    touch(platform::TouchPhase::Began, 10, 10);
    touch(platform::TouchPhase::Cancelled, 0, 0);
    EXPECT_EQ(since(mark), (V{"highlight on", "prepare", "highlight off"}));
    mark = events.events.size();
    internalView(*adView)->controller()->click(*banner);
    auto click = since(mark);
    ASSERT_GE(click.size(), 2u);
    EXPECT_EQ(V(click.begin(), click.begin() + 2), (V{"click", "prepare"}));
    loop->runFor(2.0);
}
