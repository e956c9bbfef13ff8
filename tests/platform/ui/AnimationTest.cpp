#include "platform/ui/Animation.h"
#include "platform/core/Timer.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

#include <any>
#include <string>
#include <vector>

using namespace platform;

namespace {

struct Stop {
    std::string id;
    bool finished;
    double time;
};

} // namespace

using ViewAnimations = UiTest;

TEST_F(ViewAnimations, ModelChangesAtOnceWhileTheDrawingFollowsTheClock)
{
    auto v = View::create({0, 0, 100, 100});
    const double t0 = now();
    ViewAnimation::begin("move");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setCurve(AnimationCurve::Linear);
    v->setAlpha(0);
    v->setCenter({150, 50});
    ViewAnimation::commit();
    EXPECT_EQ(v->alpha(), 0.0f);
    EXPECT_EQ(v->center(), (Point{150, 50}));
    EXPECT_FLOAT_EQ(v->presentationAlpha(t0), 1.0f);
    EXPECT_FLOAT_EQ(v->presentationAlpha(t0 + 0.25), 0.75f);
    EXPECT_FLOAT_EQ(v->presentationCenter(t0 + 0.5).x, 100.0f);
    EXPECT_EQ(v->presentationAlpha(t0 + 1.0), 0.0f) << "at the end the model shows";
    EXPECT_EQ(v->presentationAlpha(t0 + 5.0), 0.0f);

    // The default curve eases in and out: slower than linear at the start.
    loop->runFor(2.0);
    const double t1 = now();
    ViewAnimation::begin();
    ViewAnimation::setDuration(1.0);
    v->setAlpha(1);
    ViewAnimation::commit();
    EXPECT_LT(v->presentationAlpha(t1 + 0.1), 0.1f);
    EXPECT_NEAR(v->presentationAlpha(t1 + 0.5), 0.5f, 1e-3);
}

TEST_F(ViewAnimations, DidStopRunsOnTheLoopAtTheEndWithNameAndContext)
{
    auto v = View::create({0, 0, 10, 10});
    std::vector<Stop> stops;
    int context = 42;
    const double t0 = now();
    ViewAnimation::begin("fadeOut", &context);
    ViewAnimation::setDuration(0.7);
    ViewAnimation::setDidStop([&](const std::string& id, bool finished, const std::any& ctx) {
        EXPECT_EQ(std::any_cast<int*>(ctx), &context);
        stops.push_back({id, finished, now()});
    });
    v->setAlpha(0);
    ViewAnimation::commit();
    EXPECT_TRUE(stops.empty()) << "never inside commit";
    loop->runFor(0.69);
    EXPECT_TRUE(stops.empty());
    loop->runFor(1.0);
    ASSERT_EQ(stops.size(), 1u);
    EXPECT_EQ(stops[0].id, "fadeOut");
    EXPECT_TRUE(stops[0].finished);
    EXPECT_DOUBLE_EQ(stops[0].time, t0 + 0.7);
}

TEST_F(ViewAnimations, DefaultDurationDelayZeroDurationAndEmptyBlocks)
{
    auto v = View::create({0, 0, 10, 10});
    std::vector<Stop> stops;
    auto record = [&](const std::string& id, bool finished, const std::any&) {
        stops.push_back({id, finished, now()});
    };
    const double t0 = now();
    ViewAnimation::begin("default");
    ViewAnimation::setDidStop(record);
    v->setAlpha(0.5f);
    ViewAnimation::commit();
    ViewAnimation::begin("delayed");
    ViewAnimation::setDelay(0.3);
    ViewAnimation::setDuration(0.5);
    ViewAnimation::setDidStop(record);
    v->setCenter({1, 1});
    ViewAnimation::commit();
    EXPECT_EQ(v->presentationCenter(t0 + 0.2), (Point{5, 5})) << "nothing moves during the delay";
    ViewAnimation::begin("instant");
    ViewAnimation::setDuration(0);
    ViewAnimation::setDidStop(record);
    ViewAnimation::commit();
    ViewAnimation::begin("empty");
    ViewAnimation::setDuration(0.1);
    ViewAnimation::setDidStop(record);
    ViewAnimation::commit(); // nothing changed inside: still reports at its end
    EXPECT_TRUE(stops.empty());
    loop->runFor(2.0);
    ASSERT_EQ(stops.size(), 4u);
    EXPECT_EQ(stops[0].id, "instant");
    EXPECT_DOUBLE_EQ(stops[0].time, t0);
    EXPECT_EQ(stops[1].id, "empty");
    EXPECT_DOUBLE_EQ(stops[1].time, t0 + 0.1);
    EXPECT_EQ(stops[2].id, "default");
    EXPECT_DOUBLE_EQ(stops[2].time, t0 + ViewAnimation::kDefaultDuration);
    EXPECT_EQ(stops[3].id, "delayed");
    EXPECT_DOUBLE_EQ(stops[3].time, t0 + 0.8);
}

