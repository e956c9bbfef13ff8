// Accelerometer trace scripts ("t x y z" lines) through ScriptedAccelerationSource::parse.
//
// Invariants: the parser accepts exactly the grammar below (written out here independently
// of it), reports the first bad line by number, keeps the old script when it refuses, and an
// accepted script's times never go backwards, so reads at later times never give an earlier
// line.
//
//   script  = line *( LF line )
//   line    = *blank [ "#" *any | sample *blank ] [ CR ]
//   sample  = number 3( 1*blank number )
//   number  = [ "+" / "-" ] ( 1*digit [ "." *digit ] / "." 1*digit ) [ ( "e" / "E" ) [ "+" / "-" ] 1*digit ]
//   blank   = SP / HTAB
// Every number must also be a finite double; sample times must not decrease.
#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Check.h"
#include "platform/backend/headless/ScriptedAccelerationSource.h"

using fuzzcheck::require;
using Line = platform::ScriptedAccelerationSource::Line;

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::size_t digitsAt(std::string_view s, std::size_t i)
{
    std::size_t n = 0;
    while (i + n < s.size() && isDigit(s[i + n]))
        ++n;
    return n;
}

// The number that spans all of `token`, or nothing.
std::optional<double> number(std::string_view token)
{
    std::size_t i = 0;
    bool minus = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        minus = token[i++] == '-';
    const std::size_t start = i;
    const std::size_t whole = digitsAt(token, i);
    i += whole;
    std::size_t fraction = 0;
    if (i < token.size() && token[i] == '.') {
        fraction = digitsAt(token, i + 1);
        i += 1 + fraction;
    }
    if (whole == 0 && fraction == 0)
        return std::nullopt;
    if (i < token.size() && (token[i] == 'e' || token[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < token.size() && (token[j] == '+' || token[j] == '-'))
            ++j;
        const std::size_t exponent = digitsAt(token, j);
        if (exponent == 0)
            return std::nullopt;
        i = j + exponent;
    }
    if (i != token.size())
        return std::nullopt;
    // The value itself is the standard library's conversion of what the grammar matched.
    std::string_view body = token.substr(start);
    double value = 0;
    auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ec != std::errc() || end != body.data() + body.size() || !std::isfinite(value))
        return std::nullopt;
    return minus ? -value : value;
}

struct Expected {
    bool accepted{true};
    std::size_t badLine{0};
    std::vector<Line> lines;
};

Expected expectedFor(std::string_view text)
{
    Expected e;
    std::size_t lineNumber = 0;
    std::size_t at = 0;
    while (at < text.size()) {
        ++lineNumber;
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::vector<std::string_view> tokens;
        std::size_t i = 0;
        while (i < line.size()) {
            while (i < line.size() && isBlank(line[i]))
                ++i;
            std::size_t j = i;
            while (j < line.size() && !isBlank(line[j]))
                ++j;
            if (j > i)
                tokens.push_back(line.substr(i, j - i));
            i = j;
        }
        if (tokens.empty() || tokens.front().front() == '#')
            continue;
        std::optional<double> v[4];
        bool ok = tokens.size() == 4;
        for (std::size_t k = 0; ok && k < 4; ++k)
            ok = (v[k] = number(tokens[k])).has_value();
        if (ok && !e.lines.empty() && *v[0] < e.lines.back().t)
            ok = false;
        if (!ok) {
            e.accepted = false;
            e.badLine = lineNumber;
            return e;
        }
        e.lines.push_back({*v[0], *v[1], *v[2], *v[3]});
    }
    return e;
}

bool same(const Line& a, const Line& b)
{
    return a.t == b.t && a.x == b.x && a.y == b.y && a.z == b.z;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::ScriptedAccelerationSource source;
    const std::vector<Line> before{{0, 1, 2, 3}};
    require(source.setLines(before), "a one-line script is accepted");

    std::string error;
    const bool accepted = source.parse(text, &error);
    const Expected expected = expectedFor(text);
    require(accepted == expected.accepted, "accepts exactly the grammar");
    if (!accepted) {
        require(source.lines().size() == 1 && same(source.lines()[0], before[0]), "a refused script changes nothing");
        const std::string prefix = "line " + std::to_string(expected.badLine) + ": ";
        require(error.rfind(prefix, 0) == 0, "the error names the first bad line");
        return 0;
    }
    const auto& lines = source.lines();
    require(lines.size() == expected.lines.size(), "every sample line is kept");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        require(same(lines[i], expected.lines[i]), "values as written");
        require(i == 0 || lines[i].t >= lines[i - 1].t, "times never go backwards");
    }

    // A read at a line's time gives that line or a later one (one at the same time), never
    // an earlier one.
    source.setOrigin(0);
    const double slack = platform::ScriptedAccelerationSource::kTolerance * 2;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto reading = source.read(lines[i].t);
        bool found = false;
        for (std::size_t k = i; k < lines.size() && !found; ++k)
            found = lines[k].t <= lines[i].t + slack + std::fabs(lines[i].t) * 1e-15 && lines[k].x == reading.x &&
                    lines[k].y == reading.y && lines[k].z == reading.z;
        require(found, "a read at a line's time never gives an earlier line");
    }
    return 0;
}
