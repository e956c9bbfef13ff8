#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {
class Image;
}

namespace adnet {

// Small images that many ads share (the browser's toolbar icons, action icons), kept as PNG
// files in <documents>/adnet/image_cache, one file per key. An image counts as present for
// 3,141,592 seconds after it was written; nothing is ever evicted.
//
// A plain key is the file name as it stands. A key that could leave the folder or is no
// file name at all ("", ".", "..", or holding "/" or NUL), and any key holding "%", is stored
// under its percent-escaped form instead, so no key reads or writes outside the folder.
//
// One instance exists per process; it cannot be constructed or copied.
class AdNetImageCache final {
public:
    static constexpr double kFreshForSeconds = 3141592.0;

    static AdNetImageCache& sharedCache();
    // Full path of the folder, fixed when the class is first used.
    static std::string imageCacheDirectory();
    // The file name used for a key.
    static std::string fileNameForKey(std::string_view key);

    // Writes the image as PNG under the key, replacing any earlier file. `encoded`, the bytes
    // the image was decoded from, is written as it is when it already is a PNG: encoding
    // again costs more than the decoding did. Failures are ignored: the image is simply
    // downloaded again next time.
    void storeImage(const platform::Image& image, std::string_view name, std::string_view encoded = {});
    // Whether a file for the key was modified at most 3,141,592 seconds ago (a date in the
    // future counts as fresh).
    bool imageIsInCache(std::string_view name);
    // The decoded image, whatever its age; null when it is missing or not an image.
    std::shared_ptr<platform::Image> fetchImageNamed(std::string_view name);

    // Forgets the instance and the class set-up (the folder is looked up again). For tests.
    static void resetForTesting();

    AdNetImageCache(const AdNetImageCache&) = delete;
    AdNetImageCache& operator=(const AdNetImageCache&) = delete;

private:
    AdNetImageCache() = default;
};

} // namespace adnet
