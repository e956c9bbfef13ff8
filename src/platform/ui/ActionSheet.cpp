#include "platform/ui/ActionSheet.h"

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

constexpr Float kPadding = 20;
constexpr Float kButtonHeight = 46;
constexpr Float kButtonGap = 8;
constexpr double kSlide = 0.3;

const Font& titleFont()
{
    static const Font font = Font::system(14);
    return font;
}

} // namespace

std::shared_ptr<ActionSheet> ActionSheet::create(std::optional<std::string> title,
                                                 std::weak_ptr<ActionSheetDelegate> delegate,
                                                 std::optional<std::string> cancelButtonTitle,
                                                 std::optional<std::string> destructiveButtonTitle,
                                                 std::vector<std::string> otherButtonTitles)
{
    auto sheet = std::shared_ptr<ActionSheet>(new ActionSheet());
    sheet->m_title = std::move(title);
    sheet->m_delegate = std::move(delegate);
    if (destructiveButtonTitle) {
        sheet->m_destructiveIndex = 0;
        sheet->m_buttons.push_back(std::move(*destructiveButtonTitle));
    }
    for (auto& t : otherButtonTitles)
        sheet->m_buttons.push_back(std::move(t));
    if (cancelButtonTitle) {
        sheet->m_cancelIndex = int(sheet->m_buttons.size());
        sheet->m_buttons.push_back(std::move(*cancelButtonTitle));
    }
    return sheet;
}

ActionSheet::ActionSheet() : View(Rect{})
{
    setOpaque(false);
    setBackgroundColor(Color::white(0, 0.35f));
}

std::string ActionSheet::buttonTitleAtIndex(int index) const
{
    return index >= 0 && index < numberOfButtons() ? m_buttons[std::size_t(index)] : std::string();
}

std::shared_ptr<Button> ActionSheet::buttonAt(int index) const
{
    return index >= 0 && std::size_t(index) < m_buttonViews.size() ? m_buttonViews[std::size_t(index)] : nullptr;
}

bool ActionSheet::showInView(View& view)
{
    if (m_visible)
        return true;
    Window* window = view.window();
    if (!window)
        return false;
    setFrame(window->bounds());
    m_visible = true;
    m_dismissing = false;
    layout();
    window->addSubview(sharedAs<ActionSheet>());
    // The panel slides up from below the window.
    Point shown = center();
    setCenter({shown.x, shown.y + m_panel.height()});
    ViewAnimation::begin("showActionSheet");
    ViewAnimation::setDuration(kSlide);
    setCenter(shown);
    ViewAnimation::commit();
    return true;
}

void ActionSheet::layout()
{
    for (auto& b : m_buttonViews)
        b->removeFromSuperview();
    m_buttonViews.clear();
    const Rect b = bounds();
    const Float inner = b.width() - 2 * kPadding;
    Size titleSize = m_title && !m_title->empty() ? titleFont().measure(*m_title, {inner, 200}) : Size{};
    Float height = kPadding + (titleSize.height > 0 ? titleSize.height + 12 : 0) +
                   Float(m_buttons.size()) * (kButtonHeight + kButtonGap) + (m_cancelIndex >= 0 ? 8 : 0) + kPadding -
                   kButtonGap;
    m_panel = {b.x(), b.maxY() - height, b.width(), height};
    Float y = m_panel.y() + kPadding + (titleSize.height > 0 ? titleSize.height + 12 : 0);
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        const int index = int(i);
        if (index == m_cancelIndex)
            y += 8; // cancel stands apart
        Color fill = index == m_destructiveIndex ? Color::rgba(0.8f, 0.1f, 0.1f)
                     : index == m_cancelIndex    ? Color::white(0.15f)
                                                 : Color::white(0.85f);
        auto button = Button::create({kPadding, y, inner, kButtonHeight});
        button->setBackgroundImage(makePanelButtonImage({inner, kButtonHeight}, fill));
        button->setTitle(m_buttons[i]);
        button->setTitleColor(index == m_destructiveIndex || index == m_cancelIndex ? Color::white(1)
                                                                                    : Color::white(0));
        button->setFont(Font::boldSystem(19));
        std::weak_ptr<ActionSheet> weak = sharedAs<ActionSheet>();
        button->addAction(
            [weak, index](Control&) {
                if (auto sheet = weak.lock())
                    sheet->dismissWithClickedButtonIndex(index, true);
            },
            TouchUpInside);
        addSubview(button);
        m_buttonViews.push_back(button);
        y += kButtonHeight + kButtonGap;
    }
    notify(ViewChange::Content);
}

void ActionSheet::dismissWithClickedButtonIndex(int index, bool animated)
{
    if (!m_visible || m_dismissing)
        return;
    m_dismissing = true;
    auto self = sharedAs<ActionSheet>();
    if (auto delegate = m_delegate.lock())
        delegate->actionSheetClickedButtonAtIndex(*this, index);
    auto finish = [self, index] {
        self->removeFromSuperview();
        self->m_visible = false;
        if (auto delegate = self->m_delegate.lock())
            delegate->actionSheetDidDismiss(*self, index);
    };
    if (!animated) {
        finish();
        return;
    }
    ViewAnimation::begin("dismissActionSheet");
    ViewAnimation::setDuration(kSlide);
    ViewAnimation::setDidStop([finish](const std::string&, bool, const std::any&) { finish(); });
    setCenter({center().x, center().y + m_panel.height()});
    ViewAnimation::commit();
}

void ActionSheet::touchesEnded(const TouchSet& touches, const TouchEvent&)
{
    // Taps on the dimmed part above the panel cancel.
    Touch* touch = touches.anyObject();
    if (touch && m_cancelIndex >= 0 && touch->locationInView(this).y < m_panel.y())
        dismissWithClickedButtonIndex(m_cancelIndex, true);
}

void ActionSheet::draw(Canvas& canvas, const Rect&)
{
    canvas.drawLinearGradient(
        {{Color::rgba(0.35f, 0.38f, 0.45f, 0.95f), Color::rgba(0.12f, 0.14f, 0.2f, 0.95f)}, {0, 1}}, {0, m_panel.y()},
        {0, m_panel.maxY()});
    if (m_title && !m_title->empty()) {
        canvas.setFillColor(Color::white(1));
        canvas.drawText(*m_title, Rect{kPadding, m_panel.y() + kPadding, m_panel.width() - 2 * kPadding, 200},
                        titleFont(), TextAlignment::Center);
    }
}

Accessibility ActionSheet::accessibility() const
{
    Accessibility a;
    a.role = AccessibleRole::Dialog;
    a.label = m_title.value_or(std::string());
    a.modal = true;
    return a;
}

bool ActionSheet::handleEscape()
{
    if (!m_visible)
        return false;
    if (m_cancelIndex >= 0)
        dismissWithClickedButtonIndex(m_cancelIndex, true);
    return true;
}

} // namespace platform
