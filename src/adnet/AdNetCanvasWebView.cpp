#include "AdNetCanvasWebView.h"

#include "AdNetModalController.h"
#include "JavaScriptString.h"
#include "PlatformHandOver.h"
#include "WrittenURL.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetEvents.h"
#include "platform/core/PercentEscape.h"
#include "platform/ui/ActivityIndicator.h"

#include <algorithm>

namespace adnet {

namespace {

constexpr std::string_view kBridgeScheme = "adnet";

std::optional<std::string> unescapeToASCII(std::string_view text)
{
    auto decoded = platform::removePercentEscapes(text);
    if (!decoded)
        return std::nullopt;
    bool ascii =
        std::all_of(decoded->begin(), decoded->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii)
        return std::nullopt;
    return decoded;
}

} // namespace

AdNetCanvasWebView::Query AdNetCanvasWebView::dictionaryWithQueryString(const std::optional<std::string>& query)
{
    Query result;
    if (!query)
        return result;
    std::string_view rest = *query;
    while (true) {
        auto amp = rest.find('&');
        std::string_view piece = rest.substr(0, amp);
        auto equals = piece.find('=');
        if (equals != std::string_view::npos && equals > 0) {
            auto key = unescapeToASCII(piece.substr(0, equals));
            auto value = unescapeToASCII(piece.substr(equals + 1));
            if (key && value)
                result.insert_or_assign(std::move(*key), std::move(*value));
        }
        if (amp == std::string_view::npos)
            break;
        rest = rest.substr(amp + 1);
    }
    return result;
}

std::shared_ptr<AdNetCanvasWebView> AdNetCanvasWebView::create(const platform::Rect& frame)
{
    auto view = std::shared_ptr<AdNetCanvasWebView>(new AdNetCanvasWebView(frame));
    view->setDelegate(std::static_pointer_cast<platform::WebViewDelegate>(view));
    return view;
}

AdNetCanvasWebView::AdNetCanvasWebView(const platform::Rect& frame) : WebView(frame)
{
}

void AdNetCanvasWebView::startLoadingCanvas()
{
    platform::URLRequest request;
    request.url = configuration().mediaHost + kCanvasPath;
    request.cachePolicy = platform::URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData;
    request.timeoutInterval = kCanvasTimeout;
    loadRequest(request);

    auto spinner = platform::ActivityIndicator::create(platform::ActivityIndicatorStyle::Gray);
    auto size = bounds().size;
    spinner->setFrame({(size.width - 20) * platform::Float(0.5), (size.height - 20) * platform::Float(0.5), 20, 20});
    spinner->setTag(kSpinnerTag);
    spinner->startAnimating();
    addSubview(spinner);
}

bool AdNetCanvasWebView::webViewShouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                                platform::WebViewNavigationType)
{
    auto url = WrittenURL::split(request.url);
    if (!url)
        return true;
    // Local files stay closed to the page, in whatever letter case it writes the scheme.
    if (url->isFile())
        return false;
    if (url->scheme != kBridgeScheme)
        return true;
    std::string command(url->host);
    reportAdNetEvent("bridge " + command + " " + url->query.value_or(""));
    if (command == "launch")
        launch(dictionaryWithQueryString(url->query));
    else if (command == "closecanvas")
        sendDismiss();
    return false;
}

void AdNetCanvasWebView::launch(const Query& arguments)
{
    auto target = arguments.find("url");
    if (target == arguments.end())
        return;
    // Handed over as the page wrote it: "mailto:", "tel:" and "sms:" have no "//", and a
    // parser that wants one would drop them. The hand-over gate decides what may leave.
    handURLToPlatform(target->second, HandOverSource::Page);
}

void AdNetCanvasWebView::webViewDidFinishLoad(platform::WebView&)
{
    if (!m_initialLoad || m_askingForBridge)
        return;
    if (auto spinner = viewWithTag(kSpinnerTag); spinner && spinner.get() != this)
        spinner->removeFromSuperview();
    m_askingForBridge = true;
    std::weak_ptr<AdNetCanvasWebView> weak = sharedAs<AdNetCanvasWebView>();
    evaluateJavaScript("typeof(adnet)", [weak](std::optional<std::string> answer) {
        if (auto self = weak.lock())
            self->bridgeAnswered(answer);
    });
}

void AdNetCanvasWebView::bridgeAnswered(const std::optional<std::string>& typeOfAdnet)
{
    m_askingForBridge = false;
    if (!m_initialLoad)
        return;
    // Anything but "undefined" (even no answer at all) counts as a canvas page.
    if (typeOfAdnet && *typeOfAdnet == "undefined") {
        sendDismiss();
        return;
    }
    reportAdNetEvent("callback " + m_canvasUrl + " " + m_canvasTitle);
    // Both arguments go in as string literals: whatever the title holds, the page gets
    // exactly these two strings and no script of anyone else's.
    evaluateJavaScript("cb(" + javaScriptStringLiteral(m_canvasUrl) + ", " + javaScriptStringLiteral(m_canvasTitle) +
                           ")",
                       [](std::optional<std::string>) {});
    m_initialLoad = false;
}

void AdNetCanvasWebView::webViewDidFailLoad(platform::WebView&, const platform::WebError&)
{
    if (m_initialLoad)
        sendDismiss();
}

void AdNetCanvasWebView::sendDismiss()
{
    auto controller = m_controller.lock();
    if (controller && m_dismissSelector)
        ((*controller).*m_dismissSelector)();
}

} // namespace adnet
