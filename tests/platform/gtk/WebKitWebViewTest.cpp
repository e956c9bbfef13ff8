// Web views on WebKitGTK in a real GTK window under a private X server, against the demo
// ad network on 127.0.0.1.
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <unistd.h>
#include <webkit/webkit.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackServer.h"
#include "XvfbSession.h"
#include "adnetdemo/DemoServer.h"
#include "platform/backend/gtk/GameWindow.h"
#include "platform/backend/gtk/RunLoopSource.h"
#include "platform/backend/gtk/WebKitWebEngine.h"
#include "platform/backend/gtk/WebViewStack.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

using brimsey::testing::ChildProcess;
using brimsey::testing::imageStats;
using brimsey::testing::XvfbSession;
using namespace platform;
using platform::gtk::GameWindow;
using platform::gtk::WebKitWebEngine;
using platform::gtk::WebViewStack;

namespace {

bool iterateUntil(const std::function<bool()>& done, double seconds)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < end)
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    return done();
}

void iterateFor(double seconds)
{
    iterateUntil([] { return false; }, seconds);
}

// Waiting this long for something to happen is a hang, not a slow machine.
constexpr double kHang = 30.0;

struct Recorder final : WebViewDelegate {
    std::vector<std::string> log;
    bool webViewShouldStartLoad(WebView&, const URLRequest& request, WebViewNavigationType) override
    {
        const bool allow = request.url.find("adnet:") != 0;
        log.push_back((allow ? "ask " : "refuse ") + request.url);
        return allow;
    }
    void webViewDidStartLoad(WebView&) override { log.push_back("start"); }
    void webViewDidFinishLoad(WebView& view) override { log.push_back("finish " + view.title()); }
    void webViewDidFailLoad(WebView&, const WebError& error) override
    {
        log.push_back("fail " + std::to_string(error.code));
    }
    bool ended() const { return !log.empty() && (log.back().starts_with("finish") || log.back().starts_with("fail")); }
};

// The pieces the desktop application puts together, in this process: the game window, the
// web view stack, the run loop under GLib and a window of views with one web view.
class WebKitWebViewOnXvfb : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbSession::available())
            GTEST_SKIP() << "Xvfb is not installed";
        // A home of its own, set before GLib first reads it: what a page might save lands
        // where the test can see it, and never in the user's Downloads folder.
        char folder[] = "/tmp/brimsey-web-home-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        home = folder;
        std::filesystem::create_directories(home / ".config");
        std::filesystem::create_directories(home / "Downloads");
        std::ofstream(home / ".config/user-dirs.dirs") << "XDG_DOWNLOAD_DIR=\"$HOME/Downloads\"\n";
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        setenv("XDG_DOWNLOAD_DIR", (home / "Downloads").c_str(), 1);
        ASSERT_TRUE(xvfb.start(1024, 768));
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        // As the game's window: drawn with cairo, GL never set up.
        setenv("GSK_RENDERER", "cairo", 1);
        setenv("GDK_DEBUG", "gl-disable", 1);
        ASSERT_TRUE(gtk_init_check());
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        base = server.baseUrl();

        loop = RunLoop::createReal();
        RunLoop::setMain(loop);
        source = std::make_unique<gtk::RunLoopSource>(loop);
        stack = WebViewStack::create();
        Services set;
        set.webEngine = [s = stack] { return s->makeEngine(); };
        installServices(std::move(set));

        root = Window::create({0, 0, 320, 480});
        root->setBackgroundColor(Color::rgba(0, 0, 1));
        compositor = std::make_unique<Compositor>(root);
        GameWindow::Hooks hooks;
        hooks.now = [this] { return loop->now(); };
        hooks.draw = [this](cairo_t* cr, double s) { compositor->render(cr, s, Compositor::Pass::BelowNative); };
        hooks.drawAbove = [this](cairo_t* cr, double s) { compositor->render(cr, s, Compositor::Pass::AboveNative); };
        hooks.animating = [this] { return compositor->isAnimating(); };
        hooks.beforeFrame = [this] { window->setAboveLayerShown(stack->place(loop->now())); };
        hooks.pressed = [this](double x, double y) { presses.push_back({float(x), float(y)}); };
        hooks.takesPressAbove = [this](double x, double y) {
            auto hit = root->hitTest({float(x), float(y)});
            return stack->coversPoint(x, y) && hit && Compositor::isAboveNativeContent(*hit);
        };
        window = std::make_unique<GameWindow>("brimsey web test", 320, 480, hooks);
        stack->attach(window.get());
        compositor->setNeedsDisplayHandler([this] { window->startFrames(); });
        window->present();
        window->startFrames();

        web = WebView::create({0, 82.5f, 320, 295});
        recorder = std::make_shared<Recorder>();
        web->setDelegate(recorder);
        root->addSubview(web);
        ASSERT_TRUE(iterateUntil([&] { return window->frames() > 0; }, 10.0));
        auto id = xvfb.findWindow("brimsey web test", 5.0);
        ASSERT_TRUE(id);
        xid = *id;
    }
    void TearDown() override
    {
        web.reset();
        if (stack)
            stack->attach(nullptr);
        window.reset();
        compositor.reset();
        root.reset();
        resetServices();
        stack.reset();
        source.reset();
        RunLoop::setMain(nullptr);
        server.stop();
        if (!home.empty())
            std::filesystem::remove_all(home);
    }

    bool loadAndWait(const URLRequest& request, double seconds = 20)
    {
        recorder->log.clear();
        web->loadRequest(request);
        return iterateUntil([&] { return recorder->ended() && !web->isLoading(); }, seconds);
    }

    std::optional<std::string> evaluate(const std::string& script)
    {
        bool done = false;
        std::optional<std::string> result;
        web->evaluateJavaScript(script, [&](std::optional<std::string> r) {
            result = std::move(r);
            done = true;
        });
        EXPECT_FALSE(done); // never from inside the call
        iterateUntil([&] { return done; }, 10);
        return result;
    }

    GtkWidget* webWidget() { return GTK_WIDGET(dynamic_cast<WebKitWebEngine&>(*web->engine()).widget()); }

    std::filesystem::path home;
    XvfbSession xvfb;
    adnetdemo::DemoServer server;
    std::string base;
    std::shared_ptr<RunLoop> loop;
    std::unique_ptr<gtk::RunLoopSource> source;
    std::shared_ptr<WebViewStack> stack;
    std::shared_ptr<Window> root;
    std::unique_ptr<Compositor> compositor;
    std::unique_ptr<GameWindow> window;
    std::shared_ptr<WebView> web;
    std::shared_ptr<Recorder> recorder;
    std::vector<Point> presses;
    std::string xid;
};

} // namespace

