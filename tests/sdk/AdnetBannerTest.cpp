// The AdnetBanner widget in a real GTK window on Xvfb, against the demo ad network in this
// process: its properties, that nothing is drawn before (or without) an ad, that the first
// ad alone is announced, and why a first ad failed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "XvfbSession.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetGtk.h"
#include "adnet/adnet-gtk.h"
#include "adnetdemo/DemoServer.h"
#include "platform/core/DocumentsDirectory.h"

namespace {

using brimsey::testing::XvfbSession;

// Iterates GLib's default context (which drives the ad client's run loop too) until `done`
// or `seconds` have passed.
bool spinUntil(const std::function<bool()>& done, double seconds)
{
    const gint64 end = g_get_monotonic_time() + gint64(seconds * 1e6);
    while (!done()) {
        if (g_get_monotonic_time() > end)
            return false;
        g_main_context_iteration(nullptr, FALSE);
        g_usleep(1000);
    }
    return true;
}

// How many pixels of the widget's own picture are not transparent (-1: no picture at all).
int drawnPixels(GtkWidget* widget)
{
    GdkPaintable* paintable = gtk_widget_paintable_new(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, gtk_widget_get_width(widget), gtk_widget_get_height(widget));
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    g_object_unref(paintable);
    if (!node)
        return -1;
    GskRenderer* renderer = gsk_cairo_renderer_new();
    int count = 0;
    if (gsk_renderer_realize(renderer, nullptr, nullptr)) {
        graphene_rect_t area =
            GRAPHENE_RECT_INIT(0, 0, float(gtk_widget_get_width(widget)), float(gtk_widget_get_height(widget)));
        GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &area);
        const int w = gdk_texture_get_width(texture);
        const int h = gdk_texture_get_height(texture);
        std::vector<guint32> pixels(std::size_t(w) * h);
        gdk_texture_download(texture, reinterpret_cast<guchar*>(pixels.data()), gsize(w) * 4);
        for (guint32 p : pixels)
            count += (p >> 24) != 0;
        g_object_unref(texture);
        gsk_renderer_unrealize(renderer);
    }
    g_object_unref(renderer);
    gsk_render_node_unref(node);
    return count;
}

struct Heard {
    int received{0};
    int failed{0};
    int errorCode{-1};
    bool ourDomain{false};
    std::string message;
};

void listen(GtkWidget* banner, Heard* heard)
{
    g_signal_connect(banner, "ad-received", G_CALLBACK(+[](GtkWidget*, Heard* h) { ++h->received; }), heard);
    g_signal_connect(banner, "ad-failed", G_CALLBACK(+[](GtkWidget*, GError* error, Heard* h) {
                         ++h->failed;
                         h->ourDomain = error->domain == ADNET_BANNER_ERROR;
                         h->errorCode = error->code;
                         h->message = error->message;
                     }),
                     heard);
}

// A window whose child is an overlay holding the banner, as the examples make it.
GtkWidget* windowWith(GtkWidget* banner)
{
    GtkWidget* window = gtk_window_new();
    gtk_window_set_default_size(GTK_WINDOW(window), 360, 480);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_widget_set_halign(banner, GTK_ALIGN_CENTER);
    gtk_box_append(GTK_BOX(box), banner);
    GtkWidget* overlay = gtk_overlay_new();
    gtk_overlay_set_child(GTK_OVERLAY(overlay), box);
    gtk_window_set_child(GTK_WINDOW(window), overlay);
    gtk_window_present(GTK_WINDOW(window));
    return window;
}

void pointAt(const adnetdemo::DemoServer& server)
{
    adnet::AdNetConfiguration config;
    config.requestEndpoint = server.adRequestUrl();
    config.mediaHost = server.baseUrl();
    config.requestTimeout = 5;
    adnet::setConfiguration(config);
}

