#include "app/HeadlessOptions.h"

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace brimsey {

namespace {

constexpr std::array kTapOutlets{"butstart", "butd1", "butd2", "butd3", "butd4"};
// A frame of 320 x 480 points at 8x is about 10 million pixels: plenty for any screen,
// and a bound on what one snapshot may allocate.
constexpr double kMaxScale = 8.0;

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

// Splits "T:REST" at the first colon; T must be a time >= 0.
bool splitTimed(std::string_view option, std::string_view value, double& time, std::string& rest, std::string& error)
{
    auto colon = value.find(':');
    if (colon == std::string_view::npos) {
        error = std::string(option) + " expects T:" + (option == "--tap" ? "TARGET" : "FILE.png") + ", got " +
                quoted(value);
        return false;
    }
    auto t = parseNumber(value.substr(0, colon));
    if (!t || *t < 0) {
        error =
            std::string(option) + ": the time " + quoted(value.substr(0, colon)) + " is not a number of seconds >= 0";
        return false;
    }
    time = *t;
    rest = std::string(value.substr(colon + 1));
    return true;
}

bool parseTap(std::string_view value, ScriptedTap& tap, std::string& error)
{
    std::string target;
    if (!splitTimed("--tap", value, tap.time, target, error))
        return false;
    if (isTapOutlet(target)) {
        tap.outlet = target;
        return true;
    }
    auto comma = target.find(',');
    if (comma != std::string::npos) {
        auto x = parseNumber(std::string_view(target).substr(0, comma));
        auto y = parseNumber(std::string_view(target).substr(comma + 1));
        if (x && y) {
            tap.x = *x;
            tap.y = *y;
            return true;
        }
    }
    error =
        "--tap: the target " + quoted(target) + " is neither butstart, butd1, butd2, butd3, butd4 nor X,Y in points";
    return false;
}

} // namespace

bool isTapOutlet(std::string_view name)
{
    for (auto outlet : kTapOutlets)
        if (name == outlet)
            return true;
    return false;
}

std::optional<double> parseNumber(std::string_view text)
{
    if (text.empty() || text.size() > 64)
        return std::nullopt;
    // strtod would skip leading spaces and accept "inf" and hex; a time or coordinate is
    // plain decimal.
    for (char c : text) {
        bool ok = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
        if (!ok)
            return std::nullopt;
    }
    std::string copy(text);
    errno = 0;
    char* end = nullptr;
    double value = std::strtod(copy.c_str(), &end);
    if (end != copy.c_str() + copy.size() || errno == ERANGE || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::string headlessUsage()
{
    return "usage: brimsey [--headless --run-for SECONDS [--accel FILE] [--tap T:TARGET]...\n"
           "                [--events FILE] [--snapshot T:FILE.png]... [--scale N]]\n"
           "\n"
           "Without --headless the game opens its window. With --headless it runs on a\n"
           "virtual clock, as fast as it can, and exits after SECONDS of game time\n"
           "(t = 0 is the moment the run loop starts after launch).\n"
           "\n"
           "  --accel FILE         accelerometer trace, lines 't x y z' (seconds, g); each\n"
           "                       sample (every 0.04 s) takes the last line at or before\n"
           "                       its time; (0, 0, -1) before the first line or without FILE\n"
           "  --tap T:TARGET       at T a touch begins and ends at TARGET: butstart, butd1,\n"
           "                       butd2, butd3, butd4 (the centre of that button) or X,Y\n"
           "  --events FILE        event log, one '%.3f time, event' line each; '-' for stdout\n"
           "  --snapshot T:FILE    PNG of the window as drawn at T\n"
           "  --scale N            snapshot scale (default 1; 2 for a HiDPI picture)\n";
}

std::optional<HeadlessOptions> parseHeadlessOptions(const std::vector<std::string>& args, std::string& error)
{
    HeadlessOptions options;
    bool sawRunFor = false;
    bool sawScale = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--run-for") {
            if (!value(v))
                return std::nullopt;
            auto seconds = parseNumber(v);
            if (!seconds || *seconds < 0) {
                error = "--run-for: " + quoted(v) + " is not a number of seconds >= 0";
                return std::nullopt;
            }
            options.runFor = *seconds;
            sawRunFor = true;
        } else if (arg == "--accel") {
            if (!value(options.accelFile))
                return std::nullopt;
        } else if (arg == "--events") {
            if (!value(options.eventsFile))
                return std::nullopt;
        } else if (arg == "--tap") {
            if (!value(v))
                return std::nullopt;
            ScriptedTap tap;
            if (!parseTap(v, tap, error))
                return std::nullopt;
            options.taps.push_back(tap);
        } else if (arg == "--snapshot") {
            if (!value(v))
                return std::nullopt;
            ScriptedSnapshot shot;
            if (!splitTimed("--snapshot", v, shot.time, shot.path, error))
                return std::nullopt;
            if (shot.path.empty()) {
                error = "--snapshot: no file name in " + quoted(v);
                return std::nullopt;
            }
            options.snapshots.push_back(shot);
        } else if (arg == "--scale") {
            if (!value(v))
                return std::nullopt;
            auto scale = parseNumber(v);
            if (!scale || *scale <= 0 || *scale > kMaxScale) {
                error = "--scale: " + quoted(v) + " is not a scale between 0 and 8";
                return std::nullopt;
            }
            options.scale = *scale;
            sawScale = true;
        } else {
            error = "unknown argument " + quoted(arg);
            return std::nullopt;
        }
    }
    if (options.help)
        return options;
    bool headlessOnly = sawRunFor || sawScale || !options.accelFile.empty() || !options.taps.empty() ||
                        !options.eventsFile.empty() || !options.snapshots.empty();
    if (!options.headless) {
        if (headlessOnly) {
            error = "--run-for, --accel, --tap, --events, --snapshot and --scale need --headless";
            return std::nullopt;
        }
        return options;
    }
    if (!sawRunFor) {
        error = "--headless needs --run-for SECONDS";
        return std::nullopt;
    }
    // Anything scheduled after the end would silently never happen.
    for (const auto& tap : options.taps) {
        if (tap.time > options.runFor) {
            error = "--tap at " + std::to_string(tap.time) + " s is after the end of the run";
            return std::nullopt;
        }
    }
    for (const auto& shot : options.snapshots) {
        if (shot.time > options.runFor) {
            error = "--snapshot at " + std::to_string(shot.time) + " s is after the end of the run";
            return std::nullopt;
        }
    }
    return options;
}

} // namespace brimsey
