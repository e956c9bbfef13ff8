#include "app/EventLog.h"

#include <cerrno>
#include <cstring>

namespace brimsey {

EventLog::EventLog(std::FILE* out, double startTime) : m_out(out), m_start(startTime)
{
}

EventLog::~EventLog()
{
    if (m_owned && m_out)
        std::fclose(m_out);
    else if (m_out)
        std::fflush(m_out);
}

std::unique_ptr<EventLog> EventLog::open(const std::string& path, double startTime, std::string& error)
{
    if (path == "-")
        return std::make_unique<EventLog>(stdout, startTime);
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = path + ": cannot write the event log: " + std::strerror(errno);
        return nullptr;
    }
    auto log = std::make_unique<EventLog>(file, startTime);
    log->m_owned = true;
    return log;
}

void EventLog::line(double now, const char* text, std::size_t length)
{
    char stamp[48];
    int n = std::snprintf(stamp, sizeof stamp, "%.3f ", now - m_start);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof stamp) {
        m_ok = false;
        return;
    }
    if (std::fwrite(stamp, 1, static_cast<std::size_t>(n), m_out) != static_cast<std::size_t>(n) ||
        std::fwrite(text, 1, length, m_out) != length || std::fputc('\n', m_out) == EOF)
        m_ok = false;
}

void EventLog::event(double now, std::string_view text)
{
    line(now, text.data(), text.size());
}

void EventLog::event(double now, std::string_view name, double value)
{
    char text[96];
    int n = std::snprintf(text, sizeof text, "%.*s %.3f", static_cast<int>(name.size()), name.data(), value);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof text)
        line(now, text, static_cast<std::size_t>(n));
    else
        m_ok = false;
}

void EventLog::event(double now, std::string_view name, long value)
{
    char text[96];
    int n = std::snprintf(text, sizeof text, "%.*s %ld", static_cast<int>(name.size()), name.data(), value);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof text)
        line(now, text, static_cast<std::size_t>(n));
    else
        m_ok = false;
}

bool EventLog::flush()
{
    if (std::fflush(m_out) != 0 || std::ferror(m_out))
        m_ok = false;
    return m_ok;
}

} // namespace brimsey
