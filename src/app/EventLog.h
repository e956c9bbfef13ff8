#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace brimsey {

// The headless run's event log: one line per event, the time in seconds since the run
// loop started ("%.3f"), a space, the event ("tick 3", "meter 612.450", ...).
class EventLog final {
public:
    // Writes to `out`, which the caller keeps open (stdout, or a file from open()).
    explicit EventLog(std::FILE* out, double startTime);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Opens `path` for writing ("-" is standard output); null with `error` set on failure.
    static std::unique_ptr<EventLog> open(const std::string& path, double startTime, std::string& error);

    void event(double now, std::string_view text);
    // "NAME VALUE" with the value as "%.3f" (the meter's centre y).
    void event(double now, std::string_view name, double value);
    void event(double now, std::string_view name, long value);

    // Times are logged relative to this absolute time.
    void setStartTime(double startTime) { m_start = startTime; }

    // False once a write has failed (full disk, closed pipe).
    bool flush();
    bool ok() const { return m_ok; }

private:
    void line(double now, const char* text, std::size_t length);

    std::FILE* m_out;
    bool m_owned{false};
    double m_start;
    bool m_ok{true};
};

} // namespace brimsey
