#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device/Accelerometer.h"

namespace platform {

// Readings from a script of lines "t x y z" (seconds since the origin, then g). A read at
// time T gives the last line whose t is at or before T; before the first line, or with
// no lines, a device at rest (0, 0, -1). Blank lines and lines starting with '#' are
// skipped; times must not decrease. The four numbers are separated by blanks (spaces or
// tabs), each a finite decimal with an optional sign, point and exponent ("-0.5", "+2",
// ".5", "1e-3"); anything else on a sample line refuses the script.
class ScriptedAccelerationSource final : public AccelerationSource {
public:
    struct Line {
        double t{0};
        double x{0}, y{0}, z{0};
    };

    // Absolute time of t = 0.
    void setOrigin(double absoluteTime) { m_origin = absoluteTime; }
    double origin() const { return m_origin; }

    // Replaces the script. Returns false with "line N: ..." on bad text (the old script
    // stays then).
    bool parse(std::string_view text, std::string* error = nullptr);
    bool loadFile(const std::filesystem::path& path, std::string* error = nullptr);
    bool setLines(std::vector<Line> lines, std::string* error = nullptr);
    const std::vector<Line>& lines() const { return m_lines; }

    Acceleration read(double now) override;
    std::size_t readCount() const { return m_reads; }

    // Sample times come from adding intervals to an absolute clock near 1e9 s, so they
    // carry rounding of about 1e-7 s; a line counts from this much before its time.
    static constexpr double kTolerance = 1e-6;

private:
    std::vector<Line> m_lines;
    double m_origin{0};
    std::size_t m_reads{0};
};

} // namespace platform
