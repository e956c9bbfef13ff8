#include "platform/ui/Compositor.h"
#include "platform/core/Timer.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Layer.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

using namespace platform;

namespace {

constexpr std::uint32_t kBlack = 0x000000FF;
constexpr std::uint32_t kRed = 0xFF0000FF;
constexpr std::uint32_t kGreen = 0x00FF00FF;
constexpr std::uint32_t kBlue = 0x0000FFFF;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;

std::uint8_t red(std::uint32_t p)
{
    return std::uint8_t(p >> 24);
}
std::uint8_t green(std::uint32_t p)
{
    return std::uint8_t(p >> 16);
}
std::uint8_t blue(std::uint32_t p)
{
    return std::uint8_t(p >> 8);
}

// A view that draws a filled rectangle of its own and counts its draws.
class Painter : public View {
public:
    static std::shared_ptr<Painter> create(const Rect& frame) { return std::shared_ptr<Painter>(new Painter(frame)); }
    void draw(Canvas& canvas, const Rect&) override
    {
        ++draws;
        canvas.setFillColor(Color::rgba(0, 0, 1));
        canvas.fillRect({0, 0, 5, 5});
        canvas.restore(); // careless: must not disturb the compositor
        canvas.restore();
        canvas.translate(1000, 1000);
    }
    int draws = 0;

private:
    explicit Painter(const Rect& frame) : View(frame) { }
};

} // namespace

using Rendering = UiTest;

TEST_F(Rendering, DrawsTheTreeInOrderAtEveryScale)
{
    auto window = Window::create({0, 0, 40, 30});
    window->setBackgroundColor(Color::rgba(1, 1, 1));
    auto red = View::create({10, 5, 20, 10});
    red->setBackgroundColor(Color::rgba(1, 0, 0));
    auto green = View::create({5, 5, 10, 10}); // inside red, at (15, 10) in the window
    green->setBackgroundColor(Color::rgba(0, 1, 0));
    red->addSubview(green);
    auto painter = Painter::create({0, 20, 10, 10});
    window->addSubview(red);
    window->addSubview(painter);
    auto hidden = View::create({0, 0, 40, 30});
    hidden->setBackgroundColor(Color::rgba(0, 0, 0));
    hidden->setHidden(true);
    window->addSubview(hidden);

    Compositor compositor(window);
    for (double scale : {1.0, 2.0}) {
        auto image = compositor.renderImage(scale);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->pixelWidth(), int(40 * scale));
        EXPECT_EQ(pixelAt(*image, 1, 1), kWhite);
        EXPECT_EQ(pixelAt(*image, 11, 6), kRed);
        EXPECT_EQ(pixelAt(*image, 16, 11), kGreen);
        EXPECT_EQ(pixelAt(*image, 29.5, 14.5), kRed);
        EXPECT_EQ(pixelAt(*image, 30.5, 14.5), kWhite);
        EXPECT_EQ(pixelAt(*image, 2, 22), kBlue) << "draw() in the view's own coordinates";
        EXPECT_EQ(pixelAt(*image, 7, 27), kWhite) << "only what draw() filled";
    }
    EXPECT_EQ(painter->draws, 2);
    EXPECT_EQ(compositor.frameCount(), 2u);
    // The careless draw() did not shift what came after it.
    auto image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 16, 11), kGreen);
}

TEST_F(Rendering, AlphaAppliesToTheWholeSubtreeAndZeroAlphaDrawsNothing)
{
    auto window = Window::create({0, 0, 20, 20});
    auto group = View::create({0, 0, 20, 20});
    group->setBackgroundColor(Color::rgba(1, 0, 0));
    auto child = View::create({0, 0, 10, 20});
    child->setBackgroundColor(Color::rgba(0, 0, 1));
    group->addSubview(child);
    window->addSubview(group);
    group->setAlpha(0.5f);
    Compositor compositor(window);
    auto image = compositor.renderImage(1.0);
    // The child covers the red inside the group, then the group is blended once: no red
    // shows through the child.
    std::uint32_t p = pixelAt(*image, 5, 5);
    EXPECT_EQ(red(p), 0);
    EXPECT_NEAR(blue(p), 128, 2);
    EXPECT_NEAR(red(pixelAt(*image, 15, 5)), 128, 2);

    group->setAlpha(0);
    image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 5, 5), kBlack) << "the screen behind is black";
}