// A C++ host answering for itself.
struct OwnHost : adnet::AdNetDelegate {
    std::string publisherId() override { return "own-host"; }
    std::optional<bool> useTestAd() override { return false; }
    void didReceiveAd(adnet::AdNetView&) override { ++received; }
    int received{0};
};

} // namespace

TEST(AdnetBannerOnXvfb, PropertiesDrawingFirstAdSignalsAndFailureReasons)
{
    if (!XvfbSession::available())
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbSession xvfb;
    ASSERT_TRUE(xvfb.start(800, 600));
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("GSK_RENDERER", "cairo", 1);
    ASSERT_TRUE(gtk_init_check());
    const auto documents = std::filesystem::path(testing::TempDir()) / "sdk-banner-documents";
    std::filesystem::remove_all(documents);
    std::filesystem::create_directories(documents);
    platform::setDocumentsDirectory(documents.string());
    adnetdemo::DemoServer server;
    ASSERT_TRUE(server.start());
    pointAt(server);

    // Defaults and properties.
    GtkWidget* banner = adnet_banner_new("c3e8b0f47d92a16");
    auto* ad = ADNET_BANNER(banner);
    EXPECT_STREQ(adnet_banner_get_publisher_id(ad), "c3e8b0f47d92a16");
    EXPECT_EQ(adnet_banner_get_refresh_interval(ad), 60u);
    EXPECT_FALSE(adnet_banner_get_test_ads(ad));
    EXPECT_TRUE(adnet_banner_get_use_embedded_browser(ad));
    EXPECT_EQ(adnet_banner_get_background_color(ad), nullptr);
    EXPECT_EQ(adnet_banner_get_text_color(ad), nullptr);
    EXPECT_EQ(adnet_banner_get_landing_overlay(ad), nullptr);
    GdkRGBA black{0, 0, 0, 1};
    adnet_banner_set_text_color(ad, &black);
    ASSERT_NE(adnet_banner_get_text_color(ad), nullptr);
    EXPECT_TRUE(gdk_rgba_equal(adnet_banner_get_text_color(ad), &black));
    adnet_banner_set_text_color(ad, nullptr);
    EXPECT_EQ(adnet_banner_get_text_color(ad), nullptr);
    adnet_banner_set_test_ads(ad, TRUE);
    int minimum = 0;
    int natural = 0;
    gtk_widget_measure(banner, GTK_ORIENTATION_HORIZONTAL, -1, &minimum, &natural, nullptr, nullptr);
    EXPECT_EQ(natural, 320);
    gtk_widget_measure(banner, GTK_ORIENTATION_VERTICAL, -1, &minimum, &natural, nullptr, nullptr);
    EXPECT_EQ(natural, 48);
    // Bindings see the domain by its name.
    EXPECT_STREQ(g_quark_to_string(ADNET_BANNER_ERROR), "adnet-banner-error-quark");

    // Nothing is drawn while the first ad is on its way (the server holds its answer).
    adnetdemo::FaultSpec slow;
    slow.fault = adnetdemo::Fault::slow;
    slow.fetches = adnetdemo::fetch::adRequest;
    slow.times = 1;
    slow.delay = std::chrono::milliseconds(2500);
    server.setFault(slow);
    Heard heard;
    listen(banner, &heard);
    GtkWidget* window = windowWith(banner);
    ASSERT_TRUE(spinUntil([&] { return gtk_widget_get_mapped(banner); }, 10));
    spinUntil([] { return false; }, 0.5);
    EXPECT_EQ(heard.received, 0);
    EXPECT_EQ(gtk_widget_get_width(banner), 320);
    EXPECT_EQ(drawnPixels(banner), -1);

    // The ad arrives: drawn, announced once; the request asked for test ads.
    ASSERT_TRUE(spinUntil([&] { return heard.received + heard.failed > 0; }, 20));
    EXPECT_EQ(heard.received, 1);
    EXPECT_EQ(heard.failed, 0);
    EXPECT_TRUE(server.requests(adnetdemo::fetch::adRequest).front().testMode);
    spinUntil([] { return false; }, 0.2);
    EXPECT_GT(drawnPixels(banner), 320 * 48 / 2);

    // Fresh ads, by hand and every second, flip in silently.
    ASSERT_TRUE(server.pinAd("test-text"));
    adnet_banner_request_fresh_ad(ad);
    adnet_banner_set_refresh_interval(ad, 1);
    EXPECT_TRUE(spinUntil([&] { return server.requests(adnetdemo::fetch::adRequest).size() >= 4; }, 10));
    spinUntil([] { return false; }, 1.0); // the last flip ends
    EXPECT_EQ(heard.received, 1);
    EXPECT_EQ(heard.failed, 0);
    EXPECT_GT(drawnPixels(banner), 320 * 48 / 2);
    gtk_window_destroy(GTK_WINDOW(window));

    // A C++ host's own delegate answers (the properties do not) and hears the first ad.
    auto own = std::make_shared<OwnHost>();
    GtkWidget* hosted = adnet::createBanner(own);
    adnet_banner_set_test_ads(ADNET_BANNER(hosted), TRUE); // ignored: the host answers
    Heard heardHosted;
    listen(hosted, &heardHosted);
    server.unpinAd();
    server.clearRequests();
    GtkWidget* hostedWindow = windowWith(hosted);
    ASSERT_TRUE(spinUntil([&] { return heardHosted.received + heardHosted.failed > 0; }, 20));
    EXPECT_EQ(heardHosted.received, 1);
    EXPECT_EQ(own->received, 1);
    auto asked = server.requests(adnetdemo::fetch::adRequest);
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.front().param("s"), "own-host");
    EXPECT_FALSE(asked.front().testMode);
    gtk_window_destroy(GTK_WINDOW(hostedWindow));

    // Nothing listens: a network error that says so, once, and the banner stays empty.
    {
        adnetdemo::DemoServer closed;
        ASSERT_TRUE(closed.start());
        pointAt(closed);
        closed.stop();
    }
    Heard refused;
    GtkWidget* unreachable = adnet_banner_new("c3e8b0f47d92a16");
    listen(unreachable, &refused);
    GtkWidget* second = windowWith(unreachable);
    ASSERT_TRUE(spinUntil([&] { return refused.failed > 0; }, 20));
    spinUntil([] { return false; }, 0.3);
    EXPECT_EQ(refused.failed, 1);
    EXPECT_EQ(refused.received, 0);
    EXPECT_TRUE(refused.ourDomain);
    EXPECT_EQ(refused.errorCode, ADNET_BANNER_ERROR_NETWORK) << refused.message;
    EXPECT_NE(refused.message.find("127.0.0.1"), std::string::npos) << refused.message;
    EXPECT_EQ(drawnPixels(unreachable), -1);
    gtk_window_destroy(GTK_WINDOW(second));

    // The ad server answers with an error status: an HTTP error.
    server.clearFaults();
    adnetdemo::FaultSpec broken;
    broken.fault = adnetdemo::Fault::status500;
    broken.fetches = adnetdemo::fetch::adRequest;
    server.setFault(broken);
    pointAt(server);
    Heard refusedByServer;
    GtkWidget* third = adnet_banner_new("c3e8b0f47d92a16");
    listen(third, &refusedByServer);
    GtkWidget* thirdWindow = windowWith(third);
    ASSERT_TRUE(spinUntil([&] { return refusedByServer.failed > 0; }, 20));
    EXPECT_EQ(refusedByServer.errorCode, ADNET_BANNER_ERROR_HTTP) << refusedByServer.message;
    EXPECT_NE(refusedByServer.message.find("500"), std::string::npos) << refusedByServer.message;
    gtk_window_destroy(GTK_WINDOW(thirdWindow));

    spinUntil([] { return false; }, 0.2);
    platform::setDocumentsDirectory(std::nullopt);
}
