// Every fault of the demo ad network on a first ad, a replacement and a click: each ends
// cleanly, leaves no spinner behind, and the next refresh works.
#include "BannerSupport.h"

#include "adnet/AdNetController.h"
#include "adnet/AdNetSingleAdView.h"
#include "adnet/AdNetViewInternal.h"
#include "platform/ui/Window.h"

using adnetdemo::Fault;
using adnetdemo::FaultSpec;
namespace fetch = adnetdemo::fetch;
using namespace adnettest;

namespace {

class Faults : public DemoNetworkTest {
protected:
    void SetUp() override
    {
        DemoNetworkTest::SetUp();
        window = platform::Window::create({0, 0, 320, 480});
    }
    static std::vector<FaultSpec> modes(adnetdemo::FetchSet fetches)
    {
        std::vector<FaultSpec> all;
        for (Fault f : {Fault::slow, Fault::truncated, Fault::status500, Fault::badJson, Fault::missingKey,
                        Fault::notAnImage, Fault::oversized}) {
            auto spec = faultOn(f, fetches);
            spec.delay = std::chrono::milliseconds(1500); // within the 5 s time-out: only late
            all.push_back(spec);
        }
        return all;
    }
    std::shared_ptr<adnet::AdNetView> open()
    {
        auto view = adnet::AdNetView::requestAdWithDelegate(host);
        window->addSubview(adnet::platformView(*view));
        return view;
    }
    bool refreshFlips(adnet::AdNetView& view)
    {
        const auto before = events.count("flip end");
        view.requestFreshAd();
        return runUntil([&] { return events.count("flip end") == before + 1; });
    }
    static std::shared_ptr<adnet::AdNetSingleAdView> shown(adnet::AdNetView& view)
    {
        return std::dynamic_pointer_cast<adnet::AdNetSingleAdView>(internalView(view)->viewWithTag(1));
    }

    EventRecorder events;
    std::shared_ptr<platform::Window> window;
};

} // namespace

TEST_F(Faults, FirstAd)
{
    for (const auto& fault : modes(fetch::all)) {
        SCOPED_TRACE(adnetdemo::describeFault(fault));
        host = std::make_shared<BannerHost>();
        server.setFault(fault);
        auto view = open();
        ASSERT_TRUE(runUntil([&] { return host->received + host->failed > 0; }));
        loop->runFor(0.5);
        EXPECT_EQ(host->received + host->failed, 1);
        EXPECT_EQ(internalView(*view)->subviews().size(), std::size_t(host->received));
        server.clearFaults();
        EXPECT_TRUE(refreshFlips(*view));
        internalView(*view)->removeFromSuperview();
    }
}

TEST_F(Faults, Replacement)
{
    server.pinAd(pickAd(false));
    auto view = open();
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    auto controller = internalView(*view)->controller();
    for (const auto& fault : modes(fetch::all)) {
        SCOPED_TRACE(adnetdemo::describeFault(fault));
        auto before = shown(*view);
        server.setFault(fault);
        view->requestFreshAd();
        ASSERT_TRUE(runUntil([&] { return !controller->loadingAd(); }));
        loop->runFor(1.0);
        auto now = shown(*view);
        ASSERT_TRUE(now);
        EXPECT_TRUE(now->ad()->readyForDisplay());
        EXPECT_EQ(internalView(*view)->subviews().size(), 1u);
        if (fault.fault != Fault::slow) {
            EXPECT_EQ(now, before) << "a failed replacement leaves the banner";
        }
        server.clearFaults();
        EXPECT_TRUE(refreshFlips(*view));
    }
    EXPECT_EQ(host->failed, 0);
}

TEST_F(Faults, Click)
{
    server.pinAd(pickAd(false));
    // Web pages go to the desktop: an embedded browser would cover the banner the next
    // round taps.
    host->embedded = false;
    auto view = open();
    ASSERT_TRUE(runUntil([&] { return host->received == 1; }));
    for (const auto& fault : modes(fetch::clickDocument)) {
        SCOPED_TRACE(adnetdemo::describeFault(fault));
        auto banner = shown(*view);
        server.setFault(fault);
        const auto ended = events.count("click succeeded") + events.count("click failed");
        window->touchBegan(1, {160, 24});
        window->touchEnded(1, {160, 24});
        ASSERT_TRUE(runUntil([&] { return events.count("click succeeded") + events.count("click failed") > ended; }));
        loop->runFor(1.2);
        EXPECT_FALSE(banner->viewWithTag(2)) << "no spinner left";
        EXPECT_TRUE(banner->actionIconLayer()) << "the icon is back";
        EXPECT_FALSE(banner->animatingForClick());
        server.clearFaults();
        EXPECT_TRUE(refreshFlips(*view));
    }
    EXPECT_EQ(events.count("click"), modes(0).size());
}