TEST_F(Rendering, ImagesUseTheirPointSizeAndTheSharperVariantWhenGiven)
{
    auto window = Window::create({0, 0, 40, 40});
    // A 2x image: 20 x 20 pixels, 10 x 10 points, left half red, right half blue.
    BitmapCanvas bitmap({10, 10}, 2.0);
    bitmap.canvas().setFillColor(Color::rgba(1, 0, 0));
    bitmap.canvas().fillRect({0, 0, 5, 10});
    bitmap.canvas().setFillColor(Color::rgba(0, 0, 1));
    bitmap.canvas().fillRect({5, 0, 5, 10});
    auto view = ImageView::create(bitmap.makeImage());
    EXPECT_EQ(view->frame(), (Rect{0, 0, 10, 10}));
    view->setCenter({20, 20});
    window->addSubview(view);
    Compositor compositor(window);
    auto image = compositor.renderImage(2.0);
    EXPECT_EQ(pixelAt(*image, 15.25, 20), kRed);
    EXPECT_EQ(pixelAt(*image, 19.75, 20), kRed) << "sharp edge at 2x";
    EXPECT_EQ(pixelAt(*image, 20.25, 20), kBlue);
    EXPECT_EQ(pixelAt(*image, 14.75, 20), kBlack);
}

TEST_F(Rendering, LayersDrawOverTheViewWithTheirTransformAboutTheCentre)
{
    auto window = Window::create({0, 0, 100, 100});
    auto view = View::create({0, 0, 100, 100});
    view->setBackgroundColor(Color::rgba(1, 1, 1));
    auto child = View::create({0, 0, 100, 10});
    child->setBackgroundColor(Color::rgba(0, 1, 0));
    view->addSubview(child);
    window->addSubview(view);
    auto icon = Layer::create();
    icon->setFrame({40, 0, 20, 40});
    icon->setContents(solidImage({20, 40}, Color::rgba(1, 0, 0)));
    view->layer()->addSublayer(icon);
    Compositor compositor(window);

    auto image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 50, 20), kRed);
    EXPECT_EQ(pixelAt(*image, 50, 5), kGreen) << "subviews are drawn over layers";

    icon->setTransform(Transform::scale(0.5, 0.5));
    image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 50, 20), kRed);
    EXPECT_EQ(pixelAt(*image, 44, 20), kWhite) << "shrunk about its centre (45..55)";
    EXPECT_EQ(pixelAt(*image, 46, 20), kRed);
    EXPECT_EQ(pixelAt(*image, 50, 29), kRed);
    EXPECT_EQ(pixelAt(*image, 50, 31), kWhite) << "(10..30 high)";

    icon->setOpacity(0.5f);
    image = compositor.renderImage(1.0);
    EXPECT_NEAR(green(pixelAt(*image, 50, 20)), 128, 2);

    view->layer()->setSublayers({});
    image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 50, 20), kWhite);
}

TEST_F(Rendering, RunningAnimationsAreDrawnFromTheClock)
{
    auto window = Window::create({0, 0, 100, 10});
    auto box = View::create({0, 0, 10, 10});
    box->setBackgroundColor(Color::rgba(1, 0, 0));
    window->addSubview(box);
    Compositor compositor(window);
    ViewAnimation::begin();
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setCurve(AnimationCurve::Linear);
    box->setCenter({95, 5});
    ViewAnimation::commit();
    loop->runFor(0.5);
    auto image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 50, 5), kRed) << "half way";
    EXPECT_EQ(pixelAt(*image, 5, 5), kBlack);
    EXPECT_EQ(pixelAt(*image, 95, 5), kBlack);
    loop->runFor(1.0);
    image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 95, 5), kRed);
}

TEST_F(Rendering, FlipShowsTheOldContentUntilHalfWayThenTheNew)
{
    auto window = Window::create({0, 0, 100, 20});
    auto container = View::create({0, 0, 100, 20});
    window->addSubview(container);
    auto oldBanner = View::create({0, 0, 100, 20});
    oldBanner->setBackgroundColor(Color::rgba(1, 0, 0));
    container->addSubview(oldBanner);
    Compositor compositor(window);

    ViewAnimation::begin("newAd");
    ViewAnimation::setDuration(0.7);
    ViewAnimation::setTransition(ViewTransition::FlipFromRight, *container);
    auto newBanner = View::create({0, 0, 100, 20});
    newBanner->setBackgroundColor(Color::rgba(0, 0, 1));
    container->addSubview(newBanner);
    oldBanner->removeFromSuperview();
    ViewAnimation::commit();
    oldBanner.reset();

    loop->runFor(0.2);
    EXPECT_TRUE(compositor.isAnimating());
    auto image = compositor.renderImage(1.0);
    EXPECT_GT(red(pixelAt(*image, 50, 10)), 100) << "the old banner turns away";
    EXPECT_EQ(blue(pixelAt(*image, 50, 10)), 0);
    EXPECT_EQ(pixelAt(*image, 1, 10), kBlack) << "narrower than the full width";
    loop->runFor(0.45); // 0.65 of 0.7
    image = compositor.renderImage(1.0);
    EXPECT_GT(blue(pixelAt(*image, 50, 10)), 100) << "the new one turns in";
    EXPECT_EQ(red(pixelAt(*image, 50, 10)), 0);
    loop->runFor(0.1);
    EXPECT_FALSE(compositor.isAnimating());
    image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 1, 10), kBlue);
}

