#include "platform/ui/ActionSheet.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bars.h"
#include "platform/ui/Button.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

#include "UiTestSupport.h"

#include <string>
#include <vector>

using namespace platform;

namespace {

void tapView(Window& window, const View& view, Touch::Id id = 1)
{
    Point p = view.superview()->convertPointToView(view.center(), nullptr);
    window.touchBegan(id, p);
    window.touchEnded(id, p);
}

struct Log : AlertViewDelegate, ActionSheetDelegate {
    explicit Log(RunLoop& loop) : loop(loop) { }
    void alertViewClickedButtonAtIndex(AlertView&, int i) override { add("clicked", i); }
    void alertViewDidDismiss(AlertView&, int i) override { add("dismissed", i); }
    void actionSheetClickedButtonAtIndex(ActionSheet&, int i) override { add("sheet clicked", i); }
    void actionSheetDidDismiss(ActionSheet&, int i) override { add("sheet dismissed", i); }
    void add(const std::string& what, int i)
    {
        lines.push_back(what + " " + std::to_string(i));
        times.push_back(loop.now());
    }
    RunLoop& loop;
    std::vector<std::string> lines;
    std::vector<double> times;
};

} // namespace

using Bars = UiTest;

TEST_F(Bars, ToolbarSharesTheSpareWidthAmongFlexibleSpaces)
{
    auto window = Window::create({0, 0, 320, 480});
    auto bar = Toolbar::create({0, 436, 320, 44});
    window->addSubview(bar);
    auto back = BarButtonItem::create(solidImage({20, 20}, Color::rgba(1, 1, 1)), BarButtonItemStyle::Plain);
    auto forward = BarButtonItem::create(solidImage({20, 20}, Color::rgba(1, 1, 1)), BarButtonItemStyle::Plain);
    auto space = BarButtonItem::create(BarButtonSystemItem::FlexibleSpace);
    auto stop = BarButtonItem::create(BarButtonSystemItem::Stop);
    auto action = BarButtonItem::create(BarButtonSystemItem::Action);
    // One space object placed three times, as the embedded browser does.
    bar->setItems({back, space, forward, space, stop, space, action});
    ASSERT_EQ(bar->items().size(), 7u);
    EXPECT_FALSE(bar->viewForItemAt(1)) << "spaces have no view";
    Rect first = bar->viewForItemAt(0)->frame(), last = bar->viewForItemAt(6)->frame();
    EXPECT_FLOAT_EQ(first.x(), 6);
    EXPECT_FLOAT_EQ(first.width(), 34) << "image width plus padding";
    EXPECT_FLOAT_EQ(last.maxX(), 314) << "the last item ends at the right margin";
    // Equal gaps between the four buttons' neighbours: the spaces got equal shares.
    Float g1 = bar->viewForItemAt(2)->frame().x() - first.maxX();
    Float g2 = bar->viewForItemAt(4)->frame().x() - bar->viewForItemAt(2)->frame().maxX();
    Float g3 = last.x() - bar->viewForItemAt(4)->frame().maxX();
    EXPECT_FLOAT_EQ(g1, g2);
    EXPECT_FLOAT_EQ(g2, g3);

    // Narrower than its fixed items: spaces get nothing, never a negative width.
    bar->setFrame({0, 436, 100, 44});
    EXPECT_GE(bar->viewForItemAt(2)->frame().x(), bar->viewForItemAt(0)->frame().maxX());
}

