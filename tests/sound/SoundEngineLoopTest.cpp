// Looping effects: the attack part once, then the loop part over and over, switched by a
// short-lived playback thread per start.

#include "SoundTestSupport.h"

#include "sound/OpenALObject.h"
#include "sound/OpenALThread.h"
#include "sound/SoundEngine.h"
#include "sound/SoundEngineEffect.h"
#include "sound/SoundEngineInternal.h"

#include <AL/al.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <chrono>
#include <cstdio>
#include <thread>

using namespace soundtest;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRate = 8000;
// Long enough that no pause of a busy machine between a start and the checks that follow
// it lets the attack end unseen.
constexpr double kAttackSeconds = 1.0;
// Waiting that long is a hang, not a slow machine (ctest's time-out is the backstop).
constexpr auto kHang = std::chrono::seconds(20);

class SoundEngineLoopTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(SoundEngine_Initialize(44100), 0);
        ASSERT_TRUE(writeSound(mAttack, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate,
                               sine(size_t(kRate * kAttackSeconds), 1, 600, kRate)));
        ASSERT_TRUE(
            writeSound(mLoop, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, sine(kRate / 5, 1, 300, kRate))); // 0.2 s
        ASSERT_TRUE(
            writeSound(mStereoLoop, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, kRate, sine(kRate / 5, 2, 300, kRate)));
    }
    void TearDown() override { SoundEngineShutDown(); }

    // Waits until no playback thread of the effect runs; false for a hang.
    static bool waitForThreads(SoundEngineEffect& effect)
    {
        auto deadline = Clock::now() + kHang;
        while (effect.RunningPlaybackThreads() != 0) {
            if (Clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }
    static ALint sourceValue(ALuint source, ALenum what)
    {
        ALint value = -1;
        alGetSourcei(source, what, &value);
        return value;
    }
    static void expectLoopingOnTheLoopBuffer(SoundEngineEffect& effect)
    {
        ALuint source = effect.GetEffectID();
        EXPECT_EQ(sourceValue(source, AL_LOOPING), AL_TRUE);
        EXPECT_EQ(sourceValue(source, AL_BUFFERS_QUEUED), 1);
        EXPECT_EQ(sourceValue(source, AL_SOURCE_STATE), AL_PLAYING);
    }

    // An attack three times as long as the hang backstop: a thread that waited it out
    // instead of noticing a stop or a teardown fails the backstop, however slow the machine,
    // and one that noticed passes it however loaded.
    std::string writeLongAttack()
    {
        std::string path = mDir.path("long.wav");
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(3 * kHang).count();
        EXPECT_TRUE(
            writeSound(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, kRate, sine(size_t(kRate * seconds), 1, 600, kRate)));
        return path;
    }

    TempDir mDir;
    std::string mAttack = mDir.path("attack.wav");
    std::string mLoop = mDir.path("loop.wav");
    std::string mStereoLoop = mDir.path("stereo.wav");
};

TEST_F(SoundEngineLoopTest, TheAttackPlaysOnceThenLoopingIsSwitchedOn)
{
    SoundEngineEffect effect{mLoop.c_str(), mAttack.c_str(), nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    auto started = Clock::now();
    ASSERT_EQ(effect.Start(), 0);
    EXPECT_NE(effect.GetPlaybackThread(), nullptr);
    // While the attack part sounds, both parts are queued and looping is still off.
    EXPECT_EQ(sourceValue(effect.GetEffectID(), AL_BUFFERS_QUEUED), 2);
    EXPECT_EQ(sourceValue(effect.GetEffectID(), AL_LOOPING), AL_FALSE);

    ASSERT_TRUE(waitForThreads(effect));
    auto waited = Clock::now() - started;
    // The thread waited for the whole attack part (less one mixer update): a lower bound,
    // which a slow machine only makes easier to meet.
    EXPECT_GE(waited, std::chrono::duration<double>(kAttackSeconds - 0.05));
    expectLoopingOnTheLoopBuffer(effect);
    // And the loop part keeps going well past its own length.
    std::this_thread::sleep_for(std::chrono::milliseconds(450));
    EXPECT_EQ(sourceValue(effect.GetEffectID(), AL_SOURCE_STATE), AL_PLAYING);
}

TEST_F(SoundEngineLoopTest, WithoutAnAttackLoopingIsOnAtOnce)
{
    SoundEngineEffect effect{mLoop.c_str(), nullptr, nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    ASSERT_EQ(effect.Start(), 0);
    ASSERT_TRUE(waitForThreads(effect));
    // A thread that waited for the loop part to be played through, as for an attack,
    // would have taken it off the queue or found the source stopped.
    expectLoopingOnTheLoopBuffer(effect);
    EXPECT_EQ(sourceValue(effect.GetEffectID(), AL_BUFFERS_PROCESSED), 0);
}

TEST_F(SoundEngineLoopTest, AQueueingErrorIsPrintedReturnedAndStartsNoThread)
{
    // Queued buffers must share one format: a stereo loop after a mono attack is refused.
    SoundEngineEffect effect{mStereoLoop.c_str(), mAttack.c_str(), nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    StdoutCapture out;
    SoundEngineStatus status = effect.Start();
    char expected[64];
    std::snprintf(expected, sizeof expected, "Error queueing looping buffer: %x\n", status);
    EXPECT_EQ(out.text(), expected);
    EXPECT_TRUE(status == AL_INVALID_VALUE || status == AL_INVALID_OPERATION) << status;
    EXPECT_EQ(effect.GetPlaybackThread(), nullptr);
    EXPECT_EQ(effect.RunningPlaybackThreads(), 0);
    EXPECT_EQ(sourceValue(effect.GetEffectID(), AL_SOURCE_STATE), AL_INITIAL);
}

TEST_F(SoundEngineLoopTest, QuickRestartsKeepOlderThreadsOffTheNewQueue)
{
    SoundEngineEffect effect{mLoop.c_str(), mAttack.c_str(), nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    // Many starts while earlier threads still wait for their attack part.
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(effect.Start(), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(i % 3));
    }
    auto lastStart = Clock::now();
    ASSERT_EQ(effect.Start(), 0);
    // Once every older thread has stood down, only the newest waits, for its attack part:
    // an older one that acted would have taken the fresh attack part off. Judged while the
    // newest still waits (a pause past the attack's end lets it finish, which is no fault).
    auto deadline = Clock::now() + kHang;
    while (effect.RunningPlaybackThreads() > 1 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const ALint queued = sourceValue(effect.GetEffectID(), AL_BUFFERS_QUEUED);
    const ALint looping = sourceValue(effect.GetEffectID(), AL_LOOPING);
    ASSERT_LE(effect.RunningPlaybackThreads(), 1) << "older threads did not stand down";
    if (effect.RunningPlaybackThreads() == 1) {
        EXPECT_EQ(queued, 2);
        EXPECT_EQ(looping, AL_FALSE);
    }
    ASSERT_TRUE(waitForThreads(effect));
    EXPECT_GE(Clock::now() - lastStart, std::chrono::duration<double>(kAttackSeconds - 0.05));
    expectLoopingOnTheLoopBuffer(effect);
}

TEST_F(SoundEngineLoopTest, AStoppedSourceEndsTheWait)
{
    std::string longAttack = writeLongAttack();
    SoundEngineEffect effect{mLoop.c_str(), longAttack.c_str(), nullptr, true};
    ASSERT_EQ(effect.AttachFilesToSource(), 0);
    ASSERT_EQ(effect.Start(), 0);
    auto deadline = Clock::now() + kHang;
    while (sourceValue(effect.GetEffectID(), AL_SOURCE_STATE) != AL_PLAYING && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    alSourceStop(effect.GetEffectID());
    EXPECT_TRUE(waitForThreads(effect)) << "the thread waited for the attack's end";
}

TEST_F(SoundEngineLoopTest, TeardownEndsWaitingThreadsBeforeTheEffectGoes)
{
    std::string longAttack = writeLongAttack();
    auto* effect = new SoundEngineEffect{mLoop.c_str(), longAttack.c_str(), nullptr, true};
    ASSERT_EQ(effect->AttachFilesToSource(), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(effect->Start(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    auto before = Clock::now();
    delete effect; // under AddressSanitizer a thread outliving it would be caught here
    EXPECT_LT(Clock::now() - before, kHang) << "the teardown waited for the attack's end";
}

TEST_F(SoundEngineLoopTest, EngineShutDownWithALoopingStartInFlightIsClean)
{
    // The device object's own teardown path, with the effect registered in its map.
    SoundEngineEffectID plain = 0;
    ASSERT_EQ(SoundEngine_LoadEffect(mLoop.c_str(), &plain), 0);
    auto* effect = new SoundEngineEffect{mLoop.c_str(), mAttack.c_str(), nullptr, true};
    ASSERT_EQ(effect->AttachFilesToSource(), 0);
    SoundEngineEffectID id = effect->GetEffectID();
    SoundEngineDeviceObject()->GetEffectMap()->Add(id, &effect);
    ASSERT_EQ(SoundEngine_StartEffect(id), 0);
    ASSERT_EQ(SoundEngine_StartEffect(plain), 0);
    SoundEngineShutDown();
    EXPECT_EQ(SoundEngineDeviceObject(), nullptr);
}

} // namespace
