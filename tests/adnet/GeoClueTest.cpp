#include "platform/backend/gtk/GeoClueLocationManager.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using platform::gtk::GeoClueLocationManager;

namespace {

constexpr const char* kClientPath = "/org/freedesktop/GeoClue2/Client/1";
constexpr const char* kLocationPath = "/org/freedesktop/GeoClue2/Location/1";

// GLib's context (D-Bus replies, and the fake service below) and the RunLoop (fixes) turn
// together on this one thread, as in the desktop backend.
// The default limit only catches a hang; a busy bus answers well within it.
bool turnUntil(const std::function<bool()>& done, double seconds = 20.0)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < end) {
        bool busy = g_main_context_iteration(nullptr, FALSE);
        platform::RunLoop::main().runFor(0);
        if (!busy)
            g_usleep(1000);
    }
    return done();
}

// GeoClue on a private bus, served from this same thread: a manager that made a blocking
// call would wait for an answer that cannot come, and fail.
class FakeGeoClue {
public:
    explicit FakeGeoClue(const std::string& address)
    {
        m_bus =
            g_dbus_connection_new_for_address_sync(address.c_str(),
                                                   GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                        G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                                   nullptr, nullptr, nullptr);
        m_node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
        static const GDBusInterfaceVTable vtable{&FakeGeoClue::onCall, &FakeGeoClue::onGet, &FakeGeoClue::onSet, {}};
        const std::pair<const char*, int> objects[] = {
            {"/org/freedesktop/GeoClue2/Manager", 0}, {kClientPath, 1}, {kLocationPath, 2}};
        for (auto [path, index] : objects)
            m_registrations.push_back(g_dbus_connection_register_object(m_bus, path, m_node->interfaces[index], &vtable,
                                                                        this, nullptr, nullptr));
        m_owner = g_bus_own_name_on_connection(
            m_bus, "org.freedesktop.GeoClue2", G_BUS_NAME_OWNER_FLAGS_NONE,
            [](GDBusConnection*, const gchar*, gpointer self) { static_cast<FakeGeoClue*>(self)->owned = true; },
            nullptr, this, nullptr);
    }
    ~FakeGeoClue() { leave(); }

    // Leaves the bus, as a service that stops.
    void leave()
    {
        if (!m_bus)
            return;
        g_bus_unown_name(m_owner);
        for (guint id : m_registrations)
            g_dbus_connection_unregister_object(m_bus, id);
        g_dbus_connection_close_sync(m_bus, nullptr, nullptr);
        g_object_unref(m_bus);
        g_dbus_node_info_unref(m_node);
        m_bus = nullptr;
    }

    bool owned{false};
    std::vector<std::string> calls; // "GetClient", "Start", "Stop"
    std::string desktopId;
    guint32 accuracy{0};

private:
    static constexpr const char* kIntrospection =
        "<node>"
        " <interface name='org.freedesktop.GeoClue2.Manager'>"
        "  <method name='GetClient'><arg type='o' direction='out'/></method>"
        " </interface>"
        " <interface name='org.freedesktop.GeoClue2.Client'>"
        "  <method name='Start'/><method name='Stop'/>"
        "  <property name='DesktopId' type='s' access='readwrite'/>"
        "  <property name='RequestedAccuracyLevel' type='u' access='readwrite'/>"
        "  <signal name='LocationUpdated'><arg type='o'/><arg type='o'/></signal>"
        " </interface>"
        " <interface name='org.freedesktop.GeoClue2.Location'>"
        "  <property name='Latitude' type='d' access='read'/>"
        "  <property name='Longitude' type='d' access='read'/>"
        "  <property name='Timestamp' type='(tt)' access='read'/>"
        " </interface>"
        "</node>";

    static void onCall(GDBusConnection* bus, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant*,
                       GDBusMethodInvocation* invocation, gpointer data)
    {
        auto* self = static_cast<FakeGeoClue*>(data);
        self->calls.emplace_back(method);
        if (g_str_equal(method, "GetClient")) {
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(o)", kClientPath));
            return;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
        if (g_str_equal(method, "Start"))
            g_dbus_connection_emit_signal(bus, nullptr, kClientPath, "org.freedesktop.GeoClue2.Client",
                                          "LocationUpdated", g_variant_new("(oo)", "/", kLocationPath), nullptr);
    }
    static GVariant* onGet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property, GError**,
                           gpointer data)
    {
        auto* self = static_cast<FakeGeoClue*>(data);
        if (g_str_equal(property, "Latitude"))
            return g_variant_new_double(52.52);
        if (g_str_equal(property, "Longitude"))
            return g_variant_new_double(13.405);
        if (g_str_equal(property, "Timestamp"))
            return g_variant_new("(tt)", guint64(1700000000), guint64(500000));
        if (g_str_equal(property, "DesktopId"))
            return g_variant_new_string(self->desktopId.c_str());
        return g_variant_new_uint32(self->accuracy);
    }
    static gboolean onSet(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* property,
                          GVariant* value, GError**, gpointer data)
    {
        auto* self = static_cast<FakeGeoClue*>(data);
        if (g_str_equal(property, "DesktopId"))
            self->desktopId = g_variant_get_string(value, nullptr);
        else
            self->accuracy = g_variant_get_uint32(value);
        return TRUE;
    }

