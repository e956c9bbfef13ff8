// The headless command line: its options, the accelerometer trace and the event log.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/AccelTrace.h"
#include "app/EventLog.h"
#include "app/HeadlessOptions.h"

using namespace brimsey;

namespace {

std::optional<HeadlessOptions> parse(std::vector<std::string> args, std::string& error)
{
    return parseHeadlessOptions(args, error);
}

std::string parseError(std::vector<std::string> args)
{
    std::string error;
    auto options = parseHeadlessOptions(args, error);
    EXPECT_FALSE(options.has_value()) << "accepted, but expected an error";
    return error;
}

} // namespace

TEST(HeadlessOptions, ReadsEveryOptionInOrder)
{
    std::string error;
    auto options = parse({"--headless", "--run-for", "14.5", "--accel", "a.txt", "--tap",
                          "0.5:butstart", "--tap", "12:160.5,240", "--events", "-",
                          "--snapshot", "3:shot.png", "--snapshot", "10:/tmp/x:y.png",
                          "--scale", "2"},
                         error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->headless);
    EXPECT_DOUBLE_EQ(options->runFor, 14.5);
    EXPECT_EQ(options->accelFile, "a.txt");
    ASSERT_EQ(options->taps.size(), 2u);
    EXPECT_DOUBLE_EQ(options->taps[0].time, 0.5);
    EXPECT_EQ(options->taps[0].outlet, "butstart");
    EXPECT_TRUE(options->taps[1].outlet.empty());
    EXPECT_DOUBLE_EQ(options->taps[1].x, 160.5);
    EXPECT_DOUBLE_EQ(options->taps[1].y, 240);
    EXPECT_EQ(options->eventsFile, "-");
    ASSERT_EQ(options->snapshots.size(), 2u);
    EXPECT_EQ(options->snapshots[0].path, "shot.png");
    // Only the first colon separates the time: the file name may contain more.
    EXPECT_EQ(options->snapshots[1].path, "/tmp/x:y.png");
    EXPECT_DOUBLE_EQ(options->scale, 2);
}

TEST(HeadlessOptions, DefaultsAndTheWindowedMode)
{
    std::string error;
    auto windowed = parse({}, error);
    ASSERT_TRUE(windowed);
    EXPECT_FALSE(windowed->headless);
    auto minimal = parse({"--headless", "--run-for", "0"}, error);
    ASSERT_TRUE(minimal) << error;
    EXPECT_DOUBLE_EQ(minimal->scale, 1);
    EXPECT_TRUE(minimal->taps.empty());
    EXPECT_TRUE(minimal->eventsFile.empty());
    // Every result button and the start button are tap targets; other outlets are not.
    for (auto name : {"butstart", "butd1", "butd2", "butd3", "butd4"})
        EXPECT_TRUE(isTapOutlet(name)) << name;
    for (auto name : {"meter", "keepshaking", "butd5", "", "BUTSTART"})
        EXPECT_FALSE(isTapOutlet(name)) << name;
}

TEST(HeadlessOptions, RejectsBadInputWithAClearMessage)
{
    EXPECT_EQ(parseError({"--headless"}), "--headless needs --run-for SECONDS");
    EXPECT_EQ(parseError({"--run-for", "3"}),
              "--run-for, --accel, --tap, --events, --snapshot and --scale need --headless");
    EXPECT_EQ(parseError({"--scale", "2"}),
              "--run-for, --accel, --tap, --events, --snapshot and --scale need --headless");
    EXPECT_EQ(parseError({"--headless", "--run-for"}), "--run-for needs a value");
    EXPECT_EQ(parseError({"--headless", "--run-for", "-1"}),
              "--run-for: '-1' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "nan"}),
              "--run-for: 'nan' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", " 5"}),
              "--run-for: ' 5' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "1e999"}),
              "--run-for: '1e999' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "butstart"}),
              "--tap expects T:TARGET, got 'butstart'");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "1:meter"}),
              "--tap: the target 'meter' is neither butstart, butd1, butd2, butd3, butd4 nor "
              "X,Y in points");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "1:10,"}),
              "--tap: the target '10,' is neither butstart, butd1, butd2, butd3, butd4 nor "
              "X,Y in points");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "x:butd1"}),
              "--tap: the time 'x' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--snapshot", "2:"}),
              "--snapshot: no file name in '2:'");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--scale", "0"}),
              "--scale: '0' is not a scale between 0 and 8");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--scale", "9"}),
              "--scale: '9' is not a scale between 0 and 8");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--fast"}), "unknown argument '--fast'");
}