// The flip turns in perspective: the edge coming towards the viewer is taller than the view,
// the one going away shorter; the old face shows until the half, the new one after it.
TEST_F(Rendering, FlipTurnsInPerspectiveAndSwapsFacesAtTheHalf)
{
    auto window = Window::create({0, 0, 300, 100});
    auto container = View::create({50, 30, 200, 40});
    window->addSubview(container);
    auto oldFace = View::create({0, 0, 200, 40});
    oldFace->setBackgroundColor(Color::rgba(1, 0, 0));
    container->addSubview(oldFace);
    Compositor compositor(window);
    compositor.renderImage(2.0); // the scale the outgoing picture is taken at
    auto newFace = View::create({0, 0, 200, 40});
    newFace->setBackgroundColor(Color::rgba(0, 0, 1));

    ViewAnimation::begin("flip");
    ViewAnimation::setDuration(1.0);
    ViewAnimation::setCurve(AnimationCurve::Linear);
    ViewAnimation::setTransition(ViewTransition::FlipFromRight, *container);
    container->addSubview(newFace);
    oldFace->removeFromSuperview();
    ViewAnimation::commit();

    // Heights in points of the coloured run in the leftmost and rightmost coloured columns.
    struct Edges {
        int left{-1}, right{-1};
        double leftHeight{0}, rightHeight{0};
    };
    auto edges = [&](bool (*isFace)(std::uint32_t)) {
        auto image = compositor.renderImage(2.0);
        Edges e;
        auto height = [&](int x) {
            int n = 0;
            for (int y = 0; y < image->pixelHeight(); ++y)
                n += isFace(image->pixelRGBA(x, y));
            return n / 2.0;
        };
        for (int x = 0; x < image->pixelWidth(); ++x)
            if (height(x) >= 4) {
                if (e.left < 0)
                    e.left = x;
                e.right = x;
            }
        if (e.left >= 0) {
            e.leftHeight = height(e.left + 2);
            e.rightHeight = height(e.right - 2);
        }
        return e;
    };
    auto isOld = [](std::uint32_t p) { return red(p) > 100 && blue(p) < 50; };
    auto isNew = [](std::uint32_t p) { return blue(p) > 100 && red(p) < 50; };

    const double t0 = now();
    loop->runUntilTime(t0 + 0.25); // 45 degrees: the old face, right edge near
    Edges e = edges(isOld);
    ASSERT_GE(e.left, 0);
    EXPECT_GT(e.rightHeight, 41) << "the near edge is taller than the view";
    EXPECT_LT(e.leftHeight, 39) << "the far edge shorter";
    EXPECT_GT(e.left, 100) << "and nearer the centre line than the near one";
    EXPECT_LT(300 - e.right, e.left - 100);
    EXPECT_LT(edges(isNew).left, 0);

    loop->runUntilTime(t0 + 0.45);
    EXPECT_GE(edges(isOld).left, 0);
    EXPECT_LT(edges(isNew).left, 0);
    loop->runUntilTime(t0 + 0.55);
    EXPECT_LT(edges(isOld).left, 0) << "the faces swap at the half";
    EXPECT_GE(edges(isNew).left, 0);

    loop->runUntilTime(t0 + 0.75); // the new face turning in: its left edge is the near one
    e = edges(isNew);
    ASSERT_GE(e.left, 0);
    EXPECT_GT(e.leftHeight, 41);
    EXPECT_LT(e.rightHeight, 39);

    loop->runUntilTime(t0 + 1.01);
    e = edges(isNew);
    EXPECT_EQ(e.left, 100);
    EXPECT_EQ(e.right, 499);
    EXPECT_EQ(e.leftHeight, 40);
}

// An idle window draws nothing; a changing one draws while something changes.
using Frames = UiTest;

