#include "app/TapTargets.h"

#include <array>
#include <memory>

#include "platform/ui/Application.h"
#include "platform/ui/View.h"

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

struct Target {
    const char* name;
    std::optional<platform::Point> (*point)();
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
};

} // namespace

bool isTapTarget(std::string_view name)
{
    for (const auto& target : kTargets)
        if (name == target.name)
            return true;
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
