// The real program in a window on a private X server: it starts, shows the game, and a
// click on the start button plays the countdown through OpenAL.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "XvfbSession.h"
#include "json/JSONDeserializer.h"

using brimsey::testing::ChildProcess;
using brimsey::testing::imageStats;
using brimsey::testing::XvfbSession;

namespace {

const std::string kBinary = std::string(BRIMSEY_BINARY_DIR) + "/bin/brimsey";
const std::string kInterface = std::string(BRIMSEY_SOURCE_DIR) + "/resources/MainWindow.json";

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// The frame of the object with this id, anywhere in the interface description.
std::optional<std::array<double, 4>> frameOf(const json::Value& v, const std::string& id)
{
    if (v.isDictionary()) {
        if (v.stringForKey("id") == id && v["frame"].count() == 4) {
            auto f = v["frame"];
            return std::array<double, 4>{f[0].number(), f[1].number(), f[2].number(), f[3].number()};
        }
        for (std::size_t i = 0; i < v.count(); ++i) {
            if (auto found = frameOf(v.valueAt(i), id))
                return found;
        }
    } else if (v.isArray()) {
        for (std::size_t i = 0; i < v.count(); ++i) {
            if (auto found = frameOf(v.at(i), id))
                return found;
        }
    }
    return std::nullopt;
}

// Where the 16-bit samples of a WAV file start, or nothing. OpenAL Soft's wave output
// writes the sizes only when it closes, so the data is taken to run to the end of the file.
std::optional<std::size_t> wavDataOffset(const std::string& bytes, int* bitsPerSample, int* rate)
{
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0)
        return std::nullopt;
    std::size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        std::string id = bytes.substr(pos, 4);
        std::uint32_t size;
        std::memcpy(&size, bytes.data() + pos + 4, 4);
        if (id == "fmt " && pos + 8 + 16 <= bytes.size()) {
            std::uint16_t bits;
            std::uint32_t frequency;
            std::memcpy(&frequency, bytes.data() + pos + 8 + 4, 4);
            std::memcpy(&bits, bytes.data() + pos + 8 + 14, 2);
            *bitsPerSample = bits;
            *rate = static_cast<int>(frequency);
        }
        if (id == "data")
            return pos + 8;
        pos += 8 + size + (size & 1);
    }
    return std::nullopt;
}

// The byte offset (from the data start) of the first sample louder than a whisper.
std::optional<std::size_t> firstSound(const std::string& bytes, std::size_t from, std::size_t dataOffset)
{
    for (std::size_t p = dataOffset + from; p + 2 <= bytes.size(); p += 2) {
        std::int16_t s;
        std::memcpy(&s, bytes.data() + p, 2);
        if (s > 200 || s < -200)
            return p - dataOffset;
    }
    return std::nullopt;
}

struct Memory {
    long rssKb{0};
    long peakKb{0};
};

Memory memoryOf(pid_t pid)
{
    Memory m;
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    long value;
    std::string unit;
    std::string line;
    while (std::getline(in, line)) {
        std::stringstream ss(line);
        ss >> key >> value >> unit;
        if (key == "VmRSS:")
            m.rssKb = value;
        else if (key == "VmHWM:")
            m.peakKb = value;
    }
    return m;
}

