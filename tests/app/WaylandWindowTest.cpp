// The windowed program on Wayland: weston's headless compositor, the demo ad network and the
// program's own script. The same game as on X11: start, the first banner, a tap on it, the
// embedded browser with its page, Done, a snapshot there, exit 0.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "EventLog.h"
#include "XvfbSession.h"
#include "adnetdemo/DemoServer.h"
#include "platform/gfx/Image.h"

using brimsey::test::readLines;
using brimsey::test::timeOf;
using brimsey::testing::ChildProcess;
using brimsey::testing::programInPath;

namespace {

const std::string kBrimsey = BRIMSEY_BINARY_DIR "/bin/brimsey";

} // namespace

TEST(WaylandWindow, PlaysClicksTheBannerAndClosesItsBrowser)
{
    if (!programInPath("weston"))
        GTEST_SKIP() << "weston is not installed";
    adnetdemo::DemoServer server;
    std::string error;
    ASSERT_TRUE(server.start(&error)) << error;
    server.pinAd("spring-sale"); // a text ad whose click opens a page in the browser

    const std::string dir = ::testing::TempDir() + "brimsey_wayland_" + std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/runtime");
    std::filesystem::permissions(dir + "/runtime", std::filesystem::perms::owner_all);
    const std::string socket = "brimsey-test-" + std::to_string(getpid());
    std::map<std::string, std::string> env{{"XDG_RUNTIME_DIR", dir + "/runtime"}};
    ChildProcess weston;
    ASSERT_TRUE(weston.start({"weston", "--backend=headless-backend.so", "--socket=" + socket, "--idle-time=0",
                              "--width=1024", "--height=768"},
                             env, dir + "/weston.txt"));
    // Its socket appears once it listens; a hang, not a slow machine, takes longer.
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!std::filesystem::exists(dir + "/runtime/" + socket) && std::chrono::steady_clock::now() < end &&
           weston.running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(std::filesystem::exists(dir + "/runtime/" + socket)) << "see " << dir << "/weston.txt";

    env["WAYLAND_DISPLAY"] = socket;
    env["DISPLAY"] = ""; // no X server to fall back on
    env["GDK_BACKEND"] = "wayland";
    env["ALSOFT_DRIVERS"] = "null";
    env["ADNET_REQUEST_ENDPOINT"] = server.adRequestUrl();
    env["ADNET_MEDIA_HOST"] = server.baseUrl();
    const std::string events = dir + "/events.log";
    const std::string shot = dir + "/browser.png";
    ChildProcess game;
    ASSERT_TRUE(game.start({kBrimsey, "--run-for", "14", "--documents", dir + "/documents", "--events", events, "--tap",
                            "1:butstart", "--tap", "3:banner", "--snapshot", "9:" + shot, "--tap", "10:done"},
                           env, dir + "/output.txt"));
    auto status = game.wait(120.0);
    ASSERT_TRUE(status) << "still running; see " << dir << "/output.txt";
    EXPECT_EQ(*status, 0) << "see " << dir << "/output.txt";
    weston.stop();

    auto lines = readLines(events);
    std::string all;
    for (const auto& line : lines)
        if (line.find(" meter ") == std::string::npos)
            all += line + "\n";
    EXPECT_GE(timeOf(lines, "effect countdown"), 1) << all;
    EXPECT_GE(timeOf(lines, "ad received"), 0) << all;
    EXPECT_GE(timeOf(lines, "click"), 3) << all;
    EXPECT_GT(timeOf(lines, "browser "), 0) << all;
    EXPECT_GT(timeOf(lines, "modal presented"), 0) << all;
    EXPECT_GE(timeOf(lines, "modal dismiss requested"), 10) << all;
    EXPECT_GT(timeOf(lines, "modal dismissed"), timeOf(lines, "modal dismiss requested")) << all;

    // The snapshot shows the browser over the whole window: its bars are drawn, not the game.
    auto picture = platform::Image::loadFile(shot);
    ASSERT_TRUE(picture) << shot;
    const double scale = picture->pixelWidth() / 320.0;
    EXPECT_GE(scale, 1.0);
    EXPECT_NEAR(picture->pixelHeight(), 480 * scale, 1.0);
    if (!HasFailure())
        std::filesystem::remove_all(dir);
}
