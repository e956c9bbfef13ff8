#include "AdNetModalBackground.h"
#include "AdNetModalController.h"
#include "LandingTestSupport.h"

#include <algorithm>

using namespace platform;
using adnet::AdNetModalController;
using Phase = AdNetModalController::Phase;

namespace {

// The smallest landing screen: a plain content view.
class TestModal final : public AdNetModalController {
public:
    static std::shared_ptr<TestModal> create(const Rect& contentFrame = {60, 100, 200, 200})
    {
        auto modal = std::shared_ptr<TestModal>(new TestModal);
        modal->m_willPresentSelector = &adnet::AdNetDelegate::willPresentModalCanvas;
        modal->m_didDismissSelector = &adnet::AdNetDelegate::didDismissModalCanvas;
        modal->setModalView(View::create(contentFrame));
        return modal;
    }
};

bool contains(const View& parent, const View& child)
{
    const auto& subviews = parent.subviews();
    return std::any_of(subviews.begin(), subviews.end(), [&](const auto& v) { return v.get() == &child; });
}

long count(const std::vector<std::string>& events, const std::string& event)
{
    return std::count(events.begin(), events.end(), event);
}

} // namespace

using ModalPresentation = landingtest::LandingTest;

TEST_F(ModalPresentation, GrowsOutOfTheBannerFadesInAndShrinksBackToWhereItStarted)
{
    auto modal = TestModal::create();
    modal->setAdNetDelegate(host);
    const double t0 = now();
    modal->presentModalFromView(adView);
    ASSERT_EQ(host->notices, std::vector<std::string>{"willPresentModalCanvas 1"}) << "told before anything shows";
    EXPECT_EQ(modal->adView(), adView);
    auto background = modal->background();
    ASSERT_TRUE(background);
    EXPECT_EQ(window->subviews().back(), background) << "topmost";
    EXPECT_EQ(shownFrame(*background, now()), (Rect{0, 20, 320, 48})) << "the banner's rectangle in window coordinates";
    EXPECT_EQ(background->backgroundColor(), Color::white(0.2f, 0.9f));
    std::weak_ptr<View> content = modal->modalView();

    runTo(t0, 0.25);
    EXPECT_NEAR(shownFrame(*background, now()).height(), 264, 1) << "half way";
    runTo(t0, 0.499);
    EXPECT_EQ(modal->phase(), Phase::Expanding);
    EXPECT_FALSE(contains(*background, *content.lock()));
    runTo(t0, 0.5);
    EXPECT_EQ(shownFrame(*background, now()), Screen::main().applicationFrame());
    ASSERT_TRUE(contains(*background, *content.lock()));
    EXPECT_LT(content.lock()->presentationAlpha(now()), 0.01f) << "the fade starts from nothing";
    runTo(t0, 0.699);
    EXPECT_EQ(modal->phase(), Phase::FadingIn);
    runTo(t0, 0.7);
    EXPECT_EQ(modal->phase(), Phase::Presented);
    EXPECT_EQ(content.lock()->presentationAlpha(now()), 1.0f);

    // The banner moves meanwhile; the backdrop still goes back where it came from.
    adView->setFrame({0, 300, 320, 48});
    const double t1 = now();
    modal->dismissModal();
    runTo(t1, 0.199);
    EXPECT_EQ(modal->phase(), Phase::FadingOut);
    modal->dismissModal(); // ignored from here on
    runTo(t1, 0.2);
    EXPECT_EQ(modal->phase(), Phase::Shrinking);
    EXPECT_TRUE(content.expired()) << "content removed and released when the fade-out ends";
    modal->dismissModal();
    runTo(t1, 0.699);
    EXPECT_TRUE(contains(*window, *background));
    EXPECT_EQ(host->notices.size(), 1u) << "no did-dismiss before the backdrop has left";
    EXPECT_NE(shownFrame(*background, now()), (Rect{0, 20, 320, 48}));
    runTo(t1, 0.7);
    EXPECT_EQ(shownFrame(*background, now()), (Rect{0, 20, 320, 48}));
    EXPECT_FALSE(contains(*window, *background));
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 1", "didDismissModalCanvas 1"}));
    EXPECT_EQ(modal->phase(), Phase::Dismissed);
    EXPECT_FALSE(modal->adView()) << "the ad view is forgotten at the end";
    loop->runFor(2);
    EXPECT_EQ(events, (std::vector<std::string>{"modal will present", "modal presented", "modal dismiss requested",
                                                "modal dismissed"}));
}

