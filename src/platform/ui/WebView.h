#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/device/WebEngine.h"
#include "platform/ui/View.h"

namespace platform {

class WebView;

// Hears a web view's loads. Held weakly by the web view; every call arrives on the main
// run loop.
class WebViewDelegate {
public:
    virtual ~WebViewDelegate() = default;
    // Before every navigation (loadRequest, redirects, links, back, forward, reload):
    // false refuses it, and nothing more is reported about it.
    virtual bool webViewShouldStartLoad(WebView&, const URLRequest&, WebViewNavigationType) { return true; }
    // One start, then one finish or one failure, per navigation that begins.
    virtual void webViewDidStartLoad(WebView&) { }
    virtual void webViewDidFinishLoad(WebView&) { }
    virtual void webViewDidFailLoad(WebView&, const WebError&) { }
};

// A view that shows web pages. It takes part in frames, alpha, animations and hit testing
// like any view; the page itself is rendered by the WebEngine the installed device
// services make (Services::webEngine). Without one it loads nothing and every load fails.
// Subclassable.
class WebView : public View, protected WebEngineClient {
public:
    static std::shared_ptr<WebView> create(const Rect& frame = {});
    ~WebView() override;

    // A page is likely soon: lets the installed services start loading what a web view's
    // engine needs, so that the view made later does not wait as long. Returns at once; a
    // no-op without such a service. Main thread.
    static void prepareEngine();

    void setDelegate(std::weak_ptr<WebViewDelegate> delegate) { m_delegate = std::move(delegate); }
    std::shared_ptr<WebViewDelegate> delegate() const { return m_delegate.lock(); }

    void loadRequest(const URLRequest& request);
    // The page shown, or the one loading in its place.
    std::optional<URLRequest> request() const;
    // Titles are cut to this many characters (whole UTF-8 sequences).
    static constexpr std::size_t kMaxTitleCharacters = 256;

    // The document's title, at most kMaxTitleCharacters of it; "" when none.
    std::string title() const;
    bool isLoading() const;
    bool canGoBack() const;
    bool canGoForward() const;
    void goBack();
    void goForward();
    void reload();
    void stopLoading();

    bool scalesPageToFit() const { return m_scalesPageToFit; }
    void setScalesPageToFit(bool scales);

    // Asynchronous (a real engine evaluates in another process): `done` hears the result
    // later on the run loop, never from inside this call; nullopt when the script failed or
    // the page is gone. A result is delivered even if the web view is gone by then.
    void evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done);

    // The engine showing the pages; null when no backend provides one.
    WebEngine* engine() const { return m_engine.get(); }

    // The page's stand-in where no native widget shows it (snapshots).
    void draw(Canvas& canvas, const Rect& dirty) override;
    bool showsNativeContent() const override;
    void didMoveToWindow() override;

protected:
    explicit WebView(const Rect& frame);

    // WebEngineClient: forwards to the delegate, keeping this view alive meanwhile.
    bool engineShouldStartLoad(const URLRequest& request, WebViewNavigationType type) override;
    void engineDidStartLoad() override;
    void engineDidFinishLoad() override;
    void engineDidFailLoad(const WebError& error) override;
    void engineStateChanged() override;
    std::optional<WebPlacement> enginePlacement(double now) const override;

private:
    void failWithoutEngine(const URLRequest& request);

    std::weak_ptr<WebViewDelegate> m_delegate;
    std::shared_ptr<WebEngine> m_engine;
    bool m_scalesPageToFit{false};
    int m_loadsWithoutEngine{0};
};

} // namespace platform
