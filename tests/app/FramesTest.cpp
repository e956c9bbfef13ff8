// The launched application draws only when its picture changes: nothing while idle, a
// frame per change while a game runs, frames for the length of a fade.
#include "LaunchedGame.h"

using namespace brimsey::test;

TEST_F(LaunchedGame, IdleGameDrawsNothing)
{
    // The start button fades in over the first second: frames only while it does.
    runTo(1.1);
    auto afterFade = frames();
    EXPECT_GE(afterFade, 30u);
    EXPECT_LE(afterFade, 62u);
    // Then ten seconds of a still device: samples keep coming, nothing is drawn.
    runTo(11.1);
    EXPECT_EQ(frames(), afterFade);
    EXPECT_FALSE(compositor->needsFrame());
    // Even a hard shake outside a game changes nothing on screen.
    hand->shaking = true;
    runTo(13.1);
    EXPECT_EQ(frames(), afterFade);
}

TEST_F(LaunchedGame, RunningGameDrawsOnlyWhileSomethingChanges)
{
    runTo(2.0);
    auto before = frames();
    tap(view->butstart());
    ASSERT_TRUE(view->isRunning());
    // The start button fades out for a second.
    runTo(3.1);
    auto fade = frames() - before;
    EXPECT_GE(fade, 30u);
    EXPECT_LE(fade, 62u);
    // Still device: ticks make no picture; the hint appears once (one frame), then nothing.
    runTo(8.0);
    EXPECT_EQ(frames() - before - fade, 1u);
    // Shaking: every sample moves the meter, at most one frame per sample.
    auto beforeShake = frames();
    auto movesBefore = platform::Haptics::shared().vibrationCount();
    hand->shaking = true;
    runTo(9.0);
    hand->shaking = false;
    auto shakeFrames = frames() - beforeShake;
    auto moves = platform::Haptics::shared().vibrationCount() - movesBefore;
    EXPECT_GT(shakeFrames, 10u);
    EXPECT_LE(shakeFrames, 26u); // 25 samples in that second, and the hint going away
    EXPECT_GT(moves, 10u);
    // The result fades in at 11; then the buttons are enabled at 13.2; then nothing.
    runTo(13.5);
    auto settled = frames();
    runTo(20.0);
    EXPECT_EQ(frames(), settled);
    EXPECT_FALSE(compositor->needsFrame());
}
