// sdk_bench: what an AdnetBanner costs a GTK 4 application. Each run is a fresh process of
// this program under Xvfb (`--child empty|banner`): a GTK window with a label, and the same
// window with a banner from the demo ad network (started in this process). Figures, the
// median of several runs each:
//  - resident memory once the window is drawn (the banner's: once its first ad is drawn),
//    and what the banner adds, also as a ratio to the empty window;
//  - the time from adnet_banner_new to the first frame that shows the ad.
// No targets: figures to watch.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "BenchSummary.h"
#include "XvfbSession.h"
#include "adnet/adnet-gtk.h"
#include "adnetdemo/DemoServer.h"

namespace {

constexpr int kRuns = 5;

double residentMegabytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atof(line.c_str() + 6) / 1024.0;
    return 0;
}

struct Child {
    bool banner{false};
    gint64 created{0};
    bool received{false};
    bool done{false};
    double drawnMs{-1};
    GMainLoop* loop{nullptr};
};

// After each painted frame: the first one after the ad arrived shows it.
void afterPaint(GdkFrameClock*, Child* child)
{
    if (child->done || (child->banner && !child->received))
        return;
    child->done = true;
    if (child->banner)
        child->drawnMs = double(g_get_monotonic_time() - child->created) / 1000.0;
    // Let the frame reach the screen, then measure.
    g_timeout_add(
        300,
        +[](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        child->loop);
}

int runChild(bool withBanner)
{
    // As a host application runs: GTK's own choice of renderer.
    if (!gtk_init_check())
        return 2;
    Child child;
    child.banner = withBanner;
    child.loop = g_main_loop_new(nullptr, FALSE);
    GtkWidget* window = gtk_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), 360, 480);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    if (withBanner) {
        child.created = g_get_monotonic_time();
        GtkWidget* banner = adnet_banner_new("c3e8b0f47d92a16");
        g_signal_connect_swapped(banner, "ad-received", G_CALLBACK(+[](Child* c) { c->received = true; }), &child);
        g_signal_connect_swapped(banner, "ad-failed", G_CALLBACK(+[](Child* c) { g_main_loop_quit(c->loop); }), &child);
        gtk_box_append(GTK_BOX(box), banner);
    }
    gtk_box_append(GTK_BOX(box), gtk_label_new("The application's content"));
    GtkWidget* overlay = gtk_overlay_new();
    gtk_overlay_set_child(GTK_OVERLAY(overlay), box);
    gtk_window_set_child(GTK_WINDOW(window), overlay);
    gtk_widget_realize(window);
    g_signal_connect(gtk_widget_get_frame_clock(window), "after-paint", G_CALLBACK(afterPaint), &child);
    gtk_window_present(GTK_WINDOW(window));
    g_timeout_add_seconds(
        30,
        +[](gpointer loop) {
            g_main_loop_quit(static_cast<GMainLoop*>(loop));
            return G_SOURCE_REMOVE;
        },
        child.loop);
    g_main_loop_run(child.loop);
    if (!child.done)
        return 3;
    std::printf("rss %.2f\ndrawn %.2f\n", residentMegabytes(), child.drawnMs);
    return 0;
}

struct Result {
    double rss{0};
    double drawnMs{-1};
};

std::optional<Result> runOnce(const std::string& mode, const std::map<std::string, std::string>& env)
{
    auto out = brimsey::testing::runCommand({"/proc/self/exe", "--child", mode}, env, 60.0);
    if (!out)
        return std::nullopt;
    // The toolkit's warnings share the output: the figures are the lines of their own.
    Result result;
    const auto at = out->find("rss ");
    if (at == std::string::npos ||
        std::sscanf(out->c_str() + at, "rss %lf\ndrawn %lf", &result.rss, &result.drawnMs) != 2)
        return std::nullopt;
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--child")
        return runChild(std::string(argv[2]) == "banner");

    using namespace benchsummary;
    brimsey::testing::XvfbSession xvfb;
    adnetdemo::DemoServer server;
    if (!brimsey::testing::XvfbSession::available() || !xvfb.start(800, 600) || !server.start()) {
        skipped("sdk banner memory", "no Xvfb or demo server");
        return 0;
    }
    const std::string home = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/sdk-bench-home";
    auto env = xvfb.env();
    env["HOME"] = home;
    env["XDG_CACHE_HOME"] = home + "/cache";
    env["ADNET_REQUEST_ENDPOINT"] = server.adRequestUrl();
    env["ADNET_MEDIA_HOST"] = server.baseUrl();

    std::vector<double> empty, banner, drawn;
    for (int i = 0; i < kRuns; ++i) {
        // Alternating, so that a busy spell of the machine strikes both alike.
        if (auto r = runOnce("empty", env))
            empty.push_back(r->rss);
        if (auto r = runOnce("banner", env)) {
            banner.push_back(r->rss);
            drawn.push_back(r->drawnMs);
        }
    }
    if (empty.empty() || banner.empty()) {
        skipped("sdk banner memory", "the child windows did not run");
        return 0;
    }
    const double e = median(empty);
    const double b = median(banner);
    std::printf("empty window %.1f MB, with banner %.1f MB (medians of %zu and %zu runs)\n", e, b, empty.size(),
                banner.size());
    figure("sdk empty GTK window resident", format("%.1f MB", e));
    figure("sdk window with AdnetBanner resident", format("%.1f MB", b));
    // A banner should cost a host little next to GTK itself: a few megabytes (the ad client,
    // one ad's pictures, the banner's drawing), and its first ad as soon as one local round
    // of fetches and a frame allow.
    check("sdk AdnetBanner adds", format("%.1f MB (%.2fx the empty window)", b - e, e > 0 ? b / e : 0), "<= 8 MB",
          b - e <= 8.0);
    const double firstAd = median(drawn);
    check("sdk adnet_banner_new to first ad drawn", format("%.0f ms", firstAd), "<= 500 ms", firstAd <= 500);
    return exitStatus();
}