TEST_F(Frames, IdleWindowDrawsNoFramesAndAnimationsDrawOnlyWhileTheyRun)
{
    auto window = Window::create({0, 0, 320, 480});
    auto meter = View::create({100, 670, 40, 100});
    meter->setBackgroundColor(Color::rgba(0, 1, 0));
    auto hint = View::create({0, 0, 100, 20});
    window->addSubview(meter);
    window->addSubview(hint);
    window->makeKeyAndVisible();
    Compositor compositor(window);
    FrameDriver driver(
        compositor, [&] { compositor.renderImage(1.0); }, 60.0);

    loop->runFor(0.1);
    EXPECT_EQ(driver.framesDrawn(), 1u) << "the first picture";

    // Something ticking that changes nothing (like samples outside a game): no frames.
    int samples = 0;
    auto ticker = Timer::schedule(0.04, true, [&](Timer&) {
        ++samples;
        meter->setCenter(meter->center()); // same value
    });
    loop->runFor(10.0);
    EXPECT_EQ(samples, 250);
    EXPECT_EQ(driver.framesDrawn(), 1u) << "idle: not one frame in ten seconds";

    // One change: one frame.
    meter->setCenter({120, 700});
    loop->runFor(1.0);
    EXPECT_EQ(driver.framesDrawn(), 2u);

    // Several changes within one frame interval: still one frame.
    meter->setCenter({120, 690});
    hint->setAlpha(0);
    meter->setCenter({120, 680});
    loop->runFor(1.0);
    EXPECT_EQ(driver.framesDrawn(), 3u);

    // A one-second fade: frames at 60 a second while it runs, one final frame, then none.
    ViewAnimation::begin();
    ViewAnimation::setDuration(1.0);
    hint->setAlpha(1);
    ViewAnimation::commit();
    loop->runFor(5.0);
    auto afterFade = driver.framesDrawn() - 3;
    EXPECT_GE(afterFade, 60u);
    EXPECT_LE(afterFade, 62u);
    loop->runFor(10.0);
    EXPECT_EQ(driver.framesDrawn() - 3, afterFade) << "quiet again after the fade";

    // A layer animation keeps frames coming too.
    auto layer = Layer::create();
    meter->layer()->addSublayer(layer);
    auto pulse = BasicAnimation::create("opacity");
    pulse->fromValue = 0.0;
    pulse->setDuration(0.5);
    layer->addAnimation(pulse, "pulse");
    auto before = driver.framesDrawn();
    loop->runFor(3.0);
    EXPECT_GE(driver.framesDrawn() - before, 30u);
    EXPECT_LE(driver.framesDrawn() - before, 33u);
    ticker->invalidate();
}

TEST_F(Frames, ASpinnerDrawsFramesOnlyWhileItTurns)
{
    auto window = Window::create({0, 0, 100, 100});
    window->setBackgroundColor(Color::rgba(0, 0, 0));
    auto spinner = ActivityIndicator::create(ActivityIndicatorStyle::Gray);
    EXPECT_EQ(spinner->frame().size, (Size{20, 20}));
    EXPECT_TRUE(spinner->isHidden()) << "hidden until started";
    spinner->setCenter({50, 50});
    window->addSubview(spinner);
    Compositor compositor(window);
    FrameDriver driver(
        compositor, [&] { compositor.renderImage(1.0); }, 60.0);
    loop->runFor(1.0);
    EXPECT_EQ(driver.framesDrawn(), 1u);

    spinner->startAnimating();
    loop->runFor(0.5);
    auto a = compositor.renderImage(1.0);
    loop->runFor(1.0 / 12);
    auto b = compositor.renderImage(1.0);
    int differing = 0;
    for (int y = 40; y < 60; ++y)
        for (int x = 40; x < 60; ++x)
            differing += a->pixelRGBA(x, y) != b->pixelRGBA(x, y);
    EXPECT_GT(differing, 5) << "the spokes turn with the clock";
    EXPECT_GE(driver.framesDrawn(), 30u);

    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    loop->runFor(0.5);
    auto stopped = driver.framesDrawn();
    loop->runFor(5.0);
    EXPECT_EQ(driver.framesDrawn(), stopped) << "a stopped spinner costs nothing";
    spinner->removeFromSuperview();
}

TEST_F(Frames, ASecondCompositorOnTheSameWindowKeepsItsNotices)
{
    auto window = Window::create({0, 0, 10, 10});
    auto first = std::make_unique<Compositor>(window);
    Compositor second(window);
    int notices = 0;
    second.setNeedsDisplayHandler([&] { ++notices; });
    first.reset(); // must not take the second one's handler with it
    second.renderImage(1.0);
    window->setBackgroundColor(Color::rgba(1, 0, 0));
    EXPECT_EQ(notices, 1);
}

