// What reaches the speakers: OpenAL Soft's wave output writes the mix to a file, and these
// tests read the samples back. The output is chosen before the first OpenAL call, once per
// process, so this program has its own configuration.

#include "SoundTestSupport.h"

#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <AL/alc.h>
#include <AL/alext.h>
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

// Seconds of mix written so far. OpenAL Soft's wave output mixes on its own thread and
// catches up after a pause, so a sleep of the test says little about where in the file a
// start lands; the device clock counts the samples actually mixed, and the next change
// lands right after them.
double mixedSeconds()
{
    ALCdevice* device = alcGetContextsDevice(alcGetCurrentContext());
    static auto getInteger64 =
        reinterpret_cast<LPALCGETINTEGER64VSOFT>(alcGetProcAddress(device, "alcGetInteger64vSOFT"));
    ALCint64SOFT clock = 0;
    if (getInteger64)
        getInteger64(device, ALC_DEVICE_CLOCK_SOFT, 1, &clock);
    return static_cast<double>(clock) / 1e9;
}

// Lets the mixer write `seconds` more of the mix (however long that takes a busy machine).
void letMix(double seconds)
{
    const double until = mixedSeconds() + seconds;
    // Only a mixer that never runs takes this long.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (mixedSeconds() < until && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GE(mixedSeconds(), until) << "the mixer stopped";
}

// Starts an effect and says where in the mix it begins: after what was mixed before the
// call, and no later than one update after what was mixed when it returned.
struct StartedAt {
    double notBefore;
    double notAfter;
};
StartedAt startEffect(SoundEngineEffectID id)
{
    constexpr double kOneUpdate = 0.05; // OpenAL Soft mixes 1024 samples at a time
    StartedAt at{mixedSeconds(), 0};
    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    at.notAfter = mixedSeconds() + kOneUpdate;
    return at;
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
    letMix(0.3);
    StartedAt started = startEffect(id);
    letMix(0.4);
    SoundEngineShutDown();

    std::vector<int16_t> mix = readMix();
    ASSERT_GT(mix.size(), static_cast<size_t>(0.6 * kMixRate));
    // Nothing while the effect was only loaded (OpenAL Soft dithers: a step of 1 is silence),
    // then the beep from the start on.
    double heard = firstSound(mix);
    ASSERT_GE(heard, started.notBefore);
    EXPECT_LE(heard, started.notAfter);
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
    StartedAt quietAt = startEffect(silent);
    letMix(0.4);
    StartedAt signedAt = startEffect(signedTone);
    letMix(0.4);
    StartedAt unsignedAt = startEffect(unsignedTone);
    letMix(0.4);
    SoundEngineShutDown();

    std::vector<int16_t> mix = readMix();
    // The silent effect played first, for 0.4 s of mix; each tone lasts 0.2 s.
    double heard = firstSound(mix);
    ASSERT_GE(heard, signedAt.notBefore);
    EXPECT_LE(heard, signedAt.notAfter);
    EXPECT_LT(peak(mix, quietAt.notBefore, heard), 300);
    int signedPeak = peak(mix, heard, heard + 0.2);
    int gap = peak(mix, signedAt.notAfter + 0.2, unsignedAt.notBefore);
    int unsignedPeak = peak(mix, unsignedAt.notBefore, unsignedAt.notAfter + 0.2);
    EXPECT_GT(signedPeak, 8000);
    EXPECT_LT(gap, 300);
    EXPECT_GT(unsignedPeak, 8000);
    EXPECT_LT(signedPeak, 24000) << "a half-scale tone, not noise";
    EXPECT_LT(unsignedPeak, 24000);
}

TEST_F(SoundWaveOutputTest, ALoopingEffectKeepsSoundingAfterItsAttackAndLoopParts)
{
    // The loop part is long enough that the playback thread, which switches looping on
    // after the attack, is not outrun by a mixer catching up after a pause.
    std::string attack = mDir.path("attack.wav"), loop = mDir.path("loop.wav");
    ASSERT_TRUE(writeSound(attack, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 / 10, 1, 880, 22050, 0.5)));
    ASSERT_TRUE(writeSound(loop, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 / 2, 1, 440, 22050, 0.5)));
    SoundEngineEffect effect{loop.c_str(), attack.c_str(), nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    letMix(0.1);
    ASSERT_EQ(effect.Start(), 0);
    letMix(1.2);
    // Attack and loop parts together last 0.6 s; only looping keeps the tone going to the end.
    alSourceStop(effect.GetEffectID());
    letMix(0.2);
    SoundEngineShutDown();
    std::vector<int16_t> mix = readMix();
    double heard = firstSound(mix);
    ASSERT_GT(heard, 0.0);
    EXPECT_GT(peak(mix, heard + 0.8, heard + 1.1), 8000);
}

} // namespace