TEST_F(WebKitWebViewOnXvfb, LoadsThePageWithoutCacheAndAnswersScripts)
{
    const std::string canvas = base + "/static/sdk/canvas.html";
    ASSERT_TRUE(loadAndWait({canvas, URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData, 600}));
    // The page's empty frame is a navigation too (asked about, as the platform's web view did).
    EXPECT_EQ(recorder->log,
              (std::vector<std::string>{"ask " + canvas, "start", "ask about:blank", "finish AdNet canvas"}));
    EXPECT_EQ(web->request()->url, canvas);
    EXPECT_EQ(web->request()->timeoutInterval, 600);

    EXPECT_EQ(evaluate("typeof(adnet)"), "object");
    EXPECT_EQ(evaluate("typeof(nothingHere)"), "undefined");
    EXPECT_EQ(evaluate("cb('http://example.test/#sdk', 'Mel\\'s Diner')"), "");
    EXPECT_EQ(evaluate("document.getElementById('title').textContent"), "Mel's Diner");
    // The demo page tells its network what its callback got.
    ASSERT_TRUE(iterateUntil(
        [&] {
            for (const auto& r : server.requests())
                if (r.path == "/report")
                    return true;
            return false;
        },
        10));
    for (const auto& r : server.requests())
        if (r.path == "/report") {
            EXPECT_EQ(r.param("url"), "http://example.test/#sdk");
            EXPECT_EQ(r.param("title"), "Mel's Diner");
        }
    EXPECT_EQ(evaluate("throw new Error('no')"), std::nullopt);
    // Pages are painted without GL: no EGL driver (Mesa, and LLVM with it) came into this
    // process for them, where it would stay for good.
    {
        std::ifstream maps("/proc/self/maps");
        std::string line;
        while (std::getline(maps, line))
            EXPECT_EQ(line.find("libEGL_mesa"), std::string::npos) << line;
    }

    // Loaded again: the server is asked again, with the no-cache headers, each time.
    ASSERT_TRUE(loadAndWait({canvas, URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData, 600}));
    auto fetches = server.requests(adnetdemo::fetch::canvasPage);
    ASSERT_EQ(fetches.size(), 2u);
    for (const auto& fetch : fetches) {
        EXPECT_EQ(fetch.header("Cache-Control").value_or(""), "no-cache");
        EXPECT_EQ(fetch.header("Pragma").value_or(""), "no-cache");
    }
}

