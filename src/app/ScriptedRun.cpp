#include "app/ScriptedRun.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

#include "adnet/AdNetEvents.h"
#include "app/EventLog.h"
#include "app/MainView.h"
#include "app/MainViewObserver.h"
#include "app/TapTargets.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace brimsey {

// Writes what the game does to the event log, stamped with the loop's clock.
class LogObserver final : public MainViewObserver {
public:
    LogObserver(EventLog& log, platform::RunLoop& loop, bool flushEachLine)
        : m_log(log),
          m_loop(loop),
          m_flush(flushEachLine)
    {
    }
    void text(std::string_view event)
    {
        m_log.event(m_loop.now(), event);
        flush();
    }
    void effectStarted(std::string_view name) override
    {
        char line[64];
        int n = std::snprintf(line, sizeof line, "effect %.*s", static_cast<int>(name.size()), name.data());
        text(std::string_view(line, static_cast<std::size_t>(std::clamp(n, 0, int(sizeof line) - 1))));
    }
    void vibrated() override { text("vibrate"); }
    void meterMoved(double y) override
    {
        m_log.event(m_loop.now(), "meter", y);
        flush();
    }
    void hintChanged(bool shown) override { text(shown ? "hint show" : "hint hide"); }
    void tick(int count) override
    {
        m_log.event(m_loop.now(), "tick", static_cast<long>(count));
        flush();
    }
    void vibrationTick(int count2) override
    {
        m_log.event(m_loop.now(), "vtick", static_cast<long>(count2));
        flush();
    }
    void resultButtonsEnabled(bool enabled) override { text(enabled ? "buttons enabled" : "buttons disabled"); }
    void result(std::string_view button, std::string_view voice) override
    {
        text("result " + std::string(button) + " " + std::string(voice));
    }

private:
    void flush()
    {
        if (m_flush)
            m_log.flush();
    }

    EventLog& m_log;
    platform::RunLoop& m_loop;
    bool m_flush;
};

namespace {

// Far above the ids a pointer or a test hands out, so a scripted finger never takes over
// a real one.
constexpr std::uint64_t kFirstScriptedTouch = std::uint64_t{1} << 40;

} // namespace

ScriptedRun::ScriptedRun(const HeadlessOptions& options, std::ostream& err) : m_options(options), m_err(err)
{
}

ScriptedRun::~ScriptedRun()
{
    finish();
}

bool ScriptedRun::openLog()
{
    if (m_options.eventsFile.empty() || m_log)
        return true;
    std::string error;
    m_log = EventLog::open(m_options.eventsFile, 0, error);
    if (!m_log) {
        m_err << "brimsey: " << error << "\n";
        return false;
    }
    return true;
}

void ScriptedRun::at(double t, platform::RunLoop::Task task)
{
    m_pending.push_back(m_loop->scheduleAt(std::max(m_start + t, m_loop->now()), std::move(task)));
}

void ScriptedRun::listen(platform::RunLoop& loop, bool ads)
{
    m_loop = &loop;
    m_start = loop.now();
    if (!m_log)
        return;
    m_observer = std::make_shared<LogObserver>(*m_log, loop, m_flushEachLine);
    if (ads) {
        adnet::setAdNetEventListener([this](std::string_view event) { logEvent(event); });
        m_listening = true;
    }
}

