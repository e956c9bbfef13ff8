#include "platform/backend/gtk/GameWindow.h"

#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "XvfbSession.h"
#include "platform/ui/Animation.h"

using brimsey::testing::ChildProcess;
using brimsey::testing::imageStats;
using brimsey::testing::XvfbSession;
using platform::gtk::GameWindow;

namespace {

double steadyNow()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

bool iterateUntil(const std::function<bool()>& done, double seconds)
{
    double end = steadyNow() + seconds;
    while (!done() && steadyNow() < end) {
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return done();
}

void iterateFor(double seconds)
{
    iterateUntil([] { return false; }, seconds);
}

// Waiting this long is a hang, not a slow machine.
constexpr double kHang = 30.0;

// Frames the window's frame clock has run (each paints at most one frame of ours).
std::int64_t frameClockFrames()
{
    GListModel* toplevels = gtk_window_get_toplevels();
    if (g_list_model_get_n_items(toplevels) == 0)
        return 0;
    auto* window = static_cast<GtkWidget*>(g_list_model_get_item(toplevels, 0));
    GdkFrameClock* clock = gtk_widget_get_frame_clock(window);
    std::int64_t count = clock ? gdk_frame_clock_get_frame_counter(clock) : 0;
    g_object_unref(window);
    return count;
}

// One GTK window on a private X server, in this process (each test is a process of its
// own under ctest, and GTK can be set up once per process).
class GameWindowOnXvfb : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!XvfbSession::available())
            GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(xvfb.start(1024, 768));
        setenv("DISPLAY", xvfb.display().c_str(), 1);
        setenv("GSK_RENDERER", "cairo", 1);
        ASSERT_TRUE(gtk_init_check());

        GameWindow::Hooks hooks;
        hooks.draw = [this](cairo_t* cr, double pixelScale) {
            lastPixelScale = pixelScale;
            cairo_scale(cr, pixelScale, pixelScale);
            cairo_set_source_rgb(cr, 0.9, 0.1, 0.1);
            cairo_paint(cr);
            cairo_set_source_rgb(cr, 0.1, 0.1, 0.9);
            cairo_rectangle(cr, 0, 0, 160, 240); // the top-left quarter of the screen
            cairo_fill(cr);
        };
        hooks.animating = [this] { return animating; };
        hooks.pressed = [this](double x, double y) { log.push_back(event("pressed", x, y)); };
        hooks.dragged = [this](double x, double y) { lastDrag = event("dragged", x, y); };
        hooks.released = [this](double x, double y) { log.push_back(event("released", x, y)); };
        hooks.pointerMoved = [this](double x, double y) {
            ++moves;
            lastMove = event("moved", x, y);
        };
        hooks.shakeKey = [this](bool down) { log.push_back(down ? "space down" : "space up"); };
        hooks.closed = [this] { log.push_back("closed"); };
        hooks.now = [] { return steadyNow(); };
        window = std::make_unique<GameWindow>("brimsey window test", 320, 480, hooks);
        window->present();
        ASSERT_TRUE(iterateUntil([&] { return window->frames() > 0; }, 10.0));
        iterateFor(0.3);
        auto id = xvfb.findWindow("brimsey window test", 5.0);
        ASSERT_TRUE(id);
        xid = *id;
    }
    void TearDown() override { window.reset(); }

    // Iterates until no frame has been drawn for half a second: whatever was drawing has
    // stopped. False if frames keep coming.
    bool settles()
    {
        double end = steadyNow() + kHang;
        while (steadyNow() < end) {
            unsigned long before = window->frames();
            iterateFor(0.5);
            if (window->frames() == before)
                return true;
        }
        return false;
    }

    static std::string event(const char* what, double x, double y)
    {
        char buf[96];
        snprintf(buf, sizeof buf, "%s %.0f %.0f", what, x, y);
        return buf;
    }

    // Runs xdotool while this process keeps serving its window.
    void xdotool(std::vector<std::string> args)
    {
        args.insert(args.begin(), "xdotool");
        ChildProcess child;
        ASSERT_TRUE(child.start(args, xvfb.env()));
        ASSERT_TRUE(iterateUntil([&] { return !child.running(); }, 10.0));
        iterateFor(0.2);
    }

    XvfbSession xvfb;
    std::unique_ptr<GameWindow> window;
    std::string xid;
    std::vector<std::string> log;
    std::string lastDrag;
    std::string lastMove;
    int moves{0};
    bool animating{false};
    double lastPixelScale{0};
};

} // namespace

