#pragma once

#include <memory>
#include <string>

#include "platform/device/LocationManager.h"

struct _GDBusConnection;

namespace platform::gtk {

// The device's location from GeoClue 2 over the system D-Bus. Nothing here waits for the
// bus: availability is found out in the background from creation on (the bus, a GeoClue
// client, this application's desktop id and accuracy granted), and until it is known
// location services count as switched off. It is checked again when GeoClue appears on or
// leaves the bus, and, while it counts as off, when asked after kRecheckSeconds. Replies
// and fixes arrive through GLib's main context, which the desktop backend runs together
// with the RunLoop; fixes are handed on from the RunLoop.
class GeoClueLocationManager final : public LocationManager,
                                     public std::enable_shared_from_this<GeoClueLocationManager> {
public:
    static constexpr double kRecheckSeconds = 30.0;

    // desktopId: the application's desktop file name without ".desktop" (GeoClue asks it).
    static std::shared_ptr<GeoClueLocationManager> create(std::string desktopId);
    ~GeoClueLocationManager() override;

    // What is known now; never waits.
    bool locationServicesEnabled() const override;
    // Takes effect once GeoClue is there, if it is not yet.
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;

    // Whether an availability check is under way (for tests and diagnostics).
    bool isChecking() const;

    struct Impl;

private:
    explicit GeoClueLocationManager(std::string desktopId);
    void check();
    void onBus(::_GDBusConnection* bus);
    void onClient(const std::string& path);
    void onClientSetUp(bool granted);
    void onServiceGone();
    void startClient();
    void stopClient();
    void onLocationUpdated(const std::string& locationPath);

    std::unique_ptr<Impl> m_impl;
};

// The desktop backend's location service, for Services::location.
LocationManager::Factory geoClueLocationService(std::string desktopId);

} // namespace platform::gtk
