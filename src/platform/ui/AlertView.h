#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

class AlertView;
class Button;
class Image;

class AlertViewDelegate {
public:
    virtual ~AlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(AlertView&, int index) { (void)index; }
    // After the alert has left the screen.
    virtual void alertViewDidDismiss(AlertView&, int index) { (void)index; }
};

// A message in a box over the dimmed key window, with one or more buttons. The cancel
// button (if any) is number 0 and the others follow in order. A tap on a button tells the
// delegate (held weakly) and dismisses the alert. While shown, the alert keeps itself
// alive; several alerts stack, the latest on top.
class AlertView final : public View {
public:
    static std::shared_ptr<AlertView> create(std::string title, std::string message,
                                             std::weak_ptr<AlertViewDelegate> delegate,
                                             std::optional<std::string> cancelButtonTitle,
                                             std::vector<std::string> otherButtonTitles = {});

    const std::string& title() const { return m_title; }
    const std::string& message() const { return m_message; }
    int numberOfButtons() const { return int(m_buttons.size()); }
    std::string buttonTitleAtIndex(int index) const;
    // -1 when there is no cancel button.
    int cancelButtonIndex() const { return m_cancelIndex; }
    int addButtonWithTitle(std::string title);

    // Shows the alert on the application's key window; false when there is none.
    bool show();
    void dismissWithClickedButtonIndex(int index, bool animated);
    bool isVisible() const { return m_visible; }
    // The view of button `index` while the alert is shown.
    std::shared_ptr<Button> buttonAt(int index) const;

    // Alerts on screen now, oldest first.
    static std::vector<std::shared_ptr<AlertView>> visibleAlerts();

    void draw(Canvas& canvas, const Rect& dirty) override;
    // An alert dialog named by its title; Escape is its cancel button (or its only one).
    Accessibility accessibility() const override;
    bool handleEscape() override;

private:
    AlertView();
    void layout();
    Rect boxFrame() const { return m_box; }

    std::string m_title;
    std::string m_message;
    std::weak_ptr<AlertViewDelegate> m_delegate;
    std::vector<std::string> m_buttons;
    int m_cancelIndex{-1};
    bool m_visible{false};
    bool m_dismissing{false};
    Rect m_box;
    std::vector<std::shared_ptr<Button>> m_buttonViews;
};

// Shared look of alert and sheet buttons: a rounded, slightly glossy box.
std::shared_ptr<Image> makePanelButtonImage(Size size, Color fill);

} // namespace platform