TEST_F(WebKitWebViewOnXvfb, RefusedSchemesKeepThePageAndErrorsCarryTheirCodes)
{
    const std::string canvas = base + "/static/sdk/canvas.html";
    ASSERT_TRUE(loadAndWait({canvas}));

    // The page navigates to the bridge: asked (WebKit lower-cases the scheme), refused,
    // nothing loads and the page lives on.
    recorder->log.clear();
    evaluate("window.location.href = 'ADNET://CloseCanvas?a=1'");
    ASSERT_TRUE(iterateUntil([&] { return !recorder->log.empty(); }, 10));
    iterateFor(0.5);
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"refuse adnet://CloseCanvas?a=1"}));
    EXPECT_FALSE(web->isLoading());
    EXPECT_EQ(evaluate("typeof(adnet)"), "object");

    // An allowed scheme WebKit cannot show fails as unsupported, without an error page.
    recorder->log.clear();
    evaluate("window.location.href = 'itms-apps://store.example/app'");
    ASSERT_TRUE(iterateUntil([&] { return recorder->ended(); }, 10));
    EXPECT_EQ(recorder->log.back(), "fail -1002");
    iterateFor(0.3);
    EXPECT_EQ(evaluate("typeof(adnet)"), "object");
    EXPECT_EQ(web->title(), "AdNet canvas");

    // A redirect refused on the way ends the load as cancelled, unlike a response WebKit
    // was not allowed to show (both are "interrupted by policy" to WebKit).
    LoopbackServer redirects(
        [](const std::string&) { return LoopbackServer::plain(302, "", "Location: adnet://closecanvas\r\n"); });
    ASSERT_TRUE(loadAndWait({redirects.url("/go")}));
    EXPECT_EQ(recorder->log, (std::vector<std::string>{"ask " + redirects.url("/go"), "start",
                                                       "refuse adnet://closecanvas", "fail -999"}));

    // Nothing listens on the port: cannot connect.
    adnetdemo::DemoServer closed;
    ASSERT_TRUE(closed.start());
    const std::string gone = closed.baseUrl() + "/";
    closed.stop();
    ASSERT_TRUE(loadAndWait({gone}));
    EXPECT_EQ(recorder->log.back(), "fail -1004");

    // The request's time-out holds though the server answers later.
    adnetdemo::FaultSpec slow;
    slow.fault = adnetdemo::Fault::slow;
    slow.fetches = adnetdemo::fetch::landingPage;
    slow.delay = std::chrono::milliseconds(30000);
    server.setFault(slow);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(loadAndWait({base + "/landing/mels-diner.html", URLRequestCachePolicy::UseProtocolCachePolicy, 1.0}));
    EXPECT_EQ(recorder->log.back(), "fail -1001");
    // The one-second time-out, not the server's 30 s: half of that is no slow machine.
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    server.clearFaults();

    // A web process that ends is a failed load, not a hang.
    ASSERT_TRUE(loadAndWait({base + "/landing/mels-diner.html"}));
    recorder->log.clear();
    webkit_web_view_terminate_web_process(WEBKIT_WEB_VIEW(webWidget()));
    ASSERT_TRUE(iterateUntil([&] { return recorder->ended(); }, 10));
    EXPECT_EQ(recorder->log.back(), "fail -1");
}

