#include "platform/backend/gtk/ShakeSynthesizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <vector>

using platform::gtk::GVector;
using platform::gtk::KeyShake;
using platform::gtk::PointerShake;
using platform::gtk::ShakeSynthesizer;

namespace {

constexpr double kInterval = 0.04; // the game's accelerometer interval
constexpr double kThreshold = 2.3;

// What the game does with each sample: a running average and the magnitude of the
// change from it; strictly above 2.3 is a shake, and each such sample raises the meter.
struct GameFilter {
    double mx{0}, my{0}, mz{0};
    double meterY{720.0};
    int crossings{0};
    double feed(GVector a)
    {
        mx = a.x * 0.1 + mx * 0.9;
        my = a.y * 0.1 + my * 0.9;
        mz = a.z * 0.1 + mz * 0.9;
        double s = std::sqrt((a.x - mx) * (a.x - mx) + (a.y - my) * (a.y - my) + (a.z - mz) * (a.z - mz));
        if (s > kThreshold) {
            ++crossings;
            if (meterY > 250.0)
                meterY -= 0.15 * s * s;
        }
        return s;
    }
};

// Small deterministic generator for event-time jitter.
struct Lcg {
    std::uint32_t state;
    double next() // in [0, 1)
    {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / double(1u << 24);
    }
};

struct Motion {
    std::function<double(double)> x;
    std::function<double(double)> y;
};

// Drives a synthesizer with pointer events at about `eventHz` (each event's time jittered
// by up to `jitter` of its period) and samples it every 0.04 s for `seconds`. The filter is
// warmed up at rest first, as it would be in the running application.
GameFilter shakeWithPointer(const Motion& motion, double seconds, double eventHz, double jitter, std::uint32_t seed = 7)
{
    ShakeSynthesizer synth;
    GameFilter game;
    for (int i = 0; i < 100; ++i)
        game.feed(synth.sample(i * kInterval));
    const double t0 = 4.0;
    Lcg rng{seed};
    double period = 1.0 / eventHz;
    double nextEvent = t0;
    for (int k = 1; k * kInterval <= seconds; ++k) {
        double sampleTime = t0 + k * kInterval;
        while (nextEvent <= sampleTime) {
            double rel = nextEvent - t0;
            synth.pointer().moved(nextEvent, motion.x(rel), motion.y(rel));
            nextEvent += period * (1.0 - jitter / 2 + jitter * rng.next());
        }
        game.feed(synth.sample(sampleTime));
    }
    return game;
}

Motion backAndForth(double hz, double amplitude)
{
    return {[=](double t) { return 160 + amplitude * std::sin(2 * std::numbers::pi * hz * t); },
            [](double) { return 240.0; }};
}

} // namespace

TEST(PointerShakeScaling, BriskShakingCrossesTheGameThreshold)
{
    struct Case {
        double hz, amplitude, eventHz;
    };
    for (Case c : {Case{4, 40, 60}, {3, 60, 60}, {5, 30, 60}, {4, 40, 125}, {3, 50, 30}}) {
        GameFilter game = shakeWithPointer(backAndForth(c.hz, c.amplitude), 3.0, c.eventHz, 0.3);
        // At least one shake per half swing on average.
        EXPECT_GE(game.crossings, int(3.0 * c.hz * 2 * 0.75))
            << c.hz << " Hz, " << c.amplitude << " pt, events at " << c.eventHz << " Hz";
        EXPECT_LT(game.meterY, 720.0);
    }
}

TEST(PointerShakeScaling, GentleMotionNeverCrossesIt)
{
    struct Case {
        double hz, amplitude;
    };
    for (Case c : {Case{1, 60}, {0.5, 150}, {1.5, 30}, {2, 15}}) {
        for (double eventHz : {60.0, 125.0}) {
            GameFilter game = shakeWithPointer(backAndForth(c.hz, c.amplitude), 4.0, eventHz, 0.5);
            EXPECT_EQ(game.crossings, 0) << c.hz << " Hz, " << c.amplitude << " pt";
        }
    }
    // Slow circles.
    Motion circle{[](double t) { return 160 + 80 * std::cos(2 * std::numbers::pi * 0.8 * t); },
                  [](double t) { return 240 + 80 * std::sin(2 * std::numbers::pi * 0.8 * t); }};
    EXPECT_EQ(shakeWithPointer(circle, 4.0, 60, 0.5).crossings, 0);
}

