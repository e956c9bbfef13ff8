#include "UiTestSupport.h"

#include "platform/ui/AlertView.h"
#include "platform/ui/Button.h"

using namespace platform;

namespace {

std::shared_ptr<Button> titled(const Rect& frame, const std::string& title, int* taps)
{
    auto b = Button::create(frame);
    b->setTitle(title);
    b->addAction([taps](Control&) { ++*taps; }, TouchUpInside);
    return b;
}

std::string focusedTitle(const Window& window)
{
    auto b = std::dynamic_pointer_cast<Button>(window.focusedView());
    return b ? b->titleForState(StateNormal).value_or("?") : "none";
}

} // namespace

using KeyboardFocus = UiTest;

// Reading order, skipped views, Enter as a tap, and a modal alert that takes the focus,
// keeps Tab inside, closes on Escape and gives the focus back.
TEST_F(KeyboardFocus, TabEnterEscapeFollowReadingOrderAndModalViews)
{
    auto window = Window::create({0, 0, 320, 480});
    window->makeKeyAndVisible();
    int right = 0, left = 0, banner = 0, other = 0;
    auto game = View::create({0, 0, 320, 480});
    window->addSubview(game);
    game->addSubview(titled({200, 300, 80, 40}, "right", &right));
    game->addSubview(titled({20, 300.4f, 80, 40}, "left", &left)); // same line, half a point lower
    auto hidden = titled({20, 400, 80, 40}, "hidden", &other);
    hidden->setAlpha(0.0f);
    game->addSubview(hidden);
    auto disabled = titled({20, 440, 80, 40}, "disabled", &other);
    disabled->setEnabled(false);
    game->addSubview(disabled);
    window->addSubview(titled({0, 0, 320, 48}, "banner", &banner)); // added last, read first

    EXPECT_FALSE(window->activateFocus()) << "nothing focused before Tab";
    EXPECT_FALSE(window->isFocusVisible());
    std::vector<std::string> order;
    for (int i = 0; i < 4; ++i) {
        window->moveFocus(false);
        order.push_back(focusedTitle(*window));
    }
    EXPECT_EQ(order, (std::vector<std::string>{"banner", "left", "right", "banner"}));
    window->moveFocus(true);
    EXPECT_EQ(focusedTitle(*window), "right");
    EXPECT_TRUE(window->isFocusVisible());
    EXPECT_TRUE(window->activateFocus());
    EXPECT_EQ(right, 1);
    EXPECT_EQ(left + banner + other, 0);
    EXPECT_FALSE(window->escape()) << "nothing takes Escape";

    auto alert = AlertView::create("Whoops", "Couldn't connect to that page.", {}, std::string("Ok"));
    ASSERT_TRUE(alert->show());
    window->updateFocus();
    EXPECT_EQ(focusedTitle(*window), "Ok");
    window->moveFocus(false);
    EXPECT_EQ(focusedTitle(*window), "Ok") << "Tab stays inside the alert";
    EXPECT_EQ(window->modalScope(), alert);
    EXPECT_TRUE(window->escape());
    alert.reset(); // gone altogether once it has faded out
    loop->runFor(1.0);
    window->updateFocus();
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
    EXPECT_EQ(focusedTitle(*window), "right") << "focus returns where it was";

    // A modal view freed as it leaves: focus comes back all the same.
    {
        auto sheet = View::create({0, 240, 320, 240});
        Accessibility modal(AccessibleRole::Dialog, "sheet");
        modal.modal = true;
        sheet->setAccessibility(modal);
        sheet->addSubview(titled({10, 10, 100, 40}, "inside", &other));
        window->addSubview(sheet);
        window->updateFocus();
        EXPECT_EQ(focusedTitle(*window), "inside");
        sheet->removeFromSuperview();
    }
    window->updateFocus();
    EXPECT_EQ(focusedTitle(*window), "right");

    // A pointer touch hides the ring until the keyboard is used again.
    window->touchBegan(1, {5, 200});
    window->touchEnded(1, {5, 200});
    EXPECT_FALSE(window->isFocusVisible());
    right = 0;
    game->subviews()[0]->setHidden(true); // the focused button goes
    window->updateFocus();
    EXPECT_EQ(focusedTitle(*window), "none");
    EXPECT_FALSE(window->activateFocus());
    EXPECT_EQ(right, 0);
}
