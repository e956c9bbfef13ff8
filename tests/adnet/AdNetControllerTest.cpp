// The ad view and its controller against the demo ad network: first ad, replacements with
// the flip, failures, and teardown.
#include "BannerSupport.h"

#include "adnet/AdNetController.h"
#include "adnet/AdNetRuntime.h"
#include "adnet/AdNetSingleAdView.h"
#include "adnet/AdNetViewInternal.h"

#include <algorithm>

using adnet::AdNetAd;
using adnet::AdNetView;
using adnetdemo::Fault;
using adnetdemo::FaultSpec;
namespace fetch = adnetdemo::fetch;
using namespace adnettest;

namespace {

class AdViewTest : public DemoNetworkTest {
protected:
    std::shared_ptr<AdNetView> start()
    {
        auto view = AdNetView::requestAdWithDelegate(host);
        controller = internalView(*view)->controller();
        return view;
    }
    std::shared_ptr<adnet::AdNetSingleAdView> shown(AdNetView& view)
    {
        return std::dynamic_pointer_cast<adnet::AdNetSingleAdView>(internalView(view)->viewWithTag(1));
    }
    bool flipped(std::size_t n)
    {
        return runUntil([&] { return events.count("flip start") == n; });
    }

    EventRecorder events;
    std::shared_ptr<adnet::AdNetController> controller;
};

} // namespace

TEST_F(AdViewTest, FirstAdThenAReplacementFlippedIn)
{
    server.pinAd(pickAd(false));
    auto view = start();
    EXPECT_EQ(internalView(*view)->frame(), platform::Rect(0, 0, 320, 48));
    EXPECT_EQ(internalView(*view)->backgroundColor(), platform::Color::clear());
    EXPECT_EQ(internalView(*view)->autoresizingMask() & (platform::FlexibleWidth | platform::FlexibleHeight), 0u);
    EXPECT_EQ(host->received, 0) << "never before the view is handed out";

    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    auto first = shown(*view);
    ASSERT_TRUE(first);
    EXPECT_EQ(internalView(*view)->subviews().size(), 1u);
    EXPECT_EQ(first->ad(), controller->currentlyDisplayedAd());
    EXPECT_EQ(first->frame(), internalView(*view)->bounds());
    std::weak_ptr<AdNetAd> firstAd = first->ad();

    view->requestFreshAd();
    ASSERT_TRUE(flipped(1));
    auto second = shown(*view);
    ASSERT_TRUE(second);
    EXPECT_NE(second, first);
    EXPECT_EQ(first->tag(), 0) << "the old banner turns away with tag 0";
    EXPECT_EQ(second->ad(), controller->currentlyDisplayedAd());
    EXPECT_FALSE(controller->loadingAd());
    loop->runFor(0.69);
    EXPECT_EQ(events.count("flip end"), 0u);
    EXPECT_FALSE(firstAd.expired()) << "the old banner keeps its ad while it flips";
    loop->runFor(0.02);
    EXPECT_EQ(events.count("flip end"), 1u);
    first.reset();
    EXPECT_TRUE(firstAd.expired());
    EXPECT_EQ(internalView(*view)->subviews().size(), 1u);
    EXPECT_EQ(host->received, 1) << "replacements are silent";
    EXPECT_EQ(host->failed, 0);
    EXPECT_EQ(events.events, (std::vector<std::string>{"ad request", "ad request", "flip start", "flip end"}));
}

TEST_F(AdViewTest, ReplacementsThatNeverShow)
{
    // Two refreshes in quick succession: the older is dropped at once, only the newer flips.
    server.pinAd(pickAd(false));
    auto view = start();
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    view->requestFreshAd();
    std::weak_ptr<AdNetAd> older = controller->loadingAd();
    view->requestFreshAd();
    EXPECT_TRUE(older.expired()) << "abandoned and released";
    auto newer = controller->loadingAd();
    ASSERT_TRUE(flipped(1));
    loop->runFor(1.0);
    EXPECT_EQ(events.count("flip start"), 1u);
    EXPECT_EQ(controller->currentlyDisplayedAd(), newer);

    // A failed replacement leaves the banner alone and the host uninformed.
    auto before = shown(*view);
    server.setFault(faultOn(Fault::status500, fetch::adRequest, 1));
    view->requestFreshAd();
    ASSERT_TRUE(runUntil([&] { return !controller->loadingAd(); }));
    loop->runFor(1.0);
    EXPECT_EQ(shown(*view), before);
    EXPECT_EQ(internalView(*view)->subviews().size(), 1u);
    EXPECT_EQ(host->received, 1);
    EXPECT_EQ(host->failed, 0);
    view->requestFreshAd(); // and the next one works
    ASSERT_TRUE(flipped(2));

    // A banner-image ad stays for the life of the view: no request at all.
    loop->runFor(1.0);
    server.pinAd(pickAd(true));
    view->requestFreshAd();
    ASSERT_TRUE(flipped(3));
    loop->runFor(1.0);
    const auto requests = events.count("ad request");
    view->requestFreshAd();
    EXPECT_EQ(events.count("ad request"), requests);
    EXPECT_FALSE(controller->loadingAd());
}