bool ScriptedRun::start(double startTime, SnapshotWriter writer)
{
    m_start = startTime;
    m_writer = std::move(writer);

    auto checkTarget = [this](const std::string& target) {
        if (target.empty() || tapTargetAppearsLater(target) || tapTargetPoint(target))
            return true;
        m_err << "brimsey: the interface has no view \"" << target << "\" to touch\n";
        return false;
    };
    for (const auto& tap : m_options.taps)
        if (!checkTarget(tap.target))
            return false;
    for (const auto& touch : m_options.touches)
        if (!checkTarget(touch.target))
            return false;

    m_started = true;
    if (m_log) {
        m_log->setStartTime(startTime);
        for (const auto& [time, text] : m_early)
            m_log->event(time, text);
        m_early.clear();
        if (m_flushEachLine)
            m_log->flush();
        m_game = std::dynamic_pointer_cast<MainView>(platform::Application::shared().objectNamed("gameView"));
        if (m_game)
            m_game->setObserver(m_observer);
    }

    std::uint64_t nextId = kFirstScriptedTouch;
    for (const auto& tap : m_options.taps) {
        std::uint64_t id = nextId++;
        at(tap.time, [this, &tap, id] {
            touch(ScriptedTouch::Phase::began, tap.target, tap.x, tap.y, id);
            touch(ScriptedTouch::Phase::ended, tap.target, tap.x, tap.y, id);
        });
    }
    // The script's one finger keeps its id from began to its end.
    std::uint64_t fingerId = 0;
    for (const auto& step : m_options.touches) {
        if (step.phase == ScriptedTouch::Phase::began)
            fingerId = nextId++;
        at(step.time, [this, &step, fingerId] { touch(step.phase, step.target, step.x, step.y, fingerId); });
    }
    for (const auto& shot : m_options.snapshots) {
        // Posted again at its time, so that everything else due then happens first.
        at(shot.time, [this, &shot] {
            m_pending.push_back(m_loop->post([this, &shot] {
                std::string error;
                if (!m_writer || !m_writer(shot.path, &error)) {
                    m_err << "brimsey: cannot write the snapshot " << shot.path << ": " << error << "\n";
                    m_snapshotsOk = false;
                }
            }));
        });
    }
    return true;
}

void ScriptedRun::touch(ScriptedTouch::Phase phase, const std::string& target, double x, double y, std::uint64_t id)
{
    auto window = platform::Application::shared().keyWindow();
    if (!window)
        return;
    platform::Point point{static_cast<platform::Float>(x), static_cast<platform::Float>(y)};
    auto down = m_down.find(id);
    if (!target.empty()) {
        // A finger that is down stays where it was when its target has gone; one that
        // would go down where nothing is does not.
        auto found = tapTargetPoint(target);
        if (!found && down == m_down.end())
            return;
        point = found ? *found : down->second;
    }
    if (phase == ScriptedTouch::Phase::began || phase == ScriptedTouch::Phase::moved)
        m_down[id] = point;
    else if (down != m_down.end())
        m_down.erase(down);
    switch (phase) {
    case ScriptedTouch::Phase::began:
        window->touchBegan(id, point);
        break;
    case ScriptedTouch::Phase::moved:
        window->touchMoved(id, point);
        break;
    case ScriptedTouch::Phase::ended:
        window->touchEnded(id, point);
        break;
    case ScriptedTouch::Phase::cancelled:
        window->touchCancelled(id);
        break;
    }
}

void ScriptedRun::logEvent(std::string_view text)
{
    if (!m_observer)
        return;
    // Until t = 0 is known its lines wait, so that they can be stamped from it.
    if (!m_started) {
        m_early.emplace_back(m_loop->now(), std::string(text));
        return;
    }
    m_observer->text(text);
}

int ScriptedRun::finish()
{
    if (m_finished)
        return m_status;
    m_finished = true;
    if (m_loop) {
        for (auto id : m_pending)
            m_loop->cancel(id);
        m_pending.clear();
        m_loop = nullptr;
    }
    if (m_listening) {
        adnet::setAdNetEventListener({});
        m_listening = false;
    }
    if (m_game) {
        m_game->setObserver({});
        m_game.reset();
    }
    m_observer.reset();
    int status = m_snapshotsOk ? 0 : 1;
    if (m_log) {
        if (!m_log->flush()) {
            m_err << "brimsey: writing the event log " << m_options.eventsFile << " failed\n";
            status = 1;
        }
        m_log.reset();
    }
    m_status = status;
    return status;
}

} // namespace brimsey
