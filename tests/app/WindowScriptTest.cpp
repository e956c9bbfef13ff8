// The real windowed program driven by its own script on a private X server, with the demo
// ad network: scripted taps go through the window's touch path on the real clock, the log
// shows the game and the banner, snapshots are the window as drawn, and --run-for ends it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "EventLog.h"
#include "XvfbSession.h"
#include "adnetdemo/DemoServer.h"
#include "platform/gfx/Image.h"

using brimsey::test::firstLine;
using brimsey::test::readLines;
using brimsey::test::timeOf;
using brimsey::testing::ChildProcess;
using brimsey::testing::XvfbSession;

namespace {

const std::string kBrimsey = BRIMSEY_BINARY_DIR "/bin/brimsey";

double seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

TEST(WindowScript, TapsTheGameAndTheBannerSnapshotsAndEndsOnTime)
{
    if (!XvfbSession::available())
        GTEST_SKIP() << "Xvfb is not installed";
    adnetdemo::DemoServer server;
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server.pinAd("spring-sale"); // a text ad whose click opens a page in the browser

    std::string dir = ::testing::TempDir() + "brimsey_window_script";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    XvfbSession xvfb;
    ASSERT_TRUE(xvfb.start(1024, 768));
    auto env = xvfb.env();
    env["ALSOFT_DRIVERS"] = "null";
    env["ADNET_REQUEST_ENDPOINT"] = server.adRequestUrl();
    env["ADNET_MEDIA_HOST"] = server.baseUrl();

    // The banner is tapped by a scripted finger that goes down on it, wanders off and
    // back, and lifts inside: one click. A touch cancelled on the start button starts
    // nothing; the tap at 1.5 s does. What the click sets off is due by about 4 s (the
    // spinner 0.3 s after the pulse's end); the run lasts long enough past that for a loaded
    // machine's pauses (opening the page's engine for the first time has taken over 2 s).
    const double runFor = 10.0;
    std::string events = dir + "/events.log";
    std::string shot = dir + "/shot.png";
    ChildProcess game;
    double begun = seconds();
    ASSERT_TRUE(game.start({kBrimsey,
                            "--run-for",
                            std::to_string(runFor),
                            "--documents",
                            dir + "/documents",
                            "--events",
                            events,
                            "--touch",
                            "0.8:began:butstart",
                            "--touch",
                            "1.0:cancelled",
                            "--tap",
                            "1.5:butstart",
                            "--touch",
                            "2.5:began:banner",
                            "--touch",
                            "2.6:moved:160,300",
                            "--touch",
                            "2.7:moved:200,30",
                            "--touch",
                            "2.8:ended:200,30",
                            "--snapshot",
                            "2.3:" + shot},
                           env, dir + "/output.txt"));
    auto status = game.wait(60.0);
    double took = seconds() - begun;
    ASSERT_TRUE(status) << "still running; see " << dir << "/output.txt";
    EXPECT_EQ(*status, 0) << "see " << dir << "/output.txt";
    EXPECT_GE(took, runFor);

    auto lines = readLines(events);
    std::string all;
    for (const auto& line : lines)
        all += line + "\n";
    // Real clock: a tap due at 1.5 s lands after it, never before, and how late depends on
    // the machine; the order of what happened is what must hold.
    EXPECT_GE(timeOf(lines, "effect countdown"), 1.5) << all;
    const std::string* countdown = firstLine(lines, "effect countdown");
    const std::string* received = firstLine(lines, "ad received");
    const std::string* highlight = firstLine(lines, "highlight on");
    ASSERT_TRUE(countdown && received && highlight) << all;
    EXPECT_LT(countdown, highlight) << "the tap due at 1.5 s came after the touch due at 2.5 s\n" << all;
    EXPECT_LT(received, highlight) << "the banner must be up before the finger goes down\n" << all;
    EXPECT_GE(timeOf(lines, "highlight on"), 2.5) << all;
    EXPECT_GE(timeOf(lines, "click"), 2.8) << all;
    const std::string* click = firstLine(lines, "click");
    const std::string* pulse = firstLine(lines, "pulse start");
    const std::string* spinner = firstLine(lines, "spinner on");
    const std::string* browser = firstLine(lines, "browser ");
    ASSERT_TRUE(click && pulse && spinner && browser) << all;
    EXPECT_LT(highlight, click) << all;
    EXPECT_LT(click, pulse) << all;
    EXPECT_LT(pulse, spinner) << all;

    // The window as drawn before the click (whose browser then covers it): the game's shape
    // at the window's scale, the banner's black background across the top and the game below.
    auto picture = platform::Image::loadFile(shot);
    ASSERT_TRUE(picture) << shot;
    double scale = picture->pixelWidth() / 320.0;
    EXPECT_GE(scale, 1.0);
    EXPECT_NEAR(picture->pixelHeight(), 480 * scale, 1.0);
    auto rgb = [](std::uint32_t rgba) { return rgba >> 8; };
    EXPECT_EQ(rgb(picture->pixelRGBA(2, int(46 * scale))), 0u) << "no black banner along the top";
    EXPECT_NE(rgb(picture->pixelRGBA(2, int(60 * scale))), 0u);
    if (!HasFailure())
        std::filesystem::remove_all(dir);
}