TEST_F(ModalPresentation, RequestsDuringThePresentationMakeOneDismissalHalfASecondAfterTheFadeIn)
{
    // No host at all: the timeline is the same.
    auto modal = TestModal::create();
    const double t0 = now();
    modal->presentModalFromView(adView);
    runTo(t0, 0.1);
    modal->dismissModal();
    runTo(t0, 0.6);
    modal->dismissModal();
    modal->dismissModal();
    EXPECT_TRUE(modal->dismissalRequested());
    runTo(t0, 1.199);
    EXPECT_EQ(modal->phase(), Phase::Presented) << "fully shown, then held for 0.5 s";
    EXPECT_EQ(modal->modalView()->presentationAlpha(now()), 1.0f);
    runTo(t0, 1.2);
    EXPECT_EQ(modal->phase(), Phase::FadingOut);
    runTo(t0, 1.9);
    EXPECT_EQ(modal->phase(), Phase::Dismissed);
    EXPECT_EQ(count(events, "modal dismissed"), 1);
    EXPECT_EQ(count(events, "modal dismiss requested"), 3);

    // While the deferred dismissal is pending, a direct request goes first; the timer then
    // finds the work done.
    events.clear();
    auto second = TestModal::create();
    second->setAdNetDelegate(host);
    const double t1 = now();
    second->presentModalFromView(adView);
    runTo(t1, 0.3);
    second->dismissModal();
    runTo(t1, 0.9);
    second->dismissModal();
    EXPECT_EQ(second->phase(), Phase::FadingOut);
    runTo(t1, 1.6);
    EXPECT_EQ(second->phase(), Phase::Dismissed);
    loop->runFor(3);
    EXPECT_EQ(count(events, "modal dismissed"), 1);
    EXPECT_EQ(count(host->notices, "didDismissModalCanvas 1"), 1);
}

TEST_F(ModalPresentation, OnlyATapThatBeginsOnTheBackdropDismisses)
{
    auto modal = TestModal::create({60, 100, 200, 200});
    modal->setAdNetDelegate(host);
    const double t0 = now();
    modal->presentModalFromView(adView);
    tap({100, 40}); // on the backdrop while it grows: deferred
    EXPECT_TRUE(modal->dismissalRequested());
    runTo(t0, 1.0);

    auto other = TestModal::create({60, 100, 200, 200});
    const double t1 = now();
    other->presentModalFromView(adView);
    runTo(t1, 0.8);
    tap({150, 200}); // on the content
    window->touchBegan(++touchId, {150, 200});
    window->touchEnded(touchId, {10, 10}); // began on the content, ends on the backdrop
    loop->runFor(1);
    EXPECT_EQ(other->phase(), Phase::Presented);
    tap({10, 400}); // the dimmed area around the content
    EXPECT_EQ(other->phase(), Phase::FadingOut);
}

TEST_F(ModalPresentation, AControllerLetGoMidWayLeavesNothingOnScreenAndCannotCrash)
{
    // Let go while the backdrop grows: it leaves at once, and the host still hears the end.
    auto modal = TestModal::create();
    modal->setAdNetDelegate(host);
    std::weak_ptr<AdNetModalController> weak = modal;
    const double t0 = now();
    modal->presentModalFromView(adView);
    std::weak_ptr<adnet::AdNetModalBackground> background = modal->background();
    runTo(t0, 0.2);
    modal.reset();
    EXPECT_TRUE(background.expired());
    EXPECT_EQ(window->subviews().size(), 1u);
    EXPECT_EQ(host->notices.size(), 1u) << "not from inside the release";
    loop->runFor(2);
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 1", "didDismissModalCanvas 1"}));

    // Let go with a deferred dismissal pending: the timer, then the dismissal's animations,
    // keep it alive to the normal end.
    host->notices.clear();
    auto pending = TestModal::create();
    pending->setAdNetDelegate(host);
    weak = pending;
    const double t1 = now();
    pending->presentModalFromView(adView);
    pending->dismissModal();
    runTo(t1, 0.8);
    pending.reset();
    ASSERT_FALSE(weak.expired());
    runTo(t1, 1.5);
    ASSERT_FALSE(weak.expired());
    EXPECT_EQ(weak.lock()->phase(), Phase::Shrinking);
    runTo(t1, 1.9);
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(window->subviews().size(), 1u);
    loop->runFor(2);
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 1", "didDismissModalCanvas 1"}));

    // Let go while presented: gone at once.
    host->notices.clear();
    auto shown = TestModal::create();
    shown->setAdNetDelegate(host);
    shown->presentModalFromView(adView);
    loop->runFor(1);
    shown.reset();
    EXPECT_EQ(window->subviews().size(), 1u);
    loop->runFor(0.01);
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 1", "didDismissModalCanvas 1"}));
}