TEST(PointerShakeScaling, SteadyDragsWithIrregularEventsAreNotShakes)
{
    // Motion events arrive unevenly; measuring position at the sample time instead of at
    // the events' own times would turn that unevenness into large fake accelerations.
    for (double speed : {200.0, 800.0, 2000.0}) {
        Motion drag{[=](double t) { return 10 + speed * t; }, [=](double t) { return 20 + speed * 0.5 * t; }};
        for (std::uint32_t seed : {1u, 2u, 3u}) {
            GameFilter game = shakeWithPointer(drag, 0.4, 60, 1.0, seed);
            EXPECT_EQ(game.crossings, 0) << speed << " pt/s, seed " << seed;
        }
    }
}

TEST(PointerShakeSamples, AStillOrAbsentPointerReadsNothing)
{
    PointerShake p;
    for (int k = 1; k <= 5; ++k) {
        GVector a = p.sample(k * kInterval);
        EXPECT_EQ(a.x, 0);
        EXPECT_EQ(a.y, 0);
    }
    p.moved(0.21, 100, 100);
    for (int k = 6; k <= 30; ++k) {
        GVector a = p.sample(k * kInterval);
        EXPECT_EQ(a.x, 0) << k;
        EXPECT_EQ(a.y, 0) << k;
    }
}

TEST(PointerShakeSamples, LeavingAndReenteringElsewhereIsNotAJump)
{
    PointerShake p;
    double t = 0;
    for (; t < 0.5; t += 0.016)
        p.moved(t, 5, 240);
    p.sample(0.48);
    p.lost();
    // Re-enters 300 points away.
    for (int i = 0; i < 6; ++i) {
        t += 0.016;
        p.moved(t, 310, 240);
        GVector a = p.sample(t + 0.001);
        EXPECT_EQ(a.x, 0) << i;
        EXPECT_EQ(a.y, 0) << i;
    }
}

TEST(PointerShakeSamples, AxesFollowThePhone)
{
    // From rest the pointer starts moving right and down the screen: the phone accelerates
    // towards +x and towards -y (its y points up the screen).
    PointerShake p;
    p.moved(0.0, 100, 100);
    EXPECT_EQ(p.sample(0.04).x, 0);
    double t = 0.04;
    GVector a{};
    for (int i = 1; i <= 3 && a.x == 0; ++i) {
        double et = 0.04 + 0.015 * i;
        p.moved(et, 100 + 20 * i, 100 + 10 * i);
        t += 0.04;
        a = p.sample(t);
    }
    EXPECT_GT(a.x, 0);
    EXPECT_LT(a.y, 0);
    EXPECT_EQ(a.z, 0);
}

TEST(PointerShakeSamples, EventsBunchedAtASampleDoNotDivideByATinySpan)
{
    PointerShake p;
    p.moved(0.0, 0, 0);
    p.sample(0.04);
    // An event 1 ms after the previous span ended, far away: too short to measure.
    p.moved(0.0405, 50, 0);
    GVector a = p.sample(0.0406);
    EXPECT_TRUE(std::isfinite(a.x));
    EXPECT_EQ(a.x, 0);
    // The motion is measured over the next, longer span instead.
    p.moved(0.07, 50, 0);
    a = p.sample(0.08);
    EXPECT_TRUE(std::isfinite(a.x));
    EXPECT_NE(a.x, 0);
}

namespace {

// Samples a synthesizer on the game's grid from t0 for `seconds`, feeding the game filter.
int crossingsBetween(ShakeSynthesizer& synth, GameFilter& game, double from, double to)
{
    int before = game.crossings;
    for (double t = from; t < to - 1e-9; t += kInterval)
        game.feed(synth.sample(t));
    return game.crossings - before;
}

} // namespace

