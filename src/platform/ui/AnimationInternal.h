#pragma once

// Internal to platform_ui: the state behind view animation blocks and running layer
// animations.

#include <any>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/ui/Animation.h"

namespace platform {

class Window;
class Image;

namespace detail {

// One begin/commit block.
struct Transaction {
    std::string id;
    std::any context;
    double duration{ViewAnimation::kDefaultDuration};
    double delay{0};
    AnimationCurve curve{AnimationCurve::EaseInOut};
    ViewAnimation::DidStop didStop;
    double start{0};
    bool interrupted{false};
    bool enabled{true};
    std::vector<std::weak_ptr<View>> views; // whose animations belong to this block

    double endTime() const { return start + delay + duration; }
    // Eased progress at `now`: 0 before the delay is over, 1 at and after the end.
    double progress(double now) const;
    void touch(View& view);
};

// The innermost open block, or null.
std::shared_ptr<Transaction> openTransaction();

double animationClockNow();

template <class T> struct PropertyAnimation {
    std::shared_ptr<Transaction> transaction;
    T from{};
};

template <class T, class Lerp>
T presentValue(const std::shared_ptr<PropertyAnimation<T>>& animation, const T& model, double now, Lerp lerp)
{
    if (!animation || now >= animation->transaction->endTime())
        return model;
    return lerp(animation->from, model, animation->transaction->progress(now));
}

// A transition drawn over a view.
struct TransitionState {
    ViewTransition kind{ViewTransition::None};
    std::shared_ptr<Transaction> transaction;
    std::shared_ptr<Image> before; // what the view showed when the transition was set
};

// Everything that animates, so a compositor can tell whether its window needs frames.
struct ActiveAnimation {
    double end{0};
    std::weak_ptr<View> view;
    std::weak_ptr<Layer> layer;
};
void registerActive(ActiveAnimation entry);
bool isAnimating(const Window& window, double now);

// The scale transitions capture their outgoing picture at.
double snapshotScale();
void setSnapshotScale(double scale);

} // namespace detail
} // namespace platform
