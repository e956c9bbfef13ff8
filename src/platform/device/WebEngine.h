#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/Geometry.h"
#include "platform/core/URLError.h"

namespace platform {

// The phone platform's request cache policies, by their numbers.
enum class URLRequestCachePolicy {
    UseProtocolCachePolicy = 0,
    ReloadIgnoringLocalCacheData = 1,
    ReturnCacheDataElseLoad = 2,
    ReturnCacheDataDontLoad = 3,
    ReloadIgnoringLocalAndRemoteCacheData = 4,
};

// A page to load: the URL, where a cached copy may come from, and how long the load may
// take in seconds (from its start to the end of the document).
struct URLRequest {
    std::string url;
    URLRequestCachePolicy cachePolicy{URLRequestCachePolicy::UseProtocolCachePolicy};
    double timeoutInterval{60};

    friend bool operator==(const URLRequest&, const URLRequest&) = default;
};

// What started a navigation, as the navigation-policy question tells it.
enum class WebViewNavigationType { LinkClicked, FormSubmitted, BackForward, Reload, FormResubmitted, Other };

struct WebError {
    long code{urlerror::unknown};
    std::string domain{urlerror::domain};
    std::string description;
    std::string failingURL;
};

// Where a web view's page is on the screen now: its rectangle in window coordinates
// (points, animations interpolated) and its effective opacity.
struct WebPlacement {
    Rect windowRect;
    Float alpha{1};
};

// The web view as its engine sees it. Every call arrives on the main run loop, never from
// inside a call the view made into the engine.
class WebEngineClient {
public:
    virtual ~WebEngineClient() = default;
    // Asked before every navigation of the page's main frame; false refuses it.
    virtual bool engineShouldStartLoad(const URLRequest& request, WebViewNavigationType type) = 0;
    // Each allowed navigation that begins reports one start and then exactly one finish or
    // failure; a load that is stopped or replaced fails with urlerror::cancelled.
    virtual void engineDidStartLoad() = 0;
    virtual void engineDidFinishLoad() = 0;
    virtual void engineDidFailLoad(const WebError& error) = 0;
    // Title, URL or history changed (for a redraw).
    virtual void engineStateChanged() { }
    // Where the page must be shown now; nullopt while the view is not on screen.
    virtual std::optional<WebPlacement> enginePlacement(double now) const = 0;
};

// What renders one web view's pages; backends make them through Services::webEngine. The
// engine belongs to its view and reports to the client it is given until it is destroyed.
class WebEngine {
public:
    virtual ~WebEngine() = default;

    // Once, before anything else; the client outlives the engine.
    virtual void setClient(WebEngineClient* client) = 0;

    virtual void load(const URLRequest& request) = 0;
    virtual void goBack() = 0;
    virtual void goForward() = 0;
    virtual void reload() = 0;
    virtual void stopLoading() = 0;

    virtual bool isLoading() const = 0;
    virtual bool canGoBack() const = 0;
    virtual bool canGoForward() const = 0;
    // The page shown, or the one loading in its place.
    virtual std::optional<URLRequest> request() const = 0;
    // The document's title; "" when it has none.
    virtual std::string title() const = 0;

    virtual void setScalesPageToFit(bool scales) = 0;

    // The result arrives later on the main run loop: the value as a string ("" for
    // undefined or null), nullopt when the script threw or the page is gone.
    virtual void evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done) = 0;

    // True when a native widget shows the page over the window's drawing: the compositor
    // then leaves the page's area to it.
    virtual bool rendersNatively() const { return false; }
    // The view moved, faded, appeared or disappeared: place the widget again.
    virtual void placementChanged() { }
};

} // namespace platform
