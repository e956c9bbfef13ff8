#pragma once

#include <charconv>
#include <string>

namespace adnet {

// The text "%f" gives in the C locale (six decimals), whatever locale the host has set:
// a decimal comma would break "lat,long" and the query.
inline std::string formatFixed6(double value)
{
    char buffer[400];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 6);
    if (result.ec != std::errc())
        return "nan";
    return std::string(buffer, result.ptr);
}

} // namespace adnet
