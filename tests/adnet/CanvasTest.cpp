#include "AdNetCanvasController.h"
#include "AdNetCanvasWebView.h"
#include "LandingTestSupport.h"
#include "platform/ui/ActivityIndicator.h"

using namespace platform;
using adnet::AdNetCanvasController;
using adnet::AdNetCanvasWebView;
using Phase = adnet::AdNetModalController::Phase;

TEST(CanvasQueryString, ParsesLikeTheBridgeExpectsAndSkipsWhatDoesNotDecode)
{
    using Q = AdNetCanvasWebView::Query;
    auto parse = [](std::optional<std::string> q) { return AdNetCanvasWebView::dictionaryWithQueryString(q); };
    EXPECT_EQ(parse("a=1%3D2&x&=y&k=&a=b%20c"), (Q{{"a", "b c"}, {"k", ""}}));
    EXPECT_EQ(parse(std::nullopt), Q{});
    EXPECT_EQ(parse(""), Q{});
    EXPECT_EQ(parse("&&=&"), Q{});
    EXPECT_EQ(parse("url=a=b=c&plus=1+2&url2=%41%7e"), (Q{{"url", "a=b=c"}, {"plus", "1+2"}, {"url2", "A~"}}));
    // Broken escapes and bytes beyond ASCII drop only their own piece.
    EXPECT_EQ(parse("a=1&a=%zz&b=caf%C3%A9&c=%&d=%4&e=ok&%ff=1&f=\xc3\xa9"), (Q{{"a", "1"}, {"e", "ok"}}));
}

using CanvasPage = landingtest::WebLandingTest;

TEST_F(CanvasPage, LoadsTheNetworksPageFreshAndCallsItBackOnceWithTheAdsURLAndTitle)
{
    auto canvas = AdNetCanvasController::create();
    canvas->setAdNetDelegate(host);
    const std::string ad = base + "/landing/mels-diner.html";
    canvas->presentCanvasFromView(adView, ad, "Mel's Diner");
    auto page = canvas->canvasWebView();
    ASSERT_TRUE(page);
    EXPECT_EQ(page->frame(), (Rect{0, 92.5f, 320, 295})) << "centred in the application frame";
    auto request = page->request();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->url, base + "/static/sdk/canvas.html");
    EXPECT_EQ(request->cachePolicy, URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData);
    EXPECT_EQ(request->timeoutInterval, 600);
    auto spinner = std::dynamic_pointer_cast<ActivityIndicator>(page->viewWithTag(1));
    ASSERT_TRUE(spinner);
    EXPECT_EQ(spinner->style(), ActivityIndicatorStyle::Gray);
    EXPECT_EQ(spinner->frame(), (Rect{150, 137.5f, 20, 20}));
    EXPECT_TRUE(spinner->isAnimating());

    ASSERT_TRUE(runUntil([&] { return !page->initialLoad(); }));
    loop->runFor(0.1);
    EXPECT_FALSE(page->viewWithTag(1));
    const auto& asked = web->evaluations();
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_EQ(asked[0].script, "typeof(adnet)");
    EXPECT_EQ(asked[1].script, "cb('" + ad + "#sdk', 'Mel\\'s Diner')");
    EXPECT_EQ(events.back(), "callback " + ad + "#sdk Mel's Diner");
    auto canvasPage = server.requests(adnetdemo::fetch::canvasPage);
    ASSERT_EQ(canvasPage.size(), 1u);
    EXPECT_EQ(canvasPage[0].header("Cache-Control").value_or(""), "no-cache");

    // Later loads in the canvas, finished or failed, are neither called back nor guarded.
    auto& engine = engineOf(*page);
    engine.navigate(base + "/static/sdk/canvas.html");
    loop->runFor(1);
    engine.navigate("http://127.0.0.1:1/");
    loop->runFor(2);
    EXPECT_EQ(web->evaluations().size(), 2u);
    EXPECT_EQ(canvas->phase(), Phase::Presented);
}

TEST_F(CanvasPage, TheBridgeLaunchesClosesAndSwallowsEverythingElse)
{
    auto canvas = AdNetCanvasController::create();
    canvas->setAdNetDelegate(host);
    canvas->presentCanvasFromView(adView, base + "/landing/pocket-chef.html", "Pocket Chef");
    auto page = canvas->canvasWebView();
    ASSERT_TRUE(runUntil([&] { return canvas->phase() == Phase::Presented && !page->initialLoad(); }));
    auto& engine = engineOf(*page);
    auto step = [&](const std::string& url) {
        engine.navigate(url);
        loop->runFor(1.1);
    };
    step("adnet://launch?url=http%3A%2F%2Fa.example%2F%3Fq%3D1&url=http%3A%2F%2Fb.example%2Fx%3Fy%3D2");
    step("adnet://launch?url=mailto%3Ainfo%40example.com");
    step("adnet://launch?url=tel%3A%2B4930123");
    step("adnet://launch?url=sms%3A%2B4930123");
    step("adnet://launch?url=smb%3A%2F%2Fhost%2Fshare");
    step("adnet://launch?nourl=1");
    step("adnet://launch?url=not%20a%20url");
    step("adnet://launch?url=file%3A%2F%2F%2Fetc%2Fpasswd");
    step("adnet://launch?url=http%3A%2F%2Fc.example%2Fcaf%C3%A9");
    step("adnet://");
    step("adnet://bogus?x=1");
    step("ADNET://closecanvas"); // not a bridge command: it loads (and fails) like any page
    step("Adnet://closecanvas");
    step("adnet://CloseCanvas");
    EXPECT_EQ(opener->opened(), (std::vector<std::string>{"http://b.example/x?y=2", "mailto:info@example.com",
                                                          "tel:+4930123", "sms:+4930123"}));
    EXPECT_TRUE(sawEvent("refused smb://host/share"));
    EXPECT_TRUE(sawEvent("refused file:///etc/passwd"));
    EXPECT_EQ(canvas->phase(), Phase::Presented);
    EXPECT_TRUE(sawEvent("bridge bogus x=1"));
    EXPECT_TRUE(sawEvent("open http://b.example/x?y=2"));

    step("adnet://closecanvas?now=1");
    loop->runFor(1);
    EXPECT_EQ(canvas->phase(), Phase::Dismissed);
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 1", "didDismissModalCanvas 1"}));
}