TEST_F(Rendering, ADrawRoutineCannotPaintOutsideItsView)
{
    // A gradient extended past both ends fills the whole clip: that must be the view.
    class Shine : public View {
    public:
        Shine() : View(Rect{10, 10, 20, 20}) { }
        void draw(Canvas& canvas, const Rect& r) override
        {
            canvas.drawLinearGradient({{Color::rgba(1, 0, 0), Color::rgba(1, 0, 0)}, {0, 1}}, {0, r.y()}, {0, r.maxY()},
                                      DrawsBeforeStartLocation | DrawsAfterEndLocation);
        }
    };
    auto window = Window::create({0, 0, 40, 40});
    window->setBackgroundColor(Color::rgba(1, 1, 1));
    window->addSubview(std::make_shared<Shine>());
    Compositor compositor(window);
    auto image = compositor.renderImage(1.0);
    EXPECT_EQ(pixelAt(*image, 15, 15), kRed);
    EXPECT_EQ(pixelAt(*image, 5, 5), kWhite);
    EXPECT_EQ(pixelAt(*image, 35, 35), kWhite);
}

namespace {

// Stands for a web page a native widget shows.
class NativeView final : public View {
public:
    static std::shared_ptr<NativeView> create(const Rect& frame)
    {
        return std::shared_ptr<NativeView>(new NativeView(frame));
    }
    bool showsNativeContent() const override { return true; }

private:
    explicit NativeView(const Rect& frame) : View(frame) { }
};

} // namespace

TEST_F(Rendering, NativeContentSplitsTheDrawingIntoALayerBelowAndOneAbove)
{
    auto window = Window::create({0, 0, 40, 30});
    window->setBackgroundColor(Color::rgba(1, 1, 1));
    auto before = View::create({0, 0, 10, 10});
    before->setBackgroundColor(Color::rgba(0, 0, 1));
    auto page = NativeView::create({10, 0, 20, 20});
    page->setBackgroundColor(Color::rgba(0, 1, 0)); // the widget shows instead
    auto spinner = View::create({5, 5, 5, 5});      // a subview of the page: above it
    spinner->setBackgroundColor(Color::rgba(1, 0, 0));
    page->addSubview(spinner);
    auto alert = View::create({30, 20, 10, 10}); // added later: above it
    alert->setBackgroundColor(Color::rgba(1, 0, 0));
    window->addSubview(before);
    window->addSubview(page);
    window->addSubview(alert);
    Compositor compositor(window);

    auto render = [&](Compositor::Pass pass) {
        BitmapCanvas bitmap({40, 30}, 1.0);
        compositor.render(bitmap.canvas().cairo(), 1.0, pass);
        return bitmap.makeImage();
    };
    auto below = render(Compositor::Pass::BelowNative);
    EXPECT_EQ(pixelAt(*below, 2, 2), kBlue);
    EXPECT_EQ(pixelAt(*below, 12, 2), kWhite) << "the page's own content is the widget's";
    EXPECT_EQ(pixelAt(*below, 17, 7), kWhite) << "what lies above the page is not drawn below it";
    EXPECT_EQ(pixelAt(*below, 35, 25), kWhite);
    auto above = render(Compositor::Pass::AboveNative);
    EXPECT_EQ(pixelAt(*above, 17, 7), kRed);
    EXPECT_EQ(pixelAt(*above, 35, 25), kRed);
    EXPECT_EQ(pixelAt(*above, 2, 2) & 0xFF, 0u) << "transparent elsewhere";
    EXPECT_EQ(pixelAt(*above, 12, 2) & 0xFF, 0u);
    auto all = render(Compositor::Pass::All);
    EXPECT_EQ(pixelAt(*all, 12, 2), kGreen) << "in one pass every view draws itself";

    EXPECT_TRUE(compositor.hasNativeContent());
    EXPECT_FALSE(Compositor::isAboveNativeContent(*before));
    EXPECT_FALSE(Compositor::isAboveNativeContent(*page));
    EXPECT_TRUE(Compositor::isAboveNativeContent(*spinner));
    EXPECT_TRUE(Compositor::isAboveNativeContent(*alert));
    // A hidden page splits nothing.
    page->setHidden(true);
    EXPECT_FALSE(compositor.hasNativeContent());
    EXPECT_FALSE(Compositor::isAboveNativeContent(*alert));
    EXPECT_EQ(pixelAt(*render(Compositor::Pass::BelowNative), 35, 25), kRed);
}
