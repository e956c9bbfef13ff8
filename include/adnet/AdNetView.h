#pragma once

#include <memory>

#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetExport.h"

namespace adnet {

class AdNetViewInternal;

// The ad client's front door: a handle on a 320 x 48 point banner that shows one ad at a
// time.
//
//   auto banner = adnet::AdNetView::requestAdWithDelegate(host);   // first ad on its way
//   ... host->didReceiveAd(view): put it on screen (the GTK widget does) ...
//   banner->requestFreshAd();                                       // flips in a new ad
//
// The host is never owned. The banner lives while the host holds this handle or the banner
// is on screen; when both are gone everything behind it stops (requests, downloads, timers,
// animations' reports). Main thread only.
class ADNET_EXPORT AdNetView {
public:
    // A new banner at (0, 0, 320, 48) with a clear background that keeps its size when its
    // parent resizes. Its first ad request starts at once; the host hears the outcome of
    // that first request only, through didReceiveAd or didFailToReceiveAd with this same
    // handle, never before this returns.
    static std::shared_ptr<AdNetView> requestAdWithDelegate(std::weak_ptr<AdNetDelegate> host);

    // Fetches a replacement ad and flips it in when it is ready; a failed replacement leaves
    // the banner as it is. A banner-image ad stays for the life of the banner.
    void requestFreshAd();

    ~AdNetView();
    AdNetView(const AdNetView&) = delete;
    AdNetView& operator=(const AdNetView&) = delete;

private:
    explicit AdNetView(std::shared_ptr<AdNetViewInternal> view);
    friend struct AdNetViewAccess;

    std::shared_ptr<AdNetViewInternal> m_view;
};

} // namespace adnet
