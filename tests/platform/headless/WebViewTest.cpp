// Web views on the headless engine, against the demo ad network on 127.0.0.1.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "adnetdemo/DemoServer.h"
#include "platform/backend/headless/PageFacts.h"
#include "platform/backend/headless/ScriptedWeb.h"
#include "platform/backend/headless/ScriptedWebEngine.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/WebView.h"

using namespace platform;

namespace {

const char* typeName(WebViewNavigationType type)
{
    switch (type) {
    case WebViewNavigationType::LinkClicked:
        return "link";
    case WebViewNavigationType::FormSubmitted:
        return "form";
    case WebViewNavigationType::BackForward:
        return "backforward";
    case WebViewNavigationType::Reload:
        return "reload";
    case WebViewNavigationType::FormResubmitted:
        return "resubmit";
    case WebViewNavigationType::Other:
        return "other";
    }
    return "?";
}

// Writes down every report as one line; refuses URLs that contain `refuse`.
struct Recorder final : WebViewDelegate {
    std::vector<std::string> log;
    std::string refuse;
    bool webViewShouldStartLoad(WebView&, const URLRequest& request, WebViewNavigationType type) override
    {
        const bool allow = refuse.empty() || request.url.find(refuse) == std::string::npos;
        log.push_back(std::string(allow ? "ask " : "refuse ") + typeName(type) + " " + request.url);
        return allow;
    }
    void webViewDidStartLoad(WebView& view) override
    {
        log.push_back(std::string("start") + (view.isLoading() ? "" : " (not loading?)"));
    }
    void webViewDidFinishLoad(WebView& view) override
    {
        log.push_back("finish " + view.title() + (view.isLoading() ? " (still loading?)" : ""));
    }
    void webViewDidFailLoad(WebView&, const WebError& error) override
    {
        log.push_back("fail " + std::to_string(error.code));
    }
    bool ended() const { return !log.empty() && (log.back().starts_with("finish") || log.back().starts_with("fail")); }
};

class HeadlessWebViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::setMain(loop);
        Services set;
        set.webEngine = [web = web] { return web->makeEngine(); };
        installServices(std::move(set));
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        base = server.baseUrl();
        view = WebView::create({0, 0, 320, 400});
        recorder = std::make_shared<Recorder>();
        view->setDelegate(recorder);
    }
    void TearDown() override
    {
        view.reset();
        loop->runFor(0.05);
        EXPECT_EQ(URLConnection::liveTransferCount(), 0u);
        URLConnection::closeIdleConnections(*loop);
        server.stop();
        resetServices();
        RunLoop::setMain(nullptr);
    }

    // Runs until the current load has reported its end, then a little more.
    void settle(double seconds = 10)
    {
        loop->runUntil([&] { return recorder->ended() && !view->isLoading(); }, seconds);
        loop->runFor(0.05);
    }
    std::vector<std::string> takeLog() { return std::exchange(recorder->log, {}); }
    static adnetdemo::FaultSpec slow(adnetdemo::FetchSet fetches, int milliseconds, int times = -1)
    {
        adnetdemo::FaultSpec spec;
        spec.fault = adnetdemo::Fault::slow;
        spec.fetches = fetches;
        spec.times = times;
        spec.delay = std::chrono::milliseconds(milliseconds);
        return spec;
    }

    std::shared_ptr<RunLoop> loop = RunLoop::createVirtual();
    std::shared_ptr<ScriptedWeb> web = ScriptedWeb::create();
    adnetdemo::DemoServer server;
    std::string base;
    std::shared_ptr<WebView> view;
    std::shared_ptr<Recorder> recorder;
};

} // namespace

TEST_F(HeadlessWebViewTest, LoadsPagesKeepsTitlesAndHistory)
{
    const std::string mel = base + "/landing/mels-diner.html";
    view->loadRequest({mel});
    // Loading from the call on, though nothing is reported from inside it.
    EXPECT_TRUE(view->isLoading());
    EXPECT_TRUE(recorder->log.empty());
    settle();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"ask other " + mel, "start", "finish Mel's Diner"}));
    EXPECT_EQ(view->request()->url, mel);
    EXPECT_FALSE(view->canGoBack());

    auto* engine = dynamic_cast<ScriptedWebEngine*>(view->engine());
    ASSERT_NE(engine, nullptr);
    engine->followLink("brain-blocks.html");
    settle();
    const std::string brain = base + "/landing/brain-blocks.html";
    auto log = takeLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0], "ask link " + brain);
    EXPECT_TRUE(view->canGoBack());
    EXPECT_FALSE(view->canGoForward());
    const std::string brainTitle = view->title();
    EXPECT_NE(brainTitle, "Mel's Diner");

    view->goBack();
    settle();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"ask backforward " + mel, "start", "finish Mel's Diner"}));
    EXPECT_TRUE(view->canGoForward());
    view->goForward();
    settle();
    EXPECT_EQ(takeLog().back(), "finish " + brainTitle);

    view->reload();
    settle();
    EXPECT_EQ(takeLog().front(), "ask reload " + brain);
    EXPECT_EQ(engine->historyLength(), 2u); // a reload adds no entry

    // A new link from the middle of the history drops what lay ahead.
    view->goBack();
    settle();
    engine->followLink("/landing/trailhead.html");
    settle();
    takeLog();
    EXPECT_FALSE(view->canGoForward());
    EXPECT_EQ(engine->historyLength(), 2u);
}