TEST_F(GameWindowOnXvfb, ShowsTheScreenScaledToTheMonitor)
{
    // 1024 x 768 gives a 1.25x window: 400 x 600 pixels, no border.
    auto g = xvfb.windowGeometry(xid);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->width, 400);
    EXPECT_EQ(g->height, 600);
    EXPECT_DOUBLE_EQ(window->viewport().scale(), 1.25);
    EXPECT_DOUBLE_EQ(lastPixelScale, 1.25);

    std::string shot = std::string(BRIMSEY_BINARY_DIR) + "/gtk-window-test.png";
    ASSERT_TRUE(xvfb.screenshot(shot));
    // The blue quarter covers exactly 200 x 300 pixels at the window's corner.
    auto blue = imageStats(shot, g->x, g->y, 200, 300);
    auto red = imageStats(shot, g->x + 200, g->y + 300, 200, 300);
    ASSERT_TRUE(blue && red);
    EXPECT_EQ(blue->distinctColours, 1);
    EXPECT_EQ(red->distinctColours, 1);
    auto whole = imageStats(shot, g->x, g->y, 400, 600);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->distinctColours, 2);
    unlink(shot.c_str());
}

TEST_F(GameWindowOnXvfb, ClicksAndDragsArriveInPoints)
{
    auto g = xvfb.windowGeometry(xid);
    ASSERT_TRUE(g);
    // The centre of the screen at 1.25x.
    xdotool({"mousemove", "--sync", std::to_string(g->x + 200), std::to_string(g->y + 300), "click", "1"});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "pressed 160 240");
    EXPECT_EQ(log[1], "released 160 240");

    log.clear();
    xdotool({"mousemove", "--sync", std::to_string(g->x + 20), std::to_string(g->y + 20), "mousedown", "1", "mousemove",
             "--sync", std::to_string(g->x + 100), std::to_string(g->y + 50), "mouseup", "1"});
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], "pressed 16 16");
    EXPECT_EQ(lastDrag, "dragged 80 40");
    EXPECT_EQ(log[1], "released 80 40");

    // Plain motion (no button) reaches the shake input, in points too.
    int before = moves;
    xdotool({"mousemove", "--sync", std::to_string(g->x + 300), std::to_string(g->y + 500)});
    EXPECT_GT(moves, before);
    EXPECT_EQ(lastMove, "moved 240 400");
}

// Counted against events, not the clock: a loaded machine draws fewer frames a second, but
// never more than its frame clock runs, and never any once nothing moves.
TEST_F(GameWindowOnXvfb, DrawsOnlyWhenAskedOrWhileSomethingMoves)
{
    ASSERT_TRUE(settles()); // whatever the window's start-up asked for
    unsigned long idle = window->frames();
    iterateFor(0.5);
    EXPECT_EQ(window->frames(), idle); // an idle window draws nothing

    window->invalidate();
    ASSERT_TRUE(iterateUntil([&] { return window->frames() > idle; }, kHang));
    ASSERT_TRUE(settles());
    EXPECT_EQ(window->frames(), idle + 1);

    animating = true;
    std::int64_t clockBefore = frameClockFrames();
    window->startFrames();
    window->startFrames(); // asking twice does not double the frames
    ASSERT_TRUE(iterateUntil([&] { return window->frames() >= idle + 11; }, kHang)) << "frames stopped";
    animating = false;
    ASSERT_TRUE(settles()) << "frames go on after the animation ended";
    unsigned long during = window->frames() - idle - 1;
    EXPECT_LE(std::int64_t(during), frameClockFrames() - clockBefore + 1) << "more than one frame per frame";

    // A jolt draws frames for its duration only.
    unsigned long settled = window->frames();
    window->jolt();
    ASSERT_TRUE(iterateUntil([&] { return window->frames() > settled; }, kHang));
    ASSERT_TRUE(settles()) << "frames go on after the jolt";
    unsigned long after = window->frames();
    iterateFor(0.3);
    EXPECT_EQ(window->frames(), after);
}

TEST_F(GameWindowOnXvfb, SpaceAndClosingReachTheGame)
{
    xdotool({"keydown", "--window", xid, "space"});
    xdotool({"keyup", "--window", xid, "space"});
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "space down");
    EXPECT_EQ(log.back(), "space up");

    log.clear();
    xdotool({"key", "--window", xid, "ctrl+w"});
    ASSERT_TRUE(iterateUntil([&] { return !window->isOpen(); }, 5.0));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "closed");
    window->invalidate(); // harmless once closed
    window->jolt();
    iterateFor(0.1);
}

TEST_F(GameWindowOnXvfb, AnimationsFollowTheDesktopSetting)
{
    GtkSettings* settings = gtk_settings_get_default();
    g_object_set(settings, "gtk-enable-animations", FALSE, nullptr);
    EXPECT_FALSE(platform::ViewAnimation::animationsEnabled());
    g_object_set(settings, "gtk-enable-animations", TRUE, nullptr);
    EXPECT_TRUE(platform::ViewAnimation::animationsEnabled());
}
