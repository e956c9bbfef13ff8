#include "GeoClueLocationManager.h"

#include "platform/core/RunLoop.h"

#include <gio/gio.h>

namespace platform::gtk {

namespace {

constexpr const char* kService = "org.freedesktop.GeoClue2";
constexpr const char* kManagerPath = "/org/freedesktop/GeoClue2/Manager";
constexpr const char* kManagerInterface = "org.freedesktop.GeoClue2.Manager";
constexpr const char* kClientInterface = "org.freedesktop.GeoClue2.Client";
constexpr const char* kLocationInterface = "org.freedesktop.GeoClue2.Location";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr int kCallTimeoutMs = 1000; // a service that does not answer counts as absent
constexpr guint32 kCityAccuracy = 4; // GCLUE_ACCURACY_LEVEL_CITY: enough for ads

// A synchronous call that is allowed to fail; the reply or null.
GVariant* call(GDBusConnection* bus, const char* path, const char* interface, const char* method, GVariant* args,
               const GVariantType* replyType)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_sync(bus, kService, path, interface, method, args, replyType,
                                                  G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, &error);
    if (error)
        g_error_free(error);
    return reply;
}

bool setProperty(GDBusConnection* bus, const std::string& path, const char* name, GVariant* value)
{
    GVariant* reply =
        call(bus, path.c_str(), kProperties, "Set", g_variant_new("(ssv)", kClientInterface, name, value), nullptr);
    if (!reply)
        return false;
    g_variant_unref(reply);
    return true;
}

std::optional<double> doubleProperty(GDBusConnection* bus, const std::string& path, const char* name)
{
    GVariant* reply = call(bus, path.c_str(), kProperties, "Get", g_variant_new("(ss)", kLocationInterface, name),
                           G_VARIANT_TYPE("(v)"));
    if (!reply)
        return std::nullopt;
    GVariant* boxed = nullptr;
    g_variant_get(reply, "(v)", &boxed);
    std::optional<double> value;
    if (boxed && g_variant_is_of_type(boxed, G_VARIANT_TYPE_DOUBLE))
        value = g_variant_get_double(boxed);
    if (boxed)
        g_variant_unref(boxed);
    g_variant_unref(reply);
    return value;
}

} // namespace

struct GeoClueLocationManager::Impl {
    std::string desktopId;
    mutable bool tried{false};
    mutable bool enabled{false};
    mutable GDBusConnection* bus{nullptr};
    mutable std::string clientPath;
    guint subscription{0};
    bool updating{false};
};

std::shared_ptr<GeoClueLocationManager> GeoClueLocationManager::create(std::string desktopId)
{
    return std::shared_ptr<GeoClueLocationManager>(new GeoClueLocationManager(std::move(desktopId)));
}

GeoClueLocationManager::GeoClueLocationManager(std::string desktopId) : m_impl(std::make_unique<Impl>())
{
    m_impl->desktopId = std::move(desktopId);
}

GeoClueLocationManager::~GeoClueLocationManager()
{
    stopUpdatingLocation();
    if (m_impl->bus)
        g_object_unref(m_impl->bus);
}

bool GeoClueLocationManager::connect() const
{
    if (m_impl->tried)
        return m_impl->enabled;
    m_impl->tried = true;
    GError* error = nullptr;
    m_impl->bus = g_bus_get_sync(G_BUS_TYPE_SYSTEM, nullptr, &error);
    if (error)
        g_error_free(error);
    if (!m_impl->bus)
        return false;
    GVariant* reply = call(m_impl->bus, kManagerPath, kManagerInterface, "GetClient", nullptr, G_VARIANT_TYPE("(o)"));
    if (!reply)
        return false;
    const gchar* path = nullptr;
    g_variant_get(reply, "(&o)", &path);
    m_impl->clientPath = path ? path : "";
    g_variant_unref(reply);
    m_impl->enabled =
        !m_impl->clientPath.empty() &&
        setProperty(m_impl->bus, m_impl->clientPath, "DesktopId", g_variant_new_string(m_impl->desktopId.c_str())) &&
        setProperty(m_impl->bus, m_impl->clientPath, "RequestedAccuracyLevel", g_variant_new_uint32(kCityAccuracy));
    return m_impl->enabled;
}

bool GeoClueLocationManager::locationServicesEnabled() const
{
    return connect();
}

void GeoClueLocationManager::startUpdatingLocation()
{
    if (m_impl->updating || !connect())
        return;
    m_impl->updating = true;
    auto* weak = new std::weak_ptr<GeoClueLocationManager>(weak_from_this());
    m_impl->subscription = g_dbus_connection_signal_subscribe(
        m_impl->bus, kService, kClientInterface, "LocationUpdated", m_impl->clientPath.c_str(), nullptr,
        G_DBUS_SIGNAL_FLAGS_NONE,
        [](GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
           gpointer data) {
            auto self = static_cast<std::weak_ptr<GeoClueLocationManager>*>(data)->lock();
            if (!self || !g_variant_is_of_type(parameters, G_VARIANT_TYPE("(oo)")))
                return;
            const gchar* oldPath = nullptr;
            const gchar* newPath = nullptr;
            g_variant_get(parameters, "(&o&o)", &oldPath, &newPath);
            self->onLocationUpdated(newPath ? newPath : "");
        },
        weak, [](gpointer data) { delete static_cast<std::weak_ptr<GeoClueLocationManager>*>(data); });
    g_dbus_connection_call(m_impl->bus, kService, m_impl->clientPath.c_str(), kClientInterface, "Start", nullptr,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr, nullptr);
}

void GeoClueLocationManager::stopUpdatingLocation()
{
    if (!m_impl->updating)
        return;
    m_impl->updating = false;
    if (m_impl->subscription)
        g_dbus_connection_signal_unsubscribe(m_impl->bus, m_impl->subscription);
    m_impl->subscription = 0;
    g_dbus_connection_call(m_impl->bus, kService, m_impl->clientPath.c_str(), kClientInterface, "Stop", nullptr,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, kCallTimeoutMs, nullptr, nullptr, nullptr);
}

void GeoClueLocationManager::onLocationUpdated(const std::string& locationPath)
{
    if (!m_impl->updating || locationPath.empty())
        return;
    auto latitude = doubleProperty(m_impl->bus, locationPath, "Latitude");
    auto longitude = doubleProperty(m_impl->bus, locationPath, "Longitude");
    if (!latitude || !longitude)
        return;
    Location fix{{*latitude, *longitude}, RunLoop::main().now()};
    // Fixes reach their handler from the RunLoop, like every other main-thread event.
    std::weak_ptr<GeoClueLocationManager> weak = weak_from_this();
    RunLoop::main().post([weak, fix] {
        if (auto self = weak.lock(); self && self->m_impl->updating)
            self->deliver(fix);
    });
}

void installGeoClueLocationService(const std::string& desktopId)
{
    LocationManager::setFactory(
        [desktopId]() -> std::shared_ptr<LocationManager> { return GeoClueLocationManager::create(desktopId); });
}

} // namespace platform::gtk
