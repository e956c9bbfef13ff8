#include "app/TapTargets.h"

#include <array>
#include <memory>

#include "platform/ui/Application.h"
#include "platform/ui/Bars.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace brimsey {

namespace {

// The centre of a described view's frame, in window coordinates.
std::optional<platform::Point> outletCentre(const char* id)
{
    auto view = std::dynamic_pointer_cast<platform::View>(platform::Application::shared().objectNamed(id));
    if (!view)
        return std::nullopt;
    platform::Point centre = view->center();
    auto parent = view->superview();
    return parent ? parent->convertPointToView(centre, nullptr) : centre;
}

// The topmost navigation bar's left button: the embedded browser's Done button while the
// browser is shown (it is the only navigation bar of the application).
std::shared_ptr<platform::View> topmostLeftBarItem(const platform::View& view)
{
    const auto& subviews = view.subviews();
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it) {
        if (auto found = topmostLeftBarItem(**it))
            return found;
        if (auto bar = std::dynamic_pointer_cast<platform::NavigationBar>(*it))
            if (auto item = bar->leftItemView())
                return item;
    }
    return nullptr;
}

std::optional<platform::Point> doneButtonCentre()
{
    auto window = platform::Application::shared().keyWindow();
    auto item = window ? topmostLeftBarItem(*window) : nullptr;
    if (!item)
        return std::nullopt;
    auto parent = item->superview();
    return parent ? parent->convertPointToView(item->center(), nullptr) : item->center();
}

struct Target {
    const char* name;
    std::optional<platform::Point> (*point)();
    bool appearsLater{false}; // not there at the start: a tap while it is absent does nothing
};

// The banner sits at (0, 0, 320, 48) whenever it is shown.
constexpr platform::Point kBannerCentre{160, 24};

constexpr std::array kTargets{
    Target{"butstart", [] { return outletCentre("butstart"); }},
    Target{"butd1", [] { return outletCentre("butd1"); }},
    Target{"butd2", [] { return outletCentre("butd2"); }},
    Target{"butd3", [] { return outletCentre("butd3"); }},
    Target{"butd4", [] { return outletCentre("butd4"); }},
    Target{"banner", [] { return std::optional<platform::Point>(kBannerCentre); }},
    Target{"done", doneButtonCentre, true},
};

} // namespace

bool isTapTarget(std::string_view name)
{
    for (const auto& target : kTargets)
        if (name == target.name)
            return true;
    return false;
}

bool tapTargetAppearsLater(std::string_view name)
{
    for (const auto& target : kTargets)
        if (name == target.name)
            return target.appearsLater;
    return false;
}

std::string tapTargetNames()
{
    std::string names;
    for (const auto& target : kTargets) {
        if (!names.empty())
            names += ", ";
        names += target.name;
    }
    return names;
}

std::optional<platform::Point> tapTargetPoint(std::string_view name)
{
    for (const auto& target : kTargets)
        if (name == target.name)
            return target.point();
    return std::nullopt;
}

} // namespace brimsey
