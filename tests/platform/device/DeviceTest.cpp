#include "platform/core/RunLoop.h"
#include "platform/device/Accelerometer.h"
#include "platform/device/Haptics.h"

#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

class Listener : public AccelerometerDelegate {
public:
    explicit Listener(RunLoop& loop) : m_loop(loop) { }
    void accelerometerDidAccelerate(Accelerometer&, const Acceleration& a) override
    {
        times.push_back(m_loop.now());
        samples.push_back(a);
        if (onSample)
            onSample();
    }
    std::vector<double> times;
    std::vector<Acceleration> samples;
    std::function<void()> onSample;

private:
    RunLoop& m_loop;
};

class CountingSource : public AccelerationSource {
public:
    Acceleration read(double now) override { return {double(++reads), 0, 0, now}; }
    void start() override { ++starts; }
    void stop() override { ++stops; }
    int reads = 0, starts = 0, stops = 0;
};

class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        loop = RunLoop::createVirtual(7.5e8);
        RunLoop::setMain(loop);
        Accelerometer::shared().reset();
        Haptics::shared().reset();
    }
    void TearDown() override
    {
        Accelerometer::shared().reset();
        Haptics::shared().reset();
        RunLoop::setMain(nullptr);
    }
    std::shared_ptr<RunLoop> loop;
};

} // namespace

TEST_F(DeviceTest, SamplesArriveEveryIntervalFromOneIntervalAfterTheDelegateIsSet)
{
    auto& accelerometer = Accelerometer::shared();
    auto listener = std::make_shared<Listener>(*loop);
    const double t0 = loop->now();
    accelerometer.setUpdateInterval(0.04);
    accelerometer.setDelegate(listener);
    loop->runFor(1.0);
    ASSERT_EQ(listener->times.size(), 25u);
    for (std::size_t k = 0; k < listener->times.size(); ++k)
        EXPECT_DOUBLE_EQ(listener->times[k], t0 + 0.04 * double(k + 1)) << "sample " << k + 1;
    // A device at rest by default.
    EXPECT_EQ(listener->samples[0].z, -1.0);
    EXPECT_EQ(listener->samples[0].timestamp, listener->times[0]);
}

TEST_F(DeviceTest, IntervalIsClampedAndAChangeStartsANewPhase)
{
    auto& accelerometer = Accelerometer::shared();
    accelerometer.setUpdateInterval(0.0);
    EXPECT_EQ(accelerometer.updateInterval(), Accelerometer::kMinimumInterval);
    accelerometer.setUpdateInterval(50);
    EXPECT_EQ(accelerometer.updateInterval(), Accelerometer::kMaximumInterval);
    accelerometer.setUpdateInterval(0.5);

    auto listener = std::make_shared<Listener>(*loop);
    const double t0 = loop->now();
    accelerometer.setDelegate(listener);
    loop->runFor(0.7);
    accelerometer.setUpdateInterval(0.1); // at t0 + 0.7
    loop->runFor(0.25);
    ASSERT_EQ(listener->times.size(), 3u);
    EXPECT_NEAR(listener->times[0], t0 + 0.5, 1e-6);
    EXPECT_NEAR(listener->times[1], t0 + 0.8, 1e-6);
    EXPECT_NEAR(listener->times[2], t0 + 0.9, 1e-6);
}

TEST_F(DeviceTest, AGoneOrClearedDelegateStopsUpdatesAndTheSourceHearsOfIt)
{
    auto& accelerometer = Accelerometer::shared();
    auto source = std::make_shared<CountingSource>();
    accelerometer.setSource(source);
    accelerometer.setUpdateInterval(0.1);
    auto listener = std::make_shared<Listener>(*loop);
    accelerometer.setDelegate(listener);
    EXPECT_EQ(source->starts, 1);
    loop->runFor(0.35);
    EXPECT_EQ(source->reads, 3);
    EXPECT_EQ(listener->samples.back().x, 3.0);
    listener.reset(); // gone without saying goodbye
    loop->runFor(1.0);
    EXPECT_EQ(source->reads, 3) << "nobody to deliver to: the source is not read";
    EXPECT_FALSE(accelerometer.isUpdating());
    EXPECT_EQ(source->stops, 1);

    auto again = std::make_shared<Listener>(*loop);
    accelerometer.setDelegate(again);
    EXPECT_EQ(source->starts, 2);
    accelerometer.setDelegate(std::weak_ptr<AccelerometerDelegate>());
    loop->runFor(1.0);
    EXPECT_TRUE(again->samples.empty());
    EXPECT_EQ(source->stops, 2);
}

