#include "platform/core/DeviceInfo.h"

#include "platform/core/FileSystem.h"
#include "platform/core/Sha256.h"
#include "platform/core/Text.h"

#include <sys/utsname.h>

#include <mutex>
#include <sstream>
#include <unordered_map>

namespace platform {

namespace {

constexpr std::size_t kSmallFileCap = 64 * 1024;

// Kernel and firmware strings may carry NUL padding as well as white space.
std::string_view trimPadded(std::string_view text)
{
    using namespace std::string_view_literals;
    return platform::trim(text, " \t\r\n\0"sv);
}

// os-release is a list of shell assignments; values may be quoted and backslash-escaped.
std::unordered_map<std::string, std::string> parseOsRelease(const std::string& text)
{
    std::unordered_map<std::string, std::string> values;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::string_view view = trimPadded(line);
        if (view.empty() || view.front() == '#')
            continue;
        auto eq = view.find('=');
        if (eq == std::string_view::npos || eq == 0)
            continue;
        std::string key(view.substr(0, eq));
        std::string_view raw = view.substr(eq + 1);
        std::string value;
        if (!raw.empty() && (raw.front() == '"' || raw.front() == '\'')) {
            char quote = raw.front();
            for (std::size_t i = 1; i < raw.size() && raw[i] != quote; ++i) {
                if (quote == '"' && raw[i] == '\\' && i + 1 < raw.size())
                    ++i;
                value.push_back(raw[i]);
            }
        } else {
            value = std::string(raw);
        }
        values[key] = value;
    }
    return values;
}

std::optional<DeviceFacts>& overrideSlot()
{
    static std::optional<DeviceFacts> slot;
    return slot;
}

std::mutex& factsMutex()
{
    static std::mutex mutex;
    return mutex;
}

} // namespace

std::string printableASCII(std::string_view text)
{
    std::string out;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7f)
            out.push_back(c);
    }
    return std::string(trimPadded(out));
}

std::optional<std::string> applicationSpecificId(std::string_view machineIdText,
                                                 const std::array<std::uint8_t, 16>& applicationId)
{
    std::string_view text = trimPadded(machineIdText);
    if (text.size() != 32)
        return std::nullopt;
    std::array<std::uint8_t, 16> machineId{};
    bool allZero = true;
    for (std::size_t i = 0; i < 16; ++i) {
        int hi = hexDigitValue(text[2 * i]);
        int lo = hexDigitValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        machineId[i] = std::uint8_t(hi * 16 + lo);
        allZero = allZero && machineId[i] == 0;
    }
    if (allZero)
        return std::nullopt;
    Sha256::Digest mac = Sha256::hmac(machineId, applicationId);
    mac[6] = std::uint8_t((mac[6] & 0x0F) | 0x40);
    mac[8] = std::uint8_t((mac[8] & 0x3F) | 0x80);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < 16; ++i) {
        out.push_back(kHex[mac[i] >> 4]);
        out.push_back(kHex[mac[i] & 0xF]);
    }
    return out;
}

DeviceFacts readDeviceFacts(const DeviceFactSources& sources)
{
    DeviceFacts facts;

    for (const auto* path : {&sources.dmiProductName, &sources.deviceTreeModel}) {
        if (auto text = fs::readFile(*path, kSmallFileCap, fs::Links::Follow)) {
            facts.model = printableASCII(*text);
            if (!facts.model.empty())
                break;
        }
    }
    if (facts.model.empty())
        facts.model = "PC";

    auto release = fs::readFile(sources.osRelease, kSmallFileCap, fs::Links::Follow);
    if (!release)
        release = fs::readFile(sources.osReleaseFallback, kSmallFileCap, fs::Links::Follow);
    auto values = parseOsRelease(release.value_or(""));
    facts.systemName = printableASCII(values["NAME"]);
    if (facts.systemName.empty())
        facts.systemName = "Linux";
    facts.systemVersion = printableASCII(values["VERSION_ID"]);
    if (facts.systemVersion.empty())
        facts.systemVersion = printableASCII(values["BUILD_ID"]);
    if (facts.systemVersion.empty())
        facts.systemVersion = "unknown";

    if (sources.machine) {
        facts.machine = printableASCII(*sources.machine);
    } else {
        struct utsname names { };
        if (uname(&names) == 0)
            facts.machine = printableASCII(names.machine);
    }
    if (facts.machine.empty())
        facts.machine = "unknown";

    if (auto id = fs::readFile(sources.machineId, kSmallFileCap, fs::Links::Follow))
        facts.uniqueIdentifier = applicationSpecificId(*id, kBrimseyApplicationId);
    return facts;
}

DeviceFacts currentDeviceFacts()
{
    std::lock_guard lock(factsMutex());
    if (overrideSlot())
        return *overrideSlot();
    static const DeviceFacts machineFacts = readDeviceFacts();
    return machineFacts;
}

void setCurrentDeviceFacts(std::optional<DeviceFacts> facts)
{
    std::lock_guard lock(factsMutex());
    overrideSlot() = std::move(facts);
}

} // namespace platform
