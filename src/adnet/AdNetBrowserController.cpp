#include "AdNetBrowserController.h"

#include "AdNetLocalization.h"
#include "HostValues.h"
#include "PlatformHandOver.h"
#include "WrittenURL.h"
#include "adnet/AdNetAd.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetImageCache.h"
#include "platform/core/PercentEscape.h"
#include "platform/core/URL.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bars.h"
#include "platform/ui/Window.h"

#include <algorithm>

namespace adnet {

namespace {

using platform::BarButtonItem;
using platform::BarButtonSystemItem;

constexpr platform::Color kContentColor = platform::Color::rgba(0, 1, 0);

bool startsWithAny(const std::string& text, const std::vector<std::string>& prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(), [&](const std::string& p) { return text.starts_with(p); });
}

// Escapes a value for a mailto: header field. Beyond the usual URL escaping, "&", "=" and
// "+" are escaped too: left as they are, a link with a query would be cut at its first "&"
// and the rest read as further header fields.
std::string mailtoValue(std::string_view text)
{
    std::string out;
    for (char c : platform::addPercentEscapes(text)) {
        switch (c) {
        case '&':
            out += "%26";
            break;
        case '=':
            out += "%3D";
            break;
        case '+':
            out += "%2B";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

std::shared_ptr<AdNetBrowserController> AdNetBrowserController::create()
{
    return std::shared_ptr<AdNetBrowserController>(new AdNetBrowserController);
}

AdNetBrowserController::AdNetBrowserController()
{
    m_willPresentSelector = &AdNetDelegate::willPresentWebView;
    m_didDismissSelector = &AdNetDelegate::didDismissWebView;
}

std::shared_ptr<AdNetBrowserController> AdNetBrowserController::self()
{
    return std::static_pointer_cast<AdNetBrowserController>(shared_from_this());
}

const std::vector<std::string>& AdNetBrowserController::browserIcons()
{
    return AdNetAd::browserIcons();
}

std::shared_ptr<BarButtonItem> AdNetBrowserController::barButtonItemWithImageName(const std::string& imageName,
                                                                                  const std::string& disabledImageName,
                                                                                  bool isEnabled,
                                                                                  BarButtonItem::Action action)
{
    auto image = AdNetImageCache::sharedCache().fetchImageNamed(isEnabled ? imageName : disabledImageName);
    auto item = BarButtonItem::create(std::move(image), platform::BarButtonItemStyle::Plain, std::move(action));
    item->setEnabled(isEnabled);
    return item;
}

std::optional<std::string> AdNetBrowserController::messageForErrorCode(long code)
{
    switch (code) {
    case -999:
        return std::nullopt;
    case -1000:
    case -1002:
        return localizedString("That page is not supported.");
    case -1001:
    case -1004:
    case -1005:
    case -1008:
    case -1009:
    case -2000:
        return localizedString("Couldn't connect to that page.");
    case -1103:
        return localizedString("That page is too large to load.");
    case -1100:
    case -1101:
        return localizedString("That file can't be displayed.");
    default:
        break;
    }
    if (code <= -3000 && code >= -3005)
        return localizedString("That file can't be displayed.");
    if (code <= -1200 && code >= -1204)
        return localizedString("That page is not secure.");
    return localizedString("That page could not be loaded.");
}

void AdNetBrowserController::presentBrowserFromView(std::shared_ptr<platform::View> adView, const std::string& url)
{
    auto browser = self();
    auto webView = platform::WebView::create();
    webView->setDelegate(std::static_pointer_cast<platform::WebViewDelegate>(browser));
    webView->setScalesPageToFit(true);
    webView->loadRequest(platform::URLRequest{url});
    m_webView = webView;

    auto frame = platform::Screen::main().applicationFrame();
    const platform::Float w = frame.width(), h = frame.height();
    auto content = platform::View::create({0, 0, w, h});
    content->setBackgroundColor(kContentColor);
    setModalView(content);

    webView->setFrame({0, kBarHeight, w, h - 2 * kBarHeight});
    auto bottom = platform::Toolbar::create({0, h - kBarHeight, w, kBarHeight});
    auto top = platform::NavigationBar::create({0, 0, w, kBarHeight});
    m_bottomToolbar = bottom;
    m_topToolbar = top;

    if (auto host = adNetDelegate()) {
        if (auto style = host->embeddedWebViewBarStyle()) {
            bottom->setBarStyle(platform::BarStyle(*style));
            top->setBarStyle(platform::BarStyle(*style));
        }
    }
    if (auto host = adNetDelegate()) {
        if (auto tint = host->embeddedWebViewTintColor()) {
            bottom->setTintColor(toPlatform(*tint));
            top->setTintColor(toPlatform(*tint));
        }
    }

    auto item = platform::NavigationItem::create("");
    top->setItems({item});
    m_topNavItem = item;

    refreshBars();
    content->addSubview(bottom);
    content->addSubview(top);
    content->addSubview(webView);
    presentModalFromView(std::move(adView));
}

void AdNetBrowserController::refreshBottomToolbar()
{
    auto webView = m_webView.lock();
    auto toolbar = m_bottomToolbar.lock();
    if (!webView || !toolbar)
        return;
    std::weak_ptr<platform::WebView> weakView = webView;
    auto onView = [weakView](void (platform::WebView::*method)()) {
        return [weakView, method](BarButtonItem&) {
            if (auto view = weakView.lock())
                ((*view).*method)();
        };
    };
    const auto& icons = browserIcons();
    auto back =
        barButtonItemWithImageName(icons[0], icons[1], webView->canGoBack(), onView(&platform::WebView::goBack));
    auto forward =
        barButtonItemWithImageName(icons[2], icons[3], webView->canGoForward(), onView(&platform::WebView::goForward));
    auto space = BarButtonItem::create(BarButtonSystemItem::FlexibleSpace);
    auto stopOrReload = webView->isLoading()
                            ? BarButtonItem::create(BarButtonSystemItem::Stop, onView(&platform::WebView::stopLoading))
                            : BarButtonItem::create(BarButtonSystemItem::Refresh, onView(&platform::WebView::reload));
    auto action = BarButtonItem::create(BarButtonSystemItem::Action,
                                        BarButtonItem::method(self(), &AdNetBrowserController::systemAction));
    back->setAccessibilityLabel(localizedString("Back"));
    forward->setAccessibilityLabel(localizedString("Forward"));
    stopOrReload->setAccessibilityLabel(localizedString(webView->isLoading() ? "Stop" : "Reload"));
    action->setAccessibilityLabel(localizedString("Actions"));
    toolbar->setItems({back, space, forward, space, stopOrReload, space, action});
}

void AdNetBrowserController::refreshTopToolbar()
{
    auto webView = m_webView.lock();
    auto bar = m_topToolbar.lock();
    auto item = m_topNavItem.lock();
    if (!webView || !bar || !item)
        return;
    std::shared_ptr<AdNetModalController> modal = shared_from_this();
    auto done = BarButtonItem::create(BarButtonSystemItem::Done,
                                      BarButtonItem::method(modal, &AdNetModalController::dismissModal));
    done->setAccessibilityLabel(localizedString("Done"));
    item->setLeftBarButtonItem(done);
    std::string title;
    if (webView->isLoading()) {
        if (!m_spinner.lock()) {
            auto spinner = platform::ActivityIndicator::create(platform::ActivityIndicatorStyle::White);
            auto size = bar->bounds().size;
            spinner->setFrame(
                {(size.width - 20) * platform::Float(0.5), (size.height - 20) * platform::Float(0.5), 20, 20});
            spinner->startAnimating();
            bar->addSubview(spinner);
            m_spinner = spinner;
        }
    } else {
        // The document's title as the engine keeps it: the same text "document.title"
        // gives, without a round trip through the page's script.
        title = webView->title();
        if (auto spinner = m_spinner.lock())
            spinner->removeFromSuperview();
        m_spinner.reset();
    }
    item->setTitle(std::move(title));
}

void AdNetBrowserController::refreshBars()
{
    refreshBottomToolbar();
    refreshTopToolbar();
}

bool AdNetBrowserController::webViewShouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                                    platform::WebViewNavigationType)
{
    auto written = WrittenURL::split(request.url);
    if (!written)
        return true;
    // Refused in any letter case: "FILE:" must not reach the desktop's handler instead.
    if (written->isFile())
        return false;
    auto scheme = written->scheme;
    if (scheme == "about")
        return true;
    // What the desktop refuses to take the page does not load either: no engine of ours
    // can show it, and it stays out of the desktop's reach.
    if (scheme != "http" && scheme != "https")
        return handURLToPlatform(request.url, HandOverSource::Page);
    auto url = platform::URL::parse(request.url);
    if (!url)
        return true;
    const auto& config = configuration();
    const auto& host = url->host();
    const auto& path = url->path();
    bool video = std::find(config.videoHosts.begin(), config.videoHosts.end(), host) != config.videoHosts.end() &&
                 (path.starts_with("/watch") || path.starts_with("/v/"));
    if (startsWithAny(host, config.mapsHostPrefixes) || video || startsWithAny(host, config.storeHostPrefixes))
        handURLToPlatform(request.url, HandOverSource::Page);
    return true;
}

void AdNetBrowserController::webViewDidStartLoad(platform::WebView&)
{
    refreshBars();
}

void AdNetBrowserController::webViewDidFinishLoad(platform::WebView&)
{
    refreshBars();
}

void AdNetBrowserController::webViewDidFailLoad(platform::WebView&, const platform::WebError& error)
{
    refreshBars();
    auto message = messageForErrorCode(error.code);
    if (!message)
        return;
    // A page that fails over and over costs one Ok: while an alert with this message is
    // still up, the same news is not queued again.
    std::erase_if(m_alerts, [](const std::weak_ptr<platform::AlertView>& weak) {
        auto alert = weak.lock();
        return !alert || !alert->isVisible();
    });
    for (const auto& weak : m_alerts)
        if (weak.lock()->message() == *message)
            return;
    reportAdNetEvent("alert " + *message);
    auto alert = platform::AlertView::create(localizedString("Whoops"), *message, {}, localizedString("Ok"));
    if (alert->show())
        m_alerts.push_back(alert);
}

void AdNetBrowserController::systemAction()
{
    auto toolbar = m_bottomToolbar.lock();
    if (!toolbar)
        return;
    reportAdNetEvent("action sheet");
    auto sheet = platform::ActionSheet::create(
        std::nullopt, std::static_pointer_cast<platform::ActionSheetDelegate>(self()), localizedString("Cancel"),
        std::nullopt, {localizedString("Open in Browser"), localizedString("Email link")});
    sheet->showFromToolbar(*toolbar);
}

void AdNetBrowserController::actionSheetClickedButtonAtIndex(platform::ActionSheet&, int index)
{
    if (index == 0)
        launchBrowser();
    else if (index == 1)
        mail();
}

void AdNetBrowserController::launchBrowser()
{
    auto webView = m_webView.lock();
    if (!webView)
        return;
    if (auto request = webView->request())
        handURLToPlatform(request->url, HandOverSource::User);
}

void AdNetBrowserController::mail()
{
    auto webView = m_webView.lock();
    if (!webView)
        return;
    auto request = webView->request();
    std::string link = request ? request->url : std::string{};
    handURLToPlatform("mailto:?subject=" + mailtoValue(webView->title()) + "&body=" + mailtoValue(link),
                      HandOverSource::User);
}

} // namespace adnet
