#include "platform/backend/headless/ScriptedAccelerationSource.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

#include "platform/core/FileSystem.h"

namespace platform {

namespace {

// A trace of an hour at 25 samples a second is a few megabytes.
constexpr std::size_t kMaxFileBytes = 64u * 1024 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// One number: an optional sign, digits with an optional point (or a point and digits), an
// optional exponent, ending at a blank or the end of the line, so that "1-2" or "1.5.5" are
// not read as two numbers. Infinities, NaN and values beyond a double are refused.
bool parseNumber(std::string_view& rest, double& out)
{
    while (!rest.empty() && isBlank(rest.front()))
        rest.remove_prefix(1);
    std::size_t length = 0;
    while (length < rest.size() && !isBlank(rest[length]))
        ++length;
    std::string_view token = rest.substr(0, length);
    if (token.starts_with('+')) {
        token.remove_prefix(1);
        if (token.starts_with('-'))
            return false; // one sign only
    }
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), out);
    if (ec != std::errc() || end != token.data() + token.size() || !std::isfinite(out))
        return false;
    rest.remove_prefix(length);
    return true;
}

} // namespace

bool ScriptedAccelerationSource::parse(std::string_view text, std::string* error)
{
    std::vector<Line> lines;
    std::size_t number = 0;
    while (!text.empty()) {
        ++number;
        auto newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        auto first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#')
            continue;
        Line parsed;
        std::string_view rest = line;
        if (!parseNumber(rest, parsed.t) || !parseNumber(rest, parsed.x) || !parseNumber(rest, parsed.y) ||
            !parseNumber(rest, parsed.z) || rest.find_first_not_of(" \t") != std::string_view::npos) {
            if (error)
                *error = "line " + std::to_string(number) + ": expected \"t x y z\" (four numbers), got \"" +
                         std::string(line.substr(0, 80)) + "\"";
            return false;
        }
        if (!lines.empty() && parsed.t < lines.back().t) {
            if (error) {
                std::ostringstream message;
                message << "line " << number << ": time " << parsed.t << " is before the previous line's "
                        << lines.back().t;
                *error = message.str();
            }
            return false;
        }
        lines.push_back(parsed);
    }
    m_lines = std::move(lines);
    return true;
}

bool ScriptedAccelerationSource::loadFile(const std::filesystem::path& path, std::string* error)
{
    std::string reason;
    auto text = fs::readFile(path.string(), kMaxFileBytes, fs::Links::Follow, &reason);
    if (!text) {
        if (error)
            *error = path.string() + ": " + reason;
        return false;
    }
    if (!parse(*text, &reason)) {
        if (error)
            *error = path.string() + ": " + reason;
        return false;
    }
    return true;
}

bool ScriptedAccelerationSource::setLines(std::vector<Line> lines, std::string* error)
{
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (lines[i].t < lines[i - 1].t) {
            if (error)
                *error = "line " + std::to_string(i + 1) + ": times must not decrease";
            return false;
        }
    m_lines = std::move(lines);
    return true;
}

Acceleration ScriptedAccelerationSource::read(double now)
{
    ++m_reads;
    const double t = now - m_origin + kTolerance;
    // The first line later than t; the one before it is the reading.
    auto after = std::upper_bound(m_lines.begin(), m_lines.end(), t,
                                  [](double value, const Line& line) { return value < line.t; });
    if (after == m_lines.begin())
        return {0, 0, -1, now};
    const Line& line = *(after - 1);
    return {line.x, line.y, line.z, now};
}

} // namespace platform
