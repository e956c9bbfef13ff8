#include "AdNetBrowserController.h"
#include "LandingTestSupport.h"
#include "LoopbackServer.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/ActivityIndicator.h"
#include "platform/ui/AlertView.h"
#include "platform/ui/Bars.h"

using namespace platform;
using adnet::AdNetBrowserController;
using Phase = adnet::AdNetModalController::Phase;

namespace {

class StyledHost final : public landingtest::NoticeHost {
public:
    std::optional<int> embeddedWebViewBarStyle() override { return 1; }
    std::optional<adnet::Color> embeddedWebViewTintColor() override { return adnet::Color{1, 0, 0, 1}; }
};

// A square icon whose width tells which one it is.
void cacheIcon(const std::string& name, Float width)
{
    BitmapCanvas bitmap({width, width});
    bitmap.canvas().setFillColor(Color::black());
    bitmap.canvas().fillRect({0, 0, width, width});
    adnet::AdNetImageCache::sharedCache().storeImage(*bitmap.makeImage(), name);
}

WebError failure(long code)
{
    WebError error;
    error.code = code;
    return error;
}

Float imageWidth(const BarButtonItem& item)
{
    return item.image() ? item.image()->size().width : 0;
}

} // namespace

class EmbeddedBrowser : public landingtest::WebLandingTest {
protected:
    std::shared_ptr<AdNetBrowserController> open(const std::string& url,
                                                 std::shared_ptr<adnet::AdNetDelegate> delegate = {})
    {
        auto browser = AdNetBrowserController::create();
        if (delegate)
            browser->setAdNetDelegate(delegate);
        else
            browser->setAdNetDelegate(host);
        browser->presentBrowserFromView(adView, url);
        return browser;
    }
    bool settle(AdNetBrowserController& browser)
    {
        bool done = runUntil([&] { return !browser.webView()->isLoading(); });
        loop->runFor(0.1);
        return done;
    }
    std::shared_ptr<BarButtonItem> item(AdNetBrowserController& browser, std::size_t index)
    {
        return browser.bottomToolbar()->items().at(index);
    }
};

