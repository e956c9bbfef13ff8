#pragma once

#include <deque>
#include <memory>

#include "platform/core/RunLoop.h"
#include "platform/device/LocationManager.h"

namespace platform {

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
