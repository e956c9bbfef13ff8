#pragma once

#include <any>
#include <memory>
#include <string>

#include "adnet/AdNetDelegate.h"

namespace adnet {

class AdNetAd;
class AdNetBrowserController;
class AdNetCanvasController;
class AdNetSingleAdView;
class AdNetViewInternal;

// Traffic control behind one ad view: requests the first ad and shows it, fetches
// replacements on request and flips them in, and keeps the host informed of the first ad
// only. The ad view owns the controller; the controller holds the view and the host weakly
// and owns its ads. Main thread only.
class AdNetController final : public std::enable_shared_from_this<AdNetController> {
public:
    static std::shared_ptr<AdNetController> create();
    ~AdNetController();
    AdNetController(const AdNetController&) = delete;
    AdNetController& operator=(const AdNetController&) = delete;

    std::weak_ptr<AdNetDelegate> delegate() const { return m_delegate; }
    void setDelegate(std::weak_ptr<AdNetDelegate> delegate) { m_delegate = std::move(delegate); }
    std::shared_ptr<AdNetViewInternal> view() const { return m_view.lock(); }
    void setView(std::weak_ptr<AdNetViewInternal> view) { m_view = std::move(view); }

    void startFirstAdRequest();
    // Starts a replacement ad, abandoning one still pending; nothing while a banner-image ad
    // is shown. A replacement that arrives while the shown ad's click runs flips in once
    // that click has ended.
    void requestFreshAd();

    // A tap on a banner: the banner's ad starts its click, then the banner its pulse.
    void click(AdNetSingleAdView& banner);
    void clickInView(AdNetSingleAdView& banner);
    // An ad's click has ended; the banner showing that ad (only) restores its icon.
    void clickDidSucceed(AdNetAd& ad);
    void clickDidFail(AdNetAd& ad);
    // The landing screens of a click: the embedded browser for web pages, the canvas page
    // (titled with the ad's user string). Each opens a fresh landing screen of its kind and
    // lets the previous one go, which leaves the screen at once if it is still there.
    void displayEmbeddedBrowserWithAd(AdNetAd& ad, const std::string& url);
    void displayCanvasWithAd(AdNetAd& ad, const std::string& url);
    // The last landing screen of each kind opened, kept until the next or the end.
    const std::shared_ptr<AdNetCanvasController>& canvasController() const { return m_canvasController; }
    const std::shared_ptr<AdNetBrowserController>& browserController() const { return m_browserController; }

    // The ad on screen (before the first ad has loaded: that ad), and a pending replacement.
    const std::shared_ptr<AdNetAd>& currentlyDisplayedAd() const { return m_currentlyDisplayedAd; }
    const std::shared_ptr<AdNetAd>& loadingAd() const { return m_loadingAd; }

private:
    AdNetController() = default;

    std::shared_ptr<AdNetAd> createAdWithInitiatedAdRequest();
    std::shared_ptr<AdNetSingleAdView> createSingleAdViewWithAd(const std::shared_ptr<AdNetAd>& ad);
    void adDidLoad(AdNetAd& ad);
    void adDidFailToLoad(AdNetAd& ad);
    void newAdAnimationDidStop(const std::string& animationId, bool finished, const std::any& context);
    void removeSpinnerAndRestoreActionIconIfPossibleForAd(AdNetAd& ad);
    void flipInHeldAdAfterClick(AdNetAd& clicked);
    void release(std::shared_ptr<AdNetAd>& slot);

    std::weak_ptr<AdNetViewInternal> m_view;
    std::weak_ptr<AdNetDelegate> m_delegate;
    std::shared_ptr<AdNetAd> m_currentlyDisplayedAd;
    std::shared_ptr<AdNetAd> m_loadingAd;
    std::shared_ptr<AdNetCanvasController> m_canvasController;
    std::shared_ptr<AdNetBrowserController> m_browserController;
};

} // namespace adnet