TEST_F(WebKitWebViewOnXvfb, ThePageFollowsItsViewAndViewsAboveItStillShow)
{
    ASSERT_TRUE(loadAndWait({base + "/landing/mels-diner.html"}));
    // A red square drawn above the page, as a spinner would be.
    auto marker = View::create({150, 137.5f, 20, 20});
    marker->setBackgroundColor(Color::rgba(1, 0, 0));
    web->addSubview(marker);
    iterateFor(0.5);

    // 1024 x 768 gives a 1.25x window.
    GtkWidget* page = webWidget();
    ASSERT_TRUE(gtk_widget_get_visible(page));
    graphene_rect_t bounds;
    ASSERT_TRUE(gtk_widget_compute_bounds(page, GTK_WIDGET(window->overlay()), &bounds));
    EXPECT_NEAR(bounds.origin.x, 0, 1);
    EXPECT_NEAR(bounds.origin.y, 82.5 * 1.25, 1);
    EXPECT_NEAR(bounds.size.width, 400, 1);
    EXPECT_NEAR(bounds.size.height, 295 * 1.25, 1);

    auto g = xvfb.windowGeometry(xid);
    ASSERT_TRUE(g);
    std::string shot = std::string(BRIMSEY_BINARY_DIR) + "/gtk-webview-test.png";
    ASSERT_TRUE(xvfb.screenshot(shot));
    // The marker's middle is red over the page; the page shows around it (not blue, not one colour).
    auto red = imageStats(shot, g->x + 195, g->y + int(82.5 * 1.25) + 177, 10, 10);
    auto pageArea = imageStats(shot, g->x, g->y + 104, 400, 360);
    ASSERT_TRUE(red && pageArea);
    EXPECT_EQ(red->distinctColours, 1);
    EXPECT_GT(pageArea->distinctColours, 20);

    // GTK's own picture of the window (what snapshots of a live window use) has the page too.
    auto picture = window->snapshotShownContent();
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->pixelWidth(), 400);
    EXPECT_EQ(picture->pixelRGBA(200, int(230 * 1.25)), 0xFF0000FFu);
    EXPECT_NE(picture->pixelRGBA(10, 200), 0x0000FFFFu);
    EXPECT_EQ(picture->pixelRGBA(10, 20), 0x0000FFFFu);

    // A press on the marker goes to our views; one on the page goes to WebKit.
    auto click = [&](int x, int y) {
        ChildProcess child;
        ASSERT_TRUE(child.start(
            {"xdotool", "mousemove", "--sync", std::to_string(g->x + x), std::to_string(g->y + y), "click", "1"},
            xvfb.env()));
        ASSERT_TRUE(iterateUntil([&] { return !child.running(); }, 10.0));
        iterateFor(0.3);
    };
    click(200, int(82.5 * 1.25) + 181);
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_NEAR(presses[0].x, 160, 1);
    click(40, 300);
    EXPECT_EQ(presses.size(), 1u);
    click(200, 40); // above the page: the game's drawing
    EXPECT_EQ(presses.size(), 2u);

    // Alpha, movement and hiding follow the view.
    // Each waits for the page to follow (a loaded machine takes longer to get there).
    auto width = [&] {
        graphene_rect_t now;
        return gtk_widget_compute_bounds(page, GTK_WIDGET(window->overlay()), &now) ? now.size.width : -1.0f;
    };
    web->setAlpha(0.5f);
    EXPECT_TRUE(iterateUntil([&] { return std::abs(gtk_widget_get_opacity(page) - 0.5) < 0.01; }, kHang));
    // A three-second movement: the page is seen part way unless the machine stalls for
    // most of it.
    ViewAnimation::begin();
    ViewAnimation::setDuration(3.0);
    web->setFrame({0, 0, 160, 200});
    ViewAnimation::commit();
    ASSERT_TRUE(iterateUntil([&] { return width() < 399; }, kHang));
    EXPECT_GT(width(), 200); // part way
    ASSERT_TRUE(iterateUntil([&] { return std::abs(width() - 200) < 1; }, kHang));
    ASSERT_TRUE(gtk_widget_compute_bounds(page, GTK_WIDGET(window->overlay()), &bounds));
    EXPECT_NEAR(bounds.origin.y, 0, 1);
    web->setHidden(true);
    EXPECT_TRUE(iterateUntil([&] { return !gtk_widget_get_visible(page); }, kHang));
    web->setHidden(false);
    web->removeFromSuperview();
    EXPECT_TRUE(iterateUntil([&] { return !gtk_widget_get_visible(page); }, kHang));
    unlink(shot.c_str());
}

namespace {

std::string requestPath(const std::string& head)
{
    const auto start = head.find(' ') + 1;
    return head.substr(start, head.find(' ', start) - start);
}

LoopbackServer::Reply html(const std::string& body)
{
    return LoopbackServer::plain(200, body, "Content-Type: text/html; charset=utf-8\r\n");
}

} // namespace

