#include "TestSupport.h"

#include <sys/stat.h>

#include <type_traits>

using adnet::AdNetLocationManager;
using namespace adnettest;

namespace {

class AdNetLocationManagerTest : public AdNetTest {
protected:
    AdNetLocationManager& manager() { return AdNetLocationManager::sharedManager(); }
    std::string path() { return AdNetLocationManager::locationCachePath(); }
    void writeCache(const std::string& text, double ageSeconds)
    {
        ASSERT_TRUE(platform::fs::writeFileAtomically(path(), text));
        ASSERT_TRUE(platform::fs::setModificationTime(path(), loop->wallTime() - ageSeconds));
    }
};

} // namespace

TEST_F(AdNetLocationManagerTest, OneInstanceThatCannotBeMadeOrCopied)
{
    static_assert(!std::is_default_constructible_v<AdNetLocationManager>);
    static_assert(!std::is_copy_constructible_v<AdNetLocationManager>);
    static_assert(!std::is_copy_assignable_v<AdNetLocationManager>);
    EXPECT_EQ(&AdNetLocationManager::sharedManager(), &AdNetLocationManager::sharedManager());
}

TEST_F(AdNetLocationManagerTest, TheCacheLivesInTheDocumentsFolderWhichIsCreatedUpFront)
{
    EXPECT_EQ(path(), documents + "/adnet/location_cache/location.txt");
    struct stat st { };
    EXPECT_EQ(stat((documents + "/adnet/location_cache").c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

TEST_F(AdNetLocationManagerTest, StalenessIsStrictlyMoreThan300Seconds)
{
    struct Case {
        double age;
        int starts;
    };
    for (Case c : {Case{299, 0}, Case{300, 0}, Case{301, 1}, Case{-5000, 0}}) {
        adnet::AdNetLocationManager::resetForTesting();
        writeCache("10.000000,20.000000", c.age);
        int before = location->startCount();
        manager().updateIfAppropriate();
        EXPECT_EQ(location->startCount() - before, c.starts) << "age " << c.age;
    }
}

TEST_F(AdNetLocationManagerTest, NoCacheAndServicesOnStartsAFixServicesOffStartsNothing)
{
    EXPECT_FALSE(manager().locationString());
    EXPECT_FALSE(manager().lastUpdated());
    location->setLocationServicesEnabled(false);
    manager().updateIfAppropriate();
    EXPECT_EQ(location->startCount(), 0);
    location->setLocationServicesEnabled(true);
    manager().updateIfAppropriate();
    EXPECT_EQ(location->startCount(), 1);
    EXPECT_TRUE(location->isUpdating());
}

TEST_F(AdNetLocationManagerTest, AFixIsTakenOnceAndWrittenAsExactText)
{
    manager().updateIfAppropriate();
    location->queueFix({-33.8688, 151.2093});
    location->queueFix({1, 1}); // a second fix must not be taken: updates stop after one
    loop->runFor(1.0);
    EXPECT_FALSE(location->isUpdating());
    EXPECT_EQ(location->stopCount(), 1);
    EXPECT_EQ(platform::fs::readFile(path(), 100), "-33.868800,151.209300");
    EXPECT_EQ(manager().locationString(), "-33.868800,151.209300");
    ASSERT_TRUE(manager().lastUpdated());
    EXPECT_NEAR(*manager().lastUpdated(), loop->wallTime(), 1.0);
    EXPECT_EQ(location->queuedFixes(), 1u);
}

TEST_F(AdNetLocationManagerTest, FixesNearLatitudeAndLongitudeZeroAreDiscarded)
{
    struct Case {
        double lat, lon;
        bool kept;
    };
    for (Case c : {Case{0.0005, 0.0005, false}, Case{0.0005, 0.002, true}, Case{-0.002, 0.0, true},
                   Case{0.001, -0.001, false}, Case{0.0, 0.0, false}}) {
        adnet::AdNetLocationManager::resetForTesting();
        platform::fs::removeTree(path());
        manager().updateIfAppropriate();
        location->queueFix({c.lat, c.lon});
        loop->runFor(0.1);
        EXPECT_FALSE(location->isUpdating());
        EXPECT_EQ(manager().locationString().has_value(), c.kept) << c.lat << "," << c.lon;
        EXPECT_EQ(platform::fs::readFile(path(), 100).has_value(), c.kept) << c.lat << "," << c.lon;
    }
}

TEST_F(AdNetLocationManagerTest, APositionFromAnEarlierRunIsReadOnceWithTheFileDate)
{
    writeCache("51.507400,-0.127800", 120);
    const double written = *platform::fs::modificationTime(path());
    EXPECT_EQ(manager().locationString(), "51.507400,-0.127800");
    EXPECT_DOUBLE_EQ(*manager().lastUpdated(), written);
    // Read once per process: a later change on disk does not show.
    writeCache("1.000000,1.000000", 0);
    EXPECT_EQ(manager().locationString(), "51.507400,-0.127800");
}

TEST_F(AdNetLocationManagerTest, AForeignCacheFileIsNotTrusted)
{
    // Binary junk, an oversized file or a link elsewhere give no position.
    writeCache(std::string("12.0\n\x01\xff", 7), 10);
    EXPECT_FALSE(manager().locationString());
    adnet::AdNetLocationManager::resetForTesting();
    writeCache(std::string(10000, '1'), 10);
    EXPECT_FALSE(manager().locationString());
    adnet::AdNetLocationManager::resetForTesting();
    platform::fs::removeTree(path());
    const std::string elsewhere = documents + "/elsewhere.txt";
    ASSERT_TRUE(platform::fs::writeFileAtomically(elsewhere, "9.000000,9.000000"));
    ASSERT_EQ(symlink(elsewhere.c_str(), path().c_str()), 0);
    EXPECT_FALSE(manager().locationString());
    // A fix replaces the link; the file it pointed at stays as it was.
    ASSERT_TRUE(platform::fs::setModificationTime(path(), loop->wallTime() - 1000));
    manager().updateIfAppropriate();
    location->queueFix({5, 6});
    loop->runFor(0.1);
    EXPECT_EQ(platform::fs::readFile(elsewhere, 100), "9.000000,9.000000");
    EXPECT_EQ(platform::fs::readFile(path(), 100), "5.000000,6.000000");
}

TEST_F(AdNetLocationManagerTest, AFailedWriteStillStampsTheTime)
{
    const std::string file = path(); // sets the class up (and makes the folder) first
    platform::fs::removeTree(documents + "/adnet");
    manager().setLocationString("3.000000,4.000000");
    manager().writeLocationStringToCache();
    EXPECT_FALSE(platform::fs::readFile(file, 100));
    ASSERT_TRUE(manager().lastUpdated());
    EXPECT_NEAR(*manager().lastUpdated(), loop->wallTime(), 1e-6);
}
