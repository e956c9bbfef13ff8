// `brimsey --headless ...` as a person or a script runs it: a real process, real files.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/gfx/Image.h"

namespace {

const std::string kBrimsey = BRIMSEY_BINARY_DIR "/bin/brimsey";

struct Result {
    int status{-1};
    std::string out; // standard output and standard error together
};

Result run(const std::string& arguments)
{
    Result result;
    std::string command = "ALSOFT_DRIVERS=null " + kBrimsey + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> linesOf(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return linesOf(buffer.str());
}

std::vector<std::string> withEvent(const std::vector<std::string>& lines, const std::string& prefix)
{
    std::vector<std::string> out;
    for (const auto& line : lines) {
        auto space = line.find(' ');
        if (space != std::string::npos && line.compare(space + 1, prefix.size(), prefix) == 0)
            out.push_back(line);
    }
    return out;
}

std::string temp(const std::string& name)
{
    return ::testing::TempDir() + "brimsey_cli_" + name;
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
}

} // namespace

TEST(HeadlessCommandLine, AGameWithoutShakingLogsTheWholeTimeline)
{
    auto r = run("--headless --run-for 16 --tap 0.5:butstart --events -");
    ASSERT_EQ(r.status, 0) << r.out;
    auto lines = linesOf(r.out);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "0.500 effect countdown");
    EXPECT_EQ(lines[1], "0.500 tick 1");
    EXPECT_EQ(lines[2], "1.500 tick 2");
    // The hint: first still sample more than 1.5 s after the start (samples at k x 0.04).
    EXPECT_EQ(withEvent(lines, "hint"), (std::vector<std::string>{"2.040 hint show", "9.500 hint hide"}));
    EXPECT_EQ(withEvent(lines, "effect"), (std::vector<std::string>{"0.500 effect countdown", "7.500 effect warning",
                                                                    "9.500 effect endloop", "9.500 effect v1"}));
    EXPECT_EQ(withEvent(lines, "result"), std::vector<std::string>{"9.500 result butd1 v1"});
    EXPECT_EQ(withEvent(lines, "buttons"),
              (std::vector<std::string>{"9.500 buttons disabled", "11.700 buttons enabled"}));
    auto vticks = withEvent(lines, "vtick");
    ASSERT_EQ(vticks.size(), 25u);
    EXPECT_EQ(vticks.front(), "7.500 vtick 1");
    EXPECT_EQ(vticks.back(), "14.700 vtick 25");
    EXPECT_EQ(withEvent(lines, "vibrate").size(), 26u);
    EXPECT_TRUE(withEvent(lines, "meter").empty());
}

TEST(HeadlessCommandLine, ATraceShakesTheMeterOnTheSampleGrid)
{
    // Hard shaking from 1.0 s to 4.0 s, alternating sides at every sample.
    std::string trace = temp("shake.txt");
    std::ostringstream text;
    text << "# t x y z\n";
    for (int k = 25; k <= 100; ++k)
        text << k * 0.04 << " " << ((k % 2) ? 3.5 : -3.5) << " 0 -1\n";
    text << "4.02 0 0 -1\n";
    writeFile(trace, text.str());
    std::string events = temp("shake.log");
    auto r = run("--headless --run-for 10 --accel " + trace + " --tap 0.5:butstart --events " + events);
    ASSERT_EQ(r.status, 0) << r.out;
    auto lines = readLines(events);
    auto meters = withEvent(lines, "meter");
    ASSERT_FALSE(meters.empty());
    EXPECT_EQ(meters.front().substr(0, 6), "1.000 ");
    // Every move falls on a sample: k x 0.04, within the shaking.
    double previous = 720.0;
    for (const auto& line : meters) {
        double t = std::stod(line.substr(0, line.find(' ')));
        double y = std::stod(line.substr(line.rfind(' ') + 1));
        double k = t / 0.04;
        EXPECT_NEAR(k, std::round(k), 1e-6) << line;
        EXPECT_GE(t, 1.0);
        EXPECT_LE(t, 4.0);
        EXPECT_LT(y, previous) << line;
        previous = y;
    }
    // 3.5 g each way for three seconds brings the meter well up.
    EXPECT_LT(previous, 600.0);
    // One vibration per step, per vibration tick (7.5 .. 9.9) and at the result.
    EXPECT_EQ(withEvent(lines, "vtick").size(), 9u);
    EXPECT_EQ(withEvent(lines, "vibrate").size(), meters.size() + 9u + 1u);
    EXPECT_EQ(withEvent(lines, "result").size(), 1u);
    std::remove(trace.c_str());
    std::remove(events.c_str());
}

