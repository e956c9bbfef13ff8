#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

#include <string>
#include <vector>

using namespace platform;

namespace {

// A view that writes down every touch callback it gets.
class Recorder : public View {
public:
    static std::shared_ptr<Recorder> create(const Rect& frame)
    {
        return std::shared_ptr<Recorder>(new Recorder(frame));
    }
    void touchesBegan(const TouchSet& t, const TouchEvent&) override { log("began", t); }
    void touchesMoved(const TouchSet& t, const TouchEvent&) override { log("moved", t); }
    void touchesEnded(const TouchSet& t, const TouchEvent&) override { log("ended", t); }
    void touchesCancelled(const TouchSet& t, const TouchEvent&) override { log("cancelled", t); }

    std::vector<std::string> events;
    std::vector<Point> locations;

private:
    explicit Recorder(const Rect& frame) : View(frame) { }
    void log(const char* what, const TouchSet& t)
    {
        events.push_back(what);
        locations.push_back(t.anyObject()->locationInView(this));
    }
};

struct Screen320 {
    std::shared_ptr<Window> window = Window::create({0, 0, 320, 480});
    void tap(Point p, Touch::Id id = 1)
    {
        window->touchBegan(id, p);
        window->touchEnded(id, p);
    }
};

} // namespace

using HitTesting = UiTest;

TEST_F(HitTesting, InvisibleHiddenDisabledAndNonInteractiveViewsTakeNoTouches)
{
    Screen320 s;
    auto back = Recorder::create({0, 0, 320, 480});
    auto button = Button::create({100, 100, 50, 50});
    s.window->addSubview(back);
    s.window->addSubview(button);
    const Point inside{125, 125};

    EXPECT_EQ(s.window->hitTest(inside), button);
    button->setAlpha(0.0f);
    EXPECT_EQ(s.window->hitTest(inside), back) << "alpha 0";
    button->setAlpha(0.009f);
    EXPECT_EQ(s.window->hitTest(inside), back) << "below 0.01 counts as invisible";
    button->setAlpha(0.01f);
    EXPECT_EQ(s.window->hitTest(inside), button);
    button->setHidden(true);
    EXPECT_EQ(s.window->hitTest(inside), back) << "hidden";
    button->setHidden(false);
    button->setEnabled(false);
    EXPECT_EQ(s.window->hitTest(inside), back) << "disabled";
    button->setEnabled(true);
    button->setUserInteractionEnabled(false);
    EXPECT_EQ(s.window->hitTest(inside), back) << "interaction off";
    button->setUserInteractionEnabled(true);

    // Image views let touches through to what is under them, unless told otherwise.
    auto cover = ImageView::create(Rect{0, 0, 320, 480});
    s.window->addSubview(cover);
    EXPECT_EQ(s.window->hitTest(inside), button);
    cover->setUserInteractionEnabled(true);
    EXPECT_EQ(s.window->hitTest(inside), cover);
}

TEST_F(HitTesting, EdgesAndSubviewsOutsideTheirParent)
{
    Screen320 s;
    auto parent = Recorder::create({10, 10, 100, 100});
    auto sticking = Recorder::create({90, 90, 50, 50}); // reaches past the parent
    s.window->addSubview(parent);
    parent->addSubview(sticking);
    EXPECT_EQ(s.window->hitTest({10, 10}), parent) << "top-left edge is inside";
    EXPECT_EQ(s.window->hitTest({110, 50}), s.window) << "right edge is outside";
    EXPECT_EQ(s.window->hitTest({105, 105}), sticking);
    EXPECT_EQ(s.window->hitTest({130, 130}), s.window) << "the part outside the parent's bounds takes no touches";
}

TEST_F(HitTesting, AnAnimatedFadeCountsAtOnceForTouches)
{
    Screen320 s;
    auto button = Button::create({0, 0, 100, 100});
    int taps = 0;
    button->addAction([&](Control&) { ++taps; }, TouchUpInside);
    button->setAlpha(0);
    s.window->addSubview(button);

    ViewAnimation::begin();
    ViewAnimation::setDuration(1.0);
    button->setAlpha(1);
    ViewAnimation::commit();
    s.tap({50, 50}); // drawn almost invisible, but the model is 1
    EXPECT_EQ(taps, 1);

    loop->runFor(2.0);
    ViewAnimation::begin();
    ViewAnimation::setDuration(1.0);
    button->setAlpha(0);
    ViewAnimation::commit();
    s.tap({50, 50}); // still drawn, but the model is 0
    EXPECT_EQ(taps, 1);
}

using Touches = UiTest;