TEST_F(AdViewTest, FirstAdFailures)
{
    server.setFault(faultOn(Fault::status500, fetch::adRequest, 1));
    auto view = start();
    ASSERT_TRUE(runUntil([&] { return host->failed == 1; }));
    loop->runFor(0.5);
    EXPECT_EQ(host->received, 0);
    EXPECT_FALSE(controller->currentlyDisplayedAd());
    EXPECT_TRUE(internalView(*view)->subviews().empty());
    // Without a first ad a refresh still fills the view, with the flip and without telling.
    view->requestFreshAd();
    ASSERT_TRUE(flipped(1));
    EXPECT_TRUE(shown(*view));
    EXPECT_EQ(host->received, 0);
    EXPECT_EQ(host->failed, 1);
}

// A request refused inside the call that starts it (here: a host that answers no endpoint)
// counts as an ordinary failure, reported from the run loop once the ad is in its slot.
TEST_F(AdViewTest, FailuresRefusedAtOnceAreOrdinaryFailures)
{
    host->embedded = false; // nothing to fetch before the request itself
    host->endpoint = std::nullopt;
    auto view = start();
    EXPECT_EQ(host->failed, 0) << "not from inside requestAdWithDelegate";
    loop->runFor(0.01);
    EXPECT_EQ(host->failed, 1);
    EXPECT_FALSE(controller->currentlyDisplayedAd());

    host->endpoint = adnet::notImplemented;
    auto second = start();
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    auto banner = shown(*second);
    host->endpoint = std::nullopt;
    second->requestFreshAd();
    loop->runFor(0.01);
    EXPECT_FALSE(controller->loadingAd()) << "no dead ad left in the slot";
    EXPECT_EQ(shown(*second), banner);
    EXPECT_EQ(host->failed, 1);
    host->endpoint = adnet::notImplemented;
    second->requestFreshAd();
    EXPECT_TRUE(flipped(1));
}

// A refresh that lands while the shown ad's click still fetches its redirect document waits
// for that click: the tap reaches its destination, then the new ad flips in. A view torn
// down mid-click (pulse, spinner and the download pending) leaves nothing running behind.
TEST_F(AdViewTest, AClickOutlivesARefreshButNotTheView)
{
    ASSERT_TRUE(server.pinAd("brain-blocks")); // an "app" ad: its click goes to the desktop
    auto slow = faultOn(Fault::slow, fetch::clickDocument);
    slow.delay = std::chrono::milliseconds(300);
    server.setFault(slow);
    auto view = start();
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    auto banner = shown(*view);
    std::weak_ptr<AdNetAd> clicked = banner->ad();
    controller->click(*banner);
    view->requestFreshAd();
    ASSERT_TRUE(runUntil([&] { return events.count("flip held") == 1; }));
    EXPECT_EQ(shown(*view), banner) << "the tapped banner stays while its click runs";
    ASSERT_TRUE(flipped(1));
    ASSERT_EQ(opener->opened().size(), 1u) << "the tap reached its destination";
    auto at = [&](const std::string& prefix) {
        auto it = std::find_if(events.events.begin(), events.events.end(),
                               [&](const std::string& e) { return e.starts_with(prefix); });
        return it - events.events.begin();
    };
    EXPECT_LT(at("flip held"), at("click succeeded"));
    EXPECT_LT(at("click succeeded"), at("open "));
    EXPECT_LT(at("open "), at("flip start"));
    loop->runFor(1.0);
    banner.reset();
    EXPECT_TRUE(clicked.expired()) << "the old ad goes once the flip has ended";
    EXPECT_EQ(host->received, 1);

    opener->clear();
    auto again = shown(*view);
    ASSERT_TRUE(again);
    controller->click(*again);
    loop->runFor(0.1);
    ASSERT_EQ(platform::URLConnection::liveTransferCount(), 1u) << "the redirect document is on its way";
    again.reset();
    controller.reset();
    view.reset();
    loop->runFor(1.5); // past the pulse, the spinner's turn and the server's late answer
    EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
    EXPECT_TRUE(opener->opened().empty());
    EXPECT_EQ(events.count("click succeeded"), 1u);
    EXPECT_EQ(events.count("click failed"), 0u);
}

