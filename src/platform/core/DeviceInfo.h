#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What the device says about itself: the phone platform's model, system name and version,
// hardware machine name and unique identifier, found on Linux in DMI, os-release, uname and
// /etc/machine-id. Every string is printable ASCII, so it can go into an HTTP header.
struct DeviceFacts {
    std::string model;         // DMI product name, the device-tree model, or "PC"
    std::string systemName;    // os-release NAME, or "Linux"
    std::string systemVersion; // os-release VERSION_ID (or BUILD_ID), or "unknown"
    std::string machine;       // uname's machine field, e.g. "x86_64"
    // An id for this application on this machine, derived from /etc/machine-id the way
    // systemd derives application-specific ids; never the machine id itself. Absent when the
    // machine has no usable id.
    std::optional<std::string> uniqueIdentifier;

    bool operator==(const DeviceFacts&) const = default;
};

// Where the facts are read from; tests point these at files of their own.
struct DeviceFactSources {
    std::string dmiProductName{"/sys/class/dmi/id/product_name"};
    std::string deviceTreeModel{"/sys/firmware/devicetree/base/model"};
    std::string osRelease{"/etc/os-release"};
    std::string osReleaseFallback{"/usr/lib/os-release"};
    std::string machineId{"/etc/machine-id"};
    std::optional<std::string> machine; // instead of uname, when set
};

// The 128-bit application id that keys the derived identifier.
inline constexpr std::array<std::uint8_t, 16> kBrimseyApplicationId{0x6b, 0x1e, 0x92, 0x4d, 0x0c, 0x57, 0x4a, 0x83,
                                                                    0x9f, 0x2e, 0x41, 0xd6, 0x5a, 0x70, 0xc3, 0x18};

DeviceFacts readDeviceFacts(const DeviceFactSources& sources = {});

// The facts of this machine, read once; or those a test has set.
DeviceFacts currentDeviceFacts();
void setCurrentDeviceFacts(std::optional<DeviceFacts> facts);

// HMAC-SHA-256 keyed by the 128-bit machine id over the application id, first 16 bytes,
// marked as a version-4 UUID, as 32 lower-case hex digits. nullopt unless machineIdText is
// 32 hex digits (surrounding whitespace allowed) and not all zero.
std::optional<std::string> applicationSpecificId(std::string_view machineIdText,
                                                 const std::array<std::uint8_t, 16>& applicationId);

// Keeps printable ASCII only and trims surrounding spaces.
std::string printableASCII(std::string_view text);

} // namespace platform
