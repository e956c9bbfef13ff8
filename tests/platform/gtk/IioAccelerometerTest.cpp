#include "platform/backend/gtk/IioAccelerometer.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

using platform::gtk::IioAccelerometer;
using platform::gtk::parseMountMatrix;
using platform::gtk::parseSysfsNumber;

namespace fs = std::filesystem;

namespace {

constexpr double kG = IioAccelerometer::kStandardGravity;

// A throw-away /sys/bus/iio/devices look-alike.
class FakeSysfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/brimsey-iio-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
    }
    void TearDown() override { fs::remove_all(root); }

    fs::path device(const std::string& name, const std::map<std::string, std::string>& files)
    {
        fs::path dir = root / name;
        fs::create_directories(dir);
        for (const auto& [file, content] : files)
            write(dir / file, content);
        return dir;
    }
    // Rewrites in place, as the kernel's file keeps its identity.
    static void write(const fs::path& p, const std::string& content)
    {
        std::ofstream out(p, std::ios::trunc);
        out << content;
    }

    fs::path root;
};

std::map<std::string, std::string> accel(std::string x, std::string y, std::string z, std::string scale = "0.5\n")
{
    return {{"name", "lis3dh\n"},
            {"in_accel_x_raw", x + "\n"},
            {"in_accel_y_raw", y + "\n"},
            {"in_accel_z_raw", z + "\n"},
            {"in_accel_scale", scale}};
}

} // namespace

TEST_F(FakeSysfs, ReadsRawPlusOffsetTimesScaleInG)
{
    auto files = accel("100", "-40", "0");
    files["in_accel_offset"] = "4\n";     // shared offset...
    files["in_accel_z_offset"] = "-2\n";  // ...overridden per axis
    files["in_accel_y_scale"] = "0.25\n"; // per-axis scale beats the shared one
    auto dir = device("iio:device0", files);
    std::string error;
    auto acc = IioAccelerometer::open(dir.string(), &error);
    ASSERT_TRUE(acc) << error;
    EXPECT_EQ(acc->name(), "lis3dh");
    auto a = acc->read();
    ASSERT_TRUE(a);
    EXPECT_DOUBLE_EQ(a->x, (100 + 4) * 0.5 / kG);
    EXPECT_DOUBLE_EQ(a->y, (-40 + 4) * 0.25 / kG);
    EXPECT_DOUBLE_EQ(a->z, (0 - 2) * 0.5 / kG);
}

TEST_F(FakeSysfs, EveryReadingSeesTheCurrentValues)
{
    auto dir = device("iio:device0", accel("0", "0", "1000", "0.00980665"));
    auto acc = IioAccelerometer::open(dir.string());
    ASSERT_TRUE(acc);
    EXPECT_NEAR(acc->read()->z, 1.0, 1e-12);
    write(dir / "in_accel_x_raw", "-2500\n");
    write(dir / "in_accel_z_raw", "7\n");
    auto a = acc->read();
    ASSERT_TRUE(a);
    EXPECT_NEAR(a->x, -2.5, 1e-12);
    EXPECT_NEAR(a->z, 0.007, 1e-12);
}

TEST_F(FakeSysfs, TheMountMatrixTurnsChipAxesIntoDeviceAxes)
{
    auto files = accel("10", "20", "30", "1");
    files["in_accel_mount_matrix"] = "0, 1, 0; -1, 0, 0; 0, 0, -1\n";
    auto acc = IioAccelerometer::open(device("iio:device0", files).string());
    ASSERT_TRUE(acc);
    auto a = acc->read();
    ASSERT_TRUE(a);
    EXPECT_DOUBLE_EQ(a->x, 20 / kG);
    EXPECT_DOUBLE_EQ(a->y, -10 / kG);
    EXPECT_DOUBLE_EQ(a->z, -30 / kG);
}

TEST_F(FakeSysfs, FindPicksTheFirstUsableAccelerometer)
{
    device("iio:device0", {{"name", "als\n"}, {"in_illuminance_raw", "300\n"}});
    auto noScale = accel("1", "2", "3");
    noScale.erase("in_accel_scale");
    device("iio:device1", noScale);
    device("iio:device2", accel("1", "2", "3", "garbage\n"));
    device("iio:device3", accel("8", "0", "0", "1"));
    std::string why;
    auto acc = IioAccelerometer::find(root.string(), &why);
    ASSERT_TRUE(acc) << why;
    EXPECT_EQ(fs::path(acc->path()).filename(), "iio:device3");
    EXPECT_DOUBLE_EQ(acc->read()->x, 8 / kG);
}

