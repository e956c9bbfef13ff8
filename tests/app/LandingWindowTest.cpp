// The landing screens end to end: the real windowed program under a private X server with
// the demo ad network, driven by its own script (taps at times) and by real clicks into
// the WebKit pages. A canvas ad's page receives its callback and reports what it got to the
// network, and its Close button closes it; a web ad's page shows in the browser with its
// title; a page that cannot load shows its alert; Done closes the browser.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "EventLog.h"
#include "XvfbSession.h"
#include "adnetdemo/DemoServer.h"
#include "platform/gfx/Image.h"

using brimsey::test::event;
using brimsey::test::readLines;
using brimsey::test::timeOf;
using brimsey::testing::ChildProcess;
using brimsey::testing::XvfbSession;

namespace {

const std::string kBrimsey = BRIMSEY_BINARY_DIR "/bin/brimsey";

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const auto& line : lines)
        if (line.find(" meter ") == std::string::npos)
            all += line + "\n";
    return all;
}

class LandingWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbSession::available())
            GTEST_SKIP() << "Xvfb is not installed";
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        dir = ::testing::TempDir() + "brimsey_landing_window_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        ASSERT_TRUE(xvfb.start(1024, 768));
        env = xvfb.env();
        env["ALSOFT_DRIVERS"] = "null";
        env["ADNET_REQUEST_ENDPOINT"] = server.adRequestUrl();
        env["ADNET_MEDIA_HOST"] = server.baseUrl();
        events = dir + "/events.log";
    }
    void TearDown() override
    {
        if (game.pid() > 0)
            game.stop();
        server.stop();
        if (!HasFailure())
            std::filesystem::remove_all(dir);
    }

    void startGame(double runFor, std::vector<std::string> script)
    {
        std::vector<std::string> argv{
            kBrimsey, "--run-for", std::to_string(runFor), "--documents", dir + "/documents", "--events", events};
        argv.insert(argv.end(), script.begin(), script.end());
        ASSERT_TRUE(game.start(argv, env, dir + "/output.txt"));
    }

    // Waits until the log has an event starting with `prefix`, or the game has ended (it
    // ends itself at --run-for). The script's times are the game's own; the wall-clock
    // backstop only catches a hang, since a loaded machine under ASan can spend several
    // seconds just bringing the window up before the game's clock starts.
    bool waitFor(const std::string& prefix)
    {
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(45);
        while (std::chrono::steady_clock::now() < end) {
            if (event(readLines(events), prefix))
                return true;
            if (!game.running())
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

    // A real click at a point of the game's screen (points), which WebKit gets where a page is.
    void click(double x, double y)
    {
        auto id = xvfb.findWindow("brimsey", 5.0);
        ASSERT_TRUE(id);
        auto g = xvfb.windowGeometry(*id);
        ASSERT_TRUE(g);
        const double scale = g->width / 320.0;
        ASSERT_TRUE(xvfb.click(g->x + int(x * scale), g->y + int(y * scale)));
    }

    std::vector<std::string> finish()
    {
        auto status = game.wait(60.0);
        EXPECT_TRUE(status) << "still running; see " << dir << "/output.txt";
        if (status) {
            EXPECT_EQ(*status, 0) << "see " << dir << "/output.txt";
        }
        return readLines(events);
    }

    adnetdemo::DemoServer server;
    XvfbSession xvfb;
    std::map<std::string, std::string> env;
    std::string dir;
    std::string events;
    ChildProcess game;
};

} // namespace

