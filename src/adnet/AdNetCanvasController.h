#pragma once

#include <memory>
#include <string>

#include "AdNetModalController.h"

namespace adnet {

class AdNetCanvasWebView;

// A canvas ad's landing screen: the ad network's canvas page, 320 x 295 points centred in
// the application frame, handed the ad's URL and title, presented as a modal. The host
// hears willPresentModalCanvas and didDismissModalCanvas.
class AdNetCanvasController final : public AdNetModalController {
public:
    static constexpr platform::Size kCanvasSize{320, 295};

    static std::shared_ptr<AdNetCanvasController> create();

    // Starts loading the canvas page, then presents it out of `adView`.
    void presentCanvasFromView(std::shared_ptr<platform::View> adView, const std::string& url,
                               const std::string& title);

    std::shared_ptr<AdNetCanvasWebView> canvasWebView() const;

private:
    AdNetCanvasController();
};

} // namespace adnet