TEST_F(EmbeddedBrowser, BarsFollowTheLoadsAndTheHistory)
{
    cacheIcon("back", 10);
    cacheIcon("back_disable", 11);
    cacheIcon("forward_disable", 13); // "forward" is missing from the cache
    auto styled = std::make_shared<StyledHost>();
    styled->window = window;
    auto browser = open(base + "/landing/trailhead.html", styled);
    auto content = browser->modalView();
    EXPECT_EQ(content->frame(), (Rect{0, 0, 320, 480}));
    EXPECT_EQ(content->backgroundColor(), Color::rgba(0, 1, 0));
    ASSERT_EQ(content->subviews().size(), 3u);
    EXPECT_EQ(content->subviews()[0], browser->bottomToolbar());
    EXPECT_EQ(content->subviews()[1], browser->topToolbar());
    EXPECT_EQ(content->subviews()[2], browser->webView());
    EXPECT_EQ(browser->topToolbar()->frame(), (Rect{0, 0, 320, 44}));
    EXPECT_EQ(browser->webView()->frame(), (Rect{0, 44, 320, 392}));
    EXPECT_EQ(browser->bottomToolbar()->frame(), (Rect{0, 436, 320, 44}));
    EXPECT_TRUE(browser->webView()->scalesPageToFit());
    for (Bar* bar :
         {static_cast<Bar*>(browser->topToolbar().get()), static_cast<Bar*>(browser->bottomToolbar().get())}) {
        EXPECT_EQ(bar->barStyle(), BarStyle::Black);
        EXPECT_EQ(bar->tintColor(), Color::rgba(1, 0, 0));
    }

    // Loading: no title, a white spinner in the middle of the top bar, Stop, no history.
    EXPECT_EQ(browser->topNavItem()->title(), "");
    auto spinner = browser->spinner();
    ASSERT_TRUE(spinner);
    EXPECT_EQ(spinner->style(), ActivityIndicatorStyle::White);
    EXPECT_EQ(spinner->frame(), (Rect{150, 12, 20, 20}));
    EXPECT_EQ(spinner->superview(), browser->topToolbar());
    const auto& items = browser->bottomToolbar()->items();
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[1], items[3]);
    EXPECT_EQ(items[3], items[5]);
    EXPECT_TRUE(items[1]->isFlexibleSpace());
    EXPECT_EQ(items[4]->systemItem(), BarButtonSystemItem::Stop);
    EXPECT_EQ(items[6]->systemItem(), BarButtonSystemItem::Action);
    EXPECT_FALSE(items[0]->isEnabled());
    EXPECT_EQ(imageWidth(*items[0]), 11);
    EXPECT_FALSE(items[2]->isEnabled());
    EXPECT_EQ(imageWidth(*items[2]), 13);
    EXPECT_EQ(browser->topNavItem()->leftBarButtonItem()->systemItem(), BarButtonSystemItem::Done);

    ASSERT_TRUE(settle(*browser));
    EXPECT_EQ(browser->topNavItem()->title(), "Trailhead Outfitters — Spring sale");
    EXPECT_FALSE(browser->spinner());
    EXPECT_FALSE(spinner->superview());
    EXPECT_EQ(item(*browser, 4)->systemItem(), BarButtonSystemItem::Refresh);
    EXPECT_FALSE(item(*browser, 0)->isEnabled());

    engineOf(*browser->webView()).followLink(base + "/landing/harbor-bank.html");
    ASSERT_TRUE(settle(*browser));
    EXPECT_EQ(browser->topNavItem()->title(), "Harbor Bank — Savings");
    EXPECT_TRUE(item(*browser, 0)->isEnabled());
    EXPECT_EQ(imageWidth(*item(*browser, 0)), 10);
    item(*browser, 0)->send(); // back
    ASSERT_TRUE(settle(*browser));
    EXPECT_EQ(browser->topNavItem()->title(), "Trailhead Outfitters — Spring sale");
    auto forward = item(*browser, 2);
    EXPECT_TRUE(forward->isEnabled());
    EXPECT_EQ(forward->image(), nullptr) << "a missing icon leaves the button without an image";
    forward->send();
    ASSERT_TRUE(settle(*browser));
    EXPECT_EQ(browser->topNavItem()->title(), "Harbor Bank — Savings");

    loop->runFor(1);
    ASSERT_EQ(browser->phase(), Phase::Presented);
    browser->topNavItem()->leftBarButtonItem()->send(); // Done
    loop->runFor(1);
    EXPECT_EQ(browser->phase(), Phase::Dismissed);
    EXPECT_EQ(styled->notices, (std::vector<std::string>{"willPresentWebView 1", "didDismissWebView 1"}));

    // A host that says nothing of bars keeps the platform's look; Done during the expand
    // waits for the presentation to finish.
    auto plain = open(base + "/landing/trailhead.html");
    EXPECT_EQ(plain->topToolbar()->barStyle(), BarStyle::Default);
    EXPECT_EQ(plain->bottomToolbar()->tintColor(), std::nullopt);
    const double t0 = now();
    plain->topNavItem()->leftBarButtonItem()->send();
    runTo(t0, 1.199);
    EXPECT_EQ(plain->phase(), Phase::Presented);
    runTo(t0, 1.9);
    EXPECT_EQ(plain->phase(), Phase::Dismissed);
}

