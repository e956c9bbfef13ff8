#include "platform/backend/gtk/IioAccelerometer.h"

#include "platform/core/Text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <vector>

namespace platform::gtk {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxValueBytes = 256; // sysfs values are one short line

const char* const kAxes[3] = {"x", "y", "z"};

std::optional<std::string> readSmallFile(const fs::path& p)
{
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buf[kMaxValueBytes + 1];
    ssize_t n;
    do {
        n = ::read(fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    ::close(fd);
    if (n < 0 || static_cast<std::size_t>(n) > kMaxValueBytes)
        return std::nullopt;
    return std::string(buf, static_cast<std::size_t>(n));
}

std::optional<double> readNumber(const fs::path& p)
{
    auto text = readSmallFile(p);
    if (!text)
        return std::nullopt;
    return parseSysfsNumber(*text);
}

// Per-axis file if present, else the shared one.
std::optional<double> axisValue(const fs::path& dir, const char* axis, const char* what, bool* present)
{
    fs::path own = dir / (std::string("in_accel_") + axis + "_" + what);
    fs::path shared = dir / (std::string("in_accel_") + what);
    std::error_code ec;
    for (const fs::path& p : {own, shared}) {
        if (fs::exists(p, ec)) {
            *present = true;
            return readNumber(p);
        }
    }
    *present = false;
    return std::nullopt;
}

void setError(std::string* out, std::string text)
{
    if (out)
        *out = std::move(text);
}

} // namespace

std::optional<double> parseSysfsNumber(std::string_view text)
{
    const std::string_view t = platform::trim(text);
    if (t.empty())
        return std::nullopt;
    double value = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), value);
    if (ec != std::errc{} || end != t.data() + t.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<std::array<double, 9>> parseMountMatrix(const std::string& text)
{
    std::array<double, 9> m{};
    const std::string_view t = platform::trim(text);
    std::size_t pos = 0;
    for (int i = 0; i < 9; ++i) {
        char sep = i == 8 ? '\0' : (i % 3 == 2 ? ';' : ',');
        std::size_t next = sep ? t.find(sep, pos) : t.size();
        if (next == std::string::npos)
            return std::nullopt;
        auto v = parseSysfsNumber(t.substr(pos, next - pos));
        if (!v)
            return std::nullopt;
        m[i] = *v;
        pos = next + 1;
    }
    return m;
}

std::unique_ptr<IioAccelerometer> IioAccelerometer::open(const std::string& deviceDir, std::string* error)
{
    fs::path dir(deviceDir);
    std::unique_ptr<IioAccelerometer> acc(new IioAccelerometer);
    acc->m_path = deviceDir;
    if (auto name = readSmallFile(dir / "name"))
        acc->m_name = std::string(platform::trim(*name));

    for (int i = 0; i < 3; ++i) {
        fs::path raw = dir / (std::string("in_accel_") + kAxes[i] + "_raw");
        bool present = false;
        auto scale = axisValue(dir, kAxes[i], "scale", &present);
        if (!present) {
            // Without a scale the counts have no unit; guessing would make every
            // movement either nothing or a violent shake.
            setError(error, deviceDir + ": no in_accel_scale");
            return nullptr;
        }
        if (!scale || *scale <= 0) {
            setError(error, deviceDir + ": unusable in_accel_" + kAxes[i] + " scale");
            return nullptr;
        }
        acc->m_scale[i] = *scale;
        auto offset = axisValue(dir, kAxes[i], "offset", &present);
        if (present && !offset) {
            setError(error, deviceDir + ": unusable in_accel_" + kAxes[i] + " offset");
            return nullptr;
        }
        acc->m_offset[i] = offset.value_or(0.0);
        acc->m_fds[i] = ::open(raw.c_str(), O_RDONLY | O_CLOEXEC);
        if (acc->m_fds[i] < 0) {
            setError(error, raw.string() + ": cannot open");
            return nullptr;
        }
    }
    std::error_code ec;
    for (const char* file : {"in_accel_mount_matrix", "mount_matrix"}) {
        if (!fs::exists(dir / file, ec))
            continue;
        auto text = readSmallFile(dir / file);
        auto m = text ? parseMountMatrix(*text) : std::nullopt;
        if (!m) {
            setError(error, (dir / file).string() + ": unreadable mount matrix");
            return nullptr;
        }
        acc->m_mount = *m;
        break;
    }
    if (!acc->read()) {
        setError(error, deviceDir + ": the first reading failed");
        return nullptr;
    }
    return acc;
}

std::unique_ptr<IioAccelerometer> IioAccelerometer::find(const std::string& root, std::string* why)
{
    std::error_code ec;
    std::vector<fs::path> candidates;
    for (const auto& entry : fs::directory_iterator(root, ec)) {
        std::error_code ec2;
        if (fs::exists(entry.path() / "in_accel_x_raw", ec2))
            candidates.push_back(entry.path());
    }
    if (candidates.empty()) {
        setError(why, "no IIO accelerometer under " + root);
        return nullptr;
    }
    std::sort(candidates.begin(), candidates.end());
    std::string reasons;
    for (const auto& dir : candidates) {
        std::string error;
        if (auto acc = open(dir.string(), &error))
            return acc;
        reasons += (reasons.empty() ? "" : "; ") + error;
    }
    setError(why, reasons);
    return nullptr;
}

IioAccelerometer::~IioAccelerometer()
{
    for (int fd : m_fds) {
        if (fd >= 0)
            ::close(fd);
    }
}

std::optional<GVector> IioAccelerometer::read()
{
    double chip[3];
    for (int i = 0; i < 3; ++i) {
        char buf[64];
        ssize_t n;
        do {
            n = ::pread(m_fds[i], buf, sizeof buf, 0);
        } while (n < 0 && errno == EINTR);
        // A full buffer means the value is longer than any count; never parse a prefix.
        if (n <= 0 || static_cast<std::size_t>(n) >= sizeof buf)
            return std::nullopt;
        auto raw = parseSysfsNumber(std::string(buf, static_cast<std::size_t>(n)));
        if (!raw)
            return std::nullopt;
        chip[i] = (*raw + m_offset[i]) * m_scale[i] / kStandardGravity;
    }
    const auto& m = m_mount;
    return GVector{m[0] * chip[0] + m[1] * chip[1] + m[2] * chip[2], m[3] * chip[0] + m[4] * chip[1] + m[5] * chip[2],
                   m[6] * chip[0] + m[7] * chip[1] + m[8] * chip[2]};
}

} // namespace platform::gtk