TEST_F(ViewAnimations, ALaterChangeTakesOverAndTheFirstReportsUnfinished)
{
    auto v = View::create({0, 0, 10, 10});
    std::vector<Stop> stops;
    auto record = [&](const std::string& id, bool finished, const std::any&) {
        stops.push_back({id, finished, now()});
    };
    const double t0 = now();
    ViewAnimation::begin("first");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setCurve(AnimationCurve::Linear);
    ViewAnimation::setDidStop(record);
    v->setAlpha(0);
    ViewAnimation::commit();
    loop->runFor(0.5);
    ViewAnimation::begin("second");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setCurve(AnimationCurve::Linear);
    ViewAnimation::setDidStop(record);
    v->setAlpha(1);
    ViewAnimation::commit();
    // Starts from what was on screen (0.5), not from a jump.
    EXPECT_FLOAT_EQ(v->presentationAlpha(t0 + 0.5), 0.5f);
    EXPECT_FLOAT_EQ(v->presentationAlpha(t0 + 1.0), 0.75f);
    loop->runFor(2.0);
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(stops[0].id, "first");
    EXPECT_FALSE(stops[0].finished);
    EXPECT_EQ(stops[1].id, "second");
    EXPECT_TRUE(stops[1].finished);

    // A change outside any block stops the drawing at the new value at once.
    ViewAnimation::begin("third");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setDidStop(record);
    v->setCenter({100, 100});
    ViewAnimation::commit();
    v->setCenter({0, 0});
    EXPECT_EQ(v->presentationCenter(now() + 0.5), (Point{0, 0}));
    loop->runFor(2.0);
    ASSERT_EQ(stops.size(), 3u);
    EXPECT_FALSE(stops[2].finished);
}

TEST_F(ViewAnimations, ContextIsKeptAliveUntilTheEndAndWeakDelegatesAreSilenced)
{
    struct Controller {
        std::vector<std::string> heard;
        void didStop(const std::string& id, bool, const std::any& context)
        {
            heard.push_back(id);
            auto old = std::any_cast<std::shared_ptr<View>>(context);
            old->removeFromSuperview();
        }
    };
    auto container = View::create({0, 0, 320, 48});
    auto oldBanner = View::create({0, 0, 320, 48});
    container->addSubview(oldBanner);
    std::weak_ptr<View> weakOld = oldBanner;
    auto controller = std::make_shared<Controller>();

    ViewAnimation::begin("newAd", std::any(oldBanner));
    ViewAnimation::setDuration(0.7);
    ViewAnimation::setTransition(ViewTransition::FlipFromRight, *container);
    ViewAnimation::setDelegate(controller, &Controller::didStop);
    container->addSubview(View::create({0, 0, 320, 48}));
    oldBanner->removeFromSuperview();
    ViewAnimation::commit();
    oldBanner.reset();
    EXPECT_FALSE(weakOld.expired()) << "the context owns the old banner during the flip";
    loop->runFor(1.0);
    EXPECT_EQ(controller->heard, (std::vector<std::string>{"newAd"}));
    EXPECT_TRUE(weakOld.expired()) << "and lets it go after the did-stop";

    // A delegate that is gone by the end hears nothing (and nothing crashes).
    auto gone = std::make_shared<Controller>();
    ViewAnimation::begin("x");
    ViewAnimation::setDelegate(gone, &Controller::didStop);
    ViewAnimation::commit();
    gone.reset();
    loop->runFor(1.0);
}

