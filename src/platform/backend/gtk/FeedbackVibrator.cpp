#include "platform/backend/gtk/FeedbackVibrator.h"

#include <libfeedback.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>

namespace platform::gtk {

namespace {

// GIO finds the session bus from DBUS_SESSION_BUS_ADDRESS or $XDG_RUNTIME_DIR/bus;
// anything else would mean autolaunching one.
bool sessionBusReachable()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address && *address)
        return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime)
        return false;
    struct stat st { };
    std::string socket = std::string(runtime) + "/bus";
    return stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode);
}

struct Pending {
    LfbEvent* event; // owned until the service has answered
    std::weak_ptr<bool> alive;
    std::function<void()> onRejected;
};

void triggered(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
    GError* error = nullptr;
    gboolean ok = lfb_event_trigger_feedback_finish(LFB_EVENT(source), result, &error);
    if (error)
        g_error_free(error);
    g_object_unref(pending->event);
    if (!ok && !pending->alive.expired() && pending->onRejected)
        pending->onRejected();
}

} // namespace

FeedbackVibrator::FeedbackVibrator()
{
    if (!sessionBusReachable()) {
        m_initError = "no session bus";
        return;
    }
    GError* error = nullptr;
    m_initted = lfb_init(kAppId, &error);
    if (!m_initted) {
        m_initError = error ? error->message : "libfeedback set-up failed";
        if (error)
            g_error_free(error);
    }
}

FeedbackVibrator::~FeedbackVibrator()
{
    *m_alive = false;
    m_alive.reset();
    if (m_initted && lfb_is_initted())
        lfb_uninit();
}

bool FeedbackVibrator::available() const
{
    if (!m_initted || !lfb_is_initted())
        return false;
    LfbGdbusFeedback* proxy = lfb_get_proxy();
    if (!proxy)
        return false;
    gchar* owner = g_dbus_proxy_get_name_owner(G_DBUS_PROXY(proxy));
    bool running = owner != nullptr;
    g_free(owner);
    return running;
}

std::string FeedbackVibrator::status() const
{
    if (!m_initted)
        return "feedbackd unavailable (" + m_initError + ")";
    if (!available())
        return "feedbackd is not running";
    return "feedbackd";
}

bool FeedbackVibrator::vibrate(std::function<void()> onRejected)
{
    if (!available())
        return false;
    LfbEvent* event = lfb_event_new(kEvent);
    auto* pending = new Pending{event, m_alive, std::move(onRejected)};
    lfb_event_trigger_feedback_async(event, nullptr, triggered, pending);
    ++m_sent;
    return true;
}

} // namespace platform::gtk