TEST_F(HeadlessWebViewTest, AsksBeforeEveryNavigationAndHonoursRefusals)
{
    // The click URL redirects: the redirect target is asked about too.
    const std::string go = base + "/go/mels-diner";
    view->loadRequest({go});
    settle();
    EXPECT_EQ(takeLog(),
              (std::vector<std::string>{"ask other " + go, "start", "ask other " + base + "/landing/mels-diner.html",
                                        "finish Mel's Diner"}));
    EXPECT_EQ(view->request()->url, base + "/landing/mels-diner.html");

    // A refused first navigation reports nothing and leaves the page as it was.
    recorder->refuse = "trailhead";
    view->loadRequest({base + "/landing/trailhead.html"});
    loop->runFor(0.5);
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"refuse other " + base + "/landing/trailhead.html"}));
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(view->title(), "Mel's Diner");

    // A refused redirect ends the load as cancelled.
    recorder->refuse = "landing/mels";
    view->loadRequest({go});
    settle();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"ask other " + go, "start",
                                                   "refuse other " + base + "/landing/mels-diner.html", "fail -999"}));

    // The page's own navigation to a custom scheme is asked about with the URL as written.
    recorder->refuse = "CloseCanvas";
    web->navigateAfterLoad(base + "/landing/harbor", "ADNET://CloseCanvas?x=%41", 0.25);
    view->loadRequest({base + "/landing/harbor-bank.html"});
    settle();
    loop->runFor(0.5);
    auto log = takeLog();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[3], "refuse other ADNET://CloseCanvas?x=%41");

    // A navigation replacing one in flight: the old one is cancelled first.
    recorder->refuse.clear();
    server.setFault(slow(adnetdemo::fetch::landingPage, 800, 1));
    view->loadRequest({base + "/landing/night-run.html"});
    loop->runUntil([&] { return recorder->log.size() == 2; }, 5);
    view->loadRequest({base + "/static/sdk/canvas.html"});
    settle();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"ask other " + base + "/landing/night-run.html", "start",
                                                   "ask other " + base + "/static/sdk/canvas.html", "fail -999",
                                                   "start", "finish AdNet canvas"}));
}

TEST_F(HeadlessWebViewTest, FailuresCarryTheirCodes)
{
    // Nothing listens on port 9 of the loopback.
    view->loadRequest({"http://127.0.0.1:9/"});
    settle();
    EXPECT_EQ(takeLog().back(), "fail -1004");

    // Allowed, but not a scheme a web view shows.
    view->loadRequest({"itms-apps://itunes.example/app"});
    settle();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"ask other itms-apps://itunes.example/app", "start", "fail -1002"}));

    // The request's own time-out, shorter than the server's delay.
    server.setFault(slow(adnetdemo::fetch::canvasPage, 30000));
    const auto started = std::chrono::steady_clock::now();
    view->loadRequest(
        {base + "/static/sdk/canvas.html", URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData, 0.5});
    settle(40);
    EXPECT_EQ(takeLog().back(), "fail -1001");
    // The half-second time-out, not the server's 30 s: half of that is no slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    server.clearFaults();

    // Stopping reports a cancellation, later, on the loop.
    view->loadRequest({base + "/static/sdk/canvas.html", URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData});
    loop->runUntil([&] { return recorder->log.size() == 2; }, 5);
    view->stopLoading();
    EXPECT_FALSE(view->isLoading());
    EXPECT_EQ(recorder->log.size(), 2u);
    settle();
    EXPECT_EQ(takeLog().back(), "fail -999");

    // A server's error page is a page like any other.
    view->loadRequest({base + "/landing/no-such-page.html"});
    settle();
    EXPECT_EQ(takeLog().back(), "finish Not Found");

    // "Reload ignoring every cache" says so to the server; "cache only" fails without a copy.
    server.clearRequests();
    view->loadRequest({base + "/static/sdk/canvas.html", URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData});
    settle();
    auto canvas = server.requests(adnetdemo::fetch::canvasPage);
    ASSERT_EQ(canvas.size(), 1u);
    EXPECT_EQ(canvas[0].header("Cache-Control").value_or(""), "no-cache");
    EXPECT_EQ(canvas[0].header("Pragma").value_or(""), "no-cache");
    view->loadRequest({base + "/landing/skyline-air.html", URLRequestCachePolicy::ReturnCacheDataDontLoad});
    settle();
    EXPECT_EQ(takeLog().back(), "fail -1008");

    // Without an engine a load fails instead of hanging.
    resetServices();
    auto bare = WebView::create({0, 0, 10, 10});
    auto bareRecorder = std::make_shared<Recorder>();
    bare->setDelegate(bareRecorder);
    bare->loadRequest({base + "/"});
    loop->runFor(0.1);
    EXPECT_EQ(bareRecorder->log, (std::vector<std::string>{"start", "fail -1"}));
}

