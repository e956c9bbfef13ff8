#include "app/HeadlessOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

#include "app/TapTargets.h"

namespace brimsey {

namespace {

// A frame of 320 x 480 points at 8x is about 10 million pixels: plenty for any screen,
// and a bound on what one snapshot may allocate.
constexpr double kMaxScale = 8.0;

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

// Splits "T:REST" at the first colon; T must be a time >= 0.
bool splitTimed(std::string_view option, std::string_view value, std::string_view expected, double& time,
                std::string& rest, std::string& error)
{
    auto colon = value.find(':');
    if (colon == std::string_view::npos) {
        error = std::string(option) + " expects " + std::string(expected) + ", got " + quoted(value);
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

// A named target or "X,Y" in points.
bool parseTarget(std::string_view option, std::string_view text, std::string& target, double& x, double& y,
                 std::string& error)
{
    if (isTapTarget(text)) {
        target = std::string(text);
        return true;
    }
    auto comma = text.find(',');
    if (comma != std::string_view::npos) {
        auto px = parseNumber(text.substr(0, comma));
        auto py = parseNumber(text.substr(comma + 1));
        if (px && py) {
            x = *px;
            y = *py;
            return true;
        }
    }
    error =
        std::string(option) + ": the target " + quoted(text) + " is neither " + tapTargetNames() + " nor X,Y in points";
    return false;
}

bool parseTap(std::string_view value, ScriptedTap& tap, std::string& error)
{
    std::string target;
    if (!splitTimed("--tap", value, "T:TARGET", tap.time, target, error))
        return false;
    return parseTarget("--tap", target, tap.target, tap.x, tap.y, error);
}

bool parseTouch(std::string_view value, ScriptedTouch& touch, std::string& error)
{
    std::string rest;
    if (!splitTimed("--touch", value, "T:PHASE:X,Y", touch.time, rest, error))
        return false;
    auto colon = rest.find(':');
    std::string phase = rest.substr(0, colon);
    std::string where = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
    using Phase = ScriptedTouch::Phase;
    if (phase == "began")
        touch.phase = Phase::began;
    else if (phase == "moved")
        touch.phase = Phase::moved;
    else if (phase == "ended")
        touch.phase = Phase::ended;
    else if (phase == "cancelled")
        touch.phase = Phase::cancelled;
    else {
        error = "--touch: the phase " + quoted(phase) + " is not began, moved, ended or cancelled";
        return false;
    }
    // Taking a finger away needs no place.
    if (touch.phase == Phase::cancelled && colon == std::string::npos)
        return true;
    if (colon == std::string::npos) {
        error = "--touch expects T:PHASE:X,Y, got " + quoted(value);
        return false;
    }
    return parseTarget("--touch", where, touch.target, touch.x, touch.y, error);
}

// One scripted finger: it must be down to move or lift, and up to go down again.
bool checkTouchSequence(std::vector<ScriptedTouch>& touches, std::string& error)
{
    std::stable_sort(touches.begin(), touches.end(),
                     [](const ScriptedTouch& a, const ScriptedTouch& b) { return a.time < b.time; });
    bool down = false;
    for (const auto& touch : touches) {
        bool began = touch.phase == ScriptedTouch::Phase::began;
        if (began == down) {
            error = "--touch at " + std::to_string(touch.time) + " s: " +
                    (began ? "began while the finger is already down (end or cancel it first)"
                           : "no finger is down (a touch starts with began)");
            return false;
        }
        down = began || touch.phase == ScriptedTouch::Phase::moved;
    }
    return true;
}

template <typename Scripted>
bool withinRun(const std::vector<Scripted>& items, const char* option, double runFor, std::string& error)
{
    // Anything scheduled after the end would silently never happen.
    for (const auto& item : items) {
        if (item.time > runFor) {
            error = std::string(option) + " at " + std::to_string(item.time) + " s is after the end of the run";
            return false;
        }
    }
    return true;
}

} // namespace

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
    return "usage: brimsey [--run-for SECONDS] [SCRIPT...]\n"
           "       brimsey --headless --run-for SECONDS [--accel FILE] [--scale N] [--ads]\n"
           "               [SCRIPT...]\n"
           "\n"
           "Without --headless the game opens its window, with the ad banner, on the real\n"
           "clock, until the window is closed or SECONDS have passed. With --headless it runs\n"
           "on a virtual clock, as fast as it can, and exits after SECONDS of game time. Either\n"
           "way t = 0 is the moment the run loop starts after launch.\n"
           "\n"
           "  --accel FILE         accelerometer trace, lines 't x y z' (seconds, g); each\n"
           "                       sample (every 0.04 s) takes the last line at or before\n"
           "                       its time; (0, 0, -1) before the first line or without FILE\n"
           "  --scale N            snapshot scale (default 1; 2 for a HiDPI picture)\n"
           "  --ads                host the ad banner too (ADNET_REQUEST_ENDPOINT and\n"
           "                       ADNET_MEDIA_HOST say where the ad network is)\n"
           "\n"
           "SCRIPT options (repeatable where it makes sense):\n"
           "  --tap T:TARGET       at T a touch begins and ends at TARGET: butstart, butd1,\n"
           "                       butd2, butd3, butd4 (the centre of that button), banner\n"
           "                       (the centre of the ad banner, 160,24), done (the embedded\n"
           "                       browser's Done button, while it is shown) or X,Y in points\n"
           "  --touch T:PHASE:X,Y  one phase of a scripted finger: began, moved, ended or\n"
           "                       cancelled, at a TARGET or X,Y (cancelled needs none)\n"
           "  --events FILE        event log, one '%.3f time, event' line each; '-' for stdout\n"
           "  --snapshot T:FILE    PNG of the window as drawn at T\n"
           "  --documents DIR      keep the ad client's caches under DIR/adnet/\n";
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
        } else if (arg == "--ads") {
            options.ads = true;
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
        } else if (arg == "--documents") {
            if (!value(options.documentsDirectory))
                return std::nullopt;
            if (options.documentsDirectory.empty()) {
                error = "--documents: the folder name is empty";
                return std::nullopt;
            }
        } else if (arg == "--tap") {
            if (!value(v))
                return std::nullopt;
            ScriptedTap tap;
            if (!parseTap(v, tap, error))
                return std::nullopt;
            options.taps.push_back(tap);
        } else if (arg == "--touch") {
            if (!value(v))
                return std::nullopt;
            ScriptedTouch touch;
            if (!parseTouch(v, touch, error))
                return std::nullopt;
            options.touches.push_back(touch);
        } else if (arg == "--snapshot") {
            if (!value(v))
                return std::nullopt;
            ScriptedSnapshot shot;
            if (!splitTimed("--snapshot", v, "T:FILE.png", shot.time, shot.path, error))
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
    if (!checkTouchSequence(options.touches, error))
        return std::nullopt;
    if (!options.headless) {
        // The window's clock, pixels and sensor are the real ones.
        if (sawScale || !options.accelFile.empty()) {
            error = "--accel and --scale need --headless";
            return std::nullopt;
        }
    } else if (!sawRunFor) {
        error = "--headless needs --run-for SECONDS";
        return std::nullopt;
    }
    if (!sawRunFor)
        return options;
    if (!withinRun(options.taps, "--tap", options.runFor, error) ||
        !withinRun(options.touches, "--touch", options.runFor, error) ||
        !withinRun(options.snapshots, "--snapshot", options.runFor, error))
        return std::nullopt;
    return options;
}

} // namespace brimsey
