#pragma once

#include <deque>
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
    double timestamp{0}; // absolute seconds, as the run loop's clock
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

    // The service the application uses. A desktop backend installs a factory for its real
    // service (GeoClue 2); without one, location services count as switched off.
    static std::shared_ptr<LocationManager> create();
    static void setFactory(Factory factory);

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

// Fixes scripted by a test or a command line: while updating, queued fixes are delivered
// one per turn of the run loop, like a real service would.
class ScriptedLocationManager final : public LocationManager,
                                      public std::enable_shared_from_this<ScriptedLocationManager> {
public:
    explicit ScriptedLocationManager(RunLoop& loop = RunLoop::main()) : m_loop(loop.weak_from_this()) { }

    void setLocationServicesEnabled(bool enabled) { m_enabled = enabled; }
    bool locationServicesEnabled() const override { return m_enabled; }
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;

    void queueFix(LocationCoordinate coordinate);
    bool isUpdating() const { return m_updating; }
    int startCount() const { return m_starts; }
    int stopCount() const { return m_stops; }
    std::size_t queuedFixes() const { return m_queue.size(); }

private:
    void scheduleDelivery();

    std::weak_ptr<RunLoop> m_loop;
    std::deque<LocationCoordinate> m_queue;
    bool m_enabled{true};
    bool m_updating{false};
    bool m_scheduled{false};
    int m_starts{0};
    int m_stops{0};
};

} // namespace platform