// CPU seconds the process has used (user + system).
double cpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto close = text.rfind(')'); // the command name may contain spaces
    if (close == std::string::npos)
        return 0;
    std::stringstream ss(text.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    for (int i = 3; i <= 15 && ss >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return double(utime + stime) / sysconf(_SC_CLK_TCK);
}

void sleepFor(double seconds)
{
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

} // namespace

TEST(GtkApplication, StartsShowsTheGameAndTheStartButtonPlaysTheCountdown)
{
    if (!XvfbSession::available())
        GTEST_SKIP() << "Xvfb is not installed";
    ASSERT_EQ(access(kBinary.c_str(), X_OK), 0) << kBinary;

    json::Error error;
    json::Value description = json::JSONDeserializer::deserializer().deserialize(readFile(kInterface), &error);
    auto start = frameOf(description, "butstart");
    ASSERT_TRUE(start) << "no frame for butstart in " << kInterface;

    char tmpl[] = "/tmp/brimsey-smoke-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    std::string dir = tmpl;
    std::string wav = dir + "/out.wav";
    {
        std::ofstream conf(dir + "/alsoft.conf");
        conf << "[general]\nchannels=mono\nsample-type=int16\n[wave]\nfile=" << wav << "\n";
    }

    XvfbSession xvfb;
    ASSERT_TRUE(xvfb.start(1024, 768));
    auto env = xvfb.env();
    env["ALSOFT_DRIVERS"] = "wave";
    env["ALSOFT_CONF"] = dir + "/alsoft.conf";
    std::string log = std::string(BRIMSEY_BINARY_DIR) + "/gtk-smoke.log";
    ChildProcess game;
    ASSERT_TRUE(game.start({kBinary}, env, log));

    auto id = xvfb.findWindow("brimsey", 60.0);
    ASSERT_TRUE(id) << "no window; see " << log;
    auto g = xvfb.windowGeometry(*id);
    ASSERT_TRUE(g);
    double scale = g->width / 320.0;
    EXPECT_DOUBLE_EQ(g->height / 480.0, scale); // the game's shape, scaled to the monitor

    // Non-blank: the pictures are there (a blank or single-colour window has no spread).
    std::string first = std::string(BRIMSEY_BINARY_DIR) + "/gtk-smoke-start.png";
    std::optional<brimsey::testing::ImageStats> stats;
    for (int attempt = 0; attempt < 40; ++attempt) {
        sleepFor(0.5);
        ASSERT_TRUE(xvfb.screenshot(first));
        stats = imageStats(first, g->x, g->y, g->width, g->height);
        if (stats && stats->distinctColours > 100)
            break;
    }
    ASSERT_TRUE(stats);
    EXPECT_GT(stats->distinctColours, 100);
    EXPECT_GT(stats->standardDeviation, 0.05);
    Memory idle = memoryOf(game.pid());

    // Let the start button finish fading in, then note how far the sound has got: all
    // of it so far must be silence. Meanwhile the game only waits for a tap.
    double cpuBefore = cpuSeconds(game.pid());
    sleepFor(1.5);
    double idleCpu = (cpuSeconds(game.pid()) - cpuBefore) / 1.5;
    std::string before = readFile(wav);
    int bits = 0;
    int rate = 0;
    auto data = wavDataOffset(before, &bits, &rate);
    ASSERT_TRUE(data) << "OpenAL's wave output wrote no header";
    EXPECT_EQ(bits, 16);
    ASSERT_GT(rate, 0);
    std::size_t silentBytes = before.size() - *data;
    EXPECT_FALSE(firstSound(before, 0, *data)) << "sound before the click";

    int x = g->x + static_cast<int>(((*start)[0] + (*start)[2] / 2) * scale);
    int y = g->y + static_cast<int>(((*start)[1] + (*start)[3] / 2) * scale);
    ASSERT_TRUE(xvfb.click(x, y));

    // The start button fades out (over a second): its area comes to look different. For
    // people to look at, the last screenshot is kept: the game a little into play.
    std::string shot = std::string(BRIMSEY_BINARY_DIR) + "/gtk-smoke.png";
    int bx = g->x + static_cast<int>((*start)[0] * scale);
    int by = g->y + static_cast<int>((*start)[1] * scale);
    int bw = static_cast<int>((*start)[2] * scale);
    int bh = static_cast<int>((*start)[3] * scale);
    auto buttonBefore = imageStats(first, bx, by, bw, bh);
    ASSERT_TRUE(buttonBefore);
    std::optional<brimsey::testing::ImageStats> buttonAfter;
    for (int attempt = 0; attempt < 60; ++attempt) {
        sleepFor(0.5);
        ASSERT_TRUE(xvfb.screenshot(shot));
        buttonAfter = imageStats(shot, bx, by, bw, bh);
        if (buttonAfter && buttonAfter->standardDeviation != buttonBefore->standardDeviation)
            break;
    }
    ASSERT_TRUE(buttonAfter);
    EXPECT_NE(buttonBefore->standardDeviation, buttonAfter->standardDeviation) << "the start button did not fade";
    Memory playing = memoryOf(game.pid());

    // Closing the window ends the program cleanly.
    ASSERT_TRUE(xvfb.findWindow("brimsey", 5.0));
    brimsey::testing::runCommand({"xdotool", "key", "--window", *id, "ctrl+w"}, xvfb.env(), 10.0);
    auto status = game.wait(30.0);
    ASSERT_TRUE(status) << "still running after the window was closed";
    EXPECT_EQ(*status, 0) << "see " << log;

    // The countdown: silence up to the click, sound after it.
    std::string after = readFile(wav);
    data = wavDataOffset(after, &bits, &rate);
    ASSERT_TRUE(data);
    auto sound = firstSound(after, silentBytes, *data);
    ASSERT_TRUE(sound) << "no sound after the click";
    // Counted in mix time, which runs with the clock: the game's next sound after the
    // countdown, the warning, comes eight seconds after the tap, so any sound before that
    // is the countdown however slowly a loaded machine ran the test.
    double delay = double(*sound - silentBytes) / 2 / rate;
    EXPECT_LT(delay, 7.5) << "seconds after the click";

    std::cout << "resident memory: " << idle.rssKb / 1024.0 << " MiB at the start screen, " << playing.rssKb / 1024.0
              << " MiB while playing, peak " << playing.peakKb / 1024.0 << " MiB\n"
              << "CPU while waiting for a tap: " << idleCpu * 100 << " %\n"
              << "screenshots: " << first << ", " << shot << "\n";
    std::ofstream(std::string(BRIMSEY_BINARY_DIR) + "/gtk-smoke-memory.txt")
        << "VmRSS start screen: " << idle.rssKb << " kB\nVmRSS playing: " << playing.rssKb
        << " kB\nVmHWM: " << playing.peakKb << " kB\nCPU waiting for a tap: " << idleCpu * 100 << " %\n";
    std::filesystem::remove_all(dir);
}