TEST_F(EmbeddedBrowser, RoutesFilesAboutOtherSchemesAndTheConfiguredHosts)
{
    auto browser = open("about:blank");
    auto& view = *browser->webView();
    auto ask = [&](const std::string& url) {
        loop->runFor(1.1); // past the one-a-second limit on what a page hands over
        opener->clear();
        bool allowed = browser->webViewShouldStartLoad(view, URLRequest{url}, WebViewNavigationType::LinkClicked);
        return std::string(allowed ? "allow" : "refuse") + (opener->opened().empty() ? "" : " open");
    };
    EXPECT_EQ(ask("file:///etc/passwd"), "refuse");
    EXPECT_EQ(ask("FILE:///etc/passwd"), "refuse");
    EXPECT_EQ(ask("about:blank"), "allow");
    EXPECT_EQ(ask("appstream://org.example.Game"), "allow open");
    EXPECT_EQ(ask("mailto:a@example.com"), "allow open");
    EXPECT_EQ(ask("HTTP://example.com/"), "allow open") << "schemes compare as written";
    EXPECT_EQ(ask("http://example.com/watch"), "allow");
    EXPECT_EQ(ask("https://maps.google.de/maps?q=x"), "allow open");
    EXPECT_EQ(ask("https://www.openstreetmap.org/#map=5/50/8"), "allow open");
    EXPECT_EQ(ask("https://notmaps.google.com/"), "allow");
    EXPECT_EQ(ask("https://www.youtube.com/watch?v=abc"), "allow open");
    EXPECT_EQ(ask("http://youtube.com/v/abc"), "allow open");
    EXPECT_EQ(ask("http://youtube.com/about"), "allow");
    EXPECT_EQ(ask("http://m.youtube.com/watch?v=abc"), "allow");
    EXPECT_EQ(ask("https://flathub.org/apps/org.example.Game"), "allow open");
    EXPECT_EQ(ask("https://www.snapcraft.io/game"), "allow open");
    EXPECT_EQ(ask("https://evilflathub.org/"), "allow");
    EXPECT_EQ(ask("http://127.0.0.1:1/x"), "allow");
    // Only web, mail, telephone, message, position and store schemes leave the application.
    EXPECT_EQ(ask("tel:+4930123"), "allow open");
    EXPECT_EQ(ask("GEO:52.5,13.4"), "allow open");
    for (const char* local : {"smb://server/share", "sftp://h/etc", "ftp://h/", "nfs://h/x", "ssh://h",
                              "help:gnome-help", "ghelp:x", "man:ls", "info:ls", "vnc://h", "rdp://h",
                              "x-terminal-emulator:sh", "steam://run/1", "javascript:alert(1)", "Smb://server/share"}) {
        EXPECT_EQ(ask(local), "refuse") << local;
        EXPECT_TRUE(sawEvent(std::string("refused ") + local)) << local;
    }
    // A burst from the page: one hand-over, the rest refused and logged, web pages still load.
    opener->clear();
    EXPECT_TRUE(
        browser->webViewShouldStartLoad(view, URLRequest{"mailto:a@example.com"}, WebViewNavigationType::Other));
    EXPECT_FALSE(
        browser->webViewShouldStartLoad(view, URLRequest{"mailto:b@example.com"}, WebViewNavigationType::Other));
    EXPECT_TRUE(
        browser->webViewShouldStartLoad(view, URLRequest{"https://maps.google.de/x"}, WebViewNavigationType::Other));
    EXPECT_EQ(opener->opened(), std::vector<std::string>{"mailto:a@example.com"});
    EXPECT_TRUE(sawEvent("refused mailto:b@example.com"));
    EXPECT_TRUE(sawEvent("refused https://maps.google.de/x"));

    // The lists are configuration: the environment replaces them.
    setenv("ADNET_MAPS_HOSTS", " Maps.Example. ,,", 1);
    setenv("ADNET_VIDEO_HOSTS", "", 1);
    unsetenv("ADNET_STORE_HOSTS");
    setenv("ADNET_STORE_SCHEMES", "Steam, file", 1);
    auto config = adnet::AdNetConfiguration::fromEnvironment();
    unsetenv("ADNET_MAPS_HOSTS");
    unsetenv("ADNET_VIDEO_HOSTS");
    unsetenv("ADNET_STORE_SCHEMES");
    EXPECT_EQ(config.mapsHostPrefixes, std::vector<std::string>{"maps.example."});
    EXPECT_TRUE(config.videoHosts.empty());
    EXPECT_EQ(config.storeHostPrefixes.size(), 4u);
    config.mediaHost = base;
    adnet::setConfiguration(config);
    EXPECT_EQ(ask("https://maps.example.org/"), "allow open");
    EXPECT_EQ(ask("https://maps.google.de/"), "allow");
    EXPECT_EQ(ask("https://www.youtube.com/watch?v=abc"), "allow");
    EXPECT_EQ(ask("steam://run/1"), "allow open");
    EXPECT_EQ(ask("file:///etc/passwd"), "refuse") << "no configuration lets local files out";
}

