#include "platform/backend/gtk/ShakeSynthesizer.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::gtk {

void PointerShake::moved(double t, double x, double y)
{
    if (!m_anchor) {
        // The first position after a start or a loss: a reference, not a movement.
        m_anchor = Point{t, x, y};
        m_movedSinceSample = false;
    } else {
        m_movedSinceSample = true;
    }
    m_latest = Point{t, x, y};
}

void PointerShake::lost()
{
    m_latest.reset();
    m_anchor.reset();
    m_movedSinceSample = false;
    m_haveVelocity = false;
    m_vx = m_vy = 0;
}

GVector PointerShake::sample(double t)
{
    if (!m_anchor || !m_latest)
        return {};
    // No motion events since the last sample: the pointer stood still up to now.
    Point end = m_movedSinceSample ? *m_latest : Point{t, m_latest->x, m_latest->y};
    double span = end.t - m_anchor->t;
    if (span < kMinSpan)
        return {}; // keep the anchor; the next span will be long enough
    double vx = (end.x - m_anchor->x) / span;
    double vy = (end.y - m_anchor->y) / span;
    double mid = (end.t + m_anchor->t) / 2;

    GVector out;
    if (m_haveVelocity) {
        double dt = std::max(mid - m_vMid, kMinSpan);
        out.x = (vx - m_vx) / dt / kPointsPerSecond2PerG;
        out.y = -(vy - m_vy) / dt / kPointsPerSecond2PerG;
    }
    m_vx = vx;
    m_vy = vy;
    m_vMid = mid;
    m_haveVelocity = true;
    m_anchor = end;
    m_movedSinceSample = false;
    return out;
}

void KeyShake::pressed(double t)
{
    if (m_held)
        return;
    m_held = true;
    m_since = t;
}

void KeyShake::released()
{
    m_held = false;
}

GVector KeyShake::sample(double t) const
{
    if (!m_held)
        return {};
    double phase = 2 * std::numbers::pi * kFrequency * (t - m_since);
    return {kAmplitudeX * std::sin(phase), kAmplitudeY * std::cos(phase), 0};
}

void ShakeSynthesizer::focusLost()
{
    m_key.released();
    m_pointer.lost();
}

GVector ShakeSynthesizer::sample(double t, GVector device)
{
    GVector p = m_pointer.sample(t);
    GVector k = m_key.sample(t);
    auto limit = [](double v) { return std::clamp(v, -kRangeG, kRangeG); };
    return {limit(device.x + p.x + k.x), limit(device.y + p.y + k.y), limit(device.z + p.z + k.z)};
}

} // namespace platform::gtk
