#include "platform/backend/gtk/GeoClueLocationManager.h"

#include <gtest/gtest.h>

#include <cstdlib>

// Where no GeoClue answers (here: no system bus at all), location services count as off and
// nothing is started; the manager is the one every LocationManager::create() hands out.
TEST(GeoClueLocationManager, WithoutTheServiceLocationServicesCountAsSwitchedOff)
{
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/brimsey-test-bus", 1);
    platform::gtk::installGeoClueLocationService("brimsey");
    auto manager = platform::LocationManager::create();
    ASSERT_TRUE(std::dynamic_pointer_cast<platform::gtk::GeoClueLocationManager>(manager));
    int fixes = 0;
    manager->setUpdateHandler([&](platform::LocationManager&, const platform::Location&,
                                  const std::optional<platform::Location>&) { ++fixes; });
    EXPECT_FALSE(manager->locationServicesEnabled());
    EXPECT_FALSE(manager->locationServicesEnabled()); // asked once, answer kept
    manager->startUpdatingLocation();
    manager->stopUpdatingLocation();
    EXPECT_EQ(fixes, 0);
    platform::LocationManager::setFactory({});
    EXPECT_FALSE(std::dynamic_pointer_cast<platform::gtk::GeoClueLocationManager>(platform::LocationManager::create()));
}
