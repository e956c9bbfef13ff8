// The four SoundEngine_ functions and the device object behind them, on OpenAL Soft's null
// output (ctest sets ALSOFT_DRIVERS=null).

#include "SoundTestSupport.h"

#include "sound/OpenALObject.h"
#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <array>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

using namespace soundtest;

namespace {

class SoundEngineTest : public testing::Test {
protected:
    void SetUp() override
    {
        SoundEngineShutDown();
        ASSERT_TRUE(writeSound(mBeep, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 / 2, 1, 440, 22050)));
    }
    void TearDown() override { SoundEngineShutDown(); }

    static ALint sourceState(ALuint source)
    {
        ALint state = 0;
        alGetSourcei(source, AL_SOURCE_STATE, &state);
        return state;
    }
    static ALfloat sourceOffset(ALuint source)
    {
        ALfloat seconds = -1;
        alGetSourcef(source, AL_SEC_OFFSET, &seconds);
        return seconds;
    }

    TempDir mDir;
    std::string mBeep = mDir.path("beep.wav");
};

TEST_F(SoundEngineTest, BeforeInitialisationStartAndListenerSay1AndLoadInitialisesItself)
{
    EXPECT_EQ(SoundEngine_StartEffect(1), kSoundEngineErrNotInitialized);
    EXPECT_EQ(SoundEngine_SetListenerPosition(1, 2, 3), kSoundEngineErrNotInitialized);
    EXPECT_EQ(SoundEngineDeviceObject(), nullptr);

    SoundEngineEffectID id = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &id), 0);
    ASSERT_NE(SoundEngineDeviceObject(), nullptr);
    EXPECT_EQ(SoundEngineDeviceObject()->GetMixerOutputRate(), 0.0f);
    EXPECT_EQ(SoundEngineBackgroundTrackMgr(), nullptr) << "only Initialize makes the manager";
    EXPECT_NE(id, 0u);
    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    EXPECT_EQ(SoundEngine_SetListenerPosition(1, 2, 3), 0);
    ALfloat position[3] = {};
    alGetListenerfv(AL_POSITION, position);
    EXPECT_EQ(position[0], 1);
    EXPECT_EQ(position[1], 2);
    EXPECT_EQ(position[2], 3);
}

TEST_F(SoundEngineTest, UnknownIdsIncludingZeroSay2AndPlayNothing)
{
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    EXPECT_EQ(SoundEngine_StartEffect(0), kSoundEngineErrInvalidID);
    SoundEngineEffectID id = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &id), 0);
    EXPECT_EQ(SoundEngine_StartEffect(id + 1000), kSoundEngineErrInvalidID);
    EXPECT_EQ(SoundEngine_StartEffect(0), kSoundEngineErrInvalidID);
    EXPECT_EQ(sourceState(id), AL_INITIAL);
}

TEST_F(SoundEngineTest, ContextMadeWithARateReportsThatRate)
{
    for (float rate : {44100.0f, 22050.0f, 48000.0f}) {
        ASSERT_EQ(SoundEngine_Initialize(rate), 0) << rate;
        ALCint frequency = 0;
        alcGetIntegerv(SoundEngineDeviceObject()->GetDevice(), ALC_FREQUENCY, 1, &frequency);
        EXPECT_EQ(frequency, static_cast<ALCint>(rate));
    }
}

TEST_F(SoundEngineTest, RatesNoContextCanTakeAreLeftToTheMixer)
{
    // Zero, negative, NaN and huge rates must not fail initialisation nor reach OpenAL.
    for (float rate : {0.0f, -44100.0f, std::nanf(""), 1e30f}) {
        EXPECT_EQ(SoundEngine_Initialize(rate), 0) << rate;
        EXPECT_NE(SoundEngineDeviceObject()->GetContext(), nullptr) << rate;
    }
}