TEST_F(DeviceTest, ADelegateMayChangeTheAccelerometerFromInsideItsCallback)
{
    auto& accelerometer = Accelerometer::shared();
    accelerometer.setUpdateInterval(0.1);
    auto listener = std::make_shared<Listener>(*loop);
    listener->onSample = [&] {
        if (listener->samples.size() == 2)
            accelerometer.setSource(std::make_shared<CountingSource>());
        if (listener->samples.size() == 4)
            accelerometer.setDelegate(std::weak_ptr<AccelerometerDelegate>());
    };
    accelerometer.setDelegate(listener);
    loop->runFor(1.0);
    ASSERT_EQ(listener->samples.size(), 4u);
    EXPECT_EQ(listener->samples[1].z, -1.0);
    EXPECT_EQ(listener->samples[2].x, 1.0) << "the new source from the next sample on";
}

TEST_F(DeviceTest, OnlyTheVibrationSystemSoundVibrates)
{
    struct Counter : HapticsBackend {
        int n = 0;
        void vibrate() override { ++n; }
    };
    auto backend = std::make_shared<Counter>();
    Haptics::shared().setBackend(backend);
    playSystemSound(kSystemSoundVibrate);
    playSystemSound(4095);
    playSystemSound(1000);
    playSystemSound(0);
    EXPECT_EQ(backend->n, 2);
    EXPECT_EQ(Haptics::shared().vibrationCount(), 2u);
    Haptics::shared().setBackend(nullptr);
    playSystemSound(4095); // no backend: counted, nothing else
    EXPECT_EQ(Haptics::shared().vibrationCount(), 3u);
}

namespace {

// Still unless told otherwise, like the desktop's pointer and keyboard without a sensor.
class StillSource : public AccelerationSource {
public:
    Acceleration read(double now) override { return {x, 0, -1, now}; }
    bool canRest() const override { return restable; }
    void nudge(double value)
    {
        x = value;
        wake();
    }
    double x = 0;
    bool restable = true;
};

} // namespace

TEST_F(DeviceTest, ALongStillnessRestsUntilTheSourceOrATouchWakesIt)
{
    auto& accelerometer = Accelerometer::shared();
    auto source = std::make_shared<StillSource>();
    accelerometer.setSource(source);
    accelerometer.setUpdateInterval(0.04);
    auto listener = std::make_shared<Listener>(*loop);
    accelerometer.setDelegate(listener);
    const std::size_t rest = Accelerometer::kRestAfterIdenticalReadings;

    // The first reading starts the run; the rest come after that many identical ones.
    loop->runFor(0.04 * double(rest + 1) + 0.001);
    EXPECT_EQ(listener->samples.size(), rest + 1);
    EXPECT_TRUE(accelerometer.isResting());
    EXPECT_TRUE(accelerometer.isUpdating());
    const std::size_t heard = listener->samples.size();
    const auto fired = loop->firedCount();
    loop->runFor(600);
    EXPECT_EQ(listener->samples.size(), heard) << "no readings while resting";
    EXPECT_EQ(loop->firedCount(), fired) << "and no wake-ups for them";

    // The source changes: readings resume one interval later, with the new value.
    const double woke = loop->now();
    source->nudge(2.5);
    loop->runFor(0.05);
    ASSERT_EQ(listener->samples.size(), heard + 1);
    EXPECT_DOUBLE_EQ(listener->times.back(), woke + 0.04);
    EXPECT_EQ(listener->samples.back().x, 2.5);

    // Rested again, a touch wakes it too (a game may be starting).
    loop->runFor(0.04 * double(rest + 2));
    ASSERT_TRUE(accelerometer.isResting());
    accelerometer.userActivity();
    const std::size_t before = listener->samples.size();
    loop->runFor(0.2);
    EXPECT_EQ(listener->samples.size(), before + 5);

    // A source that cannot rest (a real sensor), or readings that change, never rest.
    source->restable = false;
    loop->runFor(0.04 * double(rest + 10));
    EXPECT_FALSE(accelerometer.isResting());
    auto counting = std::make_shared<CountingSource>();
    accelerometer.setSource(counting);
    loop->runFor(0.04 * double(rest + 10));
    EXPECT_FALSE(accelerometer.isResting());

    // Taking the delegate away ends a rest as it ends updates.
    accelerometer.setSource(source);
    source->restable = true;
    loop->runFor(0.04 * double(rest + 2));
    ASSERT_TRUE(accelerometer.isResting());
    accelerometer.setDelegate({});
    EXPECT_FALSE(accelerometer.isUpdating());
    source->nudge(1.0);
    EXPECT_FALSE(accelerometer.isUpdating());
}
