#include "platform/backend/headless/ScriptedLocationManager.h"

namespace platform {

void ScriptedLocationManager::startUpdatingLocation()
{
    ++m_starts;
    m_updating = true;
    scheduleDelivery();
}

void ScriptedLocationManager::stopUpdatingLocation()
{
    ++m_stops;
    m_updating = false;
}

void ScriptedLocationManager::queueFix(LocationCoordinate coordinate)
{
    m_queue.push_back(coordinate);
    scheduleDelivery();
}

void ScriptedLocationManager::scheduleDelivery()
{
    auto loop = m_loop.lock();
    if (!loop || !m_updating || m_queue.empty() || m_scheduled)
        return;
    m_scheduled = true;
    std::weak_ptr<ScriptedLocationManager> weak = weak_from_this();
    loop->post([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_scheduled = false;
        if (!self->m_updating || self->m_queue.empty())
            return;
        LocationCoordinate next = self->m_queue.front();
        self->m_queue.pop_front();
        auto loop = self->m_loop.lock();
        self->deliver({next, loop ? loop->wallTime() : RunLoop::wallClockNow()});
        self->scheduleDelivery();
    });
}

} // namespace platform
