#pragma once

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/core/Color.h"
#include "platform/core/Geometry.h"

namespace platform {

class View;
class Layer;

enum class AnimationCurve { EaseInOut, EaseIn, EaseOut, Linear };

enum class ViewTransition { None, FlipFromLeft, FlipFromRight, CurlUp, CurlDown };

// Eased progress 0..1 for a linear fraction 0..1.
double applyCurve(AnimationCurve curve, double fraction);

// View animation blocks, on the main run loop's clock:
//
//   ViewAnimation::begin("fade");
//   ViewAnimation::setDuration(1.0);
//   button->setAlpha(0);            // the model is 0 at once; only the drawing fades
//   ViewAnimation::commit();
//
// Frame, centre, bounds, alpha and background colour changes made between begin() and
// commit() are animated. The model takes the new values at once (hit testing sees them at
// once); the compositor draws values interpolated from the clock. The did-stop handler
// runs on the run loop when the clock passes the end (start + delay + duration), never
// inside commit(); `finished` is false when a later change took over one of the block's
// animations. Blocks nest; changes belong to the innermost open block. Main thread only.
class ViewAnimation final {
public:
    using DidStop = std::function<void(const std::string& animationId, bool finished, const std::any& context)>;

    static constexpr double kDefaultDuration = 0.2;

    // The context is kept (and whatever it owns kept alive) until the did-stop handler
    // has run.
    static void begin(std::string animationId = {}, std::any context = {});
    static void setDuration(double seconds);
    static void setDelay(double seconds);
    static void setCurve(AnimationCurve curve);
    static void setDidStop(DidStop handler);
    // The handler goes to a method of a weakly held target: a target that is gone by the
    // end hears nothing.
    template <class T>
    static void setDelegate(const std::shared_ptr<T>& target,
                            void (T::*method)(const std::string&, bool, const std::any&))
    {
        std::weak_ptr<T> weak = target;
        setDidStop([weak, method](const std::string& id, bool finished, const std::any& context) {
            if (auto t = weak.lock())
                ((*t).*method)(id, finished, context);
        });
    }
    // Draws the change of `view`'s contents made in this block (subviews added, removed,
    // redrawn) as a transition: what the view showed when this is called turns away and
    // what it shows at the end turns in. `cache` is accepted for compatibility; the
    // outgoing picture is always cached.
    static void setTransition(ViewTransition transition, View& view, bool cache = true);
    static void commit();

    // Whether a block is open (changes now would animate).
    static bool isOpen();
    // Off: changes inside blocks apply without animation (did-stop still runs).
    static void setAnimationsEnabled(bool enabled);
    static bool animationsEnabled();
};

// Values a layer animation can carry, by key path: "opacity" and "transform.scale" take
// doubles, "position" a Point, "transform" a Transform, "backgroundColor" a Color.
using AnimationValue = std::variant<double, Point, Transform, Color>;

class LayerAnimation;

class AnimationDelegate {
public:
    virtual ~AnimationDelegate() = default;
    virtual void animationDidStart(LayerAnimation&) { }
    // finished is false when the animation was removed or replaced before its end.
    virtual void animationDidStop(LayerAnimation&, bool finished) { (void)finished; }
};

// An animation of one layer property. Adding it to a layer copies it; the copy runs from
// the moment it is added. When it ends (or is removed) its delegate hears of it on the
// run loop. Once over it no longer shows: the layer shows its model value again, so set
// the model to the final value when the effect should stay.
class LayerAnimation {
public:
    virtual ~LayerAnimation() = default;

    const std::string& keyPath() const { return m_keyPath; }
    double duration() const { return m_duration; }
    void setDuration(double seconds) { m_duration = seconds > 0 ? seconds : 0; }
    AnimationCurve curve() const { return m_curve; }
    void setCurve(AnimationCurve curve) { m_curve = curve; }
    bool removedOnCompletion() const { return m_removedOnCompletion; }
    void setRemovedOnCompletion(bool removed) { m_removedOnCompletion = removed; }
    std::shared_ptr<AnimationDelegate> delegate() const { return m_delegate.lock(); }
    void setDelegate(std::weak_ptr<AnimationDelegate> delegate) { m_delegate = std::move(delegate); }

    // The value shown at a fraction 0..1 of the duration (already eased), given the
    // layer's model value.
    virtual AnimationValue valueAt(double fraction, const AnimationValue& model) const = 0;
    virtual std::shared_ptr<LayerAnimation> clone() const = 0;

protected:
    explicit LayerAnimation(std::string keyPath) : m_keyPath(std::move(keyPath)) { }

private:
    std::string m_keyPath;
    double m_duration{0.25};
    AnimationCurve m_curve{AnimationCurve::Linear};
    bool m_removedOnCompletion{true};
    std::weak_ptr<AnimationDelegate> m_delegate;
};

// From one value to another; a missing end means the layer's model value.
class BasicAnimation final : public LayerAnimation {
public:
    static std::shared_ptr<BasicAnimation> create(std::string keyPath);
    explicit BasicAnimation(std::string keyPath) : LayerAnimation(std::move(keyPath)) { }

    std::optional<AnimationValue> fromValue;
    std::optional<AnimationValue> toValue;

    AnimationValue valueAt(double fraction, const AnimationValue& model) const override;
    std::shared_ptr<LayerAnimation> clone() const override;
};

// Through a list of values at key times (fractions 0..1 of the duration, one per value,
// not decreasing; evenly spaced when not given), linearly between neighbours.
class KeyframeAnimation final : public LayerAnimation {
public:
    static std::shared_ptr<KeyframeAnimation> create(std::string keyPath);
    explicit KeyframeAnimation(std::string keyPath) : LayerAnimation(std::move(keyPath)) { }

    std::vector<AnimationValue> values;
    std::vector<double> keyTimes;

    AnimationValue valueAt(double fraction, const AnimationValue& model) const override;
    std::shared_ptr<LayerAnimation> clone() const override;
};

// Linear blend of two values of the same kind; mismatched kinds give `to`.
AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double t);

} // namespace platform
