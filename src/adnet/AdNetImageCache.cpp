#include "adnet/AdNetImageCache.h"

#include "adnet/AdNetConfiguration.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Image.h"

#include <cmath>
#include <mutex>

namespace adnet {

namespace {

struct ClassState {
    std::string directory;
    std::unique_ptr<AdNetImageCache> shared;
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
        slot->directory = platform::fs::joinPath(platform::documentsDirectory(), "adnet/image_cache");
        platform::fs::makeDirectories(slot->directory); // a failure only means no cache
    }
    return *slot;
}

std::string pathForKey(std::string_view key)
{
    return platform::fs::joinPath(AdNetImageCache::imageCacheDirectory(), AdNetImageCache::fileNameForKey(key));
}

} // namespace

AdNetImageCache& AdNetImageCache::sharedCache()
{
    std::lock_guard lock(classLock());
    ClassState& state = classState();
    if (!state.shared)
        state.shared.reset(new AdNetImageCache());
    return *state.shared;
}

void AdNetImageCache::resetForTesting()
{
    std::lock_guard lock(classLock());
    classSlot().reset();
}

std::string AdNetImageCache::imageCacheDirectory()
{
    return classState().directory;
}

std::string AdNetImageCache::fileNameForKey(std::string_view key)
{
    const bool unsafe = key.empty() || key == "." || key == ".." ||
                        key.find_first_of(std::string_view("/\0%", 3)) != std::string_view::npos;
    if (!unsafe)
        return std::string(key);
    if (key.empty())
        return "%"; // no escaped key is a lone "%"
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    for (char c : key) {
        auto u = static_cast<unsigned char>(c);
        if (c == '/' || c == '%' || c == '.' || u == 0) {
            name.push_back('%');
            name.push_back(kHex[u >> 4]);
            name.push_back(kHex[u & 15]);
        } else {
            name.push_back(c);
        }
    }
    return name;
}

void AdNetImageCache::storeImage(const platform::Image& image, std::string_view name, std::string_view encoded)
{
    static constexpr std::string_view kPNGSignature{"\x89PNG\r\n\x1a\n", 8};
    if (encoded.starts_with(kPNGSignature)) {
        platform::fs::writeFileAtomically(pathForKey(name), encoded);
        return;
    }
    std::vector<std::uint8_t> png = image.encodePNG();
    if (png.empty())
        return;
    platform::fs::writeFileAtomically(pathForKey(name),
                                      std::string_view(reinterpret_cast<const char*>(png.data()), png.size()));
}

bool AdNetImageCache::imageIsInCache(std::string_view name)
{
    auto modified = platform::fs::modificationTime(pathForKey(name));
    if (!modified)
        return false;
    // The file's date is calendar time, and so is the age: a machine that slept for a month
    // has month-older icons.
    const double interval = *modified - platform::RunLoop::main().wallTime();
    if (std::isnan(interval) || interval < -kFreshForSeconds)
        return false;
    return true;
}

std::shared_ptr<platform::Image> AdNetImageCache::fetchImageNamed(std::string_view name)
{
    const auto& config = configuration();
    auto bytes = platform::fs::readFile(pathForKey(name), config.maxImageBytes);
    if (!bytes)
        return nullptr;
    platform::ImageLimits limits;
    limits.maxBytes = config.maxImageBytes;
    limits.maxPixels = config.maxImagePixels;
    return platform::Image::decode(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size()), nullptr,
        limits);
}

} // namespace adnet