TEST_F(SoundEngineTest, WithoutTheMixerRateExtensionInitialisationSucceeds)
{
    ASSERT_EQ(SoundEngineMixerOutputRateProc(), nullptr) << "OpenAL Soft has no such extension";
    EXPECT_EQ(SoundEngine_Initialize(44100), 0);
}

TEST_F(SoundEngineTest, FailedLoadWritesNoIdAndRegistersNothing)
{
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    SoundEngineEffectID id = 77;
    StdoutCapture out;
    SoundEngineStatus status = SoundEngine_LoadEffect(mDir.path("missing.wav").c_str(), &id);
    out.text();
    EXPECT_NE(status, 0);
    EXPECT_EQ(id, 77u);
    EXPECT_TRUE(SoundEngineDeviceObject()->GetEffectMap()->Empty());
    EXPECT_EQ(platform::AudioFile::openFileCount(), 0);
}

TEST_F(SoundEngineTest, TwoLoadsOfOneFileGiveTwoIdsThatPlayIndependently)
{
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    SoundEngineEffectID first = 0, second = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &first), 0);
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &second), 0);
    ASSERT_NE(first, second);
    EXPECT_EQ(SoundEngineDeviceObject()->GetEffectMap()->Size(), 2u);

    EXPECT_EQ(SoundEngine_StartEffect(first), 0);
    EXPECT_EQ(sourceState(first), AL_PLAYING);
    EXPECT_EQ(sourceState(second), AL_INITIAL) << "starting one must not start the other";
    EXPECT_EQ(SoundEngine_StartEffect(second), 0);
    EXPECT_EQ(sourceState(first), AL_PLAYING) << "starting the other must not stop the first";
    EXPECT_EQ(sourceState(second), AL_PLAYING);
}

TEST_F(SoundEngineTest, StartingASoundingEffectRestartsItFromTheBeginning)
{
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    // Three seconds: a pause of a busy machine can neither let it end before the restart
    // nor carry a rewound source as far as it had played before.
    std::string tone = mDir.path("tone.wav");
    ASSERT_TRUE(writeSound(tone, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, sine(22050 * 3, 1, 440, 22050)));
    SoundEngineEffectID id = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(tone.c_str(), &id), 0);
    ASSERT_EQ(SoundEngine_StartEffect(id), 0);
    // The null output mixes in real time: wait until the offset has clearly moved on (the
    // deadline only catches a mixer that never runs).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sourceOffset(id) < 0.6f && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(sourceOffset(id), 0.6f);
    ASSERT_EQ(sourceState(id), AL_PLAYING);

    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    EXPECT_EQ(sourceState(id), AL_PLAYING);
    EXPECT_LT(sourceOffset(id), 0.5f);
}

TEST_F(SoundEngineTest, ASecondInitializeInvalidatesEveryOldId)
{
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    SoundEngineEffectID a = 0, b = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &a), 0);
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &b), 0);
    ASSERT_EQ(SoundEngine_StartEffect(a), 0);
    ASSERT_NE(SoundEngineBackgroundTrackMgr(), nullptr);

    ASSERT_EQ(SoundEngine_Initialize(22050), 0);
    EXPECT_TRUE(SoundEngineDeviceObject()->GetEffectMap()->Empty());
    EXPECT_EQ(SoundEngine_StartEffect(a), kSoundEngineErrInvalidID);
    EXPECT_EQ(SoundEngine_StartEffect(b), kSoundEngineErrInvalidID);
    EXPECT_EQ(SoundEngineDeviceObject()->GetMixerOutputRate(), 22050.0f);
    // The new device works.
    SoundEngineEffectID c = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &c), 0);
    EXPECT_EQ(SoundEngine_StartEffect(c), 0);
}

