#include "platform/device/LocationManager.h"

#include <mutex>

namespace platform {

namespace {

std::mutex& factoryMutex()
{
    static std::mutex mutex;
    return mutex;
}

LocationManager::Factory& factorySlot()
{
    static LocationManager::Factory factory;
    return factory;
}

} // namespace

std::shared_ptr<LocationManager> LocationManager::create()
{
    Factory factory;
    {
        std::lock_guard lock(factoryMutex());
        factory = factorySlot();
    }
    if (factory)
        if (auto manager = factory())
            return manager;
    return std::make_shared<DisabledLocationManager>();
}

void LocationManager::setFactory(Factory factory)
{
    std::lock_guard lock(factoryMutex());
    factorySlot() = std::move(factory);
}

void LocationManager::deliver(const Location& location)
{
    std::optional<Location> old = m_last;
    m_last = location;
    if (m_handler) {
        auto handler = m_handler; // the handler may replace itself
        handler(*this, location, old);
    }
}

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
        self->deliver({next, loop ? loop->now() : RunLoop::wallClockNow()});
        self->scheduleDelivery();
    });
}

} // namespace platform
