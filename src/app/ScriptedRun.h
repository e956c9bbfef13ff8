#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/HeadlessOptions.h"
#include "platform/core/Geometry.h"
#include "platform/core/RunLoop.h"

namespace brimsey {

class EventLog;
class MainView;
class LogObserver;

// The scripted part of a run, the same in the window and headless: taps, touches and
// snapshots at their times on the main run loop, and the event log of the game and the ad
// client. Touches go to the application's key window, the path the mouse takes.
//
//   ScriptedRun script(options, std::cerr);
//   if (!script.openLog()) return 2;   // before anything runs
//   script.listen(loop, ads);          // before launch: the first ad request comes then
//   ... launch ...
//   script.start(loop.now(), writer);  // at t = 0
//   ... run ...
//   int status = script.finish();
class ScriptedRun final {
public:
    // Writes a PNG of the window as drawn now; false with a reason.
    using SnapshotWriter = std::function<bool(const std::filesystem::path&, std::string* error)>;

    ScriptedRun(const HeadlessOptions& options, std::ostream& err);
    ~ScriptedRun();
    ScriptedRun(const ScriptedRun&) = delete;
    ScriptedRun& operator=(const ScriptedRun&) = delete;

    // Opens the event log, if one was asked for; false (with a message) when it cannot be
    // written.
    bool openLog();

    // Before launch: logs from now on what the ad client does (with `ads`), on `loop`'s
    // clock. What happens before t = 0 (the launch) is logged with a time below zero.
    void listen(platform::RunLoop& loop, bool ads);

    // After launch, at t = `startTime`: logs what the game does and schedules the script.
    // False (with a message) when a named target is not in the launched interface.
    bool start(double startTime, SnapshotWriter writer);

    // Stops listening and cancels what has not happened. The exit status: 0, or 1 when a
    // snapshot or the event log could not be written.
    int finish();

    // Runs `task` at time t of the script (after start(); cancelled by finish()).
    void at(double t, platform::RunLoop::Task task);

    // Writes every event line at once (a live window's log is read while it runs).
    void setFlushEachLine(bool flush) { m_flushEachLine = flush; }

private:
    void touch(ScriptedTouch::Phase phase, const std::string& target, double x, double y, std::uint64_t id);
    void logEvent(std::string_view text);

    const HeadlessOptions& m_options;
    std::ostream& m_err;
    std::unique_ptr<EventLog> m_log;
    std::shared_ptr<LogObserver> m_observer;
    std::shared_ptr<MainView> m_game;
    platform::RunLoop* m_loop{nullptr};
    double m_start{0};
    SnapshotWriter m_writer;
    std::vector<platform::RunLoop::EventId> m_pending;
    bool m_listening{false};
    bool m_snapshotsOk{true};
    bool m_flushEachLine{false};
    std::map<std::uint64_t, platform::Point> m_down; // scripted touches that are down
    bool m_started{false};
    bool m_finished{false};
    std::vector<std::pair<double, std::string>> m_early; // ad events during the launch
    int m_status{0};
};

} // namespace brimsey
