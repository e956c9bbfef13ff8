#pragma once

#include <memory>

#include "platform/core/Color.h"
#include "platform/core/Geometry.h"
#include "platform/ui/Animation.h"
#include "platform/ui/View.h"

namespace platform {
class Canvas;
class Image;
class Layer;
class Timer;
} // namespace platform

namespace adnet {

class AdNetAd;

// The view that shows one ad inside the ad view: a banner-image ad is its one picture; a
// text ad is a shine background in the ad's colour, the icon in a rounded, bevelled frame,
// the text with an attribution line under it when there is room, and the action icon. The
// action icon lives in a layer of its own over the drawing, so that a click can animate it
// without redrawing the view.
//
// Under the finger it shows a grey highlight; a touch lifted inside is a tap, sent to the ad
// view's controller. The controller then runs the click sequence here: the action icon
// pulses and shrinks away (0.5 s), a spinner takes its place 0.3 s later, and 0.3 s after the
// controller reports the click finished (but never before the spinner has shown) the spinner
// goes and the icon comes back.
class AdNetSingleAdView final : public platform::View, public platform::AnimationDelegate {
public:
    static std::shared_ptr<AdNetSingleAdView> create(const platform::Rect& frame);
    ~AdNetSingleAdView() override;

    const std::shared_ptr<AdNetAd>& ad() const { return m_ad; }
    // Keeps the ad and puts its action icon in a fresh layer (every earlier sublayer goes).
    // Does not ask for a redraw.
    void setAd(std::shared_ptr<AdNetAd> ad);

    // The whole view, whatever the dirty rectangle; an ad not ready draws nothing.
    void draw(platform::Canvas& canvas, const platform::Rect& dirty) override;
    // A push button named by the ad's text, busy while a click runs.
    platform::Accessibility accessibility() const override;

    // The layer that shows the action icon; none while a click has it shrunk away.
    std::shared_ptr<platform::Layer> actionIconLayer() const { return m_actionIconLayer.lock(); }

    // -- touches
    void touchesBegan(const platform::TouchSet& touches, const platform::TouchEvent& event) override;
    void touchesMoved(const platform::TouchSet& touches, const platform::TouchEvent& event) override;
    void touchesEnded(const platform::TouchSet& touches, const platform::TouchEvent& event) override;
    void touchesCancelled(const platform::TouchSet& touches, const platform::TouchEvent& event) override;
    // Within (0, 0, W, H): left and top edges in, right and bottom edges out.
    bool touchIsInSelf(const platform::Touch& touch) const;
    // Shows or hides the highlight (a view with tag 3); nothing when already so.
    void setTouched(bool touched);
    bool touched() const { return m_touched; }

    // -- the click sequence, driven by the controller
    // Starts the pulse. A tap while a sequence runs starts none: that sequence brings the
    // icon back.
    void animateActionIconForClick();
    // The click has finished: restore the icon 0.3 s from now, or 0.3 s after the spinner
    // has appeared when the pulse still runs.
    void removeSpinnerAndRestoreActionIcon();
    bool animatingForClick() const { return m_animatingForClick; }
    bool removeSpinnerRequested() const { return m_removeSpinnerRequested; }

    // The pulse's end.
    void animationDidStop(platform::LayerAnimation& animation, bool finished) override;

    // The room an icon takes with its bevel: one point more each way.
    static platform::Size sizeWithBevelsAndRoundedCornersForImage(const platform::Image& image);
    // Draws the image clipped to a rounded rectangle, framed by a bevel dark along its upper
    // left half and light along its lower right half.
    static void drawImageWithBevelsAndRoundedCorners(platform::Canvas& canvas, const platform::Image& image,
                                                     platform::Point point, platform::Float radius);

private:
    explicit AdNetSingleAdView(const platform::Rect& frame);

    void setActionIcon(const std::shared_ptr<platform::Image>& image);
    platform::Rect actionIconFrame(platform::Size iconSize) const;
    void drawShineBackground(platform::Canvas& canvas, const platform::Color& base) const;
    void addSpinner(platform::Point centre, platform::Timer& timer);
    void removeSpinnerAndRestoreActionIconDelayed(platform::Timer& timer);
    std::shared_ptr<platform::Timer> scheduleRestore();

    std::shared_ptr<AdNetAd> m_ad;
    std::weak_ptr<platform::Layer> m_actionIconLayer;
    bool m_touched{false};
    bool m_animatingForClick{false};
    bool m_removeSpinnerRequested{false};
    std::shared_ptr<platform::Timer> m_removeSpinnerTimer;
    std::shared_ptr<platform::Timer> m_addSpinnerTimer;
};

} // namespace adnet
