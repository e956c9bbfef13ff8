#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"
#include "platform/ui/ViewController.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

#include <vector>

using namespace platform;

using ViewTree = UiTest;

TEST_F(ViewTree, FrameCenterAndBoundsStayConsistent)
{
    auto v = View::create({10, 20, 100, 50});
    EXPECT_EQ(v->center(), (Point{60, 45}));
    EXPECT_EQ(v->bounds(), (Rect{0, 0, 100, 50}));
    v->setCenter({60, 100});
    EXPECT_EQ(v->frame(), (Rect{10, 75, 100, 50}));
    v->setBounds({0, 0, 40, 10});
    EXPECT_EQ(v->frame(), (Rect{40, 95, 40, 10})) << "bounds change about the centre";
    v->setFrame({0, 0, -20, 30});
    EXPECT_EQ(v->frame(), (Rect{-20, 0, 20, 30})) << "negative sizes are standardised";

    // The centre keeps exactly the single-precision value it is given.
    double y = 720.0 - 0.15 * 2.7 * 2.7;
    v->setCenter({v->center().x, Float(y)});
    EXPECT_EQ(v->center().y, Float(y));
}

TEST_F(ViewTree, SubviewsKeepOrderAndMoveBetweenParents)
{
    auto a = View::create(), b = View::create();
    auto x = View::create(), y = View::create(), z = View::create();
    a->addSubview(x);
    a->addSubview(y);
    a->insertSubview(z, 0);
    EXPECT_EQ(a->subviews(), (std::vector<std::shared_ptr<View>>{z, x, y}));
    a->bringSubviewToFront(*z);
    EXPECT_EQ(a->subviews(), (std::vector<std::shared_ptr<View>>{x, y, z}));
    a->sendSubviewToBack(*y);
    EXPECT_EQ(a->subviews(), (std::vector<std::shared_ptr<View>>{y, x, z}));
    a->addSubview(y); // re-adding moves to the top, never duplicates
    EXPECT_EQ(a->subviews(), (std::vector<std::shared_ptr<View>>{x, z, y}));

    b->addSubview(x);
    EXPECT_EQ(x->superview(), b);
    EXPECT_EQ(a->subviews().size(), 2u);

    // No cycles: a view cannot take itself or an ancestor.
    x->addSubview(b);
    x->addSubview(x);
    EXPECT_TRUE(x->subviews().empty());

    std::weak_ptr<View> weakY = y;
    y->removeFromSuperview();
    EXPECT_FALSE(y->superview());
    y.reset();
    EXPECT_TRUE(weakY.expired()) << "removal releases the parent's reference";
}

TEST_F(ViewTree, WindowIsKnownThroughTheWholeSubtreeAndForgottenOnRemoval)
{
    auto window = Window::create({0, 0, 320, 480});
    auto parent = View::create({0, 0, 100, 100});
    auto child = View::create({0, 0, 10, 10});
    parent->addSubview(child);
    EXPECT_EQ(child->window(), nullptr);
    window->addSubview(parent);
    EXPECT_EQ(child->window(), window.get());
    parent->removeFromSuperview();
    EXPECT_EQ(child->window(), nullptr);
    window->addSubview(parent);
    window.reset();
    EXPECT_EQ(child->window(), nullptr) << "a destroyed window leaves no dangling pointer";
}

TEST_F(ViewTree, ViewWithTagSearchesSelfThenDepthFirst)
{
    auto root = View::create();
    auto a = View::create(), b = View::create(), deep = View::create();
    a->setTag(2);
    deep->setTag(1);
    b->setTag(1);
    root->addSubview(a);
    a->addSubview(deep);
    root->addSubview(b);
    EXPECT_EQ(root->viewWithTag(1), deep) << "depth first, in subview order";
    EXPECT_EQ(root->viewWithTag(0), root) << "the view itself first";
    EXPECT_EQ(root->viewWithTag(7), nullptr);
}

