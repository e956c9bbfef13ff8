#include "platform/ui/AlertView.h"

#include <algorithm>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/Window.h"

namespace platform {

namespace {

constexpr Float kBoxWidth = 284;
constexpr Float kPadding = 16;
constexpr Float kButtonHeight = 43;
constexpr Float kButtonGap = 8;
constexpr double kFade = 0.2;

std::vector<std::shared_ptr<AlertView>>& shownAlerts()
{
    static std::vector<std::shared_ptr<AlertView>> alerts;
    return alerts;
}

const Font& titleFont()
{
    static const Font font = Font::boldSystem(18);
    return font;
}

const Font& messageFont()
{
    static const Font font = Font::system(16);
    return font;
}

} // namespace

std::shared_ptr<Image> makePanelButtonImage(Size size, Color fill)
{
    BitmapCanvas bitmap(size, 2.0);
    if (!bitmap.isValid())
        return nullptr;
    Canvas& c = bitmap.canvas();
    Rect r{0.5f, 0.5f, size.width - 1, size.height - 1};
    c.beginPath();
    c.addRoundedRect(r, 7);
    c.setFillColor(fill);
    c.fillPath();
    c.save();
    c.beginPath();
    c.addRoundedRect(r, 7);
    c.clip();
    c.drawLinearGradient({{Color::white(1, 0.35f), Color::white(1, 0.05f)}, {0, 1}}, {0, 0}, {0, size.height / 2});
    c.restore();
    c.beginPath();
    c.addRoundedRect(r, 7);
    c.setStrokeColor(Color::white(0, 0.6f));
    c.setLineWidth(1);
    c.strokePath();
    return bitmap.makeImage();
}

std::shared_ptr<AlertView> AlertView::create(std::string title, std::string message,
                                             std::weak_ptr<AlertViewDelegate> delegate,
                                             std::optional<std::string> cancelButtonTitle,
                                             std::vector<std::string> otherButtonTitles)
{
    auto alert = std::shared_ptr<AlertView>(new AlertView());
    alert->m_title = std::move(title);
    alert->m_message = std::move(message);
    alert->m_delegate = std::move(delegate);
    if (cancelButtonTitle) {
        alert->m_cancelIndex = 0;
        alert->m_buttons.push_back(std::move(*cancelButtonTitle));
    }
    for (auto& t : otherButtonTitles)
        alert->m_buttons.push_back(std::move(t));
    return alert;
}

AlertView::AlertView() : View(Rect{})
{
    setOpaque(false);
    setBackgroundColor(Color::white(0, 0.45f));
}

std::string AlertView::buttonTitleAtIndex(int index) const
{
    return index >= 0 && index < numberOfButtons() ? m_buttons[std::size_t(index)] : std::string();
}

int AlertView::addButtonWithTitle(std::string title)
{
    m_buttons.push_back(std::move(title));
    if (m_visible)
        layout();
    return numberOfButtons() - 1;
}

std::shared_ptr<Button> AlertView::buttonAt(int index) const
{
    return index >= 0 && std::size_t(index) < m_buttonViews.size() ? m_buttonViews[std::size_t(index)] : nullptr;
}

std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlerts()
{
    return shownAlerts();
}

bool AlertView::show()
{
    if (m_visible)
        return true;
    auto window = Application::shared().keyWindow();
    if (!window)
        return false;
    setFrame(window->bounds());
    m_visible = true;
    m_dismissing = false;
    shownAlerts().push_back(sharedAs<AlertView>());
    layout();
    window->addSubview(sharedAs<AlertView>());
    setAlpha(0);
    ViewAnimation::begin("showAlert");
    ViewAnimation::setDuration(kFade);
    setAlpha(1);
    ViewAnimation::commit();
    return true;
}

void AlertView::layout()
{
    for (auto& b : m_buttonViews)
        b->removeFromSuperview();
    m_buttonViews.clear();
    const Rect bounds = this->bounds();
    const Float inner = kBoxWidth - 2 * kPadding;
    Size titleSize = m_title.empty() ? Size{} : titleFont().measure(m_title, {inner, 400});
    Size messageSize = m_message.empty() ? Size{} : messageFont().measure(m_message, {inner, 400});
    // Two buttons sit side by side; otherwise they stack.
    const bool sideBySide = m_buttons.size() == 2;
    const std::size_t rows = sideBySide ? 1 : m_buttons.size();
    Float height = kPadding + titleSize.height + (messageSize.height > 0 ? 8 + messageSize.height : 0) +
                   (rows ? 14 + Float(rows) * kButtonHeight + Float(rows - 1) * kButtonGap : 0) + kPadding;
    m_box = {bounds.midX() - kBoxWidth / 2, bounds.midY() - height / 2, kBoxWidth, height};
    Float y = m_box.y() + kPadding + titleSize.height + (messageSize.height > 0 ? 8 + messageSize.height : 0) + 14;
    const Float halfWidth = (inner - kButtonGap) / 2;
    auto image = makePanelButtonImage({sideBySide ? halfWidth : inner, kButtonHeight}, Color::rgba(0.35f, 0.42f, 0.6f));
    for (std::size_t i = 0; i < m_buttons.size(); ++i) {
        Rect frame =
            sideBySide ? Rect{m_box.x() + kPadding + Float(i) * (halfWidth + kButtonGap), y, halfWidth, kButtonHeight}
                       : Rect{m_box.x() + kPadding, y + Float(i) * (kButtonHeight + kButtonGap), inner, kButtonHeight};
        auto button = Button::create(frame);
        button->setBackgroundImage(image);
        button->setTitle(m_buttons[i]);
        button->setFont(Font::boldSystem(17));
        std::weak_ptr<AlertView> weak = sharedAs<AlertView>();
        const int index = int(i);
        button->addAction(
            [weak, index](Control&) {
                if (auto alert = weak.lock())
                    alert->dismissWithClickedButtonIndex(index, true);
            },
            TouchUpInside);
        addSubview(button);
        m_buttonViews.push_back(button);
    }
    notify(ViewChange::Content);
}

void AlertView::dismissWithClickedButtonIndex(int index, bool animated)
{
    if (!m_visible || m_dismissing)
        return; // one dismissal per showing, however many taps arrive
    m_dismissing = true;
    auto self = sharedAs<AlertView>();
    if (auto delegate = m_delegate.lock())
        delegate->alertViewClickedButtonAtIndex(*this, index);
    auto finish = [self, index] {
        self->removeFromSuperview();
        self->m_visible = false;
        std::erase(shownAlerts(), self);
        if (auto delegate = self->m_delegate.lock())
            delegate->alertViewDidDismiss(*self, index);
    };
    if (!animated) {
        finish();
        return;
    }
    ViewAnimation::begin("dismissAlert");
    ViewAnimation::setDuration(kFade);
    ViewAnimation::setDidStop([finish](const std::string&, bool, const std::any&) { finish(); });
    setAlpha(0);
    ViewAnimation::commit();
}

void AlertView::draw(Canvas& canvas, const Rect&)
{
    // The dimming comes from the background colour; the box is drawn here.
    canvas.beginPath();
    canvas.addRoundedRect(m_box, 10);
    canvas.setFillColor(Color::rgba(0.08f, 0.16f, 0.38f, 0.92f));
    canvas.fillPath();
    canvas.beginPath();
    canvas.addRoundedRect(m_box.insetBy(1, 1), 9);
    canvas.setStrokeColor(Color::white(1, 0.8f));
    canvas.setLineWidth(2);
    canvas.strokePath();
    const Float inner = kBoxWidth - 2 * kPadding;
    Float y = m_box.y() + kPadding;
    canvas.setFillColor(Color::white(1));
    if (!m_title.empty())
        y += canvas.drawText(m_title, Rect{m_box.x() + kPadding, y, inner, 400}, titleFont(), TextAlignment::Center)
                 .height +
             8;
    if (!m_message.empty())
        canvas.drawText(m_message, Rect{m_box.x() + kPadding, y, inner, 400}, messageFont(), TextAlignment::Center);
}

Accessibility AlertView::accessibility() const
{
    Accessibility a;
    a.role = AccessibleRole::AlertDialog;
    a.label = m_title;
    a.description = m_message;
    a.modal = true;
    return a;
}

bool AlertView::handleEscape()
{
    if (!m_visible)
        return false;
    const int index = m_cancelIndex >= 0 ? m_cancelIndex : numberOfButtons() == 1 ? 0 : -1;
    if (index >= 0)
        dismissWithClickedButtonIndex(index, true);
    return true; // an alert without a way out keeps Escape from what lies under it
}

} // namespace platform