TEST_F(CanvasPage, APageThatIsNoCanvasOrDoesNotLoadClosesWithoutAMessage)
{
    // A page without the bridge: closed as soon as it has loaded (after the presentation).
    web->answerScript(base + "/static/sdk/canvas.html", "typeof(adnet)", "undefined");
    auto canvas = AdNetCanvasController::create();
    canvas->setAdNetDelegate(host);
    const double t0 = now();
    canvas->presentCanvasFromView(adView, base + "/landing/mels-diner.html", "Mel's Diner");
    auto page = canvas->canvasWebView();
    ASSERT_TRUE(runUntil([&] { return canvas->phase() == Phase::Dismissed; }));
    EXPECT_GE(now() - t0, 1.9 - 1e-6) << "deferred: shown 0.5 s, then 0.7 s to close";
    EXPECT_FALSE(sawEvent("callback"));
    EXPECT_TRUE(page->initialLoad());
    EXPECT_FALSE(page->viewWithTag(1)) << "the spinner goes with the finished load";

    // The media host does not answer: the failed load closes the canvas, spinner and all.
    web->clearRules();
    adnet::AdNetConfiguration config = adnet::configuration();
    config.mediaHost = "http://127.0.0.1:1";
    adnet::setConfiguration(config);
    host->notices.clear();
    auto unreachable = AdNetCanvasController::create();
    unreachable->setAdNetDelegate(host);
    unreachable->presentCanvasFromView(adView, base + "/landing/mels-diner.html", "Mel's Diner");
    auto stuck = unreachable->canvasWebView();
    ASSERT_TRUE(runUntil([&] { return unreachable->phase() == Phase::Dismissed; }));
    EXPECT_TRUE(stuck->viewWithTag(1));
    EXPECT_EQ(host->notices, (std::vector<std::string>{"willPresentModalCanvas 1", "didDismissModalCanvas 1"}));

    // The server's error page is no canvas page either.
    config.mediaHost = base;
    adnet::setConfiguration(config);
    adnetdemo::FaultSpec broken;
    broken.fault = adnetdemo::Fault::status500;
    broken.fetches = adnetdemo::fetch::canvasPage;
    server.setFault(broken);
    auto failing = AdNetCanvasController::create();
    failing->presentCanvasFromView(adView, base + "/landing/mels-diner.html", "Mel's Diner");
    ASSERT_TRUE(runUntil([&] { return failing->phase() == Phase::Dismissed; }));
    EXPECT_FALSE(sawEvent("callback"));
}

TEST_F(CanvasPage, HostilePagesAndTitlesEndInDefinedBehaviour)
{
    // A 100 KB title full of quotes goes to the page whole, as one string literal.
    std::string title;
    while (title.size() < 100 * 1024)
        title += "'); alert(1); ('\\\n";
    auto canvas = AdNetCanvasController::create();
    canvas->setAdNetDelegate(host);
    canvas->presentCanvasFromView(adView, base + "/landing/mels-diner.html", title);
    auto page = canvas->canvasWebView();
    // Loads finishing twice before the page has answered ask once and call back once.
    ASSERT_TRUE(runUntil([&] { return !page->viewWithTag(1); }));
    ASSERT_TRUE(page->initialLoad());
    page->webViewDidFinishLoad(*page);
    page->webViewDidFinishLoad(*page);
    ASSERT_TRUE(runUntil([&] { return !page->initialLoad(); }));
    page->webViewDidFinishLoad(*page);
    loop->runFor(1);
    ASSERT_EQ(web->evaluations().size(), 2u);
    const auto& script = web->evaluations()[1].script;
    EXPECT_GT(script.size(), title.size());
    EXPECT_EQ(script.find('\n'), std::string::npos);
    EXPECT_TRUE(std::count(events.begin(), events.end(), "callback " + page->canvasUrl() + " " + title));

    // Local files never load, however the scheme is written.
    auto& engine = engineOf(*page);
    engine.navigate("file:///etc/passwd");
    engine.navigate("FILE:///etc/passwd");
    loop->runFor(1);
    EXPECT_EQ(page->request()->url, base + "/static/sdk/canvas.html");

    // A flood of commands: one launch gets through, one dismissal runs.
    for (int i = 0; i < 200; ++i) {
        engine.navigate("adnet://launch?url=http%3A%2F%2Fspam.example%2F" + std::to_string(i));
        if (i % 2)
            engine.navigate("adnet://closecanvas");
    }
    loop->runFor(3);
    EXPECT_EQ(opener->opened(), std::vector<std::string>{"http://spam.example/0"});
    EXPECT_EQ(canvas->phase(), Phase::Dismissed);
    EXPECT_EQ(std::count(events.begin(), events.end(), "modal dismissed"), 1);
}
