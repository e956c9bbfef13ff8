#include "platform/ui/BarButtonItem.h"

namespace platform {

std::shared_ptr<BarButtonItem> BarButtonItem::create(BarButtonSystemItem item, Action action)
{
    auto b = std::shared_ptr<BarButtonItem>(new BarButtonItem());
    b->m_system = item;
    b->m_action = std::move(action);
    // The word buttons are bordered; Done is the emphasised one.
    switch (item) {
    case BarButtonSystemItem::Done:
        b->m_style = BarButtonItemStyle::Done;
        break;
    case BarButtonSystemItem::Cancel:
    case BarButtonSystemItem::Edit:
    case BarButtonSystemItem::Save:
        b->m_style = BarButtonItemStyle::Bordered;
        break;
    default:
        b->m_style = BarButtonItemStyle::Plain;
        break;
    }
    return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                     Action action)
{
    auto b = std::shared_ptr<BarButtonItem>(new BarButtonItem());
    b->m_image = std::move(image);
    b->m_style = style;
    b->m_action = std::move(action);
    return b;
}

std::shared_ptr<BarButtonItem> BarButtonItem::create(std::string title, BarButtonItemStyle style, Action action)
{
    auto b = std::shared_ptr<BarButtonItem>(new BarButtonItem());
    b->m_title = std::move(title);
    b->m_style = style;
    b->m_action = std::move(action);
    return b;
}

void BarButtonItem::setTitle(std::optional<std::string> title)
{
    m_title = std::move(title);
    changed();
}

void BarButtonItem::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    changed();
}

void BarButtonItem::setWidth(Float width)
{
    m_width = width < 0 ? 0 : width;
    changed();
}

void BarButtonItem::send()
{
    if (!m_enabled || !m_action || isSpace())
        return;
    auto keep = sharedAs<BarButtonItem>(); // the action may drop the last owner
    auto action = m_action;
    action(*this);
}

void BarButtonItem::changed()
{
    if (m_onChange)
        m_onChange();
}

} // namespace platform
