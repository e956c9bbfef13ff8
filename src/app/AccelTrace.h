#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brimsey {

// A recorded accelerometer: lines "t x y z" (seconds from the start of the run, then g on
// each axis). The value at a time is the last line whose t is at or before it; before the
// first line the device lies flat and still, (0, 0, -1).
class AccelTrace final {
public:
    struct Sample {
        double t{0};
        double x{0};
        double y{0};
        double z{-1};
    };

    AccelTrace() = default;

    // Blank lines and lines starting with '#' are skipped. Times must not go backwards.
    // On bad input returns nullopt with `error` naming the line and the fault.
    static std::optional<AccelTrace> parse(std::string_view text, std::string_view name,
                                           std::string& error);
    static std::optional<AccelTrace> load(const std::string& path, std::string& error);

    // The acceleration in force at `time` (seconds from the start). Allocates nothing.
    Sample at(double time) const;

    const std::vector<Sample>& lines() const { return m_lines; }

private:
    std::vector<Sample> m_lines;
};

} // namespace brimsey
