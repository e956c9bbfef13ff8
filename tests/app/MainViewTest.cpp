// The shake game on the virtual clock: set-up, one whole game, the meter, the hint, the
// cheer, the result bands and the replay.
#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "GameFixture.h"
#include "platform/core/Bundle.h"

using namespace brimsey;
using namespace brimsey::test;

namespace {

// The magnitude of a first sample (x, 0, 0) after averages of 0, computed the game's way.
double firstMagnitude(double x)
{
    double m = x * 0.1 + 0.0 * 0.9;
    return std::sqrt((x - m) * (x - m) + (0.0 - 0.0) * (0.0 - 0.0) + (0.0 - 0.0) * (0.0 - 0.0));
}

// An x whose first-sample magnitude is exactly `target`, found by walking ulps.
double xForExactMagnitude(double target)
{
    double lo = target / 0.9, hi = lo;
    for (int i = 0; i < 100000; ++i) {
        if (firstMagnitude(lo) == target)
            return lo;
        if (firstMagnitude(hi) == target)
            return hi;
        lo = std::nextafter(lo, 0.0);
        hi = std::nextafter(hi, 10.0);
    }
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace

TEST_F(GameFixture, SetUpHidesButtonsPlacesTheMeterAndLoadsSevenEffects)
{
    EXPECT_EQ(view->butd1()->alpha(), 0.0f);
    EXPECT_EQ(view->butd2()->alpha(), 0.0f);
    EXPECT_EQ(view->butd3()->alpha(), 0.0f);
    EXPECT_EQ(view->butd4()->alpha(), 0.0f);
    EXPECT_EQ(view->keepshaking()->alpha(), 0.0f);
    // The start button fades in: its model value is 1 at once.
    EXPECT_EQ(view->butstart()->alpha(), 1.0f);
    EXPECT_EQ(view->meter()->center().x, 160.0f);
    EXPECT_EQ(view->meter()->center().y, 720.0f);
    EXPECT_FALSE(view->isRunning());
    // Seven real effects, seven distinct ids, in load order.
    std::set<SoundEngineEffectID> ids;
    for (int e = 0; e < MainView::EffectCount; ++e) {
        auto id = view->effectId(static_cast<MainView::Effect>(e));
        EXPECT_NE(id, 0u) << MainView::effectName(static_cast<MainView::Effect>(e));
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), 7u);
    EXPECT_TRUE(recorder->lines.empty());
}

TEST_F(GameFixture, OneGameWithoutShakingFollowsTheTimeline)
{
    at(1.0, [&] { view->clickstart(); });
    runTo(16.0);
    std::vector<std::string> expected{
        "1.000 effect countdown", "1.000 tick 1",         "2.000 tick 2",  "3.000 tick 3",
        "4.000 tick 4",           "5.000 tick 5",         "6.000 tick 6",  "7.000 tick 7",
        "8.000 tick 8",           "8.000 effect warning", "8.000 vtick 1", "8.000 vibrate",
    };
    ASSERT_GE(recorder->lines.size(), expected.size());
    EXPECT_EQ(std::vector<std::string>(recorder->lines.begin(), recorder->lines.begin() + expected.size()), expected);
    // The end of the game, in the game's order.
    std::vector<std::string> end{
        "10.000 tick 10",         "10.000 buttons disabled", "10.000 effect endloop",
        "10.000 result butd1 v1", "10.000 effect v1",        "10.000 vibrate",
    };
    auto tick10 = std::find(recorder->lines.begin(), recorder->lines.end(), "10.000 tick 10");
    ASSERT_NE(tick10, recorder->lines.end());
    EXPECT_EQ(std::vector<std::string>(tick10, tick10 + end.size()), end);

    // 25 vibration ticks 0.3 s apart from t + 7, tick 15 enables the buttons, 25 stops.
    auto vticks = recorder->matching("vtick ");
    ASSERT_EQ(vticks.size(), 25u);
    for (int k = 0; k < 25; ++k) {
        char line[32];
        std::snprintf(line, sizeof line, "%.3f vtick %d", 8.0 + 0.3 * k, k + 1);
        EXPECT_EQ(vticks[k], line);
    }
    EXPECT_EQ(recorder->matching("buttons enabled"), std::vector<std::string>{"12.200 buttons enabled"});
    EXPECT_EQ(view->count2(), 0);
    EXPECT_FALSE(view->timer2Running());
    EXPECT_FALSE(view->timerRunning());
    EXPECT_FALSE(view->isRunning());
    EXPECT_EQ(view->count(), 10);
    // Once per vibration tick and once at the result: nothing shook the meter.
    EXPECT_EQ(recorder->countOf("vibrate"), 26u);
    EXPECT_EQ(recorder->matching("meter").size(), 0u);
    EXPECT_EQ(view->butd1()->alpha(), 1.0f);
    EXPECT_EQ(view->butd2()->alpha(), 0.0f);
    EXPECT_TRUE(view->butd1()->isEnabled());
    // Nothing after the vibration timer stopped.
    auto lastLine = recorder->lines.back();
    EXPECT_EQ(lastLine, "15.200 vibrate");
}

TEST_F(GameFixture, SampleOutsideAGameOnlyUpdatesTheAverages)
{
    sampleAt(0.5, 9.0, -4.0, 2.0);
    runTo(0.6);
    auto m = view->runningAverage();
    EXPECT_DOUBLE_EQ(m[0], 0.9);
    EXPECT_DOUBLE_EQ(m[1], -0.4);
    EXPECT_DOUBLE_EQ(m[2], 0.2);
    EXPECT_EQ(meterY(), 720.0);
    EXPECT_EQ(view->lastTime(), 0.0);
    EXPECT_TRUE(recorder->lines.empty());
    // Hours later, still nothing: no hint, no cheer without a game.
    sampleAt(3600, 0, 0, -1);
    runTo(3601);
    EXPECT_TRUE(recorder->lines.empty());
    EXPECT_EQ(view->keepshaking()->alpha(), 0.0f);
}

TEST_F(GameFixture, ThresholdIsStrict)
{
    double exact = xForExactMagnitude(2.3);
    ASSERT_FALSE(std::isnan(exact));
    at(0.0, [&] { view->clickstart(); });
    sampleAt(0.1, exact, 0, 0);
    runTo(0.2);
    EXPECT_EQ(meterY(), 720.0);
    EXPECT_EQ(view->lastTime(), 0.0);
    EXPECT_EQ(recorder->countOf("vibrate"), 0u);
}

TEST_F(GameFixture, JustAboveTheThresholdMovesTheMeterAndCountsAShake)
{
    double above = xForExactMagnitude(2.3);
    ASSERT_FALSE(std::isnan(above));
    while (firstMagnitude(above) <= 2.3)
        above = std::nextafter(above, 10.0);
    at(0.0, [&] { view->clickstart(); });
    sampleAt(0.1, above, 0, 0);
    runTo(0.2);
    double s = firstMagnitude(above);
    EXPECT_EQ(meterY(), static_cast<float>(720.0 - 0.15 * s * s));
    EXPECT_EQ(view->lastTime(), start + 0.1);
    EXPECT_EQ(view->lastTime3(), start + 0.1);
    EXPECT_EQ(recorder->countOf("vibrate"), 1u);
}

TEST_F(GameFixture, MeterStopsAtTheTopButMayOvershootIt)
{
    at(0.0, [&] { view->clickstart(); });
    at(0.05, [&] { putMeterAt(250.0); });
    sampleAt(0.1, 20.0, 0, 0); // s = 18, a step of 48.6 points
    runTo(0.15);
    EXPECT_EQ(meterY(), 250.0);
    EXPECT_EQ(recorder->countOf("vibrate"), 0u);
    // The shake still counts as accepted even though the meter cannot move.
    EXPECT_EQ(view->lastTime(), start + 0.1);

    at(0.2, [&] { putMeterAt(250.5); });
    sampleAt(0.3, 0, 20.0, 0);
    runTo(0.35);
    auto m = view->runningAverage();
    double s = std::sqrt((0 - m[0]) * (0 - m[0]) + (20 - m[1]) * (20 - m[1]) + m[2] * m[2]);
    EXPECT_EQ(meterY(), static_cast<float>(250.5 - 0.15 * s * s));
    EXPECT_LT(meterY(), 210.0);
    EXPECT_EQ(recorder->countOf("vibrate"), 1u);
}

TEST_F(GameFixture, StepIsComputedInDoubleAndStoredAsFloat)
{
    at(0.0, [&] { view->clickstart(); });
    at(0.05, [&] { putMeterAt(700.3); });
    sampleAt(0.1, 3.1, 0, 0);
    runTo(0.2);
    double y = static_cast<double>(700.3f);
    double m = 3.1 * 0.1;
    double s = std::sqrt((3.1 - m) * (3.1 - m) + 0 + 0);
    EXPECT_EQ(meterY(), static_cast<float>(y - 0.15 * s * s));
}

TEST_F(GameFixture, ResultBandBoundaries)
{
    struct Case {
        float y;
        const char* result;
        const char* shown;
    };
    const Case cases[] = {
        {349.9f, "result butd4 v5", "butd4"}, {350.0f, "result butd3 v3", "butd3"},
        {449.9f, "result butd3 v3", "butd3"}, {450.0f, "result butd2 v3", "butd2"},
        {599.9f, "result butd2 v3", "butd2"}, {600.0f, "result butd1 v1", "butd1"},
        {720.0f, "result butd1 v1", "butd1"}, {100.0f, "result butd4 v5", "butd4"},
    };
    double t = 0;
    bool first = true;
    for (const auto& c : cases) {
        // First game from the start button, the others from the shown result button.
        if (first)
            at(t, [&] { view->clickstart(); });
        else
            at(t, [&] { view->clickdone(); });
        first = false;
        at(t + 8.5, [&, y = c.y] { putMeterAt(y); });
        runTo(t + 9.0);
        SCOPED_TRACE(c.y);
        auto results = recorder->matching("result");
        ASSERT_FALSE(results.empty());
        EXPECT_EQ(results.back().substr(results.back().find(' ') + 1), c.result);
        std::shared_ptr<platform::Button> buttons[] = {view->butd1(), view->butd2(), view->butd3(), view->butd4()};
        for (int b = 0; b < 4; ++b) {
            bool shown = std::string("butd") + char('1' + b) == c.shown;
            EXPECT_EQ(buttons[b]->alpha(), shown ? 1.0f : 0.0f) << "butd" << b + 1;
        }
        // The vibration ticks of this game must end before the next warning phase.
        t += 14.5;
        runTo(t);
    }
}

TEST_F(GameFixture, HintShowsAfterOneAndAHalfSecondsWithoutAShakeAndHidesOnTheNext)
{
    at(1.0, [&] { view->clickstart(); });
    // Exactly 1.5 s after the start is not yet "more than" 1.5 s.
    sampleAt(2.5, 0, 0, -1);
    runTo(2.5);
    EXPECT_EQ(view->keepshaking()->alpha(), 0.0f);
    sampleAt(2.54, 0, 0, -1);
    runTo(2.54);
    EXPECT_EQ(view->keepshaking()->alpha(), 1.0f);
    // A further still sample changes nothing: no second "hint show".
    sampleAt(2.58, 0, 0, -1);
    // An accepted shake hides it at once.
    sampleAt(3.0, 8.0, 0, -1);
    // and 1.5 s after that shake it shows again
    sampleAt(4.5, 0, 0, -1);
    sampleAt(4.54, 0, 0, -1);
    runTo(5.0);
    EXPECT_EQ(recorder->matching("hint"),
              (std::vector<std::string>{"2.540 hint show", "3.000 hint hide", "4.540 hint show"}));
    // The end of the game hides it.
    runTo(11.0);
    EXPECT_EQ(recorder->matching("hint").back(), "10.000 hint hide");
    EXPECT_EQ(view->keepshaking()->alpha(), 0.0f);
}

TEST_F(GameFixture, EveryStrongSampleMovesTheMeterButShakesCountOncePerSpacing)
{
    at(0.0, [&] { view->clickstart(); });
    // Ten strong samples 0.04 s apart, alternating sides.
    std::vector<double> accepted;
    for (int k = 1; k <= 10; ++k) {
        double t = 0.04 * k;
        sampleAt(t, (k % 2) ? 4.0 : -4.0, 0, -1);
        at(t, [&] {
            if (view->lastTime() > 0 && (accepted.empty() || accepted.back() != view->lastTime()))
                accepted.push_back(view->lastTime());
        });
    }
    runTo(0.5);
    EXPECT_EQ(recorder->matching("meter").size(), 10u);
    EXPECT_EQ(recorder->countOf("vibrate"), 10u);
    // Accepted at 0.04, then the first sample more than 0.15 s later: 0.20, then 0.36.
    ASSERT_EQ(accepted.size(), 3u);
    EXPECT_NEAR(accepted[0] - start, 0.04, 1e-6);
    EXPECT_NEAR(accepted[1] - start, 0.20, 1e-6);
    EXPECT_NEAR(accepted[2] - start, 0.36, 1e-6);
}

TEST_F(GameFixture, CheerPlaysAtOnceThenAtMostEveryFiveAndAHalfSecondsAcrossGames)
{
    at(0.0, [&] { view->clickstart(); });
    at(0.5, [&] { putMeterAt(340.0); });
    // Still samples: the magnitude plays no part in the cheer.
    for (double t = 0.52; t < 9.0; t += 0.04)
        sampleAt(t, 0, 0, -1);
    runTo(9.0);
    auto cheers = recorder->matching("effect v4");
    ASSERT_EQ(cheers.size(), 2u);
    EXPECT_EQ(cheers[0], "0.520 effect v4"); // the first time it is due, at once
    EXPECT_EQ(cheers[1], "6.040 effect v4"); // first sample more than 5.5 s later
    // The game ended at 9 with butd4; replay at 12.2 (buttons enabled at 11.2 + ...).
    runTo(12.5);
    at(12.5, [&] { view->clickdone4(); });
    at(12.6, [&] { putMeterAt(300.0); });
    // 6.04 + 5.5 = 11.54 has passed: the first sample in the new game cheers at once...
    sampleAt(12.64, 0, 0, -1);
    // ...and the next one is 5.5 s after that, even though a new game began.
    for (double t = 12.68; t < 18.3; t += 0.04)
        sampleAt(t, 0, 0, -1);
    runTo(18.3);
    cheers = recorder->matching("effect v4");
    ASSERT_EQ(cheers.size(), 4u);
    EXPECT_EQ(cheers[2], "12.640 effect v4");
    EXPECT_EQ(cheers[3], "18.160 effect v4");
}

TEST_F(GameFixture, ReplayResetsTheMeterAtOnceWhileTheButtonsFade)
{
    at(0.0, [&] { view->clickstart(); });
    at(8.0, [&] { putMeterAt(500.0); });
    runTo(12.0);
    ASSERT_EQ(view->butd2()->alpha(), 1.0f);
    ASSERT_TRUE(view->butd2()->isEnabled());
    at(12.0, [&] { view->clickdone2(); });
    runTo(12.0);
    EXPECT_EQ(meterY(), 720.0);
    EXPECT_EQ(recorder->matching("meter").back(), "12.000 meter 720.000");
    // The model value is 0 at once (no touches); the picture fades over a second.
    EXPECT_EQ(view->butd2()->alpha(), 0.0f);
    EXPECT_EQ(view->butd2()->presentationAlpha(loop->now()), 1.0f);
    runTo(12.5);
    auto halfway = view->butd2()->presentationAlpha(loop->now());
    EXPECT_GT(halfway, 0.05f);
    EXPECT_LT(halfway, 0.95f);
    runTo(13.01);
    EXPECT_EQ(view->butd2()->presentationAlpha(loop->now()), 0.0f);
    EXPECT_TRUE(view->isRunning());
    EXPECT_EQ(recorder->matching("effect countdown").back(), "12.000 effect countdown");
}

TEST_F(GameFixture, ReplayDuringTheLastVibrationsKeepsTheOldTimerUntilTwentyFive)
{
    at(0.0, [&] { view->clickstart(); });
    // Buttons enabled at 11.2; replay at 12.0 while vibration ticks 18.. still come.
    at(12.0, [&] { view->clickdone(); });
    runTo(14.3);
    auto vticks = recorder->matching("vtick");
    ASSERT_EQ(vticks.size(), 25u);
    EXPECT_EQ(vticks.back(), "14.200 vtick 25");
    EXPECT_EQ(view->count2(), 0);
    EXPECT_FALSE(view->timer2Running());
    // The new game's warning phase starts a fresh timer from 0.
    runTo(19.05);
    vticks = recorder->matching("vtick");
    ASSERT_EQ(vticks.size(), 26u);
    EXPECT_EQ(vticks.back(), "19.000 vtick 1");
    runTo(30.0);
    EXPECT_EQ(recorder->matching("vtick").size(), 50u);
    EXPECT_EQ(recorder->matching("buttons enabled").size(), 2u);
    EXPECT_EQ(recorder->matching("buttons enabled").back(), "23.200 buttons enabled");
}

TEST_F(GameFixture, VibratesOncePerTickOnceAtTheResultAndOncePerStep)
{
    at(0.0, [&] { view->clickstart(); });
    int strong = 0;
    for (int k = 1; k * 0.04 < 9.0; ++k) {
        // Strong shakes for the first second only.
        bool shake = k <= 25;
        strong += shake;
        sampleAt(0.04 * k, shake ? ((k % 2) ? 3.0 : -3.0) : 0.0, 0, shake ? 0.0 : -1.0);
    }
    runTo(15.0);
    auto steps = recorder->matching("meter").size();
    EXPECT_GE(steps, 20u); // most strong samples step (the average lags at first)
    EXPECT_EQ(recorder->countOf("vibrate"), 25u + 1u + steps);
}

TEST_F(GameFixture, MissingSoundsLeaveIdZeroAndTheGameGoesOn)
{
    // A view whose resources are missing: loads fail, ids stay 0, starts find nothing.
    platform::Bundle::main().setResourceDirectory("/nonexistent");
    auto other = MainView::create();
    other->setMeter(view->meter());
    other->setKeepshaking(view->keepshaking());
    other->setButd1(view->butd1());
    other->setButd2(view->butd2());
    other->setButd3(view->butd3());
    other->setButd4(view->butd4());
    other->setButstart(view->butstart());
    other->awakeFromNib();
    for (int e = 0; e < MainView::EffectCount; ++e)
        EXPECT_EQ(other->effectId(static_cast<MainView::Effect>(e)), 0u);
    at(0.0, [&] { other->clickstart(); });
    runTo(9.5);
    EXPECT_EQ(other->count(), 10);
    EXPECT_EQ(view->butd1()->alpha(), 1.0f);
}

// The shared accelerometer delivering its own samples (a device lying still).
class LiveGameFixture : public GameFixture {
protected:
    bool liveAccelerometer() const override { return true; }
};

TEST_F(LiveGameFixture, TheGameTakesTheAccelerometerEveryFourHundredthsOfASecond)
{
    auto& accelerometer = platform::Accelerometer::shared();
    EXPECT_DOUBLE_EQ(accelerometer.updateInterval(), 0.04);
    EXPECT_EQ(accelerometer.delegate(), view);
    runTo(0.99);
    // A still device outside a game: the averages settle towards (0, 0, -1), nothing else.
    EXPECT_TRUE(recorder->lines.empty());
    EXPECT_LT(view->runningAverage()[2], -0.9);
    // In a game, the first still sample more than 1.5 s after the start shows the hint.
    at(1.0, [&] { view->clickstart(); });
    runTo(3.0);
    EXPECT_EQ(recorder->matching("hint"), std::vector<std::string>{"2.520 hint show"});
    EXPECT_EQ(recorder->matching("meter").size(), 0u);
}
