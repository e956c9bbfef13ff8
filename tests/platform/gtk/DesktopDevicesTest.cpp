#include "platform/backend/gtk/DesktopDevices.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>

using platform::gtk::DesktopAccelerationSource;
using platform::gtk::DesktopHaptics;
using platform::gtk::IioAccelerometer;

namespace fs = std::filesystem;

namespace {

void write(const fs::path& p, const std::string& text)
{
    std::ofstream(p, std::ios::trunc) << text;
}

} // namespace

TEST(DesktopAcceleration, WithoutASensorTheDeviceRestsFaceUp)
{
    DesktopAccelerationSource source(nullptr);
    EXPECT_FALSE(source.hasSensor());
    auto a = source.read(1000.0);
    EXPECT_EQ(a.x, 0);
    EXPECT_EQ(a.y, 0);
    EXPECT_EQ(a.z, -1);
    EXPECT_EQ(a.timestamp, 1000.0);
}

TEST(DesktopAcceleration, TheSensorAndTheKeyAddUpAndAFailingSensorKeepsItsLastReading)
{
    char tmpl[] = "/tmp/brimsey-desk-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    fs::path dir = fs::path(tmpl) / "iio:device0";
    fs::create_directories(dir);
    write(dir / "in_accel_x_raw", "0\n");
    write(dir / "in_accel_y_raw", "-1000\n");
    write(dir / "in_accel_z_raw", "0\n");
    write(dir / "in_accel_scale", "0.00980665\n");
    auto sensor = IioAccelerometer::find(tmpl);
    ASSERT_TRUE(sensor);
    DesktopAccelerationSource source(std::move(sensor));
    EXPECT_TRUE(source.hasSensor());
    auto a = source.read(5.0);
    EXPECT_NEAR(a.y, -1.0, 1e-9); // upright, as the sensor says
    EXPECT_NEAR(a.z, 0.0, 1e-9);

    // Holding Space swings on top of the sensor's reading.
    source.shakes().key().pressed(5.0);
    auto shaken = source.read(5.05);
    EXPECT_GT(std::abs(shaken.x), 1.0);
    source.shakes().key().released();

    // The sensor stops answering: its last reading stands in, and that is counted.
    write(dir / "in_accel_y_raw", "busy\n");
    auto stale = source.read(5.1);
    EXPECT_NEAR(stale.y, -1.0, 1e-9);
    EXPECT_EQ(source.sensorFailures(), 1u);
    write(dir / "in_accel_y_raw", "500\n");
    EXPECT_NEAR(source.read(5.2).y, 0.5, 1e-9);
    fs::remove_all(tmpl);
}

TEST(DesktopHaptics, WithoutFeedbackdEveryVibrationJolts)
{
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
    int jolts = 0;
    DesktopHaptics haptics([&] { ++jolts; });
    for (int i = 0; i < 3; ++i)
        haptics.vibrate();
    EXPECT_EQ(jolts, 3);
    EXPECT_EQ(haptics.jolts(), 3u);
    EXPECT_EQ(haptics.vibrator().sent(), 0u);
    // Through the platform's shared haptics, as the game vibrates.
    auto shared = std::make_shared<DesktopHaptics>([&] { ++jolts; });
    platform::Haptics::shared().setBackend(shared);
    platform::playSystemSound(platform::kSystemSoundVibrate);
    EXPECT_EQ(jolts, 4);
    platform::Haptics::shared().setBackend(nullptr);
}