TEST_F(ViewTree, CoordinateConversionAcrossBranchesAndBoundsOrigins)
{
    auto window = Window::create({0, 0, 320, 480});
    auto banner = View::create({0, 10, 320, 48});
    auto icon = View::create({4, 5, 38, 38});
    auto other = View::create({100, 200, 50, 50});
    window->addSubview(banner);
    banner->addSubview(icon);
    window->addSubview(other);

    EXPECT_EQ(icon->convertPointToView({0, 0}, nullptr), (Point{4, 15}));
    EXPECT_EQ(icon->convertPointToView({1, 1}, other.get()), (Point{-95, -184}));
    EXPECT_EQ(other->convertPointFromView({1, 1}, icon.get()), (Point{-95, -184}));
    EXPECT_EQ(banner->superview()->convertRectToView(banner->frame(), window.get()), (Rect{0, 10, 320, 48}));

    // A scrolled bounds origin shifts what the children show.
    banner->setBounds({0, 5, 320, 48});
    EXPECT_EQ(icon->convertPointToView({0, 0}, nullptr), (Point{4, 10}));
    Point back = icon->convertPointFromView({4, 10}, nullptr);
    EXPECT_EQ(back, (Point{0, 0}));
}

TEST_F(ViewTree, ObserversHearRealChangesOnlyAndMayRemoveThemselves)
{
    auto meter = ImageView::create(Rect{0, 0, 20, 100});
    std::vector<ViewChange> heard;
    int token = meter->addObserver([&](View&, ViewChange c) { heard.push_back(c); });
    meter->setCenter({10, 720});
    meter->setCenter({10, 720}); // same value: nothing
    meter->setAlpha(0.5f);
    meter->setAlpha(2.0f);   // clamped to 1: a change
    meter->setAlpha(1.0f);   // same as clamped: nothing
    meter->setHidden(false); // already visible: nothing
    EXPECT_EQ(heard, (std::vector<ViewChange>{ViewChange::Frame, ViewChange::Alpha, ViewChange::Alpha}));

    auto button = Button::create({0, 0, 10, 10});
    int states = 0;
    button->addObserver([&](View&, ViewChange c) { states += c == ViewChange::State; });
    button->setEnabled(false);
    button->setEnabled(false);
    button->setEnabled(true);
    EXPECT_EQ(states, 2);

    // An observer that removes itself (and another) while being notified.
    int calls = 0, second = 0;
    int secondToken = 0;
    int self = 0;
    self = meter->addObserver([&](View& v, ViewChange) {
        ++calls;
        v.removeObserver(self);
        v.removeObserver(secondToken);
    });
    secondToken = meter->addObserver([&](View&, ViewChange) { ++second; });
    meter->setTag(3);
    meter->setCenter({10, 700});
    meter->setCenter({10, 690});
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(second, 0) << "removed before its turn";
    meter->removeObserver(token);
    heard.clear();
    meter->setCenter({10, 680});
    EXPECT_TRUE(heard.empty());
}

TEST_F(ViewTree, ChangesMarkOnlyTheirOwnWindowForDisplayOnce)
{
    auto window = Window::create({0, 0, 320, 480});
    int invalidations = 0;
    window->setInvalidationHandler([&] { ++invalidations; });
    window->clearNeedsDisplay();
    auto view = View::create({0, 0, 10, 10});
    auto loose = View::create({0, 0, 10, 10});
    window->addSubview(view);
    EXPECT_TRUE(window->needsDisplay());
    EXPECT_EQ(invalidations, 1);
    view->setAlpha(0.3f);
    view->setCenter({50, 50});
    EXPECT_EQ(invalidations, 1) << "one notice until the next frame";
    window->clearNeedsDisplay();
    loose->setAlpha(0.2f);
    EXPECT_FALSE(window->needsDisplay()) << "a view outside the window changes nothing";
    view->setTag(9);
    EXPECT_FALSE(window->needsDisplay()) << "a tag is not drawn";
    view->removeFromSuperview();
    EXPECT_TRUE(window->needsDisplay()) << "removal redraws what was under it";
}

TEST_F(ViewTree, ViewControllerLoadsItsViewOnceAndSitsInTheResponderChain)
{
    auto controller = ViewController::create();
    EXPECT_FALSE(controller->isViewLoaded());
    auto view = controller->view();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame(), Screen::main().applicationFrame());
    EXPECT_EQ(controller->view(), view);
    auto window = Window::create();
    window->setRootViewController(controller);
    EXPECT_EQ(view->superview(), window);
    EXPECT_EQ(view->nextResponder(), controller.get());
    EXPECT_EQ(controller->nextResponder(), window.get());
}
