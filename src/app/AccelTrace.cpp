#include "app/AccelTrace.h"

#include <algorithm>
#include <fstream>

#include "app/HeadlessOptions.h"

namespace brimsey {

namespace {

// Times are decimal text on one side and binary sums on the other (a sample's time may come
// out a hair before the 0.28 it stands for): a microsecond of slack, far below the 0.04 s
// between samples.
constexpr double kTimeSlack = 1e-6;
// A trace is text typed or recorded by a person or a script; a few million lines is
// already hours of samples.
constexpr std::size_t kMaxBytes = 64u << 20;

std::vector<std::string_view> fields(std::string_view line)
{
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        std::size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            out.push_back(line.substr(start, i - start));
    }
    return out;
}

} // namespace

std::optional<AccelTrace> AccelTrace::parse(std::string_view text, std::string_view name,
                                            std::string& error)
{
    AccelTrace trace;
    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        auto end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        auto parts = fields(line);
        if (parts.empty() || parts[0].front() == '#')
            continue;
        auto where = std::string(name) + ":" + std::to_string(lineNumber) + ": ";
        if (parts.size() != 4) {
            error = where + "expected four numbers 't x y z', got " +
                    std::to_string(parts.size()) + " field(s)";
            return std::nullopt;
        }
        double values[4];
        for (int k = 0; k < 4; ++k) {
            auto v = parseNumber(parts[k]);
            if (!v) {
                error = where + "'" + std::string(parts[k]) + "' is not a number";
                return std::nullopt;
            }
            values[k] = *v;
        }
        if (values[0] < 0) {
            error = where + "the time is negative";
            return std::nullopt;
        }
        if (!trace.m_lines.empty() && values[0] < trace.m_lines.back().t) {
            error = where + "the time goes backwards";
            return std::nullopt;
        }
        trace.m_lines.push_back({values[0], values[1], values[2], values[3]});
    }
    return trace;
}

std::optional<AccelTrace> AccelTrace::load(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the accelerometer trace";
        return std::nullopt;
    }
    // Read at most one byte past the cap, so a huge file is refused without loading it.
    std::string text(kMaxBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        error = path + ": cannot read the accelerometer trace";
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxBytes) {
        error = path + ": the accelerometer trace is larger than 64 MiB";
        return std::nullopt;
    }
    return parse(text, path, error);
}

AccelTrace::Sample AccelTrace::at(double time) const
{
    auto after = std::upper_bound(m_lines.begin(), m_lines.end(), time + kTimeSlack,
                                  [](double t, const Sample& s) { return t < s.t; });
    if (after == m_lines.begin())
        return Sample{time, 0, 0, -1};
    return *(after - 1);
}

} // namespace brimsey