    GDBusConnection* m_bus{nullptr};
    GDBusNodeInfo* m_node{nullptr};
    std::vector<guint> m_registrations;
    guint m_owner{0};
};

class GeoClueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::RunLoop::setMain(platform::RunLoop::createVirtual());
        platform::Services services;
        services.location = platform::gtk::geoClueLocationService("brimsey");
        platform::installServices(std::move(services));
    }
    void TearDown() override
    {
        platform::resetServices();
        platform::RunLoop::setMain(nullptr);
    }
};

} // namespace

// Where no GeoClue answers (here: no system bus at all), location services count as off and
// nothing is started; the manager is the one every LocationManager::create() hands out.
TEST_F(GeoClueTest, WithoutTheServiceLocationServicesCountAsSwitchedOff)
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/brimsey-test-bus", 1);
    auto manager = std::dynamic_pointer_cast<GeoClueLocationManager>(platform::LocationManager::create());
    ASSERT_TRUE(manager);
    int fixes = 0;
    manager->setUpdateHandler([&](platform::LocationManager&, const platform::Location&,
                                  const std::optional<platform::Location>&) { ++fixes; });
    EXPECT_FALSE(manager->locationServicesEnabled()); // not known yet: off
    ASSERT_TRUE(turnUntil([&] { return !manager->isChecking(); }));
    EXPECT_FALSE(manager->locationServicesEnabled());
    manager->startUpdatingLocation();
    manager->stopUpdatingLocation();
    turnUntil([] { return false; }, 0.05);
    EXPECT_EQ(fixes, 0);
    platform::resetServices();
    EXPECT_FALSE(std::dynamic_pointer_cast<GeoClueLocationManager>(platform::LocationManager::create()));
}

// The whole way on a private bus: GeoClue arriving later is noticed, the client is set up
// with the application's id and city accuracy, a fix arrives with GeoClue's time stamp,
// and GeoClue leaving switches location services off again.
TEST_F(GeoClueTest, AFixFromGeoClueOnAPrivateBus)
{
    gchar* daemon = g_find_program_in_path("dbus-daemon");
    if (!daemon)
        GTEST_SKIP() << "dbus-daemon is not installed";
    g_free(daemon);
    GTestDBus* testBus = g_test_dbus_new(G_TEST_DBUS_NONE);
    g_test_dbus_up(testBus);
    const std::string address = g_test_dbus_get_bus_address(testBus);
    setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);

    auto manager = std::dynamic_pointer_cast<GeoClueLocationManager>(platform::LocationManager::create());
    ASSERT_TRUE(manager);
    std::vector<platform::Location> fixes;
    manager->setUpdateHandler([&](platform::LocationManager&, const platform::Location& fix,
                                  const std::optional<platform::Location>&) { fixes.push_back(fix); });
    ASSERT_TRUE(turnUntil([&] { return !manager->isChecking(); }));
    EXPECT_FALSE(manager->locationServicesEnabled()) << "no GeoClue on the bus yet";

    {
        FakeGeoClue geoclue(address);
        ASSERT_TRUE(turnUntil([&] { return geoclue.owned; }));
        ASSERT_TRUE(turnUntil([&] { return manager->locationServicesEnabled(); })) << "GeoClue's arrival is noticed";
        EXPECT_EQ(geoclue.desktopId, "brimsey");
        EXPECT_EQ(geoclue.accuracy, 4u);

        manager->startUpdatingLocation();
        ASSERT_TRUE(turnUntil([&] { return !fixes.empty(); }));
        EXPECT_DOUBLE_EQ(fixes[0].coordinate.latitude, 52.52);
        EXPECT_DOUBLE_EQ(fixes[0].coordinate.longitude, 13.405);
        EXPECT_NEAR(fixes[0].timestamp, 1700000000.5 + platform::RunLoop::kUnixToAbsolute, 1e-3);
        manager->stopUpdatingLocation();
        ASSERT_TRUE(turnUntil([&] { return geoclue.calls.back() == "Stop"; }));
        EXPECT_EQ(geoclue.calls, (std::vector<std::string>{"GetClient", "Start", "Stop"}));

        geoclue.leave();
        EXPECT_TRUE(turnUntil([&] { return !manager->locationServicesEnabled(); })) << "its leaving too";
    }
    EXPECT_EQ(fixes.size(), 1u);
    manager.reset();
    platform::resetServices();
    g_test_dbus_down(testBus);
    g_object_unref(testBus);
}
