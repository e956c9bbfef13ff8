#include "GeoClueLocationManager.h"

#include "platform/core/RunLoop.h"

#include <gio/gio.h>

#include <cmath>
#include <functional>
#include <limits>

namespace platform::gtk {

namespace {

constexpr const char* kService = "org.freedesktop.GeoClue2";
constexpr const char* kManagerPath = "/org/freedesktop/GeoClue2/Manager";
constexpr const char* kManagerInterface = "org.freedesktop.GeoClue2.Manager";
constexpr const char* kClientInterface = "org.freedesktop.GeoClue2.Client";
constexpr const char* kLocationInterface = "org.freedesktop.GeoClue2.Location";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
// A service that does not answer in time counts as absent (D-Bus activation included).
constexpr int kCallTimeoutMs = 10000;
constexpr guint32 kCityAccuracy = 4; // GCLUE_ACCURACY_LEVEL_CITY: enough for ads

using Weak = std::weak_ptr<GeoClueLocationManager>;

// One asynchronous D-Bus call whose reply goes to `done` if the manager still exists.
// The reply is null when the call failed.
struct Pending {
    Weak owner;
    std::function<void(GeoClueLocationManager&, GVariant*)> done;
};

void finishCall(GObject* source, GAsyncResult* result, gpointer data)
{
    std::unique_ptr<Pending> pending(static_cast<Pending*>(data));
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, nullptr);
    if (auto owner = pending->owner.lock())
        pending->done(*owner, reply);
    if (reply)
        g_variant_unref(reply);
}

void call(GDBusConnection* bus, GCancellable* cancellable, const std::string& path, const char* interface,
          const char* method, GVariant* args, const GVariantType* replyType, Weak owner,
          std::function<void(GeoClueLocationManager&, GVariant*)> done)
{
    auto* pending = new Pending{std::move(owner), std::move(done)};
    g_dbus_connection_call(bus, kService, path.c_str(), interface, method, args, replyType, G_DBUS_CALL_FLAGS_NONE,
                           kCallTimeoutMs, cancellable, finishCall, pending);
}

std::optional<double> doubleIn(GVariant* dictionary, const char* key)
{
    double value = 0;
    if (!g_variant_lookup(dictionary, key, "d", &value) || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace

struct GeoClueLocationManager::Impl {
    enum class Phase { Unknown, Checking, Ready, Absent };

    std::string desktopId;
    Phase phase{Phase::Unknown};
    double checkedAt{-std::numeric_limits<double>::infinity()}; // on the loop's clock
    GCancellable* cancellable{g_cancellable_new()};
    GDBusConnection* bus{nullptr};
    guint nameWatch{0};
    std::string clientPath;
    guint subscription{0};
    bool wanted{false};  // updates asked for
    bool started{false}; // "Start" sent to the client
};

std::shared_ptr<GeoClueLocationManager> GeoClueLocationManager::create(std::string desktopId)
{
    auto manager = std::shared_ptr<GeoClueLocationManager>(new GeoClueLocationManager(std::move(desktopId)));
    manager->check(); // so that the answer is ready by the time someone asks
    return manager;
}

GeoClueLocationManager::GeoClueLocationManager(std::string desktopId) : m_impl(std::make_unique<Impl>())
{
    m_impl->desktopId = std::move(desktopId);
}

GeoClueLocationManager::~GeoClueLocationManager()
{
    stopClient();
    g_cancellable_cancel(m_impl->cancellable);
    if (m_impl->nameWatch)
        g_bus_unwatch_name(m_impl->nameWatch);
    if (m_impl->bus)
        g_object_unref(m_impl->bus);
    g_object_unref(m_impl->cancellable);
}

bool GeoClueLocationManager::locationServicesEnabled() const
{
    using Phase = Impl::Phase;
    if (m_impl->phase == Phase::Absent && RunLoop::main().now() - m_impl->checkedAt >= kRecheckSeconds)
        const_cast<GeoClueLocationManager*>(this)->check();
    return m_impl->phase == Phase::Ready;
}

bool GeoClueLocationManager::isChecking() const
{
    return m_impl->phase == Impl::Phase::Checking;
}

void GeoClueLocationManager::startUpdatingLocation()
{
    m_impl->wanted = true;
    if (m_impl->phase == Impl::Phase::Ready)
        startClient();
}

void GeoClueLocationManager::stopUpdatingLocation()
{
    m_impl->wanted = false;
    stopClient();
}

// Finds out whether GeoClue grants this application a client: the bus first (once), then a
// client with its desktop id and accuracy. Every step is asynchronous.
void GeoClueLocationManager::check()
{
    if (m_impl->phase == Impl::Phase::Checking)
        return;
    m_impl->phase = Impl::Phase::Checking;
    m_impl->checkedAt = RunLoop::main().now();
    if (m_impl->bus) {
        onBus(m_impl->bus);
        return;
    }
    g_bus_get(
        G_BUS_TYPE_SYSTEM, m_impl->cancellable,
        [](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Weak> weak(static_cast<Weak*>(data));
            GDBusConnection* bus = g_bus_get_finish(result, nullptr);
            auto self = weak->lock();
            if (!self) {
                if (bus)
                    g_object_unref(bus);
                return;
            }
            self->onBus(bus);
        },
        new Weak(weak_from_this()));
}

void GeoClueLocationManager::onBus(GDBusConnection* bus)
{
    if (!bus) {
        m_impl->phase = Impl::Phase::Absent;
        return;
    }
    if (!m_impl->bus) {
        m_impl->bus = bus;
        // GeoClue coming and going is noticed as it happens.
        m_impl->nameWatch = g_bus_watch_name_on_connection(
            bus, kService, G_BUS_NAME_WATCHER_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, const gchar*, gpointer data) {
                if (auto self = static_cast<Weak*>(data)->lock(); self && self->m_impl->phase != Impl::Phase::Ready)
                    self->check();
            },
            [](GDBusConnection*, const gchar*, gpointer data) {
                if (auto self = static_cast<Weak*>(data)->lock())
                    self->onServiceGone();
            },
            new Weak(weak_from_this()), [](gpointer data) { delete static_cast<Weak*>(data); });
    }
    // Asking for a client also starts a GeoClue that is installed but not yet running.
    call(m_impl->bus, m_impl->cancellable, kManagerPath, kManagerInterface, "GetClient", nullptr, G_VARIANT_TYPE("(o)"),
         weak_from_this(), [](GeoClueLocationManager& self, GVariant* reply) {
             const gchar* path = nullptr;
             if (reply)
                 g_variant_get(reply, "(&o)", &path);
             self.onClient(path ? path : "");
         });
}

void GeoClueLocationManager::onClient(const std::string& path)
{
    if (path.empty()) {
        m_impl->phase = Impl::Phase::Absent;
        return;
    }
    m_impl->clientPath = path;
    // The client is ours once it knows who we are and how exactly we ask.
    auto setThen = [this](const char* name, GVariant* value, std::function<void(GeoClueLocationManager&)> next) {
        call(m_impl->bus, m_impl->cancellable, m_impl->clientPath, kProperties, "Set",
             g_variant_new("(ssv)", kClientInterface, name, value), nullptr, weak_from_this(),
             [next](GeoClueLocationManager& self, GVariant* reply) {
                 if (!reply)
                     self.onClientSetUp(false);
                 else
                     next(self);
             });
    };
    setThen("DesktopId", g_variant_new_string(m_impl->desktopId.c_str()), [setThen](GeoClueLocationManager&) {
        setThen("RequestedAccuracyLevel", g_variant_new_uint32(kCityAccuracy),
                [](GeoClueLocationManager& self) { self.onClientSetUp(true); });
    });
}

void GeoClueLocationManager::onClientSetUp(bool granted)
{
    m_impl->phase = granted ? Impl::Phase::Ready : Impl::Phase::Absent;
    if (!granted)
        m_impl->clientPath.clear();
    else if (m_impl->wanted)
        startClient();
}

void GeoClueLocationManager::onServiceGone()
{
    // A check under way finds out for itself (asking may start the service).
    if (m_impl->phase != Impl::Phase::Ready)
        return;
    stopClient();
    m_impl->clientPath.clear();
    m_impl->phase = Impl::Phase::Absent;
    m_impl->checkedAt = RunLoop::main().now();
}

void GeoClueLocationManager::startClient()
{
    if (m_impl->started || m_impl->clientPath.empty())
        return;
    m_impl->started = true;
    m_impl->subscription = g_dbus_connection_signal_subscribe(
        m_impl->bus, nullptr, kClientInterface, "LocationUpdated", m_impl->clientPath.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer data) {
            auto self = static_cast<Weak*>(data)->lock();
            if (!self || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oo)")))
                return;
            const gchar* oldPath = nullptr;
            const gchar* newPath = nullptr;
            g_variant_get(parameters, "(&o&o)", &oldPath, &newPath);
            self->onLocationUpdated(newPath ? newPath : "");
        },
        new Weak(weak_from_this()), [](gpointer data) { delete static_cast<Weak*>(data); });
    call(m_impl->bus, nullptr, m_impl->clientPath, kClientInterface, "Start", nullptr, nullptr, {},
         [](GeoClueLocationManager&, GVariant*) {});
}

void GeoClueLocationManager::stopClient()
{
    if (!m_impl->started)
        return;
    m_impl->started = false;
    if (m_impl->subscription)
        g_dbus_connection_signal_unsubscribe(m_impl->bus, m_impl->subscription);
    m_impl->subscription = 0;
    // Not cancellable: a stop must reach the service even when this manager goes.
    call(m_impl->bus, nullptr, m_impl->clientPath, kClientInterface, "Stop", nullptr, nullptr, {},
         [](GeoClueLocationManager&, GVariant*) {});
}

void GeoClueLocationManager::onLocationUpdated(const std::string& locationPath)
{
    if (!m_impl->started || locationPath.empty())
        return;
    call(m_impl->bus, m_impl->cancellable, locationPath, kProperties, "GetAll",
         g_variant_new("(s)", kLocationInterface), G_VARIANT_TYPE("(a{sv})"), weak_from_this(),
         [](GeoClueLocationManager& self, GVariant* reply) {
             if (!reply || !self.m_impl->started)
                 return;
             GVariant* properties = g_variant_get_child_value(reply, 0);
             auto latitude = doubleIn(properties, "Latitude");
             auto longitude = doubleIn(properties, "Longitude");
             // The fix's own time when GeoClue gives one (seconds and microseconds since 1970).
             double timestamp = RunLoop::main().wallTime();
             guint64 seconds = 0;
             guint64 micros = 0;
             if (g_variant_lookup(properties, "Timestamp", "(tt)", &seconds, &micros) && seconds != 0)
                 timestamp = double(seconds) + double(micros) / 1e6 + RunLoop::kUnixToAbsolute;
             g_variant_unref(properties);
             if (!latitude || !longitude)
                 return;
             Location fix{{*latitude, *longitude}, timestamp};
             // Fixes reach their handler from the RunLoop, like every other main-thread event.
             Weak weak = self.weak_from_this();
             RunLoop::main().post([weak, fix] {
                 if (auto owner = weak.lock(); owner && owner->m_impl->started)
                     owner->deliver(fix);
             });
         });
}

LocationManager::Factory geoClueLocationService(std::string desktopId)
{
    return [desktopId]() -> std::shared_ptr<LocationManager> { return GeoClueLocationManager::create(desktopId); };
}

} // namespace platform::gtk
