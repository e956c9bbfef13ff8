#include "TestSupport.h"

#include <dirent.h>

#include <set>
#include <type_traits>

using adnet::AdNetImageCache;
using namespace adnettest;

namespace {

class AdNetImageCacheTest : public AdNetTest {
protected:
    AdNetImageCache& cache() { return AdNetImageCache::sharedCache(); }
    std::string dir() { return AdNetImageCache::imageCacheDirectory(); }
    std::set<std::string> filesIn(const std::string& path)
    {
        std::set<std::string> names;
        if (DIR* d = opendir(path.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                    names.insert(e->d_name);
            closedir(d);
        }
        return names;
    }
};

} // namespace

TEST_F(AdNetImageCacheTest, OneInstanceThatCannotBeMadeOrCopied)
{
    static_assert(!std::is_default_constructible_v<AdNetImageCache>);
    static_assert(!std::is_copy_constructible_v<AdNetImageCache>);
    EXPECT_EQ(&AdNetImageCache::sharedCache(), &AdNetImageCache::sharedCache());
    EXPECT_EQ(dir(), documents + "/adnet/image_cache");
}

TEST_F(AdNetImageCacheTest, AStoredImageIsPresentUntilItsFileIsOlderThanTheLimit)
{
    cache().storeImage(*solidImage(4, 3, 0xff0000ff), "back");
    EXPECT_TRUE(cache().imageIsInCache("back"));
    const std::string file = dir() + "/back";
    const double now = loop->wallTime();
    platform::fs::setModificationTime(file, now - 3141592 + 1);
    EXPECT_TRUE(cache().imageIsInCache("back"));
    platform::fs::setModificationTime(file, now - 3141593);
    EXPECT_FALSE(cache().imageIsInCache("back"));
    platform::fs::setModificationTime(file, now + 86400); // a date in the future is fresh
    EXPECT_TRUE(cache().imageIsInCache("back"));
    EXPECT_FALSE(cache().imageIsInCache("forward"));
    // Ages count calendar time: after the machine slept past the limit, the loop's clock
    // has barely moved but the image is old.
    platform::fs::setModificationTime(file, now);
    loop->setWallTimeOffset(3141593);
    EXPECT_FALSE(cache().imageIsInCache("back"));
}

TEST_F(AdNetImageCacheTest, AStaleImageIsStillFetchedAndAStoreRestartsItsAge)
{
    cache().storeImage(*solidImage(2, 2, 0x00ff00ff), "url");
    platform::fs::setModificationTime(dir() + "/url", loop->wallTime() - 4000000);
    ASSERT_FALSE(cache().imageIsInCache("url"));
    auto stale = cache().fetchImageNamed("url");
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->pixelRGBA(1, 1), 0x00ff00ffu);

    cache().storeImage(*solidImage(3, 1, 0x0000ffff), "url"); // twice under one key
    EXPECT_TRUE(cache().imageIsInCache("url"));
    auto fresh = cache().fetchImageNamed("url");
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh->pixelWidth(), 3);
    EXPECT_EQ(fresh->pixelRGBA(0, 0), 0x0000ffffu);
    EXPECT_EQ(filesIn(dir()), std::set<std::string>{"url"});
}

TEST_F(AdNetImageCacheTest, ImagesAreKeptAsPNGWhateverTheyCameAs)
{
    // A GIF comes in; PNG bytes go to disk under the bare key.
    static const unsigned char gif[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                        0x00, 0x00, 0xff, 0x00, 0x00, 0x00, 0x00, 0x00, 0x21, 0xf9, 0x04,
                                        0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00, 0x00, 0x00, 0x01,
                                        0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};
    auto image = platform::Image::decode(std::span<const std::uint8_t>(gif, sizeof gif));
    ASSERT_TRUE(image);
    // Given the GIF's own bytes too, it is still encoded.
    cache().storeImage(*image, "canvas", std::string_view(reinterpret_cast<const char*>(gif), sizeof gif));
    auto bytes = platform::fs::readFile(dir() + "/canvas", 1 << 20);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(bytes->substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(cache().fetchImageNamed("canvas")->pixelRGBA(0, 0), image->pixelRGBA(0, 0));

    // A PNG that came in is kept byte for byte, not encoded again.
    const std::string png = *bytes + "trailing bytes a decoder ignores";
    cache().storeImage(*image, "png", png);
    EXPECT_EQ(platform::fs::readFile(dir() + "/png", 1 << 20), png);
}

TEST_F(AdNetImageCacheTest, AFreshFileThatIsNoImageFetchesAsNothing)
{
    ASSERT_TRUE(platform::fs::writeFileAtomically(dir() + "/broken", "not a png"));
    EXPECT_TRUE(cache().imageIsInCache("broken"));
    EXPECT_FALSE(cache().fetchImageNamed("broken"));
    EXPECT_FALSE(cache().fetchImageNamed("missing"));
}

TEST_F(AdNetImageCacheTest, KeysThatCouldLeaveTheFolderStayInsideIt)
{
    auto colour = [](std::size_t i) { return (0x10u + std::uint32_t(i)) << 24 | 0x2030ffu; };
    const std::string parent = documents + "/adnet";
    dir(); // the folder exists before anything is stored
    auto before = filesIn(parent);
    const std::vector<std::string> keys{"../escape", "..",  ".", "", "a/b", "/etc/passwd", std::string("nul\0byte", 8),
                                        "%2E%2E",    "100%"};
    for (std::size_t i = 0; i < keys.size(); ++i)
        cache().storeImage(*solidImage(1, 1, colour(i)), keys[i]);
    EXPECT_EQ(filesIn(parent), before); // nothing written beside the cache folder
    auto names = filesIn(dir());
    EXPECT_EQ(names.size(), keys.size()); // no two keys share a file
    for (const auto& name : names)
        EXPECT_EQ(name.find('/'), std::string::npos);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_TRUE(cache().imageIsInCache(keys[i])) << i;
        auto image = cache().fetchImageNamed(keys[i]);
        ASSERT_TRUE(image) << i;
        EXPECT_EQ(image->pixelRGBA(0, 0), colour(i)) << i;
    }
    EXPECT_EQ(AdNetImageCache::fileNameForKey("forward_disable"), "forward_disable");
    EXPECT_EQ(AdNetImageCache::fileNameForKey(".."), "%2E%2E");
    EXPECT_EQ(AdNetImageCache::fileNameForKey("../x"), "%2E%2E%2Fx");
}

TEST_F(AdNetImageCacheTest, ALinkPlantedInTheFolderIsNeitherReadNorWrittenThrough)
{
    const std::string outside = documents + "/outside.png";
    const std::string png = pngBytes(1, 1, 0xabcdefffu);
    ASSERT_TRUE(platform::fs::writeFileAtomically(outside, png));
    ASSERT_EQ(symlink(outside.c_str(), (dir() + "/planted").c_str()), 0);
    EXPECT_FALSE(cache().fetchImageNamed("planted"));
    cache().storeImage(*solidImage(1, 1, 0x000000ffu), "planted");
    EXPECT_EQ(platform::fs::readFile(outside, 1 << 20), png);
    EXPECT_EQ(cache().fetchImageNamed("planted")->pixelRGBA(0, 0), 0x000000ffu);
}

TEST_F(AdNetImageCacheTest, AMissingFolderOnlyMeansNoCache)
{
    platform::fs::removeTree(dir());
    cache().storeImage(*solidImage(1, 1, 0xffffffffu), "back");
    EXPECT_FALSE(cache().imageIsInCache("back"));
    EXPECT_FALSE(cache().fetchImageNamed("back"));
}
