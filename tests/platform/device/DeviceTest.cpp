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
