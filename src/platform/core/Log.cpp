#include "platform/core/Log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace platform {

std::string formatLogLine(double unixSeconds, std::string_view text)
{
    double whole = std::floor(unixSeconds);
    auto millis = int((unixSeconds - whole) * 1000.0);
    std::time_t seconds = std::time_t(whole);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    char head[128];
    std::snprintf(head, sizeof head, "%s.%03d %s[%ld:%ld] ", stamp, millis, program_invocation_short_name,
                  long(getpid()), long(syscall(SYS_gettid)));
    return head + std::string(text);
}

void logMessage(std::string_view text)
{
    const double now = std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    std::string line = formatLogLine(now, text);
    line += '\n';
    // One write, so lines of different threads do not interleave.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

} // namespace platform
