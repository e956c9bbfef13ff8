#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Geometry.h"
#include "platform/ui/Object.h"

namespace platform {

class Image;

// The phone platform's numbers for its standard bar buttons.
enum class BarButtonSystemItem {
    Done = 0,
    Cancel = 1,
    Edit = 2,
    Save = 3,
    Add = 4,
    FlexibleSpace = 5,
    FixedSpace = 6,
    Compose = 7,
    Reply = 8,
    Action = 9,
    Organize = 10,
    Bookmarks = 11,
    Search = 12,
    Refresh = 13,
    Stop = 14,
    Camera = 15,
    Trash = 16,
    Play = 17,
    Pause = 18,
    Rewind = 19,
    FastForward = 20,
};

enum class BarButtonItemStyle { Plain = 0, Bordered = 1, Done = 2 };

// The look of toolbars and navigation bars (the platform's numbers).
enum class BarStyle { Default = 0, Black = 1, BlackTranslucent = 2 };

// A button (or a space) in a toolbar or navigation bar. It is not a view: the bar that
// shows it makes the view, and follows its changes. The action runs only while enabled.
class BarButtonItem final : public Object {
public:
    using Action = std::function<void(BarButtonItem&)>;

    static std::shared_ptr<BarButtonItem> create(BarButtonSystemItem item, Action action = {});
    static std::shared_ptr<BarButtonItem> create(std::shared_ptr<Image> image, BarButtonItemStyle style,
                                                 Action action = {});
    static std::shared_ptr<BarButtonItem> create(std::string title, BarButtonItemStyle style, Action action = {});
    // An action calling a method of a weakly held target.
    template <class T> static Action method(const std::shared_ptr<T>& target, void (T::*m)())
    {
        std::weak_ptr<T> weak = target;
        return [weak, m](BarButtonItem&) {
            if (auto t = weak.lock())
                ((*t).*m)();
        };
    }

    std::optional<BarButtonSystemItem> systemItem() const { return m_system; }
    bool isFlexibleSpace() const { return m_system == BarButtonSystemItem::FlexibleSpace; }
    bool isSpace() const { return isFlexibleSpace() || m_system == BarButtonSystemItem::FixedSpace; }
    BarButtonItemStyle style() const { return m_style; }
    const std::shared_ptr<Image>& image() const { return m_image; }
    const std::optional<std::string>& title() const { return m_title; }
    void setTitle(std::optional<std::string> title);
    bool isEnabled() const { return m_enabled; }
    void setEnabled(bool enabled);
    // What a screen reader calls the item (icons have no title of their own).
    const std::string& accessibilityLabel() const { return m_accessibilityLabel; }
    void setAccessibilityLabel(std::string label) { m_accessibilityLabel = std::move(label); }
    // Width of a fixed space, or a fixed width for a button (0: as wide as it needs).
    Float width() const { return m_width; }
    void setWidth(Float width);
    void setAction(Action action) { m_action = std::move(action); }

    // What a tap on the item does: the action, if enabled.
    void send();

    // The bar showing the item listens here.
    void setChangeHandler(std::function<void()> handler) { m_onChange = std::move(handler); }

private:
    BarButtonItem() = default;
    void changed();

    std::optional<BarButtonSystemItem> m_system;
    BarButtonItemStyle m_style{BarButtonItemStyle::Plain};
    std::shared_ptr<Image> m_image;
    std::optional<std::string> m_title;
    bool m_enabled{true};
    std::string m_accessibilityLabel;
    Float m_width{0};
    Action m_action;
    std::function<void()> m_onChange;
};

} // namespace platform
