// What runs many times a second for the whole life of the game allocates nothing, counted
// on every thread at the C library level: a timer tick, a sound effect start, an
// accelerometer sample delivered to the game, and a frame the window does not need.
#include <gtest/gtest.h>

#include <AL/al.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "AllocationCounter.h"
#include "LaunchedGame.h"
#include "app/MainViewObserver.h"
#include "platform/core/Timer.h"
#include "sound/SoundEngine.h"
#include "sound/SoundEngineInternal.h"

using platform::RunLoop;
using platform::Timer;

TEST(HotPaths, RepeatingTimerTicksAllocateNothingOnceWarm)
{
    // The accelerometer ticks 25 times a second for the whole run.
    auto loop = RunLoop::createVirtual(0.0);
    long ticks = 0;
    auto timer = Timer::schedule(
        0.04, true, [&](Timer&) { ++ticks; }, *loop);
    auto other = Timer::schedule(
        0.3, true, [&](Timer&) {}, *loop);
    loop->runFor(1.0);
    alloccount::Span span;
    loop->runFor(100.0);
    EXPECT_EQ(span.count(), 0u) << span.firstAllocation();
    EXPECT_EQ(ticks, 2525);
    timer->invalidate();
    other->invalidate();
}

TEST(HotPaths, EffectStartsAllocateNothingOnceWarm)
{
    ::setenv("ALSOFT_DRIVERS", "null", 0);
    ASSERT_EQ(SoundEngine_Initialize(44100), 0);
    SoundEngineEffectID effects[2] = {};
    ASSERT_EQ(SoundEngine_LoadEffect(BRIMSEY_SOURCE_DIR "/resources/v4.wav", &effects[0]), 0);
    ASSERT_EQ(SoundEngine_LoadEffect(BRIMSEY_SOURCE_DIR "/resources/warning.wav", &effects[1]), 0);
    // OpenAL Soft grows its pool of source-update records during the first starts and
    // reuses it from then on.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(SoundEngine_StartEffect(effects[i % 2]), 0);
    alloccount::Span span;
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(SoundEngine_StartEffect(effects[i % 2]), 0);
    EXPECT_EQ(span.count(), 0u) << span.firstAllocation();
    SoundEngineShutDown();
}

namespace brimsey::test {

using GameAllocations = LaunchedGame;

// Until OpenAL Soft's mixer has mixed some of the source, and so taken its last update.
bool mixerHasTaken(SoundEngineEffectID source)
{
    // A bound for a mixer thread that never runs; it normally takes a few milliseconds.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
        ALint offset = 0;
        alGetSourcei(source, AL_SAMPLE_OFFSET, &offset);
        if (offset > 0)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// Counts the cheers without allocating.
class CheerCounter final : public MainViewObserver {
public:
    void effectStarted(std::string_view name) override { cheers += name == "v4"; }
    int cheers{0};
};

TEST_F(GameAllocations, SamplesDeliveredToARunningGameAllocateNothing)
{
    runTo(1.5);
    tap(view->butstart());
    ASSERT_TRUE(view->isRunning());
    // Shaking hard: every sample moves the meter and vibrates, and near the top a cheer
    // plays; frames are drawn for all of it.
    auto cheers = std::make_shared<CheerCounter>();
    view->setObserver(cheers);
    hand->shaking = true;
    runTo(2.5);
    // High enough to pass the cheer line within the next five seconds.
    view->meter()->setCenter({view->meter()->center().x, 420});
    // alSourcePlay takes a source-update record from a pool that OpenAL Soft's mixer
    // thread refills as it mixes, and allocates one more (kept for good) when the pool is
    // empty. On the virtual clock game seconds pass in microseconds, so the countdown
    // started at the tap may still hold the only record when the cheer starts; at the
    // game's real pace the mixer has long taken it. Wait for that here.
    ASSERT_TRUE(mixerHasTaken(view->effectId(MainView::K7)));
    const auto vibrationsBefore = platform::Haptics::shared().vibrationCount();
    const auto framesBefore = frames();
    // Drawing a frame allocates (the picture and cairo's own state: game_bench states the
    // figure); only the samples are counted here.
    driver.reset();
    alloccount::Span span;
    runTo(7.5); // before the warning at tick 8 schedules the vibration timer
    EXPECT_EQ(span.count(), 0u) << span.firstAllocation();
    EXPECT_TRUE(view->isRunning());
    EXPECT_GT(platform::Haptics::shared().vibrationCount() - vibrationsBefore, 20u);
    EXPECT_EQ(cheers->cheers, 1);
    EXPECT_LT(view->meter()->center().y, MainView::kCheerLine - 50);
    EXPECT_GT(framesBefore, 0u);
    view->setObserver({});
}

TEST_F(GameAllocations, IdleWindowDrawsNoFrameAndAllocatesNothing)
{
    // After the start button's fade-in, the ready screen changes no more: the frame
    // driver asks for no frame while samples of a still device keep arriving.
    runTo(1.5);
    const auto drawn = frames();
    alloccount::Span span;
    runTo(11.5);
    EXPECT_EQ(span.count(), 0u) << span.firstAllocation();
    EXPECT_EQ(frames(), drawn);
    // A change is still drawn, in one frame.
    view->meter()->setAlpha(0.5f);
    runTo(11.6);
    EXPECT_EQ(frames(), drawn + 1);
}

} // namespace brimsey::test
