// The headless command line: its options and the event log.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "app/EventLog.h"
#include "app/HeadlessOptions.h"
#include "app/TapTargets.h"

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
    auto options =
        parse({"--headless", "--run-for", "14.5", "--accel", "a.txt", "--tap", "0.5:butstart", "--tap", "12:160.5,240",
               "--events", "-", "--snapshot", "3:shot.png", "--snapshot", "10:/tmp/x:y.png", "--scale", "2"},
              error);
    ASSERT_TRUE(options) << error;
    EXPECT_TRUE(options->headless);
    EXPECT_DOUBLE_EQ(options->runFor, 14.5);
    EXPECT_EQ(options->accelFile, "a.txt");
    ASSERT_EQ(options->taps.size(), 2u);
    EXPECT_DOUBLE_EQ(options->taps[0].time, 0.5);
    EXPECT_EQ(options->taps[0].target, "butstart");
    EXPECT_TRUE(options->taps[1].target.empty());
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
    // Every result button, the start button and the banner are tap targets; other outlets
    // are not.
    for (auto name : {"butstart", "butd1", "butd2", "butd3", "butd4", "banner"})
        EXPECT_TRUE(isTapTarget(name)) << name;
    for (auto name : {"meter", "keepshaking", "butd5", "", "BUTSTART"})
        EXPECT_FALSE(isTapTarget(name)) << name;
}

TEST(HeadlessOptions, RejectsBadInputWithAClearMessage)
{
    EXPECT_EQ(parseError({"--headless"}), "--headless needs --run-for SECONDS");
    EXPECT_EQ(parseError({"--scale", "2"}), "--accel and --scale need --headless");
    EXPECT_EQ(parseError({"--accel", "a.txt"}), "--accel and --scale need --headless");
    EXPECT_EQ(parseError({"--headless", "--run-for"}), "--run-for needs a value");
    EXPECT_EQ(parseError({"--headless", "--run-for", "-1"}), "--run-for: '-1' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "nan"}), "--run-for: 'nan' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", " 5"}), "--run-for: ' 5' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "1e999"}), "--run-for: '1e999' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "butstart"}),
              "--tap expects T:TARGET, got 'butstart'");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "1:meter"}),
              "--tap: the target 'meter' is neither butstart, butd1, butd2, butd3, butd4, banner, done nor "
              "X,Y in points");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "1:10,"}),
              "--tap: the target '10,' is neither butstart, butd1, butd2, butd3, butd4, banner, done nor "
              "X,Y in points");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--tap", "x:butd1"}),
              "--tap: the time 'x' is not a number of seconds >= 0");
    EXPECT_EQ(parseError({"--headless", "--run-for", "9", "--snapshot", "2:"}), "--snapshot: no file name in '2:'");
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
    EXPECT_TRUE(parse({"--headless", "--run-for", "9", "--tap", "9:butd1", "--snapshot", "9:a.png"}, error)) << error;
    EXPECT_NE(parseError({"--headless", "--run-for", "9", "--tap", "9.5:butd1"}).find("after the end of the run"),
              std::string::npos);
    EXPECT_NE(parseError({"--headless", "--run-for", "9", "--snapshot", "10:a.png"}).find("after the end of the run"),
              std::string::npos);
}

TEST(HeadlessOptions, AdsTouchesAndTheScriptedWindow)
{
    std::string error;
    // The window takes the script too; touches are kept in time order, ties as given.
    auto windowed = parse(
        {"--run-for",      "8",       "--tap",         "2:banner", "--touch",     "3:moved:20,30", "--touch",
         "1:began:banner", "--touch", "3:ended:butd1", "--touch",  "4:began:5,5", "--touch",       "4.5:cancelled",
         "--events",       "-",       "--snapshot",    "8:a.png",  "--documents", "/tmp/d"},
        error);
    ASSERT_TRUE(windowed) << error;
    EXPECT_FALSE(windowed->headless);
    EXPECT_EQ(windowed->taps.at(0).target, "banner");
    ASSERT_EQ(windowed->touches.size(), 5u);
    using Phase = ScriptedTouch::Phase;
    std::vector<Phase> phases;
    for (const auto& touch : windowed->touches)
        phases.push_back(touch.phase);
    EXPECT_EQ(phases, (std::vector<Phase>{Phase::began, Phase::moved, Phase::ended, Phase::began, Phase::cancelled}));
    EXPECT_EQ(windowed->touches[0].target, "banner");
    EXPECT_DOUBLE_EQ(windowed->touches[1].x, 20);
    EXPECT_EQ(windowed->documentsDirectory, "/tmp/d");
    EXPECT_FALSE(parse({}, error)->ads);
    EXPECT_TRUE(parse({"--headless", "--ads", "--run-for", "1"}, error)->ads);

    EXPECT_EQ(parseError({"--touch", "1:pressed:1,1"}),
              "--touch: the phase 'pressed' is not began, moved, ended or cancelled");
    EXPECT_EQ(parseError({"--touch", "1:began"}), "--touch expects T:PHASE:X,Y, got '1:began'");
    EXPECT_EQ(parseError({"--touch", "1:began:nowhere"}).rfind("--touch: the target 'nowhere' is neither", 0), 0u);
    // One finger: it has to be down to move or lift, and up to go down.
    EXPECT_EQ(parseError({"--touch", "1:moved:1,1"}),
              "--touch at 1.000000 s: no finger is down (a touch starts with began)");
    EXPECT_EQ(parseError({"--touch", "2:began:1,1", "--touch", "1:began:1,1"}),
              "--touch at 2.000000 s: began while the finger is already down (end or cancel it first)");
    EXPECT_EQ(parseError({"--touch", "1:began:1,1", "--touch", "2:ended:1,1", "--touch", "3:cancelled"}),
              "--touch at 3.000000 s: no finger is down (a touch starts with began)");
    EXPECT_NE(parseError({"--run-for", "2", "--touch", "2.5:began:1,1"}).find("after the end of the run"),
              std::string::npos);
    EXPECT_EQ(parseError({"--headless", "--run-for", "1", "--documents", ""}), "--documents: the folder name is empty");
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
    EXPECT_NE(error.find("/nonexistent/dir/events.log: cannot write the event log"), std::string::npos);
}