TEST_F(AdViewTest, TeardownSilencesAndCancelsEverything)
{
    // Released while the first ad is still on its way: the host hears nothing, nothing runs on.
    auto slow = faultOn(Fault::slow, fetch::adRequest);
    slow.delay = std::chrono::seconds(2);
    server.setFault(slow);
    auto view = start();
    std::weak_ptr<AdNetAd> pending = controller->currentlyDisplayedAd();
    ASSERT_TRUE(runUntil([&] { return server.requestCount() > 4; }));
    controller.reset();
    view.reset();
    EXPECT_TRUE(pending.expired());
    loop->runFor(0.01);
    EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u) << "the request was cancelled";
    loop->runFor(3.0);
    EXPECT_EQ(host->received + host->failed, 0);
    server.clearFaults();

    // The host lets the view go from inside its callback.
    std::weak_ptr<AdNetView> weakView;
    host->onReceive = [&](AdNetView&) { view.reset(); };
    view = start();
    weakView = view;
    controller.reset();
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    EXPECT_TRUE(weakView.expired());

    // Released in the middle of a flip.
    host->onReceive = nullptr;
    view = start();
    ASSERT_TRUE(runUntil([&] { return host->received == 2; }));
    view->requestFreshAd();
    ASSERT_TRUE(flipped(1));
    loop->runFor(0.3);
    controller.reset();
    view.reset();
    loop->runFor(1.0);
    EXPECT_EQ(events.count("flip end"), 0u) << "a controller that is gone hears no end";
}

// The banner lives while the host holds its handle or it is on screen, and goes with the
// last of the two; the host hears of the very handle it holds, or nothing once it let it go.
TEST_F(AdViewTest, TheHandleAndTheScreenEachKeepTheBannerAlive)
{
    server.pinAd(pickAd(false));
    const AdNetView* heard = nullptr;
    host->onReceive = [&](AdNetView& view) { heard = &view; };
    auto parent = platform::View::create({0, 0, 320, 100});
    auto view = start();
    std::weak_ptr<platform::View> tree = adnet::platformView(*view);
    EXPECT_EQ(adnet::handleOf(*tree.lock()), view);
    EXPECT_FALSE(adnet::handleOf(*parent));
    parent->addSubview(tree.lock());
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    EXPECT_EQ(heard, view.get());

    // Off screen but held: a refresh still flips in.
    tree.lock()->removeFromSuperview();
    view->requestFreshAd();
    EXPECT_TRUE(flipped(1));
    ASSERT_TRUE(runUntil([&] { return events.count("flip end") == 1; }));
    // On screen but let go: still there, without a handle; taken off screen, all of it goes.
    parent->addSubview(tree.lock());
    std::weak_ptr<adnet::AdNetController> behind = controller;
    controller.reset();
    view.reset();
    EXPECT_FALSE(tree.expired());
    EXPECT_FALSE(adnet::handleOf(*tree.lock()));
    tree.lock()->removeFromSuperview();
    EXPECT_TRUE(tree.expired());
    EXPECT_TRUE(behind.expired());

    // A first ad that arrives after the host let the handle go shows on screen unannounced.
    view = start();
    tree = adnet::platformView(*view);
    parent->addSubview(tree.lock());
    controller.reset();
    view.reset();
    ASSERT_TRUE(runUntil([&] { return !tree.expired() && tree.lock()->viewWithTag(1) != nullptr; }));
    EXPECT_EQ(host->received, 1);
    EXPECT_EQ(host->failed, 0);
    tree.lock()->removeFromSuperview();
    EXPECT_TRUE(tree.expired());
}

// A host without a main loop gets one from the registered starter, before anything needs it.
TEST_F(AdViewTest, TheRuntimeStarterRunsOnlyWithoutAMainLoop)
{
    static int started = 0;
    static std::shared_ptr<platform::RunLoop> given;
    given = loop;
    adnet::setRuntimeStarter([] {
        ++started;
        platform::RunLoop::setMain(given);
    });
    auto view = start();
    EXPECT_EQ(started, 0) << "a loop is installed";
    view.reset();
    platform::RunLoop::setMain(nullptr);
    view = start();
    EXPECT_EQ(started, 1);
    EXPECT_EQ(platform::RunLoop::mainShared(), loop);
    auto second = start();
    EXPECT_EQ(started, 1);
    EXPECT_TRUE(runUntil([&] { return host->received == 2; }));
    adnet::setRuntimeStarter(nullptr);
    given.reset();
}
