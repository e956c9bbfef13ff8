#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/backend/headless/PageFacts.h"
#include "platform/core/RunLoop.h"
#include "platform/device/WebEngine.h"

namespace platform {

class ScriptedWeb;
class URLConnection;

// The headless web engine: a test double of the platform's web view, not a browser. It
// fetches pages over HTTP on the run loop, asks the navigation-policy question before
// every navigation (the load itself, each redirect it follows, links, the page's own
// navigations, back, forward, reload), reports start and finish or failure with the
// URL-loading error codes, and keeps history and titles. Scripts are answered as
// ScriptedWeb describes; nothing is rendered (the web view draws a placeholder).
//
// Only http, https and about:blank load; other schemes fail with -1002 once allowed.
// Cache policies work on ScriptedWeb's page store: "return cache data" policies use a copy
// when there is one (without one, "don't load" fails with -1008), the others load from
// the network and keep a copy; "reload ignoring local and remote cache data" sends
// Cache-Control: no-cache and Pragma: no-cache. The time-out runs from the start of the
// load to the end of the last document, across redirects (at most 20).
class ScriptedWebEngine final : public WebEngine, public std::enable_shared_from_this<ScriptedWebEngine> {
public:
    static std::shared_ptr<ScriptedWebEngine> create(std::weak_ptr<ScriptedWeb> web);
    ~ScriptedWebEngine() override;

    static constexpr int kMaxRedirects = 20;
    static constexpr std::size_t kMaxPageBytes = 8 * 1024 * 1024;

    // -- WebEngine
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

    // -- what the user or the page does (tests); each is a navigation like any other
    // A link of the page, relative to it.
    void followLink(const std::string& href);
    void submitForm(const std::string& action);
    // A navigation the page's script makes.
    void navigate(const std::string& url);
    // The page's process ends: a load in flight and the page are lost, and a failure is
    // reported (urlerror::unknown) whether a load was running or not.
    void crash();

    // The page shown (nullptr before the first one finished loading).
    const PageFacts* page() const;
    bool scalesPageToFit() const { return m_scalesPageToFit; }
    std::size_t historyLength() const { return m_history.size(); }

private:
    explicit ScriptedWebEngine(std::weak_ptr<ScriptedWeb> web);

    struct HistoryItem {
        URLRequest request;
        PageFacts facts;
    };
    enum class Into { NewEntry, SameEntry, HistoryIndex };
    struct Navigation {
        URLRequest request;
        WebViewNavigationType type{WebViewNavigationType::Other};
        Into into{Into::NewEntry};
        int historyIndex{-1};
    };
    struct Load {
        std::uint64_t id{0};
        Navigation navigation;
        std::string firstURL;
        double deadline{0};
        int redirects{0};
        std::shared_ptr<URLConnection> connection;
        int status{0};
        std::string location;
        std::string body;
        RunLoop::EventId event{0};
    };

    // Posted, so that no report comes from inside a call the view made.
    void schedule(Navigation navigation);
    void pageNavigation(const std::string& href, WebViewNavigationType type);
    void begin(Navigation navigation);
    void fetch();
    void onDocument(std::string body, std::string finalURL);
    void redirect();
    void finish(std::string body);
    void fail(long code, std::string description);
    void cancelLoad();
    void schedulePageNavigations();
    void cancelPageNavigations();
    std::optional<std::string> answer(const std::string& script) const;

    std::weak_ptr<ScriptedWeb> m_web;
    WebEngineClient* m_client{nullptr};
    std::vector<HistoryItem> m_history;
    int m_index{-1};
    std::optional<Load> m_load;
    std::uint64_t m_loadSerial{0};
    // Navigations posted but not yet decided, and the latest of them.
    int m_pending{0};
    std::uint64_t m_stopSerial{0};
    std::optional<URLRequest> m_requested;
    std::vector<RunLoop::EventId> m_pageEvents;
    bool m_pageLost{false};
    bool m_scalesPageToFit{false};
};

} // namespace platform
