#include "app/HeadlessGame.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "app/EventLog.h"
#include "app/GameClasses.h"
#include "app/MainView.h"
#include "app/MainViewObserver.h"
#include "app/Resources.h"
#include "platform/backend/headless/HeadlessRunner.h"
#include "platform/backend/headless/ScriptedAccelerationSource.h"
#include "platform/ui/Application.h"

namespace brimsey {

namespace {

// Writes what the game does to the event log, stamped with the loop's clock.
class LogObserver final : public MainViewObserver {
public:
    LogObserver(EventLog& log, platform::RunLoop& loop) : m_log(log), m_loop(loop) { }
    void effectStarted(std::string_view name) override
    {
        char text[64];
        int n = std::snprintf(text, sizeof text, "effect %.*s", static_cast<int>(name.size()), name.data());
        m_log.event(m_loop.now(), std::string_view(text, static_cast<std::size_t>(n)));
    }
    void vibrated() override { m_log.event(m_loop.now(), "vibrate"); }
    void meterMoved(double y) override { m_log.event(m_loop.now(), "meter", y); }
    void hintChanged(bool shown) override { m_log.event(m_loop.now(), shown ? "hint show" : "hint hide"); }
    void tick(int count) override { m_log.event(m_loop.now(), "tick", static_cast<long>(count)); }
    void vibrationTick(int count2) override { m_log.event(m_loop.now(), "vtick", static_cast<long>(count2)); }
    void resultButtonsEnabled(bool enabled) override
    {
        m_log.event(m_loop.now(), enabled ? "buttons enabled" : "buttons disabled");
    }
    void result(std::string_view button, std::string_view voice) override
    {
        std::string text = "result " + std::string(button) + " " + std::string(voice);
        m_log.event(m_loop.now(), text);
    }

private:
    EventLog& m_log;
    platform::RunLoop& m_loop;
};

} // namespace

int runHeadless(const HeadlessOptions& options, std::ostream& err)
{
    // OpenAL Soft picks its output at the first call: without a sound card only the null
    // output opens. A driver chosen in the environment is kept.
    ::setenv("ALSOFT_DRIVERS", "null", 0);

    // Bad input is refused before anything runs.
    if (!options.accelFile.empty()) {
        platform::ScriptedAccelerationSource check;
        std::string error;
        if (!check.loadFile(options.accelFile, &error)) {
            err << "brimsey: " << error << "\n";
            return 2;
        }
    }
    std::unique_ptr<EventLog> log;
    if (!options.eventsFile.empty()) {
        std::string error;
        log = EventLog::open(options.eventsFile, 0, error);
        if (!log) {
            err << "brimsey: " << error << "\n";
            return 2;
        }
    }

    registerGameClasses();
    platform::HeadlessRunner runner;
    platform::HeadlessRunner::Options launch;
    launch.interfaceFile = pathForResource("MainWindow", "json");
    launch.resourceDirectory = resourceDirectory();
    launch.scale = options.scale;
    launch.accelerometerScript = options.accelFile;
    std::string error;
    if (!runner.launch(launch, &error)) {
        err << "brimsey: cannot launch: " << error << "\n";
        return 1;
    }
    auto game = std::dynamic_pointer_cast<MainView>(platform::Application::shared().objectNamed("gameView"));
    if (!game) {
        err << "brimsey: the interface description has no game view\n";
        return 1;
    }

    std::shared_ptr<LogObserver> observer;
    if (log) {
        log->setStartTime(runner.startTime());
        observer = std::make_shared<LogObserver>(*log, runner.loop());
        game->setObserver(observer);
    }
    for (const auto& tap : options.taps) {
        if (tap.outlet.empty()) {
            runner.tapAt(tap.time,
                         platform::Point{static_cast<platform::Float>(tap.x), static_cast<platform::Float>(tap.y)});
        } else if (!runner.tapAt(tap.time, tap.outlet, &error)) {
            err << "brimsey: --tap " << tap.outlet << ": " << error << "\n";
            return 1;
        }
    }
    bool snapshotsOk = true;
    for (const auto& shot : options.snapshots) {
        runner.snapshotAt(shot.time, shot.path,
                          [&err, &snapshotsOk, path = shot.path](bool ok, const std::string& why) {
                              if (!ok) {
                                  err << "brimsey: cannot write the snapshot " << path << ": " << why << "\n";
                                  snapshotsOk = false;
                              }
                          });
    }

    runner.runFor(options.runFor);

    int status = snapshotsOk ? 0 : 1;
    game->setObserver({});
    if (log && !log->flush()) {
        err << "brimsey: writing the event log " << options.eventsFile << " failed\n";
        status = 1;
    }
    return status;
}

} // namespace brimsey
