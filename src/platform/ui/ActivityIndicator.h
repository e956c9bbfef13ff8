#pragma once

#include <memory>

#include "platform/ui/View.h"

namespace platform {

// The phone platform's style numbers.
enum class ActivityIndicatorStyle { WhiteLarge = 0, White = 1, Gray = 2 };

// A spinner: twelve spokes turning once a second while it animates. Stopped, it hides
// itself unless told otherwise. Its size follows its style (37 points large, else 20).
class ActivityIndicator : public View {
public:
    static std::shared_ptr<ActivityIndicator> create(ActivityIndicatorStyle style = ActivityIndicatorStyle::White);

    ActivityIndicatorStyle style() const { return m_style; }
    void setStyle(ActivityIndicatorStyle style);
    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return m_animating; }
    bool hidesWhenStopped() const { return m_hidesWhenStopped; }
    void setHidesWhenStopped(bool hides);

    static Size sizeForStyle(ActivityIndicatorStyle style);

    void draw(Canvas& canvas, const Rect& dirty) override;
    bool animatesContinuously() const override { return m_animating; }

protected:
    explicit ActivityIndicator(ActivityIndicatorStyle style);

private:
    ActivityIndicatorStyle m_style;
    bool m_animating{false};
    bool m_hidesWhenStopped{true};
};

} // namespace platform
