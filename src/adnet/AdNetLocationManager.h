#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/device/LocationManager.h"

namespace adnet {

// The device position for ad requests, kept as one line of text in
// <documents>/adnet/location_cache/location.txt so that it survives restarts. A new fix is
// asked of the location service only when the cached one is more than 300 seconds old, and
// the service is stopped again after one fix. Ad requests never wait for a fix.
//
// One instance exists per process; it cannot be constructed or copied.
class AdNetLocationManager final {
public:
    static constexpr double kStaleAfterSeconds = 300.0;
    static constexpr double kNullIslandTolerance = 0.001;

    static AdNetLocationManager& sharedManager();

    // "%f,%f": latitude and longitude with six decimals, whatever the process locale.
    static std::string stringForLocation(const platform::LocationCoordinate& coordinate);
    // Full path of the cache file, fixed when the class is first used.
    static std::string locationCachePath();

    bool locationServicesEnabled() const;
    // Starts a fix when location services are on and the cached position is stale.
    void updateIfAppropriate();

    // The cached position text and its time (absolute seconds of the calendar, as
    // RunLoop::wallTime() and file dates count); read from the cache file on first use,
    // nullopt when there is none.
    std::optional<std::string> locationString();
    std::optional<double> lastUpdated();
    void setLocationString(std::optional<std::string> text);
    void setLastUpdated(std::optional<double> time);

    // Writes locationString to the cache file and stamps lastUpdated with the current time.
    void writeLocationStringToCache();

    // The location service's fix: stops updates, then keeps the position unless it lies
    // within 0.001 degrees of latitude 0, longitude 0 in both axes.
    void locationManagerDidUpdateToLocation(platform::LocationManager& manager, const platform::Location& newLocation,
                                            const std::optional<platform::Location>& oldLocation);

    // Forgets the instance and the class set-up, so that the next use sets up again from the
    // current documents directory and location-service factory. For tests.
    static void resetForTesting();

    AdNetLocationManager(const AdNetLocationManager&) = delete;
    AdNetLocationManager& operator=(const AdNetLocationManager&) = delete;

private:
    AdNetLocationManager() = default;

    mutable std::mutex m_mutex; // the properties are atomic
    std::optional<std::string> m_locationString;
    std::optional<double> m_lastUpdated;
};

} // namespace adnet
