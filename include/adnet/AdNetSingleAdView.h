#pragma once

#include <memory>

#include "platform/core/Color.h"
#include "platform/core/Geometry.h"
#include "platform/ui/View.h"

namespace platform {
class Canvas;
class Image;
class Layer;
} // namespace platform

namespace adnet {

class AdNetAd;

// The view that shows one ad inside the ad view: a banner-image ad is its one picture; a
// text ad is a shine background in the ad's colour, the icon in a rounded, bevelled frame,
// the text with an attribution line under it when there is room, and the action icon. The
// action icon lives in a layer of its own over the drawing, so that a click can animate it
// without redrawing the view.
class AdNetSingleAdView final : public platform::View {
public:
    static std::shared_ptr<AdNetSingleAdView> create(const platform::Rect& frame);
    ~AdNetSingleAdView() override;

    const std::shared_ptr<AdNetAd>& ad() const { return m_ad; }
    // Keeps the ad and puts its action icon in a fresh layer (every earlier sublayer goes).
    // Does not ask for a redraw.
    void setAd(std::shared_ptr<AdNetAd> ad);

    // The whole view, whatever the dirty rectangle; an ad not ready draws nothing.
    void draw(platform::Canvas& canvas, const platform::Rect& dirty) override;

    // The layer that shows the action icon; none while a click has it shrunk away.
    std::shared_ptr<platform::Layer> actionIconLayer() const { return m_actionIconLayer.lock(); }

    // The room an icon takes with its bevel: one point more each way.
    static platform::Size sizeWithBevelsAndRoundedCornersForImage(const platform::Image& image);
    // Draws the image clipped to a rounded rectangle, framed by a bevel dark along its upper
    // left half and light along its lower right half.
    static void drawImageWithBevelsAndRoundedCorners(platform::Canvas& canvas, const platform::Image& image,
                                                     platform::Point point, platform::Float radius);

private:
    explicit AdNetSingleAdView(const platform::Rect& frame);

    void setActionIcon(const std::shared_ptr<platform::Image>& image);
    void drawShineBackground(platform::Canvas& canvas, const platform::Color& base) const;

    std::shared_ptr<AdNetAd> m_ad;
    std::weak_ptr<platform::Layer> m_actionIconLayer;
};

} // namespace adnet
