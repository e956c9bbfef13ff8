#pragma once
// Reading the log that `--events` writes, one "%.3f event" line per event, in the tests
// that run the real program.
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace brimsey::test {

inline std::vector<std::string> readLines(const std::string& path)
{
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The first line whose event (the text after its time) starts with `prefix`, or null.
inline const std::string* firstLine(const std::vector<std::string>& lines, const std::string& prefix)
{
    for (const auto& line : lines) {
        auto space = line.find(' ');
        if (space != std::string::npos && line.compare(space + 1, prefix.size(), prefix) == 0)
            return &line;
    }
    return nullptr;
}

// That line's event without its time, if any.
inline std::optional<std::string> event(const std::vector<std::string>& lines, const std::string& prefix)
{
    const std::string* line = firstLine(lines, prefix);
    if (!line)
        return std::nullopt;
    return line->substr(line->find(' ') + 1);
}

// That line's time, or -1.
inline double timeOf(const std::vector<std::string>& lines, const std::string& prefix)
{
    const std::string* line = firstLine(lines, prefix);
    return line ? std::stod(line->substr(0, line->find(' '))) : -1;
}

} // namespace brimsey::test
