#pragma once

#include <optional>
#include <string>
#include <utility>

namespace platform {

// What a view is to a screen reader and to the keyboard. The backend mirrors it into the
// toolkit's accessibility tree; the window's keyboard focus moves between actionable ones.
enum class AccessibleRole {
    None,   // not shown to assistive technology
    Button, // activated by a tap
    Link,
    Meter,  // a level with a value between minimum and maximum
    Status, // live text: read out when it appears
    Dialog,
    AlertDialog,
    Label,
    Image,
};

struct Accessibility {
    Accessibility() = default;
    Accessibility(AccessibleRole role, std::string label) : role(role), label(std::move(label)) { }

    AccessibleRole role{AccessibleRole::None};
    std::string label;
    std::string description;
    std::optional<double> value; // meters
    double minimum{0};
    double maximum{100};
    bool busy{false};
    bool enabled{true}; // controls fill this in from their state
    // Keyboard focus stays inside this view's subtree while it is shown (landing screens,
    // alerts, action sheets).
    bool modal{false};

    bool actionable() const { return role == AccessibleRole::Button || role == AccessibleRole::Link; }
    bool operator==(const Accessibility&) const = default;
};

} // namespace platform