TEST_F(LandingWindow, CanvasPageGetsItsCallbackAndClosesItself)
{
    server.pinAd("mels-diner"); // a text ad whose click opens the canvas
    startGame(14, {"--tap", "2:banner"});
    ASSERT_TRUE(waitFor("callback ")) << joined(readLines(events));

    // The page told the network exactly what it was handed: the ad's URL with "#sdk" and its
    // title, apostrophe and all.
    std::vector<adnetdemo::RequestRecord> reports;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20); // a backstop, as above
    while (reports.empty() && std::chrono::steady_clock::now() < end) {
        for (const auto& r : server.requests())
            if (r.path == "/report")
                reports.push_back(r);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].param("title"), "Mel's Diner");
    const std::string url = reports[0].param("url").value_or("");
    EXPECT_TRUE(url.ends_with("#sdk")) << url;
    EXPECT_EQ(event(readLines(events), "callback "), "callback " + url + " Mel's Diner");

    // The page's Close button (top right of the 320 x 295 canvas centred in the window).
    ASSERT_TRUE(waitFor("modal presented"));
    click(285, 92.5 + 18);
    ASSERT_TRUE(waitFor("modal dismissed")) << joined(readLines(events));
    auto lines = finish();
    const auto all = joined(lines);
    EXPECT_GE(timeOf(lines, "modal will present"), 2) << all;
    EXPECT_LT(timeOf(lines, "modal will present"), timeOf(lines, "modal presented")) << all;
    EXPECT_TRUE(event(lines, "bridge closecanvas")) << all;
    EXPECT_LT(timeOf(lines, "bridge closecanvas"), timeOf(lines, "modal dismissed")) << all;
}

TEST_F(LandingWindow, BrowserShowsThePageAndItsFailuresAndDoneClosesIt)
{
    server.pinAd("spring-sale"); // a text ad whose click opens its page in the browser
    const std::string loaded = dir + "/loaded.png";
    env["BRIMSEY_WEB_TRACE"] = dir + "/web-trace.log";
    startGame(30, {"--tap", "2:banner", "--snapshot", "9:" + loaded, "--tap", "10:done",
                   // Again, once the page cannot be read to its end: the alert, its Ok, Done.
                   "--tap", "13:banner", "--tap", "22:160,266", "--tap", "23:done"});
    ASSERT_TRUE(waitFor("modal dismissed")) << joined(readLines(events));
    adnetdemo::FaultSpec cut;
    cut.fault = adnetdemo::Fault::truncated;
    cut.fetches = adnetdemo::fetch::landingPage;
    server.setFault(cut);
    auto lines = finish();
    const auto all = joined(lines);

    // The page and its title, as the window showed them at 9 s.
    auto picture = platform::Image::loadFile(loaded);
    ASSERT_TRUE(picture) << loaded;
    const double scale = picture->pixelWidth() / 320.0;
    auto count = [&](double x0, double y0, double x1, double y1, auto&& test) {
        int n = 0;
        for (int y = int(y0 * scale); y < int(y1 * scale); ++y)
            for (int x = int(x0 * scale); x < int(x1 * scale); ++x)
                n += test(picture->pixelRGBA(x, y) >> 8) ? 1 : 0;
        return n;
    };
    auto nearWhite = [](std::uint32_t rgb) {
        return (rgb >> 16) > 0xE0 && ((rgb >> 8) & 0xFF) > 0xE0 && (rgb & 0xFF) > 0xE0;
    };
    EXPECT_GT(count(40, 8, 140, 36, nearWhite), 20) << "no title in the top bar";
    // Between the bars the page, not the browser's bare green.
    auto bareGreen = [](std::uint32_t rgb) { return rgb == 0x00FF00u; };
    EXPECT_LT(count(0, 50, 320, 430, bareGreen), 100) << "no page between the bars";

    // The first visit closed by Done; the second failed with its alert, Ok, then Done.
    ASSERT_TRUE(event(lines, "browser ")) << all;
    EXPECT_GE(timeOf(lines, "modal dismiss requested"), 10) << all;
    EXPECT_EQ(event(lines, "alert "), "alert Couldn't connect to that page.") << all;
    const double alertAt = timeOf(lines, "alert ");
    EXPECT_GT(alertAt, 13) << all;
    int dismissed = 0;
    for (const auto& line : lines)
        dismissed += line.find(" modal dismissed") != std::string::npos ? 1 : 0;
    EXPECT_EQ(dismissed, 2) << all;

    // WebKit's module, loaded on its own thread from the first touch, loaded once for both
    // visits and before any engine was made.
    const auto trace = readLines(dir + "/web-trace.log");
    EXPECT_EQ(std::count_if(trace.begin(), trace.end(),
                            [](const std::string& line) { return line.ends_with(" module loading"); }),
              1);
    EXPECT_LT(timeOf(trace, "module loaded"), timeOf(trace, "engine making")) << joined(trace);
}
