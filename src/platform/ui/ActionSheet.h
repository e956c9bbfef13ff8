#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class ActionSheet;
class Button;

class ActionSheetDelegate {
public:
    virtual ~ActionSheetDelegate() = default;
    virtual void actionSheetClickedButtonAtIndex(ActionSheet&, int index) { (void)index; }
    virtual void actionSheetDidDismiss(ActionSheet&, int index) { (void)index; }
};

// A column of choices that slides up from the bottom of the window. Buttons are numbered
// in the order the platform uses: the destructive one first, then the others, then
// cancel. A tap on the dimmed area above counts as cancel (when there is one).
class ActionSheet final : public View {
public:
    static std::shared_ptr<ActionSheet> create(std::optional<std::string> title,
                                               std::weak_ptr<ActionSheetDelegate> delegate,
                                               std::optional<std::string> cancelButtonTitle,
                                               std::optional<std::string> destructiveButtonTitle,
                                               std::vector<std::string> otherButtonTitles = {});

    int numberOfButtons() const { return int(m_buttons.size()); }
    std::string buttonTitleAtIndex(int index) const;
    int cancelButtonIndex() const { return m_cancelIndex; }
    int destructiveButtonIndex() const { return m_destructiveIndex; }

    // Shows the sheet over the window `view` is in; false when it is in none.
    bool showInView(View& view);
    bool showFromToolbar(View& toolbar) { return showInView(toolbar); }
    void dismissWithClickedButtonIndex(int index, bool animated);
    bool isVisible() const { return m_visible; }
    std::shared_ptr<Button> buttonAt(int index) const;

    void draw(Canvas& canvas, const Rect& dirty) override;
    void touchesEnded(const TouchSet& touches, const TouchEvent& event) override;
    // A dialog named by its title; Escape is its cancel button.
    Accessibility accessibility() const override;
    bool handleEscape() override;

private:
    ActionSheet();
    void layout();

    std::optional<std::string> m_title;
    std::weak_ptr<ActionSheetDelegate> m_delegate;
    std::vector<std::string> m_buttons;
    int m_cancelIndex{-1};
    int m_destructiveIndex{-1};
    bool m_visible{false};
    bool m_dismissing{false};
    Rect m_panel;
    std::vector<std::shared_ptr<Button>> m_buttonViews;
};

} // namespace platform
