#include "platform/backend/gtk/DesktopURLOpener.h"

#include <gtk/gtk.h>

#include <cstdio>
#include <memory>

namespace platform::gtk {

namespace {

struct Launch {
    std::string url;
    DesktopURLOpener::Outcome observer;
};

void report(const Launch& launch, bool opened, const std::string& error)
{
    if (!opened)
        std::fprintf(stderr, "brimsey: cannot open %s: %s\n", launch.url.c_str(), error.c_str());
    if (launch.observer)
        launch.observer(launch.url, opened, error);
}

void launched(GObject*, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<Launch> launch(static_cast<Launch*>(data));
    GError* error = nullptr;
    const bool opened = g_app_info_launch_default_for_uri_finish(result, &error);
    report(*launch, opened, error ? error->message : std::string());
    if (error)
        g_error_free(error);
}

} // namespace

bool DesktopURLOpener::openURL(const std::string& url)
{
    auto launch = std::make_unique<Launch>(Launch{url, m_observer});
    // What is no URL at all never reaches a handler.
    if (url.empty() || !g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr)) {
        report(*launch, false, "not a URL");
        return false;
    }
    // With a display the launch context gives the new window focus and startup feedback.
    GAppLaunchContext* context = nullptr;
    if (GdkDisplay* display = gdk_display_get_default())
        context = G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display));
    g_app_info_launch_default_for_uri_async(url.c_str(), context, nullptr, launched, launch.release());
    if (context)
        g_object_unref(context);
    return true;
}

} // namespace platform::gtk
