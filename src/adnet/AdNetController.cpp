#include "adnet/AdNetController.h"

#include "AdNetBrowserController.h"
#include "AdNetCanvasController.h"
#include "AdNetLocalization.h"
#include "adnet/AdNetAd.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetSingleAdView.h"
#include "adnet/AdNetView.h"
#include "adnet/AdNetViewInternal.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Animation.h"
#include "platform/ui/WebView.h"

namespace adnet {

namespace {
constexpr const char* kNewAdAnimation = "newAdNetAd";
constexpr double kFlipDuration = 0.7;
constexpr int kShownBannerTag = 1;
constexpr int kLeavingBannerTag = 0;
} // namespace

std::shared_ptr<AdNetController> AdNetController::create()
{
    return std::shared_ptr<AdNetController>(new AdNetController());
}

AdNetController::~AdNetController()
{
    release(m_currentlyDisplayedAd);
    release(m_loadingAd);
    m_canvasController.reset();
    m_browserController.reset();
}

// Silences an ad and lets it go; an ad nobody else holds cancels its downloads as it goes.
void AdNetController::release(std::shared_ptr<AdNetAd>& slot)
{
    if (slot)
        slot->setDelegate({});
    slot.reset();
}

void AdNetController::startFirstAdRequest()
{
    // Found now rather than on the first landing screen: finding it may ask the dynamic
    // loader, which waits while a tap's load of the web engine's module holds it.
    localeDirectory();
    m_currentlyDisplayedAd = createAdWithInitiatedAdRequest();
}

void AdNetController::requestFreshAd()
{
    // A banner-image ad stays for the life of the view.
    if (m_currentlyDisplayedAd && m_currentlyDisplayedAd->medium() == AdNetAd::BannerAd)
        return;
    release(m_loadingAd);
    m_loadingAd = createAdWithInitiatedAdRequest();
}

std::shared_ptr<AdNetAd> AdNetController::createAdWithInitiatedAdRequest()
{
    auto ad = AdNetAd::create();
    ad->setDataSource(m_delegate);
    ad->setDelegate(weak_from_this());
    std::weak_ptr<AdNetController> weak = weak_from_this();
    ad->setRequestSuccessSelector([weak](AdNetAd& loaded) {
        if (auto self = weak.lock())
            self->adDidLoad(loaded);
    });
    ad->setRequestFailureSelector([weak](AdNetAd& failed) {
        if (auto self = weak.lock())
            self->adDidFailToLoad(failed);
    });
    ad->setClickFailureSelector([weak](AdNetAd& clicked) {
        if (auto self = weak.lock())
            self->clickDidFail(clicked);
    });
    ad->setClickSuccessSelector([weak](AdNetAd& clicked) {
        if (auto self = weak.lock())
            self->clickDidSucceed(clicked);
    });
    ad->setDisplayCanvasSelector([weak](AdNetAd& clicked, const std::string& url) {
        if (auto self = weak.lock())
            self->displayCanvasWithAd(clicked, url);
    });
    ad->setDisplayEmbeddedBrowserSelector([weak](AdNetAd& clicked, const std::string& url) {
        if (auto self = weak.lock())
            self->displayEmbeddedBrowserWithAd(clicked, url);
    });
    reportAdNetEvent("ad request");
    ad->request();
    // A request refused at once (no endpoint, a URL that cannot be fetched) has reported its
    // failure before the ad is in its slot, where nobody heard it. Report it again from the
    // run loop, as any other failure arrives: the host learns of it after it holds the view,
    // and the slot does not keep a dead ad.
    if (ad->state() == AdNetAd::Failed) {
        std::weak_ptr<AdNetAd> weakAd = ad;
        platform::RunLoop::main().post([weak, weakAd] {
            auto self = weak.lock();
            auto failed = weakAd.lock();
            if (self && failed)
                self->adDidFailToLoad(*failed);
        });
    }
    return ad;
}

std::shared_ptr<AdNetSingleAdView> AdNetController::createSingleAdViewWithAd(const std::shared_ptr<AdNetAd>& ad)
{
    auto view = m_view.lock();
    auto banner = AdNetSingleAdView::create(view ? view->bounds() : platform::Rect{});
    banner->setAd(ad);
    return banner;
}

void AdNetController::adDidLoad(AdNetAd& loaded)
{
    if (&loaded == m_currentlyDisplayedAd.get()) {
        // The host may let the view (and with it this controller) go from inside its callback.
        auto self = shared_from_this();
        auto ad = loaded.shared_from_this();
        auto view = m_view.lock();
        if (!view)
            return;
        // The host hears of its own handle; one it has let go hears nothing.
        if (auto host = m_delegate.lock(); auto handle = host ? view->handle() : nullptr)
            host->didReceiveAd(*handle);
        auto banner = createSingleAdViewWithAd(ad);
        banner->setTag(kShownBannerTag);
        view->addSubview(banner);
        return;
    }
    if (&loaded != m_loadingAd.get())
        return;
    // The ad on screen is still fetching its click's redirect document: flipping it out now
    // would let it go and lose the user's tap. The replacement waits for the click to end.
    if (m_currentlyDisplayedAd && m_currentlyDisplayedAd->state() == AdNetAd::Clicking) {
        reportAdNetEvent("flip held");
        return;
    }

    auto self = shared_from_this();
    if (auto view = m_view.lock()) {
        std::shared_ptr<platform::View> old = view->viewWithTag(kShownBannerTag);
        auto fresh = createSingleAdViewWithAd(m_loadingAd);
        fresh->setTag(kShownBannerTag);
        if (old)
            old->setTag(kLeavingBannerTag);
        // The animation's context keeps the old banner alive until the flip has ended.
        platform::ViewAnimation::begin(kNewAdAnimation, std::any(old));
        platform::ViewAnimation::setDuration(kFlipDuration);
        platform::ViewAnimation::setTransition(platform::ViewTransition::FlipFromRight, *view, true);
        platform::ViewAnimation::setDelegate(self, &AdNetController::newAdAnimationDidStop);
        view->addSubview(fresh);
        if (old)
            old->removeFromSuperview();
        platform::ViewAnimation::commit();
        reportAdNetEvent("flip start");
    }
    release(m_currentlyDisplayedAd);
    m_currentlyDisplayedAd = std::move(m_loadingAd);
}

void AdNetController::newAdAnimationDidStop(const std::string&, bool, const std::any& context)
{
    if (auto old = std::any_cast<std::shared_ptr<platform::View>>(&context); old && *old)
        (*old)->removeFromSuperview();
    reportAdNetEvent("flip end");
}

void AdNetController::adDidFailToLoad(AdNetAd& failed)
{
    if (&failed == m_currentlyDisplayedAd.get()) {
        auto self = shared_from_this();
        auto view = m_view.lock();
        if (auto host = m_delegate.lock(); auto handle = host && view ? view->handle() : nullptr)
            host->didFailToReceiveAd(*handle);
        if (&failed == m_currentlyDisplayedAd.get())
            release(m_currentlyDisplayedAd);
        return;
    }
    // A failed replacement leaves the banner as it is, and the host uninformed.
    if (&failed == m_loadingAd.get())
        release(m_loadingAd);
}

// ---- clicks -------------------------------------------------------------------------------

void AdNetController::click(AdNetSingleAdView& banner)
{
    reportAdNetEvent("click");
    // Also here for touches that end without having begun on the banner.
    platform::WebView::prepareEngine();
    clickInView(banner);
}

void AdNetController::clickInView(AdNetSingleAdView& banner)
{
    auto self = shared_from_this();
    auto keep = banner.sharedAs<AdNetSingleAdView>();
    if (auto ad = banner.ad())
        ad->click();
    banner.animateActionIconForClick();
}

void AdNetController::clickDidSucceed(AdNetAd& ad)
{
    reportAdNetEvent("click succeeded");
    removeSpinnerAndRestoreActionIconIfPossibleForAd(ad);
    flipInHeldAdAfterClick(ad);
}

void AdNetController::clickDidFail(AdNetAd& ad)
{
    reportAdNetEvent("click failed");
    removeSpinnerAndRestoreActionIconIfPossibleForAd(ad);
    flipInHeldAdAfterClick(ad);
}

void AdNetController::flipInHeldAdAfterClick(AdNetAd& clicked)
{
    if (&clicked != m_currentlyDisplayedAd.get() || !m_loadingAd || m_loadingAd->state() != AdNetAd::Ready)
        return;
    // From the run loop: the ad still dispatches its destination after this notice, and it
    // must do so as the ad on screen, with its owner still listening.
    std::weak_ptr<AdNetController> weak = weak_from_this();
    std::weak_ptr<AdNetAd> held = m_loadingAd;
    platform::RunLoop::main().post([weak, held] {
        auto self = weak.lock();
        auto ad = held.lock();
        if (self && ad && ad == self->m_loadingAd && ad->state() == AdNetAd::Ready)
            self->adDidLoad(*ad);
    });
}

void AdNetController::removeSpinnerAndRestoreActionIconIfPossibleForAd(AdNetAd& ad)
{
    // A click result for an ad that has meanwhile been replaced changes nothing.
    auto view = m_view.lock();
    if (!view)
        return;
    auto banner = std::dynamic_pointer_cast<AdNetSingleAdView>(view->viewWithTag(kShownBannerTag));
    if (banner && banner->ad().get() == &ad)
        banner->removeSpinnerAndRestoreActionIcon();
}

void AdNetController::displayEmbeddedBrowserWithAd(AdNetAd&, const std::string& url)
{
    reportAdNetEvent("browser " + url);
    auto self = shared_from_this(); // the host may let the view go while it hears of this
    m_browserController.reset();
    auto browser = AdNetBrowserController::create();
    m_browserController = browser;
    browser->setAdNetDelegate(m_delegate);
    browser->presentBrowserFromView(view(), url);
}

void AdNetController::displayCanvasWithAd(AdNetAd& ad, const std::string& url)
{
    const std::string title = ad.userString().value_or("");
    reportAdNetEvent("canvas " + url + " " + title);
    auto self = shared_from_this();
    m_canvasController.reset();
    auto canvas = AdNetCanvasController::create();
    m_canvasController = canvas;
    canvas->setAdNetDelegate(m_delegate);
    canvas->presentCanvasFromView(view(), url, title);
}

} // namespace adnet