TEST(HeadlessCommandLine, TapsActOnlyWhereAViewTakesThem)
{
    // 5.0: butd1 is transparent (no touch); 10.0: disabled until vibration tick 15 at
    // 11.7; 12.0: a replay; 12.5: the start button is gone; 13.0: empty background.
    auto r = run("--headless --run-for 13.5 --tap 0.5:butstart --tap 5:butd1 --tap 10:butd1 "
                 "--tap 12:butd1 --tap 12.5:butstart --tap 13:5,470 --events -");
    ASSERT_EQ(r.status, 0) << r.out;
    auto lines = linesOf(r.out);
    EXPECT_EQ(withEvent(lines, "effect countdown"),
              (std::vector<std::string>{"0.500 effect countdown", "12.000 effect countdown"}));
    auto ticks = withEvent(lines, "tick 1");
    EXPECT_EQ(ticks, (std::vector<std::string>{"0.500 tick 1", "9.500 tick 10", "12.000 tick 1"}));
}

TEST(HeadlessCommandLine, APointTapHitsWhateverIsThere)
{
    // The start button spans 60..260 x 200..272 points: its edge pixels decide.
    auto r = run("--headless --run-for 1 --tap 0.2:59.5,236 --tap 0.4:60,236 --events -");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(withEvent(linesOf(r.out), "effect"), std::vector<std::string>{"0.400 effect countdown"});
    r = run("--headless --run-for 1 --tap 0.2:259.9,271.9 --events -");
    EXPECT_EQ(withEvent(linesOf(r.out), "effect"), std::vector<std::string>{"0.200 effect countdown"});
    r = run("--headless --run-for 1 --tap 0.2:260,271 --tap 0.3:200,272 --events -");
    EXPECT_TRUE(withEvent(linesOf(r.out), "effect").empty()) << r.out;
}

TEST(HeadlessCommandLine, SnapshotsShowTheMeterRising)
{
    std::string trace = temp("rise.txt");
    std::ostringstream text;
    for (int k = 25; k <= 150; ++k)
        text << k * 0.04 << " " << ((k % 2) ? 4 : -4) << " 0 -1\n";
    writeFile(trace, text.str());
    std::string before = temp("before.png"), after = temp("after.png"), big = temp("big.png");
    auto r = run("--headless --run-for 9 --accel " + trace + " --tap 0.5:butstart --snapshot 2:" + before +
                 " --snapshot 6.5:" + after + " --snapshot 6.5:" + big);
    ASSERT_EQ(r.status, 0) << r.out;
    auto one = platform::Image::loadFile(before);
    auto two = platform::Image::loadFile(after);
    ASSERT_TRUE(one);
    ASSERT_TRUE(two);
    EXPECT_EQ(one->pixelWidth(), 320);
    EXPECT_EQ(one->pixelHeight(), 480);
    // In the tower's window, 100 points above its bottom: glass before, meter after.
    auto glass = one->pixelRGBA(165, 350), hot = two->pixelRGBA(165, 350);
    auto red = [](std::uint32_t rgba) { return int(rgba >> 24); };
    auto blue = [](std::uint32_t rgba) { return int((rgba >> 8) & 0xff); };
    EXPECT_LT(red(glass), blue(glass));
    EXPECT_GT(red(hot), 150);
    EXPECT_GT(red(hot), blue(hot) + 80);

    auto r2 = run("--headless --run-for 1 --snapshot 1:" + big + " --scale 2");
    ASSERT_EQ(r2.status, 0) << r2.out;
    auto twice = platform::Image::loadFile(big);
    ASSERT_TRUE(twice);
    EXPECT_EQ(twice->pixelWidth(), 640);
    EXPECT_EQ(twice->pixelHeight(), 960);
    for (auto* path : {&trace, &before, &after, &big})
        std::remove(path->c_str());
}

TEST(HeadlessCommandLine, BadInputExitsWithAClearMessage)
{
    auto r = run("--headless --run-for 5 --tap 1:nowhere");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("brimsey: --tap: the target 'nowhere'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("usage: brimsey"), std::string::npos);

    r = run("--headless --run-for 5 --accel /nonexistent/trace.txt");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("brimsey: /nonexistent/trace.txt: ", 0), 0u) << r.out;

    std::string bad = temp("bad.txt");
    writeFile(bad, "0.04 1 2 3\n0.08 one 2 3\n");
    r = run("--headless --run-for 5 --accel " + bad);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind("brimsey: " + bad + ": line 2", 0), 0u) << r.out;
    std::remove(bad.c_str());

    // A snapshot under a plain file cannot be written; the run still ends normally.
    std::string plain = temp("plain");
    writeFile(plain, "x");
    r = run("--headless --run-for 2 --snapshot 1:" + plain + "/x.png");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("cannot write the snapshot " + plain + "/x.png"), std::string::npos) << r.out;
    std::remove(plain.c_str());

    r = run("--help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--snapshot T:FILE"), std::string::npos);
}
