#pragma once

#include <string>
#include <string_view>

namespace platform {

// One line on standard error in the usual log form: local time stamp with milliseconds,
// program name, process and thread id, then the text:
//   2026-12-08 03:04:05.123 brimsey[1234:5678] AdNet: Did receive ad
void logMessage(std::string_view text);
// The same line without the newline, for a given Unix time.
std::string formatLogLine(double unixSeconds, std::string_view text);

} // namespace platform