TEST_F(EmbeddedBrowser, FailuresShowAnAlertByCodeButNotForACancelledLoad)
{
    auto browser = open("http://127.0.0.1:1/");
    ASSERT_TRUE(runUntil([&] { return !AlertView::visibleAlerts().empty(); }));
    auto alert = AlertView::visibleAlerts().back();
    EXPECT_EQ(alert->title(), "Whoops");
    EXPECT_EQ(alert->message(), "Couldn't connect to that page.");
    EXPECT_EQ(alert->numberOfButtons(), 1);
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "Ok");
    EXPECT_EQ(alert->cancelButtonIndex(), 0);
    EXPECT_EQ(item(*browser, 4)->systemItem(), BarButtonSystemItem::Refresh) << "the bars are refreshed first";
    EXPECT_FALSE(browser->spinner());
    alert->dismissWithClickedButtonIndex(0, false);
    loop->runFor(1);
    EXPECT_EQ(browser->phase(), Phase::Presented) << "the browser stays open";

    struct Case {
        long code;
        const char* message;
    };
    const Case cases[] = {
        {-1000, "That page is not supported."},     {-1002, "That page is not supported."},
        {-1001, "Couldn't connect to that page."},  {-1005, "Couldn't connect to that page."},
        {-1009, "Couldn't connect to that page."},  {-2000, "Couldn't connect to that page."},
        {-1103, "That page is too large to load."}, {-1100, "That file can't be displayed."},
        {-3000, "That file can't be displayed."},   {-3005, "That file can't be displayed."},
        {-1200, "That page is not secure."},        {-1204, "That page is not secure."},
        {-1003, "That page could not be loaded."},  {-1007, "That page could not be loaded."},
        {-1205, "That page could not be loaded."},  {-3006, "That page could not be loaded."},
        {-1, "That page could not be loaded."},
    };
    for (const auto& c : cases) {
        browser->webViewDidFailLoad(*browser->webView(), failure(c.code));
        ASSERT_FALSE(AlertView::visibleAlerts().empty());
        EXPECT_EQ(AlertView::visibleAlerts().back()->message(), c.message) << c.code;
        AlertView::visibleAlerts().back()->dismissWithClickedButtonIndex(0, false);
    }
    events.clear();
    browser->webViewDidFailLoad(*browser->webView(), failure(-999));
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
    EXPECT_FALSE(sawEvent("alert"));

    // Stop while a slow page loads: a cancelled load, no alert.
    adnetdemo::FaultSpec slow;
    slow.fault = adnetdemo::Fault::slow;
    slow.fetches = adnetdemo::fetch::landingPage;
    slow.delay = std::chrono::milliseconds(2000);
    server.setFault(slow);
    auto stopped = open(base + "/landing/trailhead.html");
    loop->runFor(0.2);
    ASSERT_EQ(item(*stopped, 4)->systemItem(), BarButtonSystemItem::Stop);
    item(*stopped, 4)->send();
    loop->runFor(1);
    EXPECT_EQ(item(*stopped, 4)->systemItem(), BarButtonSystemItem::Refresh);
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
    server.clearFaults();

    // Endless redirects end in one alert, not a hang.
    LoopbackServer loops([](const std::string&) { return LoopbackServer::plain(302, "", "Location: /again\r\n"); });
    auto looping = open(loops.url("/start"));
    ASSERT_TRUE(runUntil([&] { return !AlertView::visibleAlerts().empty(); }, 20));
    EXPECT_EQ(AlertView::visibleAlerts().back()->message(), "That page could not be loaded.");
}

