#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimsey {

// A touch for the headless run: at `time` (seconds after the run loop starts) a touch
// begins and ends at an outlet's centre or at a point given in window points.
struct ScriptedTap {
    double time{0};
    std::string outlet; // empty when x, y are given
    double x{0};
    double y{0};
};

// A PNG of the window as drawn at `time`.
struct ScriptedSnapshot {
    double time{0};
    std::string path;
};

// `brimsey --headless --run-for SECONDS [--accel FILE] [--tap T:TARGET]... [--events FILE]
// [--snapshot T:FILE.png]... [--scale N]`, parsed and checked.
struct HeadlessOptions {
    bool headless{false};
    bool help{false};
    double runFor{-1};
    std::string accelFile;
    std::vector<ScriptedTap> taps;
    std::string eventsFile; // "-" writes to standard output
    std::vector<ScriptedSnapshot> snapshots;
    double scale{1};
};

// The outlets a tap may name.
bool isTapOutlet(std::string_view name);

// Parses the arguments after the program name. On bad input returns nullopt and sets
// `error` to a one-line message naming the option and what was wrong.
std::optional<HeadlessOptions> parseHeadlessOptions(const std::vector<std::string>& args, std::string& error);

// Usage text for --help and errors.
std::string headlessUsage();

// Strict number parsing: the whole text must be one finite decimal number.
std::optional<double> parseNumber(std::string_view text);

} // namespace brimsey