TEST_F(FakeSysfs, FindExplainsWhyNothingIsUsable)
{
    std::string why;
    EXPECT_FALSE(IioAccelerometer::find((root / "missing").string(), &why));
    EXPECT_NE(why.find("no IIO accelerometer"), std::string::npos) << why;

    auto noScale = accel("1", "2", "3");
    noScale.erase("in_accel_scale");
    device("iio:device0", noScale);
    device("iio:device1", accel("1", "2", "3", "0\n")); // a zero scale reads nothing
    auto badMount = accel("1", "2", "3");
    badMount["mount_matrix"] = "1, 0, 0; 0, 1\n";
    device("iio:device2", badMount);
    auto badOffset = accel("1", "2", "3");
    badOffset["in_accel_y_offset"] = "1O\n";
    device("iio:device3", badOffset);
    auto badRaw = accel("1", "two", "3");
    device("iio:device4", badRaw);
    EXPECT_FALSE(IioAccelerometer::find(root.string(), &why));
    EXPECT_NE(why.find("iio:device0: no in_accel_scale"), std::string::npos) << why;
    EXPECT_NE(why.find("iio:device1: unusable in_accel_x scale"), std::string::npos) << why;
    EXPECT_NE(why.find("mount matrix"), std::string::npos) << why;
    EXPECT_NE(why.find("in_accel_y offset"), std::string::npos) << why;
    EXPECT_NE(why.find("iio:device4: the first reading failed"), std::string::npos) << why;
}

TEST_F(FakeSysfs, BadValuesGiveNoReadingUntilTheyAreGoodAgain)
{
    auto dir = device("iio:device0", accel("1", "2", "3"));
    auto acc = IioAccelerometer::open(dir.string());
    ASSERT_TRUE(acc);
    for (const char* bad : {"", "\n", "12abc\n", "nan\n", "inf\n", "1 2\n"}) {
        write(dir / "in_accel_y_raw", bad);
        EXPECT_FALSE(acc->read()) << "'" << bad << "'";
    }
    // A value longer than any count must not be read as its first digits.
    write(dir / "in_accel_y_raw", std::string(5000, '7'));
    EXPECT_FALSE(acc->read());
    write(dir / "in_accel_y_raw", std::string(64, '1'));
    EXPECT_FALSE(acc->read());
    write(dir / "in_accel_y_raw", "2\n");
    EXPECT_TRUE(acc->read());
}

TEST(SysfsValues, NumbersAndMatrices)
{
    EXPECT_EQ(parseSysfsNumber("  -512\n"), -512.0);
    EXPECT_EQ(parseSysfsNumber("0.009576806\n"), 0.009576806);
    EXPECT_FALSE(parseSysfsNumber(""));
    EXPECT_FALSE(parseSysfsNumber("0x10"));
    EXPECT_FALSE(parseSysfsNumber("- 5"));
    EXPECT_FALSE(parseSysfsNumber("1e999"));

    auto m = parseMountMatrix("1, 0, 0; 0, -1, 0; 0, 0, 1\n");
    ASSERT_TRUE(m);
    EXPECT_EQ((*m)[4], -1.0);
    EXPECT_EQ((*m)[8], 1.0);
    auto r = parseMountMatrix("0.5,0.866,0;-0.866,0.5,0;0,0,1");
    ASSERT_TRUE(r);
    EXPECT_EQ((*r)[1], 0.866);
    EXPECT_FALSE(parseMountMatrix("1, 0, 0; 0, 1, 0; 0, 0"));
    EXPECT_FALSE(parseMountMatrix("1, 0, 0; 0, 1, 0; 0, 0, 1; 5"));
    EXPECT_FALSE(parseMountMatrix("1; 0, 0, 0, 1, 0, 0, 0, 1"));
    EXPECT_FALSE(parseMountMatrix(""));
}
