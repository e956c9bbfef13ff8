#include "platform/ui/Animation.h"

#include <algorithm>
#include <cmath>

#include "platform/core/RunLoop.h"
#include "platform/ui/AnimationInternal.h"
#include "platform/ui/Layer.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"

namespace platform {

namespace detail {
std::shared_ptr<Image> renderViewForTransition(View& view, double scale, double now);
}

namespace {

struct AnimationState {
    std::vector<std::shared_ptr<detail::Transaction>> open;
    bool enabled{true};
    double snapshotScale{2.0};
    std::vector<detail::ActiveAnimation> active;
};

AnimationState& state()
{
    static AnimationState s;
    return s;
}

// y of a cubic Bezier timing curve through (0,0), (x1,y1), (x2,y2), (1,1) at x.
double cubicBezier(double x1, double y1, double x2, double y2, double x)
{
    auto bx = [&](double t) { return 3 * (1 - t) * (1 - t) * t * x1 + 3 * (1 - t) * t * t * x2 + t * t * t; };
    auto by = [&](double t) { return 3 * (1 - t) * (1 - t) * t * y1 + 3 * (1 - t) * t * t * y2 + t * t * t; };
    // x(t) is increasing for these curves: bisection is exact enough and cannot diverge.
    double lo = 0, hi = 1, t = x;
    for (int i = 0; i < 40; ++i) {
        t = (lo + hi) / 2;
        if (bx(t) < x)
            lo = t;
        else
            hi = t;
    }
    return by(t);
}

} // namespace

double applyCurve(AnimationCurve curve, double fraction)
{
    double x = std::clamp(fraction, 0.0, 1.0);
    if (x <= 0 || x >= 1)
        return x;
    switch (curve) {
    case AnimationCurve::Linear:
        return x;
    case AnimationCurve::EaseInOut:
        return cubicBezier(0.42, 0, 0.58, 1, x);
    case AnimationCurve::EaseIn:
        return cubicBezier(0.42, 0, 1, 1, x);
    case AnimationCurve::EaseOut:
        return cubicBezier(0, 0, 0.58, 1, x);
    }
    return x;
}

namespace detail {

double Transaction::progress(double now) const
{
    double begin = start + delay;
    if (now <= begin)
        return 0;
    if (duration <= 0 || now >= begin + duration)
        return 1;
    return applyCurve(curve, (now - begin) / duration);
}

void Transaction::touch(View& view)
{
    for (const auto& v : views)
        if (v.lock().get() == &view)
            return;
    views.push_back(view.weakAs<View>());
}

std::shared_ptr<Transaction> openTransaction()
{
    auto& s = state();
    return s.open.empty() ? nullptr : s.open.back();
}

double animationClockNow()
{
    return RunLoop::main().now();
}

void registerActive(ActiveAnimation entry)
{
    auto& active = state().active;
    // Compositors prune as they draw; without one (a headless run that never draws) keep
    // the list from growing with every animation.
    if (active.size() >= 64) {
        const double now = animationClockNow();
        std::erase_if(active, [now](const ActiveAnimation& a) {
            return a.end <= now || (a.view.expired() && a.layer.expired());
        });
    }
    active.push_back(std::move(entry));
}

bool isAnimating(const Window& window, double now)
{
    auto& active = state().active;
    // Entries go once their end has passed, their target is gone, or the target no
    // longer animates (a later change took over, an animation was removed).
    std::erase_if(active, [now](const ActiveAnimation& a) {
        if (a.end <= now)
            return true;
        if (auto view = a.view.lock())
            return !view->hasRunningAnimations(now);
        if (auto layer = a.layer.lock())
            return !layer->hasRunningAnimations(now);
        return true;
    });
    for (const auto& a : active) {
        std::shared_ptr<View> view = a.view.lock();
        if (!view)
            if (auto layer = a.layer.lock())
                view = layer->hostView();
        if (view && view->window() == &window)
            return true;
    }
    return false;
}

double snapshotScale()
{
    return state().snapshotScale;
}

void setSnapshotScale(double scale)
{
    state().snapshotScale = scale > 0 ? scale : 1.0;
}

} // namespace detail

void ViewAnimation::begin(std::string animationId, std::any context)
{
    auto transaction = std::make_shared<detail::Transaction>();
    transaction->id = std::move(animationId);
    transaction->context = std::move(context);
    transaction->start = detail::animationClockNow();
    transaction->enabled = state().enabled;
    state().open.push_back(std::move(transaction));
}

void ViewAnimation::setDuration(double seconds)
{
    if (auto t = detail::openTransaction())
        t->duration = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

void ViewAnimation::setDelay(double seconds)
{
    if (auto t = detail::openTransaction())
        t->delay = std::isfinite(seconds) && seconds > 0 ? seconds : 0;
}

void ViewAnimation::setCurve(AnimationCurve curve)
{
    if (auto t = detail::openTransaction())
        t->curve = curve;
}

void ViewAnimation::setDidStop(DidStop handler)
{
    if (auto t = detail::openTransaction())
        t->didStop = std::move(handler);
}

void ViewAnimation::setTransition(ViewTransition transition, View& view, bool)
{
    auto t = detail::openTransaction();
    if (!t || transition == ViewTransition::None)
        return;
    auto state = std::make_shared<detail::TransitionState>();
    state->kind = transition;
    state->transaction = t;
    if (t->enabled)
        state->before = detail::renderViewForTransition(view, detail::snapshotScale(), detail::animationClockNow());
    view.setTransition(std::move(state));
    t->touch(view);
}

void ViewAnimation::commit()
{
    auto& s = state();
    if (s.open.empty())
        return;
    auto t = std::move(s.open.back());
    s.open.pop_back();
    if (!t->enabled) {
        t->duration = 0;
        t->delay = 0;
    }
    const double end = t->endTime();
    for (const auto& v : t->views)
        detail::registerActive({end, v, {}});
    for (const auto& v : t->views)
        if (auto view = v.lock())
            view->setNeedsDisplay();
    RunLoop::main().scheduleAt(end, [t] {
        for (const auto& v : t->views)
            if (auto view = v.lock())
                view->finishAnimations(*t);
        if (t->didStop) {
            auto handler = std::move(t->didStop);
            handler(t->id, !t->interrupted, t->context);
        }
        // Whatever the context owned may go now.
        t->context.reset();
    });
}

bool ViewAnimation::isOpen()
{
    return !state().open.empty();
}

void ViewAnimation::setAnimationsEnabled(bool enabled)
{
    state().enabled = enabled;
}

bool ViewAnimation::animationsEnabled()
{
    return state().enabled;
}

// ---- layer animations -------------------------------------------------------------------

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double t)
{
    if (from.index() != to.index())
        return to;
    if (auto a = std::get_if<double>(&from))
        return *a + (std::get<double>(to) - *a) * t;
    if (auto a = std::get_if<Point>(&from)) {
        Point b = std::get<Point>(to);
        return Point{Float(a->x + (b.x - a->x) * t), Float(a->y + (b.y - a->y) * t)};
    }
    if (auto a = std::get_if<Transform>(&from))
        return Transform::lerp(*a, std::get<Transform>(to), t);
    return Color::lerp(std::get<Color>(from), std::get<Color>(to), float(t));
}

std::shared_ptr<BasicAnimation> BasicAnimation::create(std::string keyPath)
{
    return std::make_shared<BasicAnimation>(std::move(keyPath));
}

AnimationValue BasicAnimation::valueAt(double fraction, const AnimationValue& model) const
{
    return interpolate(fromValue.value_or(model), toValue.value_or(model), fraction);
}

std::shared_ptr<LayerAnimation> BasicAnimation::clone() const
{
    return std::make_shared<BasicAnimation>(*this);
}

std::shared_ptr<KeyframeAnimation> KeyframeAnimation::create(std::string keyPath)
{
    return std::make_shared<KeyframeAnimation>(std::move(keyPath));
}

AnimationValue KeyframeAnimation::valueAt(double fraction, const AnimationValue& model) const
{
    const std::size_t n = values.size();
    if (n == 0)
        return model;
    if (n == 1)
        return values.front();
    auto timeOf = [&](std::size_t i) {
        if (keyTimes.size() == n)
            return keyTimes[i];
        return double(i) / double(n - 1);
    };
    if (fraction <= timeOf(0))
        return values.front();
    for (std::size_t i = 1; i < n; ++i) {
        double t0 = timeOf(i - 1), t1 = timeOf(i);
        if (fraction <= t1) {
            double local = t1 > t0 ? (fraction - t0) / (t1 - t0) : 1.0;
            return interpolate(values[i - 1], values[i], local);
        }
    }
    return values.back();
}

std::shared_ptr<LayerAnimation> KeyframeAnimation::clone() const
{
    return std::make_shared<KeyframeAnimation>(*this);
}

} // namespace platform