TEST_F(Bars, DisabledItemsTakeNoTapsAndActionsMayRebuildTheBar)
{
    auto window = Window::create({0, 0, 320, 480});
    auto bar = Toolbar::create({0, 436, 320, 44});
    window->addSubview(bar);
    int taps = 0, rebuilds = 0;
    auto back =
        BarButtonItem::create(std::string("Back"), BarButtonItemStyle::Bordered, [&](BarButtonItem&) { ++taps; });
    back->setEnabled(false);
    std::function<void()> rebuild;
    auto reload = BarButtonItem::create(BarButtonSystemItem::Refresh, [&](BarButtonItem&) {
        ++rebuilds;
        rebuild(); // replaces every item, this one included, from inside its own action
    });
    rebuild = [&] { bar->setItems({back, BarButtonItem::create(BarButtonSystemItem::FlexibleSpace), reload}); };
    rebuild();

    tapView(*window, *bar->viewForItemAt(0));
    EXPECT_EQ(taps, 0);
    back->setEnabled(true);
    tapView(*window, *bar->viewForItemAt(0));
    EXPECT_EQ(taps, 1);
    tapView(*window, *bar->viewForItemAt(2));
    tapView(*window, *bar->viewForItemAt(2));
    EXPECT_EQ(rebuilds, 2);
    EXPECT_EQ(bar->subviews().size(), 2u) << "old item views are gone";
}

TEST_F(Bars, NavigationBarShowsTheTopItemAndKeepsAddedViewsOnTop)
{
    auto window = Window::create({0, 0, 320, 480});
    auto bar = NavigationBar::create({0, 0, 320, 44});
    window->addSubview(bar);
    auto item = NavigationItem::create("");
    bar->setItems({item});
    int done = 0;
    item->setLeftBarButtonItem(BarButtonItem::create(BarButtonSystemItem::Done, [&](BarButtonItem&) { ++done; }));
    ASSERT_TRUE(bar->leftItemView());
    EXPECT_FLOAT_EQ(bar->leftItemView()->frame().x(), 5);

    auto spinner = ActivityIndicator::create(ActivityIndicatorStyle::White);
    spinner->setFrame({150, 12, 20, 20});
    bar->addSubview(spinner);
    // A fresh Done button each refresh, as the browser makes: the spinner stays on top.
    item->setLeftBarButtonItem(BarButtonItem::create(BarButtonSystemItem::Done, [&](BarButtonItem&) { ++done; }));
    EXPECT_EQ(bar->subviews().back(), spinner);
    EXPECT_EQ(bar->subviews().size(), 2u);
    tapView(*window, *bar->leftItemView());
    EXPECT_EQ(done, 1);

    item->setTitle("Brimsey news");
    EXPECT_EQ(bar->topItem()->title(), "Brimsey news");
    bar->pushNavigationItem(NavigationItem::create("Second"));
    EXPECT_FALSE(bar->leftItemView());
    item->setTitle("ignored while not on top");
    EXPECT_EQ(bar->popNavigationItem()->title(), "Second");
    EXPECT_TRUE(bar->leftItemView());
}

TEST_F(Bars, TintAndStyleColourTheBar)
{
    auto window = Window::create({0, 0, 100, 44});
    auto bar = Toolbar::create({0, 0, 100, 44});
    window->addSubview(bar);
    Compositor compositor(window);
    bar->setTintColor(Color::rgba(1, 0, 0));
    auto image = compositor.renderImage(1.0);
    std::uint32_t bottom = pixelAt(*image, 50, 41);
    EXPECT_GT(bottom >> 24, 0xE0u);
    EXPECT_LT((bottom >> 8) & 0xFF, 0x40u) << "red below, the tint itself";
    bar->setTintColor(std::nullopt);
    bar->setBarStyle(BarStyle::Black);
    image = compositor.renderImage(1.0);
    EXPECT_LT(pixelAt(*image, 50, 41) >> 24, 0x30u);
}

using Alerts = UiTest;

