#include "platform/ui/Control.h"

namespace platform {

Control::Control(const Rect& frame) : View(frame)
{
}

void Control::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        m_highlighted = false;
    notify(ViewChange::State);
}

void Control::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    notify(ViewChange::State);
}

void Control::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    notify(ViewChange::State);
}

unsigned Control::state() const
{
    unsigned s = StateNormal;
    if (m_highlighted)
        s |= StateHighlighted;
    if (!m_enabled)
        s |= StateDisabled;
    if (m_selected)
        s |= StateSelected;
    return s;
}

int Control::addAction(Action action, unsigned events)
{
    int token = m_nextToken++;
    m_actions.push_back({token, events, std::move(action)});
    return token;
}

void Control::removeAction(int token)
{
    std::erase_if(m_actions, [token](const Entry& e) { return e.token == token; });
}

void Control::removeAllActions()
{
    m_actions.clear();
}

void Control::sendActions(unsigned events)
{
    // A copy: an action may add or remove actions, or drop the control.
    auto keep = sharedAs<Control>();
    auto actions = m_actions;
    for (auto& entry : actions)
        if (entry.events & events)
            entry.action(*this);
}

bool Control::inside(const Touch* touch) const
{
    return touch && pointInside(touch->locationInView(this));
}

void Control::touchesBegan(const TouchSet& touches, const TouchEvent&)
{
    if (!m_enabled)
        return;
    m_tracking = true;
    setHighlighted(true);
    (void)touches;
    sendActions(TouchDown);
}

void Control::touchesMoved(const TouchSet& touches, const TouchEvent&)
{
    if (!m_tracking)
        return;
    bool in = inside(touches.anyObject());
    setHighlighted(in && m_enabled);
    sendActions(in ? TouchDragInside : TouchDragOutside);
}

void Control::touchesEnded(const TouchSet& touches, const TouchEvent&)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    setHighlighted(false);
    // Disabled while the finger was down: the touch ends without an action.
    if (!m_enabled)
        return;
    sendActions(inside(touches.anyObject()) ? TouchUpInside : TouchUpOutside);
}

void Control::touchesCancelled(const TouchSet&, const TouchEvent&)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    setHighlighted(false);
    sendActions(TouchCancel);
}

Accessibility Control::accessibility() const
{
    Accessibility a = View::accessibility();
    a.enabled = m_enabled;
    return a;
}

} // namespace platform
