#pragma once

#include <memory>
#include <string>
#include <vector>

#include "AdNetModalController.h"
#include "platform/ui/ActionSheet.h"
#include "platform/ui/BarButtonItem.h"
#include "platform/ui/WebView.h"

namespace platform {
class ActivityIndicator;
class AlertView;
class NavigationBar;
class NavigationItem;
class Toolbar;
} // namespace platform

namespace adnet {

// A web ad's landing screen: a small browser filling the application frame, presented as
// a modal. A navigation bar on top (Done, the page title or a spinner while loading), the
// page, and a toolbar below (back, forward, stop or reload, and an action button offering
// "Open in Browser" and "Email link"). Navigations are routed: file URLs are refused,
// about: loads inside, other non-web schemes and the configured maps, video and store
// pages are also handed to the desktop. Load failures show an alert chosen by error code.
// The host hears willPresentWebView and didDismissWebView.
class AdNetBrowserController final : public AdNetModalController,
                                     public platform::WebViewDelegate,
                                     public platform::ActionSheetDelegate {
public:
    static constexpr platform::Float kBarHeight = 44;

    static std::shared_ptr<AdNetBrowserController> create();
    // The toolbar images' names in the image cache: back, back_disable, forward, forward_disable.
    static const std::vector<std::string>& browserIcons();
    // An image button showing the cached image of `imageName` when enabled and of
    // `disabledImageName` when not (no image when it is missing from the cache).
    static std::shared_ptr<platform::BarButtonItem> barButtonItemWithImageName(const std::string& imageName,
                                                                               const std::string& disabledImageName,
                                                                               bool isEnabled,
                                                                               platform::BarButtonItem::Action action);
    // The alert text for a load failure's code; nullopt for a cancelled load.
    static std::optional<std::string> messageForErrorCode(long code);

    // Starts loading `url`, builds the browser and presents it out of `adView`.
    void presentBrowserFromView(std::shared_ptr<platform::View> adView, const std::string& url);

    void refreshBottomToolbar();
    void refreshTopToolbar();
    void systemAction();
    void launchBrowser();
    void mail();

    std::shared_ptr<platform::WebView> webView() const { return m_webView.lock(); }
    std::shared_ptr<platform::Toolbar> bottomToolbar() const { return m_bottomToolbar.lock(); }
    std::shared_ptr<platform::NavigationBar> topToolbar() const { return m_topToolbar.lock(); }
    std::shared_ptr<platform::NavigationItem> topNavItem() const { return m_topNavItem.lock(); }
    std::shared_ptr<platform::ActivityIndicator> spinner() const { return m_spinner.lock(); }

    // -- WebViewDelegate
    bool webViewShouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                platform::WebViewNavigationType) override;
    void webViewDidStartLoad(platform::WebView&) override;
    void webViewDidFinishLoad(platform::WebView&) override;
    void webViewDidFailLoad(platform::WebView&, const platform::WebError& error) override;
    // -- ActionSheetDelegate
    void actionSheetClickedButtonAtIndex(platform::ActionSheet&, int index) override;

private:
    AdNetBrowserController();
    void refreshBars();
    std::shared_ptr<AdNetBrowserController> self();

    // The content view keeps the bars and the web view; the top bar its item and spinner.
    std::weak_ptr<platform::WebView> m_webView;
    std::weak_ptr<platform::Toolbar> m_bottomToolbar;
    std::weak_ptr<platform::NavigationBar> m_topToolbar;
    std::weak_ptr<platform::NavigationItem> m_topNavItem;
    std::weak_ptr<platform::ActivityIndicator> m_spinner;
    // The failure alerts this browser has on screen (they keep themselves alive while shown).
    std::vector<std::weak_ptr<platform::AlertView>> m_alerts;
};

} // namespace adnet