TEST_F(WebKitWebViewOnXvfb, AStrangersPageSavesPrintsPromptsAndAsksNothing)
{
    std::string title;
    for (int i = 0; i < 300; ++i)
        title += "\xC3\xA9";
    const std::string page = "<html><head><title>" + title + R"(</title></head>
<body style="margin:0;height:2000px">
<a id="save" href="/saved.txt" download="saved.txt">save</a><input id="file" type="file">
<script>
var results = [];
results.push('alert:' + alert('hello'));
results.push('confirm:' + confirm('sure?'));
results.push('prompt:' + prompt('name?', 'x'));
var clicked = false;
document.addEventListener('click', function () {
    if (clicked)
        return; // the clicks below come here too
    clicked = true;
    window.print();
    document.getElementById('file').click();
    document.getElementById('save').click();
    results.push(document.documentElement.requestFullscreen ? 'fullscreen offered' : 'no fullscreen');
    navigator.geolocation.getCurrentPosition(
        function () { results.push('located'); }, function (e) { results.push('location:' + e.code); });
});
</script></body></html>)";
    LoopbackServer pages([&](const std::string& head) {
        const std::string path = requestPath(head);
        if (path == "/hostile.html")
            return html(page);
        if (path == "/saved.txt")
            return LoopbackServer::plain(200, "saved by a link", "Content-Type: text/plain\r\n");
        if (path == "/attached.html")
            return LoopbackServer::plain(
                200, "<p>attached</p>",
                "Content-Type: text/html\r\nContent-Disposition: attachment; filename=\"attached.html\"\r\n");
        if (path == "/blob")
            return LoopbackServer::plain(200, std::string(4096, '\x01'),
                                         "Content-Type: application/x-brimsey-blob\r\n");
        return LoopbackServer::plain(404, "");
    });

    // Script dialogs answer at once (as if dismissed), so the page loads to its end.
    ASSERT_TRUE(loadAndWait({pages.url("/hostile.html")}));
    ASSERT_EQ(recorder->log.back().substr(0, 6), "finish");
    EXPECT_EQ(evaluate("results.join()"), "alert:undefined,confirm:false,prompt:null");
    // The title shown is cut after 256 of its 300 characters, between two of them.
    EXPECT_EQ(web->title(), title.substr(0, 2 * 256));

    // A click lets the page ask for what needs one: printing, a file, the full screen, a
    // download, the position. Nothing opens a window; the page hears no.
    auto g = xvfb.windowGeometry(xid);
    ASSERT_TRUE(g);
    ChildProcess click;
    ASSERT_TRUE(click.start(
        {"xdotool", "mousemove", "--sync", std::to_string(g->x + 40), std::to_string(g->y + 300), "click", "1"},
        xvfb.env()));
    ASSERT_TRUE(iterateUntil([&] { return !click.running(); }, 10.0));
    ASSERT_TRUE(iterateUntil([&] { return evaluate("results.length").value_or("") == "5"; }, kHang))
        << evaluate("results.join()").value_or("(no answer)");
    // Without the full screen its API is gone; the position is denied (1).
    EXPECT_EQ(evaluate("results.join()"), "alert:undefined,confirm:false,prompt:null,no fullscreen,location:1");
    iterateFor(1.0);
    EXPECT_EQ(g_list_model_get_n_items(gtk_window_get_toplevels()), 1u) << "a window of WebKit's own";
    auto* toplevel = GTK_WINDOW(gtk_widget_get_root(GTK_WIDGET(window->overlay())));
    EXPECT_FALSE(gtk_window_is_fullscreen(toplevel));

    // What is sent to be saved, or cannot be shown, fails like any other load (not as a
    // cancelled one) and leaves the page as it was.
    ASSERT_TRUE(loadAndWait({pages.url("/attached.html")}));
    EXPECT_EQ(recorder->log.back(), "fail -1");
    ASSERT_TRUE(loadAndWait({pages.url("/blob")}));
    EXPECT_EQ(recorder->log.back(), "fail -1");
    EXPECT_EQ(evaluate("typeof(results)"), "object");

    // Nothing saved: not in Downloads, not anywhere else in the home (GTK and WebKit keep
    // caches there).
    iterateFor(1.0);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
        const std::string file = entry.path().string();
        EXPECT_EQ(file.find(home / "Downloads/"), std::string::npos) << file;
        for (const char* name : {"saved", "attached", "blob"})
            EXPECT_EQ(entry.path().filename().string().find(name), std::string::npos) << file;
    }
}

TEST_F(WebKitWebViewOnXvfb, APageThatAllocatesWithoutEndIsStoppedAndTheGameGoesOn)
{
    // 16 MiB more every 20 ms, up to 2 GiB (so that a missing limit costs the machine no more).
    LoopbackServer pages([](const std::string&) {
        return html(R"(<html><head><title>Hoard</title></head><body><script>
var hoard = [];
function grow() {
    for (var i = 0; i < 2 && hoard.length < 256; ++i)
        hoard.push(new Array(1 << 20).fill(hoard.length + 0.5));
    setTimeout(grow, 20);
}
grow();
</script></body></html>)");
    });
    ASSERT_TRUE(loadAndWait({pages.url("/hoard.html")}));
    EXPECT_EQ(recorder->log.back(), "finish Hoard");
    // Stopped at the web process's limit and told as a page too large to load.
    ASSERT_TRUE(iterateUntil([&] { return recorder->log.back().starts_with("fail"); }, kHang))
        << "the page was never stopped";
    EXPECT_EQ(recorder->log.back(), "fail -1103");

    // The game lives on, and so does the web view.
    ASSERT_TRUE(loadAndWait({base + "/landing/mels-diner.html"}));
    EXPECT_EQ(recorder->log.back(), "finish Mel's Diner");
}