TEST_F(HeadlessWebViewTest, LongTitlesAreCutBetweenCharacters)
{
    // 255 ASCII letters, then two-byte characters: the cut falls after the first of them.
    std::string title(255, 'a');
    for (int i = 0; i < 100; ++i)
        title += "\xC3\xA9";
    const std::string url = "http://titles.test/";
    web->storePage(url, {"<title>" + title + "</title>", url});
    view->loadRequest({url, URLRequestCachePolicy::ReturnCacheDataDontLoad});
    settle();
    EXPECT_EQ(view->title().size(), 257u);
    EXPECT_TRUE(view->title().ends_with("a\xC3\xA9"));
    EXPECT_EQ(takeLog().back(), "finish " + view->title());
}

TEST_F(HeadlessWebViewTest, AnswersScriptsFromThePageAndTheTest)
{
    std::vector<std::string> results;
    auto evaluate = [&](const std::string& script) {
        bool inside = true;
        view->evaluateJavaScript(script, [&results, &inside, script](std::optional<std::string> result) {
            results.push_back(inside ? "re-entrant!" : result.value_or("<threw>"));
        });
        inside = false;
        loop->runFor(0.01);
    };

    view->loadRequest({base + "/static/sdk/canvas.html"});
    settle();
    evaluate("typeof(adnet)");
    evaluate("typeof adnet;");
    evaluate("typeof(cb)");
    evaluate("document.title");
    evaluate("cb('http://x/#sdk', 'Mel\\'s Diner')");
    evaluate("noSuchFunction()");
    EXPECT_EQ(results, (std::vector<std::string>{"object", "object", "function", "AdNet canvas", "", "<threw>"}));
    ASSERT_EQ(web->evaluations().size(), 6u);
    EXPECT_EQ(web->evaluations()[4].script, "cb('http://x/#sdk', 'Mel\\'s Diner')");

    // A page without the bridge; a registered answer; a script that makes the page navigate.
    results.clear();
    web->answerScript(base + "/landing/", "document.body.innerText", "hello");
    web->navigateOnScript(base + "/landing/", "go()", "adnet://closecanvas");
    view->loadRequest({base + "/landing/mels-diner.html"});
    settle();
    takeLog();
    evaluate("typeof(adnet)");
    evaluate("document.body.innerText");
    evaluate("go()");
    EXPECT_EQ(results, (std::vector<std::string>{"undefined", "hello", "<threw>"}));
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"ask other adnet://closecanvas", "start", "fail -1002"}));

    // A crashed page answers nothing, and its loss is reported.
    results.clear();
    dynamic_cast<ScriptedWebEngine*>(view->engine())->crash();
    EXPECT_EQ(takeLog(), (std::vector<std::string>{"fail -1"}));
    evaluate("document.title");
    EXPECT_EQ(results, (std::vector<std::string>{"<threw>"}));

    // A result still arrives when the view is gone.
    results.clear();
    view->evaluateJavaScript("document.title",
                             [&](std::optional<std::string> r) { results.push_back(r.value_or("gone")); });
    view.reset();
    loop->runFor(0.01);
    EXPECT_EQ(results, (std::vector<std::string>{"gone"}));
}

TEST(PageFactsTest, ReadsTitlesDeclarationsAndRefreshes)
{
    auto facts = PageFacts::scan("<html><head><TITLE>\n  Mel&#39;s &amp;  Bob&apos;s &#x263A;\n</title>"
                                 "<title>second</title>"
                                 "<meta http-equiv=\"Refresh\" content=\"2.5; URL='next.html'\">"
                                 "<script>var adnet = {a: 1}; let n = 3; var u; window.w = \"s\";"
                                 "function cb(url, title) {}</script>"
                                 "<script src=\"x.js\">var external = 1;</script>"
                                 "<!-- <script>var hidden = 1;</script> --></head></html>");
    EXPECT_EQ(facts.title, "Mel's & Bob's \u263A");
    EXPECT_EQ(facts.typeOf("adnet"), "object");
    EXPECT_EQ(facts.typeOf("n"), "number");
    EXPECT_EQ(facts.typeOf("u"), "undefined");
    EXPECT_EQ(facts.typeOf("w"), "string");
    EXPECT_EQ(facts.typeOf("cb"), "function");
    EXPECT_EQ(facts.typeOf("external"), "undefined");
    EXPECT_EQ(facts.typeOf("hidden"), "undefined");
    ASSERT_TRUE(facts.refresh);
    EXPECT_DOUBLE_EQ(facts.refresh->delay, 2.5);
    EXPECT_EQ(facts.refresh->url, "next.html");

    // Truncated and hostile markup ends cleanly.
    EXPECT_EQ(PageFacts::scan("<title>never closed").title, "never closed");
    EXPECT_EQ(PageFacts::scan("<scr").title, "");
    EXPECT_EQ(decodeHtmlEntities("&#0; &#xZZ; &bogus; &"), "\uFFFD &#xZZ; &bogus; &");
}
