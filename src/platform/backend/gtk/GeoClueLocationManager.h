#pragma once

#include <memory>
#include <string>

#include "platform/device/LocationManager.h"

namespace platform::gtk {

// The device's location from GeoClue 2 over the system D-Bus. Location services count as
// switched on only when the bus and the GeoClue service answer and grant this application a
// client; without either (a desktop with no GeoClue, a container without a system bus) they
// count as switched off. Fixes arrive through GLib's main context, which the desktop backend
// runs together with the RunLoop, and are handed on from the RunLoop.
class GeoClueLocationManager final : public LocationManager,
                                     public std::enable_shared_from_this<GeoClueLocationManager> {
public:
    // desktopId: the application's desktop file name without ".desktop" (GeoClue asks it).
    static std::shared_ptr<GeoClueLocationManager> create(std::string desktopId);
    ~GeoClueLocationManager() override;

    bool locationServicesEnabled() const override;
    void startUpdatingLocation() override;
    void stopUpdatingLocation() override;

    struct Impl;

private:
    explicit GeoClueLocationManager(std::string desktopId);
    bool connect() const; // once; the answer is kept
    void onLocationUpdated(const std::string& locationPath);

    std::unique_ptr<Impl> m_impl;
};

// Makes GeoClue the location service of every LocationManager::create() in this process.
void installGeoClueLocationService(const std::string& desktopId);

} // namespace platform::gtk