TEST_F(ViewAnimations, NestedBlocksAndDisabledAnimations)
{
    auto a = View::create({0, 0, 10, 10}), b = View::create({0, 0, 10, 10});
    std::vector<Stop> stops;
    auto record = [&](const std::string& id, bool finished, const std::any&) {
        stops.push_back({id, finished, now()});
    };
    const double t0 = now();
    ViewAnimation::begin("outer");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setDidStop(record);
    a->setAlpha(0);
    ViewAnimation::begin("inner");
    ViewAnimation::setDuration(0.3);
    ViewAnimation::setDidStop(record);
    b->setAlpha(0);
    ViewAnimation::commit();
    EXPECT_TRUE(ViewAnimation::isOpen());
    ViewAnimation::commit();
    EXPECT_FALSE(ViewAnimation::isOpen());
    EXPECT_EQ(b->presentationAlpha(t0 + 0.3), 0.0f) << "the inner block's own duration";
    EXPECT_GT(a->presentationAlpha(t0 + 0.3), 0.0f);
    loop->runFor(1.5);
    ASSERT_EQ(stops.size(), 2u);
    EXPECT_EQ(stops[0].id, "inner");
    EXPECT_EQ(stops[1].id, "outer");

    ViewAnimation::setAnimationsEnabled(false);
    ViewAnimation::begin("off");
    ViewAnimation::setDuration(5.0);
    ViewAnimation::setDidStop(record);
    a->setAlpha(1);
    ViewAnimation::commit();
    ViewAnimation::setAnimationsEnabled(true);
    EXPECT_EQ(a->presentationAlpha(now()), 1.0f);
    loop->runFor(0.0);
    ASSERT_EQ(stops.size(), 3u) << "still reported, at once";
    ViewAnimation::commit(); // a stray commit is harmless
}

TEST_F(ViewAnimations, TimersAndDidStopsDueAtTheSameTimeKeepTheirSchedulingOrder)
{
    auto v = View::create({0, 0, 10, 10});
    std::vector<std::string> order;
    auto timer = Timer::schedule(1.0, false, [&](Timer&) { order.push_back("timer"); });
    ViewAnimation::begin("fade");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setDidStop([&](const std::string&, bool, const std::any&) { order.push_back("fade"); });
    v->setAlpha(0);
    ViewAnimation::commit();
    auto late = Timer::schedule(1.0, false, [&](Timer&) { order.push_back("late timer"); });
    loop->runFor(2.0);
    EXPECT_EQ(order, (std::vector<std::string>{"timer", "fade", "late timer"}));
}

using LayerAnimations = UiTest;

namespace {

class StopRecorder : public AnimationDelegate {
public:
    explicit StopRecorder(RunLoop& loop) : m_loop(loop) { }
    void animationDidStop(LayerAnimation& a, bool finished) override
    {
        stops.push_back({a.keyPath(), finished, m_loop.now()});
    }
    std::vector<Stop> stops;

private:
    RunLoop& m_loop;
};

std::shared_ptr<KeyframeAnimation> pulse()
{
    auto a = KeyframeAnimation::create("transform");
    a->keyTimes = {0.0, 0.4, 1.0};
    a->values = {Transform::scale(1, 1), Transform::scale(1.4, 1.4), Transform::scale(0.1, 0.1)};
    a->setDuration(0.5);
    a->setRemovedOnCompletion(false);
    return a;
}

} // namespace