TEST(HeadlessOptions, RefusesWhatWouldHappenAfterTheEnd)
{
    std::string error;
    // At exactly the end is still inside the run.
    EXPECT_TRUE(parse({"--headless", "--run-for", "9", "--tap", "9:butd1", "--snapshot",
                       "9:a.png"},
                      error))
        << error;
    EXPECT_NE(parseError({"--headless", "--run-for", "9", "--tap", "9.5:butd1"})
                  .find("after the end of the run"),
              std::string::npos);
    EXPECT_NE(parseError({"--headless", "--run-for", "9", "--snapshot", "10:a.png"})
                  .find("after the end of the run"),
              std::string::npos);
}

TEST(AccelTrace, HoldsTheLastLineAtOrBeforeEachTime)
{
    std::string error;
    auto trace = AccelTrace::parse("# t x y z\n"
                                   "0.08 1 2 3\n"
                                   "\n"
                                   "0.28 -4 0.5 -1\r\n"
                                   "0.28 5 5 5\n"
                                   "1.00\t0 0 -1",
                                   "trace", error);
    ASSERT_TRUE(trace) << error;
    ASSERT_EQ(trace->lines().size(), 4u);
    // Before the first line: flat and still.
    auto s = trace->at(0.04);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 0);
    EXPECT_EQ(s.z, -1);
    // The sample taken at 2 x 0.04 is at the line's time and takes it.
    EXPECT_EQ(trace->at(2 * 0.04).x, 1);
    EXPECT_EQ(trace->at(6 * 0.04).x, 1);
    // Of two lines with the same time the later one wins.
    EXPECT_EQ(trace->at(7 * 0.04).x, 5);
    // A sample time that comes out a hair early in binary still takes the line...
    EXPECT_EQ(trace->at(0.28 - 1e-8).x, 5);
    // ...but a real earlier time does not.
    EXPECT_EQ(trace->at(0.27).x, 1);
    EXPECT_EQ(trace->at(0.999).x, 5);
    EXPECT_EQ(trace->at(25 * 0.04).z, -1);
    EXPECT_EQ(trace->at(1e6).x, 0);
}

TEST(AccelTrace, EmptyTraceIsStill)
{
    std::string error;
    auto trace = AccelTrace::parse("", "empty", error);
    ASSERT_TRUE(trace);
    EXPECT_EQ(trace->at(3).z, -1);
}

TEST(AccelTrace, RejectsMalformedLinesWithTheirNumber)
{
    std::string error;
    EXPECT_FALSE(AccelTrace::parse("0 1 2 3\n0.04 1 2\n", "t.txt", error));
    EXPECT_EQ(error, "t.txt:2: expected four numbers 't x y z', got 3 field(s)");
    EXPECT_FALSE(AccelTrace::parse("0 1 2 3 4\n", "t.txt", error));
    EXPECT_EQ(error, "t.txt:1: expected four numbers 't x y z', got 5 field(s)");
    EXPECT_FALSE(AccelTrace::parse("0 1 two 3\n", "t.txt", error));
    EXPECT_EQ(error, "t.txt:1: 'two' is not a number");
    EXPECT_FALSE(AccelTrace::parse("0 inf 0 0\n", "t.txt", error));
    EXPECT_EQ(error, "t.txt:1: 'inf' is not a number");
    EXPECT_FALSE(AccelTrace::parse("1 0 0 0\n0.5 0 0 0\n", "t.txt", error));
    EXPECT_EQ(error, "t.txt:2: the time goes backwards");
    EXPECT_FALSE(AccelTrace::parse("-0.1 0 0 0\n", "t.txt", error));
    EXPECT_EQ(error, "t.txt:1: the time is negative");
    EXPECT_FALSE(AccelTrace::load("/nonexistent/trace.txt", error));
    EXPECT_EQ(error, "/nonexistent/trace.txt: cannot open the accelerometer trace");
}

TEST(EventLog, StampsTimeSinceTheStartWithThreeDecimals)
{
    std::string path = ::testing::TempDir() + "events_stamp.log";
    {
        std::string error;
        const double start = 786000000.25; // absolute times are large: precision matters
        auto log = EventLog::open(path, start, error);
        ASSERT_TRUE(log) << error;
        log->event(start, "effect countdown");
        log->event(start + 7.3, "vtick", 1L);
        log->event(start + 7.3, "meter", 712.125);
        log->event(start + 9.0004, "result butd1 v1");
        EXPECT_TRUE(log->flush());
    }
    std::ifstream in(path);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(all, "0.000 effect countdown\n"
                   "7.300 vtick 1\n"
                   "7.300 meter 712.125\n"
                   "9.000 result butd1 v1\n");
    std::remove(path.c_str());
}

TEST(EventLog, ReportsAnUnwritablePath)
{
    std::string error;
    EXPECT_FALSE(EventLog::open("/nonexistent/dir/events.log", 0, error));
    EXPECT_NE(error.find("/nonexistent/dir/events.log: cannot write the event log"),
              std::string::npos);
}