TEST_F(Touches, ATouchBelongsToTheViewItBeganIn)
{
    Screen320 s;
    auto left = Recorder::create({0, 0, 100, 100});
    auto right = Recorder::create({200, 0, 100, 100});
    s.window->addSubview(left);
    s.window->addSubview(right);
    s.window->touchBegan(7, {50, 50});
    s.window->touchMoved(7, {250, 50});
    s.window->touchEnded(7, {260, 60});
    EXPECT_EQ(left->events, (std::vector<std::string>{"began", "moved", "ended"}));
    EXPECT_TRUE(right->events.empty());
    EXPECT_EQ(left->locations.back(), (Point{260, 60})) << "locations in the owner's coordinates";
    EXPECT_EQ(s.window->activeTouchCount(), 0u);

    // Events for unknown or finished touches are ignored.
    s.window->touchMoved(7, {1, 1});
    s.window->touchEnded(99, {1, 1});
    EXPECT_EQ(left->events.size(), 3u);
}

TEST_F(Touches, UnhandledTouchesGoUpTheResponderChain)
{
    Screen320 s;
    auto parent = Recorder::create({0, 0, 200, 200});
    auto plain = View::create({10, 10, 50, 50});
    s.window->addSubview(parent);
    parent->addSubview(plain);
    s.tap({20, 20});
    EXPECT_EQ(parent->events, (std::vector<std::string>{"began", "ended"}));
}

TEST_F(Touches, ButtonActsOnlyWhenLiftedInside)
{
    Screen320 s;
    auto button = Button::create({100, 100, 60, 40});
    s.window->addSubview(button);
    std::vector<std::string> log;
    button->addAction([&](Control&) { log.push_back("down"); }, TouchDown);
    button->addAction([&](Control&) { log.push_back("up-inside"); }, TouchUpInside);
    button->addAction([&](Control&) { log.push_back("up-outside"); }, TouchUpOutside);
    button->addAction([&](Control&) { log.push_back("cancel"); }, TouchCancel);

    s.window->touchBegan(1, {110, 110});
    EXPECT_TRUE(button->isHighlighted());
    s.window->touchMoved(1, {300, 300});
    EXPECT_FALSE(button->isHighlighted()) << "outside: no highlight";
    s.window->touchEnded(1, {300, 300});
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up-outside"}));

    log.clear();
    s.window->touchBegan(2, {110, 110});
    s.window->touchMoved(2, {300, 300});
    s.window->touchMoved(2, {159, 139}); // back in, last pixel inside
    EXPECT_TRUE(button->isHighlighted());
    s.window->touchEnded(2, {159, 139});
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up-inside"}));

    log.clear();
    s.window->touchBegan(3, {110, 110});
    s.window->touchEnded(3, {160, 120}); // right edge belongs outside
    EXPECT_EQ(log, (std::vector<std::string>{"down", "up-outside"}));

    log.clear();
    s.window->touchBegan(4, {110, 110});
    s.window->touchCancelled(4);
    EXPECT_EQ(log, (std::vector<std::string>{"down", "cancel"}));
    EXPECT_FALSE(button->isHighlighted());

    // Disabled while the finger is down: no action when it lifts.
    log.clear();
    s.window->touchBegan(5, {110, 110});
    button->setEnabled(false);
    s.window->touchEnded(5, {110, 110});
    EXPECT_EQ(log, (std::vector<std::string>{"down"}));
}

TEST_F(Touches, ActionsHoldTheirTargetWeaklyAndMayRemoveTheButton)
{
    struct Target {
        int clicks = 0;
        void click() { ++clicks; }
    };
    Screen320 s;
    auto button = Button::create({0, 0, 50, 50});
    s.window->addSubview(button);
    auto target = std::make_shared<Target>();
    button->addTarget(target, &Target::click, TouchUpInside);
    s.tap({10, 10});
    EXPECT_EQ(target->clicks, 1);
    target.reset();
    s.tap({10, 10}); // a target that is gone hears nothing, and nothing breaks

    // An action that removes its own button from the window.
    int fired = 0;
    std::weak_ptr<Button> weak = button;
    button->addAction(
        [&](Control& c) {
            ++fired;
            c.removeFromSuperview();
        },
        TouchUpInside);
    button.reset();
    s.tap({10, 10});
    EXPECT_EQ(fired, 1);
    EXPECT_TRUE(weak.expired());
}

TEST_F(Touches, AReusedTouchIdCancelsTheOldTouchFirst)
{
    Screen320 s;
    auto a = Recorder::create({0, 0, 100, 100});
    auto b = Recorder::create({200, 0, 100, 100});
    s.window->addSubview(a);
    s.window->addSubview(b);
    s.window->touchBegan(1, {10, 10});
    s.window->touchBegan(1, {210, 10}); // the host lost the end of the first
    s.window->touchEnded(1, {210, 10});
    EXPECT_EQ(a->events, (std::vector<std::string>{"began", "cancelled"}));
    EXPECT_EQ(b->events, (std::vector<std::string>{"began", "ended"}));
}