TEST_F(LayerAnimations, KeyframePulseFollowsKeyTimesAndReportsItsEnd)
{
    auto view = View::create({0, 0, 320, 48});
    auto icon = Layer::create();
    icon->setFrame({286, 9, 30, 30});
    view->layer()->addSublayer(icon);
    auto delegate = std::make_shared<StopRecorder>(*loop);
    auto animation = pulse();
    animation->setDelegate(delegate);
    const double t0 = now();
    icon->addAnimation(animation, "AdNetPulseAnimation");
    icon->setTransform(Transform::scale(0.1, 0.1));

    EXPECT_DOUBLE_EQ(icon->presentationTransform(t0).a, 1.0);
    // (Times near 7.5e8 s carry about 1e-7 s of rounding.)
    EXPECT_NEAR(icon->presentationTransform(t0 + 0.1).a, 1.2, 1e-5);
    EXPECT_NEAR(icon->presentationTransform(t0 + 0.2).a, 1.4, 1e-5) << "grows to 140% in 0.2 s";
    EXPECT_NEAR(icon->presentationTransform(t0 + 0.35).a, 0.75, 1e-5);
    EXPECT_DOUBLE_EQ(icon->presentationTransform(t0 + 0.5).a, 0.1) << "then the model shows";
    // Scaling is about the centre: the frame's centre does not move.
    EXPECT_EQ(icon->frame().center(), (Point{301, 24}));
    EXPECT_FLOAT_EQ(icon->frame().width(), 3.0f);

    loop->runFor(0.49);
    EXPECT_TRUE(delegate->stops.empty());
    loop->runFor(0.1);
    ASSERT_EQ(delegate->stops.size(), 1u);
    EXPECT_TRUE(delegate->stops[0].finished);
    EXPECT_DOUBLE_EQ(delegate->stops[0].time, t0 + 0.5);
    EXPECT_TRUE(icon->animationForKey("AdNetPulseAnimation")) << "not removed on completion";
}

TEST_F(LayerAnimations, RemovalReplacementAndLostLayersStillReport)
{
    auto view = View::create({0, 0, 100, 100});
    auto layer = Layer::create();
    view->layer()->addSublayer(layer);
    auto delegate = std::make_shared<StopRecorder>(*loop);
    auto a = BasicAnimation::create("opacity");
    a->fromValue = 0.0;
    a->setDuration(1.0);
    a->setDelegate(delegate);

    layer->addAnimation(a, "fade");
    layer->addAnimation(a, "fade"); // replaces: the first stops unfinished
    loop->runFor(0.0);
    ASSERT_EQ(delegate->stops.size(), 1u);
    EXPECT_FALSE(delegate->stops[0].finished);
    layer->removeAnimation("fade");
    loop->runFor(0.0);
    ASSERT_EQ(delegate->stops.size(), 2u);
    EXPECT_FALSE(delegate->stops[1].finished);
    loop->runFor(2.0);
    EXPECT_EQ(delegate->stops.size(), 2u) << "a removed animation does not also finish";

    layer->addAnimation(a, "fade");
    layer->removeFromSuperlayer();
    layer.reset(); // the layer is gone before the end
    loop->runFor(2.0);
    ASSERT_EQ(delegate->stops.size(), 3u) << "the delegate still hears, unfinished";
    EXPECT_FALSE(delegate->stops[2].finished);
}

TEST_F(LayerAnimations, SublayerListsAndGeometry)
{
    auto root = View::create({0, 0, 320, 48})->layer();
    auto a = Layer::create(), b = Layer::create();
    root->addSublayer(a);
    root->addSublayer(b);
    a->addSublayer(b); // moves, never in two places
    EXPECT_EQ(root->sublayers().size(), 1u);
    EXPECT_EQ(b->superlayer(), a);
    b->addSublayer(a); // a cycle is refused
    EXPECT_TRUE(b->sublayers().empty());
    root->setSublayers({});
    EXPECT_TRUE(root->sublayers().empty());
    EXPECT_FALSE(a->superlayer());
    EXPECT_FALSE(a->hostView());

    a->setFrame({10, 20, 30, 40});
    EXPECT_EQ(a->position(), (Point{25, 40}));
    EXPECT_EQ(a->bounds().size, (Size{30, 40}));
    a->setTransform(Transform::scale(2, 0.5));
    EXPECT_EQ(a->frame(), (Rect{-5, 30, 60, 20}));
}