TEST_F(EmbeddedBrowser, AFailureRepeatedWhileItsAlertIsUpCostsOneOk)
{
    auto browser = open("http://127.0.0.1:1/");
    ASSERT_TRUE(runUntil([&] { return !AlertView::visibleAlerts().empty(); }));
    for (int i = 0; i < 1000; ++i)
        browser->webViewDidFailLoad(*browser->webView(), failure(-1004));
    ASSERT_EQ(AlertView::visibleAlerts().size(), 1u);

    // Other news still gets its alert, once.
    browser->webViewDidFailLoad(*browser->webView(), failure(-1003));
    browser->webViewDidFailLoad(*browser->webView(), failure(-1006));
    ASSERT_EQ(AlertView::visibleAlerts().size(), 2u);
    EXPECT_EQ(AlertView::visibleAlerts().back()->message(), "That page could not be loaded.");

    // Once the first is answered, the same failure is news again.
    AlertView::visibleAlerts().front()->dismissWithClickedButtonIndex(0, false);
    browser->webViewDidFailLoad(*browser->webView(), failure(-1004));
    ASSERT_EQ(AlertView::visibleAlerts().size(), 2u);
    EXPECT_EQ(AlertView::visibleAlerts().back()->message(), "Couldn't connect to that page.");
    for (const auto& alert : AlertView::visibleAlerts())
        alert->dismissWithClickedButtonIndex(0, false);
}

TEST_F(EmbeddedBrowser, TheActionSheetOpensThePageOrMailsItsLink)
{
    auto browser = open(base + "/landing/trailhead.html?a=1&b=2");
    ASSERT_TRUE(settle(*browser));
    loop->runFor(1);
    item(*browser, 6)->send();
    EXPECT_TRUE(sawEvent("action sheet"));
    std::shared_ptr<ActionSheet> sheet;
    for (const auto& view : window->subviews())
        if (auto s = std::dynamic_pointer_cast<ActionSheet>(view))
            sheet = s;
    ASSERT_TRUE(sheet);
    ASSERT_EQ(sheet->numberOfButtons(), 3);
    EXPECT_EQ(sheet->buttonTitleAtIndex(0), "Open in Browser");
    EXPECT_EQ(sheet->buttonTitleAtIndex(1), "Email link");
    EXPECT_EQ(sheet->buttonTitleAtIndex(2), "Cancel");
    EXPECT_EQ(sheet->cancelButtonIndex(), 2);

    const std::string page = base + "/landing/trailhead.html?a=1&b=2";
    browser->actionSheetClickedButtonAtIndex(*sheet, 2);
    EXPECT_TRUE(opener->opened().empty());
    browser->actionSheetClickedButtonAtIndex(*sheet, 0);
    browser->actionSheetClickedButtonAtIndex(*sheet, 1);
    ASSERT_EQ(opener->opened().size(), 2u);
    EXPECT_EQ(opener->opened()[0], page);
    // The title's and the link's "&", "=" and "+" are escaped too, so the link arrives whole.
    std::string escapedPage = page;
    escapedPage.replace(escapedPage.find("a=1&b=2"), 7, "a%3D1%26b%3D2");
    EXPECT_EQ(opener->opened()[1],
              "mailto:?subject=Trailhead%20Outfitters%20%E2%80%94%20Spring%20sale&body=" + escapedPage);
    EXPECT_EQ(browser->phase(), Phase::Presented) << "the browser stays open";
}
