#include "adnet/AdNetLocationManager.h"

#include "FormatNumber.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"
#include "platform/core/RunLoop.h"

#include <cmath>

namespace adnet {

namespace {

constexpr std::size_t kCacheFileCap = 4096;

// Class-level state, set up once under the class lock.
struct ClassState {
    std::string cachePath;
    std::shared_ptr<platform::LocationManager> systemLocationManager;
    std::unique_ptr<AdNetLocationManager> shared;
};

std::recursive_mutex& classLock()
{
    static std::recursive_mutex lock;
    return lock;
}

std::unique_ptr<ClassState>& classSlot()
{
    static std::unique_ptr<ClassState> slot;
    return slot;
}

ClassState& classState()
{
    std::lock_guard lock(classLock());
    auto& slot = classSlot();
    if (!slot) {
        slot = std::make_unique<ClassState>();
        const std::string directory = platform::fs::joinPath(platform::documentsDirectory(), "adnet/location_cache");
        slot->cachePath = platform::fs::joinPath(directory, "location.txt");
        platform::fs::makeDirectories(directory); // a failure only means no cache
        slot->systemLocationManager = platform::LocationManager::create();
    }
    return *slot;
}

bool isPlainASCII(const std::string& text)
{
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u >= 0x7f)
            return false;
    }
    return true;
}

} // namespace

AdNetLocationManager& AdNetLocationManager::sharedManager()
{
    std::lock_guard lock(classLock());
    ClassState& state = classState();
    if (!state.shared)
        state.shared.reset(new AdNetLocationManager());
    return *state.shared;
}

void AdNetLocationManager::resetForTesting()
{
    std::lock_guard lock(classLock());
    auto& slot = classSlot();
    if (slot && slot->systemLocationManager) {
        slot->systemLocationManager->stopUpdatingLocation();
        slot->systemLocationManager->setUpdateHandler({});
    }
    slot.reset();
}

std::string AdNetLocationManager::locationCachePath()
{
    return classState().cachePath;
}

std::string AdNetLocationManager::stringForLocation(const platform::LocationCoordinate& coordinate)
{
    return formatFixed6(coordinate.latitude) + "," + formatFixed6(coordinate.longitude);
}

bool AdNetLocationManager::locationServicesEnabled() const
{
    return classState().systemLocationManager->locationServicesEnabled();
}

void AdNetLocationManager::updateIfAppropriate()
{
    const auto updated = lastUpdated();
    // Ages are calendar time, like the file's date: a machine that slept has stale data.
    const double now = platform::RunLoop::main().wallTime();
    const bool stale = !updated || now - *updated > kStaleAfterSeconds;
    if (!stale || !locationServicesEnabled())
        return;
    auto manager = classState().systemLocationManager;
    manager->setUpdateHandler(
        [this](platform::LocationManager& m, const platform::Location& fix,
               const std::optional<platform::Location>& old) { locationManagerDidUpdateToLocation(m, fix, old); });
    manager->startUpdatingLocation();
}

void AdNetLocationManager::locationManagerDidUpdateToLocation(platform::LocationManager& manager,
                                                              const platform::Location& newLocation,
                                                              const std::optional<platform::Location>&)
{
    manager.stopUpdatingLocation();
    const auto& c = newLocation.coordinate;
    if (!std::isfinite(c.latitude) || !std::isfinite(c.longitude))
        return;
    if (std::fabs(c.latitude) > kNullIslandTolerance || std::fabs(c.longitude) > kNullIslandTolerance) {
        setLocationString(stringForLocation(c));
        writeLocationStringToCache();
    }
}

std::optional<std::string> AdNetLocationManager::locationString()
{
    std::lock_guard lock(m_mutex);
    if (!m_locationString) {
        auto text = platform::fs::readFile(locationCachePath(), kCacheFileCap);
        if (text && isPlainASCII(*text))
            m_locationString = std::move(text);
    }
    return m_locationString;
}

std::optional<double> AdNetLocationManager::lastUpdated()
{
    std::lock_guard lock(m_mutex);
    if (!m_lastUpdated)
        m_lastUpdated = platform::fs::modificationTime(locationCachePath());
    return m_lastUpdated;
}

void AdNetLocationManager::setLocationString(std::optional<std::string> text)
{
    std::lock_guard lock(m_mutex);
    m_locationString = std::move(text);
}

void AdNetLocationManager::setLastUpdated(std::optional<double> time)
{
    std::lock_guard lock(m_mutex);
    m_lastUpdated = time;
}

void AdNetLocationManager::writeLocationStringToCache()
{
    std::string text;
    {
        std::lock_guard lock(m_mutex);
        text = m_locationString.value_or("");
    }
    platform::fs::writeFileAtomically(locationCachePath(), text); // a failed write is not fatal
    setLastUpdated(platform::RunLoop::main().wallTime());
}

} // namespace adnet