TEST_F(SoundEngineTest, EffectMapKeepsIdOrderAndInsertionOrderAmongEquals)
{
    SoundEngineEffectMap map;
    auto* a = reinterpret_cast<SoundEngineEffect*>(0x10);
    auto* b = reinterpret_cast<SoundEngineEffect*>(0x20);
    auto* c = reinterpret_cast<SoundEngineEffect*>(0x30);
    map.Add(5, &a);
    map.Add(2, &b);
    map.Add(5, &c);
    EXPECT_EQ(map.GetEffectByIndex(0), b);
    EXPECT_EQ(map.GetEffectByIndex(1), a);
    EXPECT_EQ(map.GetEffectByIndex(2), c);
    EXPECT_EQ(map.GetEffectByIndex(3), nullptr);
    EXPECT_EQ(map.Get(5), a) << "the first of equals";
    EXPECT_EQ(map.Get(3), nullptr);
    map.Remove(5);
    EXPECT_EQ(map.Get(5), c);
    map.Remove(9);
    EXPECT_EQ(map.Size(), 2u);
    map.Remove(5);
    map.Remove(2);
    EXPECT_TRUE(map.Empty());
    EXPECT_EQ(map.GetEffectByIndex(0), nullptr);
}

} // namespace

namespace {

// Threads of this process (OpenAL Soft's mixer is one; it leaves them unnamed).
int threads()
{
    int count = 0;
    for ([[maybe_unused]] const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

} // namespace

TEST_F(SoundEngineTest, TheOutputRestsWhileNothingSoundsAndAStartWakesIt)
{
    static int wakes = 0;
    SoundEngine_SetOutputWakeHandler([](void*) { ++wakes; }, nullptr);
    EXPECT_FALSE(SoundEngine_RestOutputIfSilent()) << "no engine, nothing to rest";
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    SoundEngineEffectID id = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &id), 0);
    const int awake = threads();

    ASSERT_EQ(SoundEngine_SetListenerPosition(1, 2, 3), 0);

    // Loaded but silent: the output rests; its mixer thread ends and the context goes.
    ASSERT_TRUE(SoundEngine_RestOutputIfSilent());
    EXPECT_LT(threads(), awake);
    EXPECT_EQ(SoundEngineDeviceObject()->GetContext(), nullptr);
    EXPECT_TRUE(SoundEngine_RestOutputIfSilent()) << "resting stays resting";

    // A start wakes it first (the host hears of it once), the effect keeps its id and the
    // listener its place, and the effect really plays.
    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    EXPECT_EQ(wakes, 1);
    EXPECT_EQ(threads(), awake);
    float x = 0, y = 0, z = 0;
    alGetListener3f(AL_POSITION, &x, &y, &z);
    EXPECT_EQ((std::array{x, y, z}), (std::array{1.0f, 2.0f, 3.0f}));
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (sourceOffset(id) <= 0.0f && sourceState(id) == AL_PLAYING && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(sourceOffset(id) > 0.0f || sourceState(id) == AL_STOPPED) << "the mixer moved it on";

    // While it sounds the output stays awake; once it has ended it rests again.
    if (sourceState(id) == AL_PLAYING) {
        EXPECT_FALSE(SoundEngine_RestOutputIfSilent());
    }
    while (sourceState(id) == AL_PLAYING && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(sourceState(id), AL_STOPPED);
    EXPECT_TRUE(SoundEngine_RestOutputIfSilent());
    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    EXPECT_EQ(wakes, 2);

    // A load wakes it too, and the new effect gets a name of its own.
    while (sourceState(id) == AL_PLAYING && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(SoundEngine_RestOutputIfSilent());
    SoundEngineEffectID second = 0;
    EXPECT_EQ(SoundEngine_LoadEffect(mBeep.c_str(), &second), 0);
    EXPECT_EQ(wakes, 3);
    EXPECT_NE(second, id);
    EXPECT_EQ(SoundEngine_StartEffect(second), 0);
    EXPECT_EQ(SoundEngine_StartEffect(id), 0);
    SoundEngine_SetOutputWakeHandler(nullptr, nullptr);
}
