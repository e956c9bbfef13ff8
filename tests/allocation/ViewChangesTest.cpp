// The accelerometer callback runs 25 times a second for the application's whole life and
// must not allocate; what it does to views (a centre, an alpha, a button's state, with
// an event-log observer listening) must not allocate either.
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

#include "AllocationCounter.h"

using namespace platform;

using ViewAllocations = UiTest;

TEST_F(ViewAllocations, ModelChangesOutsideAnimationsAllocateNothing)
{
    auto window = Window::create({0, 0, 320, 480});
    auto meter = ImageView::create(Rect{140, 670, 40, 100});
    auto hint = ImageView::create(Rect{0, 0, 100, 20});
    auto button = Button::create({0, 0, 50, 50});
    window->addSubview(meter);
    window->addSubview(hint);
    window->addSubview(button);
    int invalidations = 0;
    window->setInvalidationHandler([&] { ++invalidations; });
    long seen = 0;
    auto log = [&](View&, ViewChange) { ++seen; };
    meter->addObserver(log);
    hint->addObserver(log);
    button->addObserver(log);

    // The animation state is set up at its first use in the process, which registers its
    // clean-up at exit (libc allocates for that): long before any sample in the game.
    ViewAnimation::begin();
    ViewAnimation::commit();

    alloccount::Span span;
    for (int i = 0; i < 1000; ++i) {
        meter->setCenter({160, Float(720.0 - 0.15 * 7.29 * i)});
        hint->setAlpha(i % 2 ? 1.0f : 0.0f);
        button->setEnabled(i % 2 == 0);
        if (i % 100 == 0)
            window->clearNeedsDisplay(); // a frame was drawn
    }
    EXPECT_EQ(span.count(), 0u) << span.firstAllocation();
    // Every call but the first centre (already 720) and the first enable (already on).
    EXPECT_EQ(seen, 2998);
    EXPECT_EQ(invalidations, 10);
}
