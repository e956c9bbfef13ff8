#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimsey {

// A touch for a scripted run: at `time` (seconds after the run loop starts) a touch
// begins and ends at a named target (TapTargets.h) or at a point in window points.
struct ScriptedTap {
    double time{0};
    std::string target; // empty when x, y are given
    double x{0};
    double y{0};
};

// One phase of the script's single finger, for gestures: began puts it down, moved moves
// it, ended lifts it, cancelled takes it away (the point is unused then).
struct ScriptedTouch {
    enum class Phase { began, moved, ended, cancelled };
    double time{0};
    Phase phase{Phase::began};
    std::string target; // empty when x, y are given
    double x{0};
    double y{0};
};

// A PNG of the window as drawn at `time`.
struct ScriptedSnapshot {
    double time{0};
    std::string path;
};

// The command line, parsed and checked:
//   brimsey [--run-for S] [--tap T:TARGET]... [--touch T:PHASE:X,Y]... [--events FILE]
//           [--snapshot T:FILE.png]... [--documents DIR]
//   brimsey --headless --run-for S [--accel FILE] [--scale N] [--ads] [the options above]
// The window runs on the real clock, the headless game on a virtual one; both count t = 0
// from the moment the run loop starts.
struct HeadlessOptions {
    bool headless{false};
    bool help{false};
    double runFor{-1}; // < 0: the window runs until it is closed
    std::string accelFile;
    std::vector<ScriptedTap> taps;
    std::vector<ScriptedTouch> touches; // in time order, a valid sequence for one finger
    std::string eventsFile;             // "-" writes to standard output
    std::vector<ScriptedSnapshot> snapshots;
    double scale{1};
    bool ads{false};                // headless: host the ad banner (the window always does)
    std::string documentsDirectory; // empty: the user's documents folder
};

// Parses the arguments after the program name. On bad input returns nullopt and sets
// `error` to a one-line message naming the option and what was wrong.
std::optional<HeadlessOptions> parseHeadlessOptions(const std::vector<std::string>& args, std::string& error);

// Usage text for --help and errors.
std::string headlessUsage();

// Strict number parsing: the whole text must be one finite decimal number.
std::optional<double> parseNumber(std::string_view text);

} // namespace brimsey
