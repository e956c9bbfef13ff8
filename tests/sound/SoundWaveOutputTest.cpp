// What reaches the speakers: OpenAL Soft's wave output writes the mix to a file, and these
// tests read the samples back. The output is chosen before the first OpenAL call, once per
// process, so this program has its own configuration.

#include "SoundTestSupport.h"

#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

using namespace soundtest;

namespace {

constexpr int kMixRate = 44100;

// Set up before main, so before any OpenAL call: the wave output, mono int16, into a file
// in a folder of this process's own.
struct WaveOutput {
    TempDir dir;
    std::string mix = dir.path("mix.wav");
    WaveOutput()
    {
        std::string conf = dir.path("alsoft.conf");
        std::ofstream out(conf);
        out << "[general]\nchannels=mono\nsample-type=int16\n[wave]\nfile=" << mix << "\n";
        out.close();
        setenv("ALSOFT_DRIVERS", "wave", 1);
        setenv("ALSOFT_CONF", conf.c_str(), 1);
    }
};
WaveOutput& output()
{
    static WaveOutput instance;
    return instance;
}
const bool kConfigured = (output(), true);

// The mix written since the device was opened; the file is complete once it is closed.
std::vector<int16_t> readMix()
{
    SF_INFO info{};
    SNDFILE* file = sf_open(output().mix.c_str(), SFM_READ, &info);
    if (!file) {
        ADD_FAILURE() << "no mix file: " << sf_strerror(nullptr);
        return {};
    }
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.samplerate, kMixRate);
    std::vector<int16_t> samples(static_cast<size_t>(info.frames));
    sf_read_short(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

int peak(const std::vector<int16_t>& samples, double fromSeconds, double toSeconds)
{
    size_t from = std::min(samples.size(), static_cast<size_t>(fromSeconds * kMixRate));
    size_t to = std::min(samples.size(), static_cast<size_t>(toSeconds * kMixRate));
    int highest = 0;
    for (size_t i = from; i < to; ++i)
        highest = std::max(highest, std::abs(static_cast<int>(samples[i])));
    return highest;
}

// Seconds into the mix of the first clearly audible sample (the file starts a little after
// the device opens, so tests measure from what they hear); -1 when all is silence.
double firstSound(const std::vector<int16_t>& samples)
{
    for (size_t i = 0; i < samples.size(); ++i)
        if (std::abs(static_cast<int>(samples[i])) > 1000)
            return static_cast<double>(i) / kMixRate;
    return -1.0;
}

void sleepSeconds(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

class SoundWaveOutputTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(kConfigured);
        ASSERT_EQ(SoundEngine_Initialize(kMixRate), 0);
    }
    void TearDown() override { SoundEngineShutDown(); }
    TempDir mDir;
};

TEST_F(SoundWaveOutputTest, AStartedEffectIsHeardAndALoadedOneIsNot)
{
    std::string path = mDir.path("beep.wav");
    ASSERT_TRUE(writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 / 5, 1, 440, 22050, 0.5)));
    SoundEngineEffectID id = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(path.c_str(), &id), 0);
    sleepSeconds(0.3);
    ASSERT_EQ(SoundEngine_StartEffect(id), 0);
    sleepSeconds(0.4);
    SoundEngineShutDown();

    std::vector<int16_t> mix = readMix();
    ASSERT_GT(mix.size(), static_cast<size_t>(0.6 * kMixRate));
    // Nothing while the effect was only loaded (OpenAL Soft dithers: a step of 1 is silence),
    // then the beep.
    double heard = firstSound(mix);
    ASSERT_GT(heard, 0.2);
    EXPECT_LT(peak(mix, 0.0, heard), 300);
    EXPECT_GT(peak(mix, heard, heard + 0.2), 8000);
}

TEST_F(SoundWaveOutputTest, EightBitFilesOfEitherSignednessPlayAsTheySound)
{
    // Silence stays silent: signed silence handed over as unsigned would be full-scale DC.
    std::string quiet = mDir.path("quiet.aiff");
    ASSERT_TRUE(writeSound(quiet, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 22050, std::vector<int16_t>(22050 / 5, 0)));
    std::string aiff = mDir.path("tone.aiff");
    ASSERT_TRUE(writeSound(aiff, SF_FORMAT_AIFF | SF_FORMAT_PCM_S8, 1, 22050, sine(22050 / 5, 1, 440, 22050, 0.5)));
    std::string wav = mDir.path("tone.wav");
    ASSERT_TRUE(writeSound(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 22050, sine(22050 / 5, 1, 440, 22050, 0.5)));
    SoundEngineEffectID silent = 0, signedTone = 0, unsignedTone = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(quiet.c_str(), &silent), 0);
    ASSERT_EQ(SoundEngine_LoadEffect(aiff.c_str(), &signedTone), 0);
    ASSERT_EQ(SoundEngine_LoadEffect(wav.c_str(), &unsignedTone), 0);
    ASSERT_EQ(SoundEngine_StartEffect(silent), 0);
    sleepSeconds(0.4);
    ASSERT_EQ(SoundEngine_StartEffect(signedTone), 0);
    sleepSeconds(0.4);
    ASSERT_EQ(SoundEngine_StartEffect(unsignedTone), 0);
    sleepSeconds(0.4);
    SoundEngineShutDown();

    std::vector<int16_t> mix = readMix();
    // The silent effect played first, for 0.4 s.
    double heard = firstSound(mix);
    ASSERT_GT(heard, 0.3);
    EXPECT_LT(peak(mix, 0.0, heard), 300);
    int signedPeak = peak(mix, heard, heard + 0.2);
    int gap = peak(mix, heard + 0.25, heard + 0.35);
    int unsignedPeak = peak(mix, heard + 0.35, heard + 0.7);
    EXPECT_GT(signedPeak, 8000);
    EXPECT_LT(gap, 300);
    EXPECT_GT(unsignedPeak, 8000);
    EXPECT_LT(signedPeak, 24000) << "a half-scale tone, not noise";
    EXPECT_LT(unsignedPeak, 24000);
}

TEST_F(SoundWaveOutputTest, ALoopingEffectKeepsSoundingAfterItsAttackAndLoopParts)
{
    std::string attack = mDir.path("attack.wav"), loop = mDir.path("loop.wav");
    ASSERT_TRUE(writeSound(attack, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 / 10, 1, 880, 22050, 0.5)));
    ASSERT_TRUE(writeSound(loop, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 / 10, 1, 440, 22050, 0.5)));
    SoundEngineEffect effect{loop.c_str(), attack.c_str(), nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    sleepSeconds(0.1);
    ASSERT_EQ(effect.Start(), 0);
    sleepSeconds(0.8);
    // Attack and loop parts together last 0.2 s; only looping keeps the tone going to the end.
    alSourceStop(effect.GetEffectID());
    sleepSeconds(0.2);
    SoundEngineShutDown();
    std::vector<int16_t> mix = readMix();
    double heard = firstSound(mix);
    ASSERT_GT(heard, 0.0);
    EXPECT_GT(peak(mix, heard + 0.4, heard + 0.7), 8000);
}

} // namespace
