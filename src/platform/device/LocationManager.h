#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/core/RunLoop.h"

namespace platform {

struct LocationCoordinate {
    double latitude{0};  // degrees, north positive
    double longitude{0}; // degrees, east positive
};

struct Location {
    LocationCoordinate coordinate;
    double timestamp{0}; // absolute seconds of the calendar (RunLoop::wallTime())
};

// The device's location service: one-shot or continuous fixes between start and stop,
// delivered on the main run loop to the update handler (the platform's location delegate).
class LocationManager {
public:
    using UpdateHandler =
        std::function<void(LocationManager&, const Location& newLocation, const std::optional<Location>& oldLocation)>;
    using Factory = std::function<std::shared_ptr<LocationManager>()>;

    virtual ~LocationManager() = default;

    // Whether location services are switched on for the device.
    virtual bool locationServicesEnabled() const = 0;
    virtual void startUpdatingLocation() = 0;
    virtual void stopUpdatingLocation() = 0;

    void setUpdateHandler(UpdateHandler handler) { m_handler = std::move(handler); }

    // The service the application uses, made by the installed Services' location factory
    // (GeoClue 2 on the desktop, a scripted one in tests); without one, location services
    // count as switched off.
    static std::shared_ptr<LocationManager> create();

protected:
    // Hands a fix to the handler, with the previous fix as the old location.
    void deliver(const Location& location);

private:
    UpdateHandler m_handler;
    std::optional<Location> m_last;
};

// Location services switched off: nothing is ever delivered.
class DisabledLocationManager final : public LocationManager {
public:
    bool locationServicesEnabled() const override { return false; }
    void startUpdatingLocation() override { }
    void stopUpdatingLocation() override { }
};

} // namespace platform
