#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/backend/gtk/WebViewStack.h"
#include "platform/device/WebEngine.h"

namespace platform {
class Timer;
}

namespace platform::gtk {

// One web view's pages in a WebKitWebView, shown by the WebViewStack over the window.
//
// WebKit's signals become the engine's reports on the main run loop, in the order WebKit
// gave them: the navigation-policy question ("decide-policy", answered once the client
// has), start, finish or failure with the error mapped to a URL-loading code. A load that
// WebKit cannot show (a scheme it does not know, once allowed) fails with -1002 and keeps
// the page shown: WebKit's own error pages never appear. A request's time-out is a run-loop
// timer that stops the load and reports -1001. "Reload ignoring local and remote cache
// data" sends Cache-Control: no-cache and Pragma: no-cache; the engine's own ephemeral
// network session and web context keep no cache at all, and take WebKit's processes with
// them when the page goes. A web process that ends is reported as a failed load (-1103
// when it outgrew its memory limit).
//
// Pages are strangers' pages: nothing is downloaded (an attachment or a type WebKit cannot
// show fails the load with -1, as any other failure), WebKit opens no window or prompt of
// its own (script dialogs are answered at once, printing, choosers, permissions and the
// full screen are refused), and features a landing page does not need are off.
class WebKitWebEngine final : public WebEngine,
                              public StackedPage,
                              public std::enable_shared_from_this<WebKitWebEngine> {
public:
    static std::shared_ptr<WebKitWebEngine> create(std::shared_ptr<WebViewStack> stack);
    ~WebKitWebEngine() override;

    void setClient(WebEngineClient* client) override { m_client = client; }
    void load(const URLRequest& request) override;
    void goBack() override;
    void goForward() override;
    void reload() override;
    void stopLoading() override;
    bool isLoading() const override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    std::optional<URLRequest> request() const override;
    std::string title() const override;
    void setScalesPageToFit(bool scales) override { m_scalesPageToFit = scales; }
    void evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done) override;
    bool rendersNatively() const override { return true; }
    void placementChanged() override;

    // -- for the stack
    void* widget() const override { return m_view; } // WebKitWebView*, null once dropped
    std::optional<WebPlacement> placement(double now) const override;
    const Allocation& allocation() const override { return m_allocation; }
    bool show(const Allocation& allocation, double zoom, double opacity) override;
    void hide() override;
    bool isShown() const override { return m_shown; }
    void drop() override;

    // Signal handlers (C callbacks) live here.
    struct Signals;

private:
    explicit WebKitWebEngine(std::weak_ptr<WebViewStack> stack);
    void build();
    // Queues `report` for the main run loop; reports run in order, while this engine and
    // its client exist.
    void post(std::function<void(WebKitWebEngine&)> report);
    void scheduleDrain();
    void drain();
    // A finished load is reported once the document's title is known, holding later reports.
    void finishWithTitle();
    void reportStart();
    // startIfIdle: a failure before any start still comes after one.
    void reportFailure(long code, const std::string& description, const std::string& url, bool startIfIdle);
    void endLoad();

    std::weak_ptr<WebViewStack> m_stack;
    WebEngineClient* m_client{nullptr};
    void* m_view{nullptr}; // WebKitWebView*

    // Load state as reported to the client.
    bool m_inLoad{false};
    bool m_apiLoadPending{false};
    bool m_timedOut{false};
    bool m_refusedNavigation{false};         // the client refused a navigation of the load in flight
    std::optional<URLRequest> m_lastRequest; // as given to load()
    double m_nextTimeout{0};                 // for the next load that starts
    std::shared_ptr<Timer> m_timeout;
    std::string m_approvedURI; // a new-window navigation already allowed, loaded here

    std::deque<std::function<void(WebKitWebEngine&)>> m_reports;
    bool m_reportsHeld{false};
    bool m_drainPosted{false};
    // The title the document had when its load finished (WebKit's own title property can
    // lag behind the finish), until WebKit reports a title of its own.
    std::optional<std::string> m_documentTitle;

    Allocation m_allocation;
    double m_zoom{1};
    bool m_shown{false};
    bool m_scalesPageToFit{false};
};

} // namespace platform::gtk
