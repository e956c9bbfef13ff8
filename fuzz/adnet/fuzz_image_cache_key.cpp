// Image-cache keys (action names come straight from the ad server) to file names.
//
// Invariants: a name is never empty, ".", "..", nor holds "/" or NUL, so it stays inside the
// cache folder; a plain key is its own name; the name gives the key back (so distinct keys
// never share a file); and storing an image under the key writes exactly one file, inside
// the folder, that the cache then finds, and nothing outside it.
#include <dirent.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "adnet/AdNetImageCache.h"
#include "common/Check.h"
#include "common/TemporaryDocuments.h"
#include "platform/core/FileSystem.h"
#include "platform/core/Text.h"
#include "platform/gfx/Image.h"

using adnet::AdNetImageCache;
using fuzzcheck::require;

namespace {

std::string g_documents;
std::shared_ptr<platform::Image> g_image;

std::set<std::string> entries(const std::string& directory)
{
    std::set<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    require(dir != nullptr, "the folder can be listed");
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.insert(name);
    }
    ::closedir(dir);
    return names;
}

// The key a file name stands for, decoded here without the cache's help.
std::optional<std::string> keyForName(std::string_view name)
{
    if (name.find('%') == std::string_view::npos)
        return std::string(name);
    if (name == "%")
        return std::string();
    std::string key;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') {
            key.push_back(name[i]);
            continue;
        }
        if (i + 2 >= name.size() || platform::hexDigitValue(name[i + 1]) < 0 ||
            platform::hexDigitValue(name[i + 2]) < 0)
            return std::nullopt;
        key.push_back(
            static_cast<char>(platform::hexDigitValue(name[i + 1]) * 16 + platform::hexDigitValue(name[i + 2])));
        i += 2;
    }
    return key;
}

bool isPlain(std::string_view key)
{
    return !key.empty() && key != "." && key != ".." && key.find_first_of(std::string_view("/\0%", 3)) == key.npos;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_documents = fuzzcheck::useTemporaryDocuments("brimsey-fuzz-cache");
    const std::uint8_t pixel[4] = {255, 0, 0, 255};
    g_image = platform::Image::fromRGBA(1, 1, pixel);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Two keys: the first byte says how long the first one is.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (input.empty())
        return 0;
    const std::size_t split = std::min<std::size_t>(static_cast<unsigned char>(input[0]), input.size() - 1);
    const std::string_view a = input.substr(1, split);
    const std::string_view b = input.substr(1 + split);

    const std::string nameA = AdNetImageCache::fileNameForKey(a);
    const std::string nameB = AdNetImageCache::fileNameForKey(b);
    for (const std::string* name : {&nameA, &nameB}) {
        require(!name->empty() && *name != "." && *name != "..", "a name is a file name");
        require(name->find_first_of(std::string_view("/\0", 2)) == std::string::npos, "a name has no / or NUL");
    }
    require(!isPlain(a) || nameA == a, "a plain key is its own name");
    require(keyForName(nameA) == std::string(a), "the name gives the key back");
    require((a == b) == (nameA == nameB), "distinct keys, distinct names");

    // Through the file system, for names the system can hold.
    if (nameA.size() > 200)
        return 0;
    const std::string folder = AdNetImageCache::imageCacheDirectory();
    auto& cache = AdNetImageCache::sharedCache();
    const auto outside = entries(g_documents);
    cache.storeImage(*g_image, a);
    const auto inside = entries(folder);
    require(inside.size() == 1 && *inside.begin() == nameA, "one file, under the key's name, inside the folder");
    require(entries(g_documents) == outside, "nothing is written beside the folder");
    require(cache.imageIsInCache(a), "a stored key is in the cache");
    require(a == b || !cache.imageIsInCache(b), "another key is not");
    require(::unlink(platform::fs::joinPath(folder, nameA).c_str()) == 0, "the file is where the name says");
    return 0;
}
