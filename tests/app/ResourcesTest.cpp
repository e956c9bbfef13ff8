// The game's own resources: every picture at both scales and every sound, in a form the
// platform and the sound engine read.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/device/AudioFile.h"
#include "platform/gfx/Image.h"
#include "sound/SoundEngine.h"

namespace {

const std::string kResources = BRIMSEY_SOURCE_DIR "/resources/";

const char* const kPictures[] = {"bghome",   "butd1", "butd2",      "butd3",      "butd4",
                                 "butstart", "meter", "metercover", "keepshaking"};
const char* const kSounds[] = {"countdown", "v1", "v3", "v4", "v5", "endloop", "warning"};

std::uint8_t alphaAt(const platform::Image& image, int x, int y)
{
    return static_cast<std::uint8_t>(image.pixelRGBA(x, y) & 0xff);
}

} // namespace

TEST(GamePictures, EachHasA2xVariantOfTheSameSizeInPoints)
{
    for (const char* name : kPictures) {
        SCOPED_TRACE(name);
        std::string error;
        auto one = platform::Image::loadFile(kResources + name + ".png", &error);
        ASSERT_TRUE(one) << error;
        auto two = platform::Image::loadFile(kResources + name + "@2x.png", &error);
        ASSERT_TRUE(two) << error;
        EXPECT_EQ(one->scale(), 1.0);
        EXPECT_EQ(two->scale(), 2.0);
        EXPECT_EQ(two->pixelWidth(), 2 * one->pixelWidth());
        EXPECT_EQ(two->pixelHeight(), 2 * one->pixelHeight());
        EXPECT_EQ(one->size(), two->size());
    }
}

TEST(GamePictures, TheTowerShowsTheMeterOnlyThroughItsWindow)
{
    // The meter is a 50 x 540 column centred at x = 160: at centre y 720 its top is at the
    // window's bottom (450), at 350 it reaches the window's top (80).
    auto cover = platform::Image::loadFile(kResources + "metercover.png");
    ASSERT_TRUE(cover);
    ASSERT_EQ(cover->pixelWidth(), 320);
    ASSERT_EQ(cover->pixelHeight(), 480);
    for (int y : {85, 200, 300, 445})
        for (int x : {150, 175})
            EXPECT_LT(alphaAt(*cover, x, y), 128) << x << "," << y; // the window
    for (int y : {5, 40, 70, 460, 475})
        EXPECT_EQ(alphaAt(*cover, 160, y), 255) << y; // above and below it
    auto meter = platform::Image::loadFile(kResources + "meter.png");
    ASSERT_TRUE(meter);
    EXPECT_EQ(meter->pixelWidth(), 50);
    EXPECT_EQ(meter->pixelHeight(), 540);
    for (int y : {0, 10, 270, 539})
        EXPECT_EQ(alphaAt(*meter, 25, y), 255) << y;
}

TEST(GameSounds, AreSmallMonoPcmTheEngineLoads)
{
    std::set<SoundEngineEffectID> ids;
    ASSERT_EQ(SoundEngine_Initialize(44100.0f), 0);
    for (const char* name : kSounds) {
        SCOPED_TRACE(name);
        std::string path = kResources + name + ".wav";
        auto url = platform::AudioFileURL::fromFileSystemPath(path.data(), path.size());
        ASSERT_TRUE(url);
        std::unique_ptr<platform::AudioFile> file;
        ASSERT_EQ(platform::AudioFile::open(*url, file), platform::kAudioFileNoError);
        platform::AudioStreamDescription format;
        ASSERT_EQ(file->dataFormat(format), 0);
        EXPECT_EQ(format.formatID, platform::kAudioFormatLinearPCM);
        EXPECT_EQ(format.channelsPerFrame, 1u);
        EXPECT_TRUE(format.bitsPerChannel == 16 || format.bitsPerChannel == 8);
        EXPECT_EQ(format.formatFlags & platform::kAudioFormatFlagIsBigEndian, 0u);
        std::uint64_t bytes = 0;
        ASSERT_EQ(file->audioDataByteCount(bytes), 0);
        double seconds = bytes / (format.sampleRate * format.bytesPerFrame);
        EXPECT_GT(seconds, 0.2);
        EXPECT_LT(seconds, 3.0);

        SoundEngineEffectID id = 0;
        EXPECT_EQ(SoundEngine_LoadEffect(path.c_str(), &id), 0);
        EXPECT_NE(id, 0u);
        ids.insert(id);
        EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    }
    EXPECT_EQ(ids.size(), 7u);
}