TEST_F(Alerts, AButtonTellsTheDelegateThenTheAlertLeavesAfterItsFade)
{
    std::string error;
    auto log = std::make_shared<Log>(*loop);
    auto alert = AlertView::create("Whoops", "Couldn't connect to that page.", log, std::string("Ok"));
    EXPECT_FALSE(alert->show()) << "no key window yet";
    auto window = Window::create({0, 0, 320, 480});
    window->makeKeyAndVisible();
    EXPECT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    ASSERT_TRUE(alert->show());
    EXPECT_EQ(alert->superview(), window);
    std::weak_ptr<AlertView> weak = alert;
    alert.reset(); // shown alerts keep themselves alive
    ASSERT_FALSE(weak.expired());
    ASSERT_EQ(AlertView::visibleAlerts().size(), 1u);

    auto shown = weak.lock();
    auto ok = shown->buttonAt(0);
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->titleForState(StateNormal), "Ok");
    const double t0 = now();
    window->touchBegan(1, ok->superview()->convertPointToView(ok->center(), nullptr));
    window->touchEnded(1, ok->superview()->convertPointToView(ok->center(), nullptr));
    shown->dismissWithClickedButtonIndex(0, true); // a second request: ignored
    shown.reset();
    ok.reset();
    EXPECT_EQ(log->lines, (std::vector<std::string>{"clicked 0"}));
    loop->runFor(1.0);
    EXPECT_EQ(log->lines, (std::vector<std::string>{"clicked 0", "dismissed 0"}));
    EXPECT_NEAR(log->times[1] - t0, 0.2, 1e-6);
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
    EXPECT_TRUE(window->subviews().empty());
    EXPECT_TRUE(weak.expired());
}

TEST_F(Alerts, AlertsStackAndTwoButtonsSitSideBySide)
{
    auto window = Window::create({0, 0, 320, 480});
    window->makeKeyAndVisible();
    auto a = AlertView::create("One", "", {}, std::string("Ok"));
    auto b = AlertView::create("Two", "", {}, std::nullopt, {"Yes", "No"});
    EXPECT_EQ(b->cancelButtonIndex(), -1);
    ASSERT_TRUE(a->show());
    ASSERT_TRUE(b->show());
    EXPECT_EQ(window->subviews().back(), b) << "the latest on top";
    EXPECT_EQ(b->buttonAt(0)->frame().y(), b->buttonAt(1)->frame().y());
    EXPECT_LT(b->buttonAt(0)->frame().x(), b->buttonAt(1)->frame().x());
    b->dismissWithClickedButtonIndex(1, false);
    EXPECT_EQ(window->subviews().back(), a);
    EXPECT_EQ(AlertView::visibleAlerts().size(), 1u);
    a->dismissWithClickedButtonIndex(0, false);
}

using Sheets = UiTest;

TEST_F(Sheets, ButtonsAreNumberedDestructiveOthersCancelAndTheDimAreaCancels)
{
    auto window = Window::create({0, 0, 320, 480});
    auto toolbar = Toolbar::create({0, 436, 320, 44});
    auto log = std::make_shared<Log>(*loop);
    auto sheet =
        ActionSheet::create(std::nullopt, log, std::string("Cancel"), std::nullopt, {"Open in Browser", "Email link"});
    EXPECT_FALSE(sheet->showFromToolbar(*toolbar)) << "the toolbar is in no window";
    window->addSubview(toolbar);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "Open in Browser");
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "Email link");
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), "Cancel");
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);
    EXPECT_EQ(sheet->destructiveButtonIndex(), -1);
    ASSERT_TRUE(sheet->showFromToolbar(*toolbar));
    loop->runFor(0.5); // slid up
    tapView(*window, *sheet->buttonAt(1));
    loop->runFor(0.5);
    EXPECT_EQ(log->lines, (std::vector<std::string>{"sheet clicked 1", "sheet dismissed 1"}));
    EXPECT_EQ(window->subviews().size(), 1u);

    auto second =
        ActionSheet::create(std::string("Share"), log, std::string("Cancel"), std::string("Delete"), {"Keep"});
    EXPECT_EQ(second->destructiveButtonIndex(), 0);
    EXPECT_EQ(second->buttonTitleAtIndex(1), "Keep");
    EXPECT_EQ(second->cancelButtonIndex(), 2);
    ASSERT_TRUE(second->showInView(*toolbar));
    loop->runFor(0.5);
    window->touchBegan(2, {160, 20});
    window->touchEnded(2, {160, 20});
    loop->runFor(0.5);
    EXPECT_EQ(log->lines.back(), "sheet dismissed 2");
}