TEST(KeyShake, HoldingShakesAndReleasingStops)
{
    ShakeSynthesizer synth;
    GameFilter game;
    EXPECT_EQ(crossingsBetween(synth, game, 0.0, 4.0), 0);
    synth.key().pressed(4.0);
    int held = crossingsBetween(synth, game, 4.0, 7.0);
    EXPECT_GE(held, 3 * 12); // most samples of a held key are shakes
    synth.key().released();
    // Letting go may register once (the swing stops), then nothing.
    EXPECT_LE(crossingsBetween(synth, game, 7.0, 7.2), 1);
    EXPECT_EQ(crossingsBetween(synth, game, 7.2, 10.0), 0);
}

TEST(KeyShake, AutoRepeatKeepsTheSwingGoing)
{
    // Key auto-repeat sends a press every ~33 ms. Restarting the swing on each would pin
    // it near its starting phase and the key would stop shaking.
    ShakeSynthesizer repeated;
    ShakeSynthesizer single;
    GameFilter a, b;
    single.key().pressed(1.0);
    repeated.key().pressed(1.0);
    for (double t = 1.0; t < 4.0; t += kInterval) {
        for (double r = t; r < t + kInterval; r += 0.033)
            repeated.key().pressed(r);
        a.feed(repeated.sample(t));
        b.feed(single.sample(t));
    }
    EXPECT_EQ(a.crossings, b.crossings);
    EXPECT_GT(a.crossings, 30);
}

TEST(KeyShake, LosingFocusReleasesAHeldKey)
{
    ShakeSynthesizer synth;
    GameFilter game;
    synth.key().pressed(0.0);
    EXPECT_GT(crossingsBetween(synth, game, 0.0, 1.0), 5);
    synth.focusLost(); // the release went to another window
    EXPECT_FALSE(synth.key().held());
    crossingsBetween(synth, game, 1.0, 1.2);
    EXPECT_EQ(crossingsBetween(synth, game, 1.2, 3.0), 0);
}

TEST(KeyShake, HoldingForAWholeGameRaisesTheMeterOutOfTheLowestBand)
{
    ShakeSynthesizer synth;
    GameFilter game;
    crossingsBetween(synth, game, 0.0, 2.0);
    synth.key().pressed(2.0);
    crossingsBetween(synth, game, 2.0, 11.0); // nine seconds of shaking
    EXPECT_LT(game.meterY, 600.0);
    EXPECT_GT(game.meterY, 150.0); // but not absurdly far in one game
}

TEST(ShakeSynthesizerRange, SamplesStayWithinTheSensorRange)
{
    ShakeSynthesizer synth;
    synth.key().pressed(0.0);
    for (double t = 0; t < 1.0; t += kInterval) {
        GVector a = synth.sample(t, {4.5, -4.5, -4.9});
        EXPECT_LE(std::abs(a.x), ShakeSynthesizer::kRangeG);
        EXPECT_LE(std::abs(a.y), ShakeSynthesizer::kRangeG);
        EXPECT_LE(std::abs(a.z), ShakeSynthesizer::kRangeG);
    }
    // A violent fling of the pointer is limited too.
    ShakeSynthesizer fling;
    fling.pointer().moved(0.0, 0, 0);
    fling.sample(0.04);
    fling.pointer().moved(0.05, 0, 0);
    fling.sample(0.08);
    fling.pointer().moved(0.1, 320, 0);
    GVector a = fling.sample(0.12);
    EXPECT_EQ(a.x, ShakeSynthesizer::kRangeG);
    // At rest with nothing held, the device reading passes through unchanged.
    ShakeSynthesizer rest;
    GVector r = rest.sample(0.5, {0.1, 0.2, -0.98});
    EXPECT_DOUBLE_EQ(r.x, 0.1);
    EXPECT_DOUBLE_EQ(r.y, 0.2);
    EXPECT_DOUBLE_EQ(r.z, -0.98);
}
