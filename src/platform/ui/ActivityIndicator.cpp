#include "platform/ui/ActivityIndicator.h"

#include <cmath>
#include <limits>
#include <numbers>

#include "platform/gfx/Canvas.h"
#include "platform/ui/AnimationInternal.h"

namespace platform {

namespace {
constexpr int kSpokes = 12;
}

std::shared_ptr<ActivityIndicator> ActivityIndicator::create(ActivityIndicatorStyle style)
{
    return std::shared_ptr<ActivityIndicator>(new ActivityIndicator(style));
}

ActivityIndicator::ActivityIndicator(ActivityIndicatorStyle style)
    : View(Rect{{0, 0}, sizeForStyle(style)}),
      m_style(style)
{
    setOpaque(false);
    setUserInteractionEnabled(false);
    setHidden(true);
}

Size ActivityIndicator::sizeForStyle(ActivityIndicatorStyle style)
{
    return style == ActivityIndicatorStyle::WhiteLarge ? Size{37, 37} : Size{20, 20};
}

void ActivityIndicator::setStyle(ActivityIndicatorStyle style)
{
    if (style == m_style)
        return;
    m_style = style;
    setBounds({bounds().origin, sizeForStyle(style)});
    notify(ViewChange::Content);
}

void ActivityIndicator::startAnimating()
{
    if (m_animating)
        return;
    m_animating = true;
    setHidden(false);
    // It turns until stopped: frames are due for as long as it is in a window.
    detail::registerActive({std::numeric_limits<double>::infinity(), weakAs<View>(), {}});
    notify(ViewChange::Content);
}

void ActivityIndicator::stopAnimating()
{
    if (!m_animating)
        return;
    m_animating = false;
    if (m_hidesWhenStopped)
        setHidden(true);
    notify(ViewChange::Content);
}

void ActivityIndicator::setHidesWhenStopped(bool hides)
{
    m_hidesWhenStopped = hides;
    if (!m_animating)
        setHidden(hides);
}

void ActivityIndicator::draw(Canvas& canvas, const Rect&)
{
    const Rect b = bounds();
    const Float radius = std::min(b.width(), b.height()) / 2;
    const Float inner = radius * 0.45f;
    const Color base = m_style == ActivityIndicatorStyle::Gray ? Color::white(0.5f) : Color::white(1);
    // The leading spoke moves one step every twelfth of a second.
    int lead = 0;
    if (m_animating)
        lead = int(std::fmod(std::floor(detail::animationClockNow() * kSpokes), double(kSpokes)));
    canvas.setLineWidth(radius * 0.2f);
    for (int i = 0; i < kSpokes; ++i) {
        int age = (lead - i + kSpokes) % kSpokes;
        float alpha = m_animating ? 1.0f - 0.75f * float(age) / kSpokes : 0.5f;
        double angle = 2 * std::numbers::pi * i / kSpokes - std::numbers::pi / 2;
        float c = float(std::cos(angle)), s = float(std::sin(angle));
        canvas.setStrokeColor(base.withAlpha(alpha));
        canvas.beginPath();
        canvas.moveTo(b.midX() + c * inner, b.midY() + s * inner);
        canvas.lineTo(b.midX() + c * (radius - radius * 0.1f), b.midY() + s * (radius - radius * 0.1f));
        canvas.strokePath();
    }
}

} // namespace platform
