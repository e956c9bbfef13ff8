#include "BenchSummary.h"

#include <cstdarg>
#include <cstdio>

namespace benchsummary {

namespace {

bool gMissed = false;

void line(std::string_view name, std::string_view value, std::string_view target, std::string_view verdict)
{
    std::printf("summary\t%.*s\t%.*s\t%.*s\t%.*s\n", int(name.size()), name.data(), int(value.size()), value.data(),
                int(target.size()), target.data(), int(verdict.size()), verdict.data());
    std::fflush(stdout);
}

} // namespace

void figure(std::string_view name, std::string_view value)
{
    line(name, value, "-", "-");
}

void check(std::string_view name, std::string_view value, std::string_view target, bool met)
{
    gMissed |= !met;
    line(name, value, target, met ? "ok" : "MISSED");
}

void skipped(std::string_view name, std::string_view why)
{
    line(name, "skipped (" + std::string(why) + ")", "-", "-");
}

int exitStatus()
{
    return gMissed ? 1 : 0;
}

std::string format(const char* pattern, ...)
{
    char text[256];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(text, sizeof text, pattern, args);
    va_end(args);
    return text;
}

} // namespace benchsummary
