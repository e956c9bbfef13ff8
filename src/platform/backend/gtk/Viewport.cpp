#include "platform/backend/gtk/Viewport.h"

#include <algorithm>
#include <cmath>

namespace platform::gtk {

double Viewport::scale() const
{
    if (contentWidth <= 0 || contentHeight <= 0 || areaWidth <= 0 || areaHeight <= 0)
        return 1.0;
    return std::min(areaWidth / contentWidth, areaHeight / contentHeight);
}

double Viewport::originX() const
{
    return (areaWidth - contentWidth * scale()) / 2;
}

double Viewport::originY() const
{
    return (areaHeight - contentHeight * scale()) / 2;
}

Viewport::Point Viewport::toContent(double areaX, double areaY) const
{
    double s = scale();
    return {(areaX - originX()) / s, (areaY - originY()) / s};
}

Viewport::Point Viewport::toArea(double contentX, double contentY) const
{
    double s = scale();
    return {originX() + contentX * s, originY() + contentY * s};
}

bool Viewport::containsArea(double areaX, double areaY) const
{
    Point p = toContent(areaX, areaY);
    return p.x >= 0 && p.y >= 0 && p.x < contentWidth && p.y < contentHeight;
}

WindowSize comfortableWindowSize(double contentWidth, double contentHeight, int monitorWidth, int monitorHeight)
{
    double fit = 1.0;
    if (monitorWidth > 0 && monitorHeight > 0)
        fit = std::min(0.85 * monitorWidth / contentWidth, 0.85 * monitorHeight / contentHeight);
    double k = std::max(1.0, std::floor(fit * 4) / 4);
    return {static_cast<int>(std::lround(contentWidth * k)), static_cast<int>(std::lround(contentHeight * k))};
}

} // namespace platform::gtk
