#pragma once

#include <memory>

#include "adnet/AdNetDelegate.h"
#include "platform/ui/View.h"

namespace adnet {

// The ad client's front door: a 320 x 48 point view that shows one ad banner at a time.
//
//   auto banner = adnet::AdNetView::requestAdWithDelegate(host);   // first ad on its way
//   ... host->didReceiveAd(view): add it to the window ...
//   banner->requestFreshAd();                                       // flips in a new ad
//
// The host is never owned; releasing the view stops everything behind it (requests,
// downloads, timers, animations' reports).
class AdNetView : public platform::View {
public:
    // A new view at (0, 0, 320, 48) with a clear background that keeps its size when its
    // superview resizes. Its first ad request starts at once; the host hears the outcome of
    // that first request only, through didReceiveAd or didFailToReceiveAd, never before this
    // returns.
    static std::shared_ptr<AdNetView> requestAdWithDelegate(std::weak_ptr<AdNetDelegate> host);

    // Fetches a replacement ad and flips it in when it is ready; a failed replacement leaves
    // the banner as it is. A banner-image ad stays for the life of the view.
    void requestFreshAd();

protected:
    explicit AdNetView(const platform::Rect& frame) : platform::View(frame) { }
};

} // namespace adnet
