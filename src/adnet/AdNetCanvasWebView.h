#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/ui/WebView.h"

namespace adnet {

class AdNetModalController;

// The canvas page: a web view that is its own delegate and talks to the page both ways.
//
// Page to application: navigations to "adnet://COMMAND?QUERY" are commands, never loaded:
// "launch" hands the query's "url" to the platform (at most one per second, never a file:
// URL), "closecanvas" closes the canvas, any other command is swallowed. The scheme and the
// command are compared as written, letter case included. file: pages never load. Application to page: once the first
// load has finished and the page defines `adnet`, the page's `cb(url, title)` is called once, with the ad's URL (with
// "#sdk" appended) and title as exact string values. While that first callback has not gone out, a failed load or a
// page without `adnet` closes the canvas.
class AdNetCanvasWebView final : public platform::WebView, public platform::WebViewDelegate {
public:
    using Query = std::map<std::string, std::string, std::less<>>;
    using Selector = void (AdNetModalController::*)();

    static constexpr const char* kCanvasPath = "/static/sdk/canvas.html";
    static constexpr double kCanvasTimeout = 600;
    static constexpr int kSpinnerTag = 1;

    // "k=v&k2=v2" into a dictionary: pieces without "=" or with an empty key are skipped,
    // keys and values are percent-unescaped ("+" stays "+"), a later key replaces an
    // earlier one. A piece whose key or value does not unescape to ASCII text (a broken
    // escape, bytes beyond ASCII) is skipped as well.
    static Query dictionaryWithQueryString(const std::optional<std::string>& query);

    static std::shared_ptr<AdNetCanvasWebView> create(const platform::Rect& frame);

    // The ad's URL; the page is handed it with "#sdk" appended.
    void setCanvasUrl(std::string_view adUrl) { m_canvasUrl = std::string(adUrl) + "#sdk"; }
    const std::string& canvasUrl() const { return m_canvasUrl; }
    void setCanvasTitle(std::string title) { m_canvasTitle = std::move(title); }
    const std::string& canvasTitle() const { return m_canvasTitle; }
    std::shared_ptr<AdNetModalController> controller() const { return m_controller.lock(); }
    void setController(std::weak_ptr<AdNetModalController> controller) { m_controller = std::move(controller); }
    void setDismissSelector(Selector selector) { m_dismissSelector = selector; }

    // Loads the canvas page from the ad media host, never from a cache, and shows a grey
    // spinner until it has loaded.
    void startLoadingCanvas();
    bool initialLoad() const { return m_initialLoad; }

    // -- WebViewDelegate
    bool webViewShouldStartLoad(platform::WebView&, const platform::URLRequest& request,
                                platform::WebViewNavigationType) override;
    void webViewDidFinishLoad(platform::WebView&) override;
    void webViewDidFailLoad(platform::WebView&, const platform::WebError&) override;

private:
    explicit AdNetCanvasWebView(const platform::Rect& frame);
    void bridgeAnswered(const std::optional<std::string>& typeOfAdnet);
    void sendDismiss();
    void launch(const Query& arguments);

    std::weak_ptr<AdNetModalController> m_controller;
    Selector m_dismissSelector{nullptr};
    std::string m_canvasUrl;
    std::string m_canvasTitle;
    bool m_initialLoad{true};
    // Between the first finished load and the page's answer about `adnet`: further loads
    // finishing meanwhile must not ask again.
    bool m_askingForBridge{false};
};

} // namespace adnet
