#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/View.h"

namespace platform {

enum ControlEvent : unsigned {
    TouchDown = 1u << 0,
    TouchDragInside = 1u << 2,
    TouchDragOutside = 1u << 3,
    TouchUpInside = 1u << 6,
    TouchUpOutside = 1u << 7,
    TouchCancel = 1u << 8,
    ValueChanged = 1u << 12,
};

enum ControlState : unsigned {
    StateNormal = 0,
    StateHighlighted = 1u << 0,
    StateDisabled = 1u << 1,
    StateSelected = 1u << 2,
};

// A view that tracks a touch and sends actions for control events. A disabled control
// takes no touches (hit testing passes it by) and sends nothing.
class Control : public View {
public:
    using Action = std::function<void(Control& sender)>;

    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    bool isHighlighted() const { return m_highlighted; }
    void setHighlighted(bool highlighted);
    bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    unsigned state() const;

    // Actions run in the order they were added.
    int addAction(Action action, unsigned events);
    // A method of a weakly held target: a target that is gone silences the action.
    template <class T> int addTarget(const std::shared_ptr<T>& target, void (T::*method)(), unsigned events)
    {
        std::weak_ptr<T> weak = target;
        return addAction(
            [weak, method](Control&) {
                if (auto t = weak.lock())
                    ((*t).*method)();
            },
            events);
    }
    void removeAction(int token);
    void removeAllActions();
    void sendActions(unsigned events);

    bool acceptsTouches() const override { return m_enabled; }
    Accessibility accessibility() const override;
    void touchesBegan(const TouchSet& touches, const TouchEvent& event) override;
    void touchesMoved(const TouchSet& touches, const TouchEvent& event) override;
    void touchesEnded(const TouchSet& touches, const TouchEvent& event) override;
    void touchesCancelled(const TouchSet& touches, const TouchEvent& event) override;

protected:
    explicit Control(const Rect& frame);

private:
    bool inside(const Touch* touch) const;

    bool m_enabled{true};
    bool m_highlighted{false};
    bool m_selected{false};
    bool m_tracking{false};
    struct Entry {
        int token;
        unsigned events;
        Action action;
    };
    std::vector<Entry> m_actions;
    int m_nextToken{1};
};

} // namespace platform
