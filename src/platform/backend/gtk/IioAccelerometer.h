#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/backend/gtk/ShakeSynthesizer.h"

namespace platform::gtk {

// A Linux IIO accelerometer read through sysfs (as on Linux phones and convertible
// laptops): in_accel_{x,y,z}_raw, with the shared or per-axis _scale (m/s² per count) and
// _offset, and the optional mount matrix that turns the chip's axes into the device's.
// Readings are (raw + offset) × scale in g, on the device's axes as the kernel reports them
// (the game only looks at changes, so the axes' signs do not matter to it).
class IioAccelerometer final {
public:
    static constexpr const char* kDefaultRoot = "/sys/bus/iio/devices";
    static constexpr double kStandardGravity = 9.80665;

    // The first usable accelerometer under root, or null with the reason in `why`.
    static std::unique_ptr<IioAccelerometer> find(const std::string& root = kDefaultRoot, std::string* why = nullptr);
    // The accelerometer in one device folder, or null with the reason in `error`.
    static std::unique_ptr<IioAccelerometer> open(const std::string& deviceDir, std::string* error = nullptr);

    ~IioAccelerometer();
    IioAccelerometer(const IioAccelerometer&) = delete;
    IioAccelerometer& operator=(const IioAccelerometer&) = delete;

    // One reading; nothing when a value cannot be read or parsed (the device is busy or
    // gone). Keeps the files open, so a reading costs three small reads.
    std::optional<GVector> read();

    const std::string& path() const { return m_path; }
    const std::string& name() const { return m_name; }

private:
    IioAccelerometer() = default;

    std::string m_path;
    std::string m_name;
    std::array<int, 3> m_fds{-1, -1, -1};
    std::array<double, 3> m_scale{1, 1, 1};
    std::array<double, 3> m_offset{0, 0, 0};
    std::array<double, 9> m_mount{1, 0, 0, 0, 1, 0, 0, 0, 1};
};

// Parsers for sysfs values, exposed for tests: a whole-file number with surrounding
// whitespace, and a mount matrix "a, b, c; d, e, f; g, h, i".
std::optional<double> parseSysfsNumber(std::string_view text);
std::optional<std::array<double, 9>> parseMountMatrix(const std::string& text);

} // namespace platform::gtk
