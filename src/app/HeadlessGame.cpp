#include "app/HeadlessGame.h"

#include <cmath>
#include <cstdlib>
#include <memory>
#include <ostream>

#include "app/AccelTrace.h"
#include "app/EventLog.h"
#include "app/GameClasses.h"
#include "app/MainView.h"
#include "app/MainViewObserver.h"
#include "app/Resources.h"
#include "app/brimseyAppDelegate.h"
#include "platform/core/Bundle.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Accelerometer.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

namespace brimsey {

namespace {

// Plays a recorded trace: the k-th update (k x interval after the run started) reads the
// trace at exactly k x interval, whatever rounding the absolute clock adds.
class TraceSource final : public platform::AccelerationSource {
public:
    TraceSource(AccelTrace trace, double startTime)
        : m_trace(std::move(trace))
        , m_start(startTime)
    {
    }
    platform::Acceleration read(double now) override
    {
        double interval = platform::Accelerometer::shared().updateInterval();
        double k = std::round((now - m_start) / interval);
        auto sample = m_trace.at(k * interval);
        return {sample.x, sample.y, sample.z, now};
    }

private:
    AccelTrace m_trace;
    double m_start;
};

// Writes what the game does to the event log, stamped with the loop's clock.
class LogObserver final : public MainViewObserver {
public:
    LogObserver(EventLog& log, platform::RunLoop& loop)
        : m_log(log)
        , m_loop(loop)
    {
    }
    void effectStarted(std::string_view name) override
    {
        char text[64];
        int n = std::snprintf(text, sizeof text, "effect %.*s", static_cast<int>(name.size()),
                              name.data());
        m_log.event(m_loop.now(), std::string_view(text, static_cast<std::size_t>(n)));
    }
    void vibrated() override { m_log.event(m_loop.now(), "vibrate"); }
    void meterMoved(double y) override { m_log.event(m_loop.now(), "meter", y); }
    void hintChanged(bool shown) override
    {
        m_log.event(m_loop.now(), shown ? "hint show" : "hint hide");
    }
    void tick(int count) override { m_log.event(m_loop.now(), "tick", static_cast<long>(count)); }
    void vibrationTick(int count2) override
    {
        m_log.event(m_loop.now(), "vtick", static_cast<long>(count2));
    }
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

// The centre of an outlet's frame, in window coordinates.
std::optional<platform::Point> outletCentre(const MainView& game, const std::string& name)
{
    std::shared_ptr<platform::View> view;
    if (name == "butstart")
        view = game.butstart();
    else if (name == "butd1")
        view = game.butd1();
    else if (name == "butd2")
        view = game.butd2();
    else if (name == "butd3")
        view = game.butd3();
    else if (name == "butd4")
        view = game.butd4();
    if (!view)
        return std::nullopt;
    auto bounds = view->bounds();
    return view->convertPointToView(bounds.center(), nullptr);
}

} // namespace

int runHeadless(const HeadlessOptions& options, std::ostream& err)
{
    // OpenAL Soft picks its output at the first call: without a sound card only the null
    // output opens. A driver chosen in the environment is kept.
    ::setenv("ALSOFT_DRIVERS", "null", 0);

    AccelTrace trace;
    if (!options.accelFile.empty()) {
        std::string error;
        auto loaded = AccelTrace::load(options.accelFile, error);
        if (!loaded) {
            err << "brimsey: " << error << "\n";
            return 2;
        }
        trace = std::move(*loaded);
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

    auto loop = platform::RunLoop::createVirtual();
    platform::RunLoop::setMain(loop);
    platform::Screen::main().setScale(options.scale);
    platform::Bundle::main().setResourceDirectory(resourceDirectory());
    auto source = std::make_shared<TraceSource>(std::move(trace), loop->now());
    platform::Accelerometer::shared().setSource(source);

    registerGameClasses();
    auto& application = platform::Application::shared();
    std::string error;
    if (!application.launch(pathForResource("MainWindow", "json"), &error)) {
        err << "brimsey: cannot launch: " << error << "\n";
        return 1;
    }
    auto game = std::dynamic_pointer_cast<MainView>(application.objectNamed("gameView"));
    auto delegate = std::dynamic_pointer_cast<brimseyAppDelegate>(application.delegate());
    auto window = delegate ? delegate->window() : nullptr;
    if (!game || !window) {
        err << "brimsey: the interface description has no game view or no window\n";
        return 1;
    }

    // t = 0 is now: the run loop starts.
    const double start = loop->now();
    std::shared_ptr<LogObserver> observer;
    if (log) {
        log->setStartTime(start);
        observer = std::make_shared<LogObserver>(*log, *loop);
        game->setObserver(observer);
    }

    platform::Touch::Id nextTouch = 1;
    for (const auto& tap : options.taps) {
        platform::Point point{static_cast<platform::Float>(tap.x), static_cast<platform::Float>(tap.y)};
        if (!tap.outlet.empty()) {
            auto centre = outletCentre(*game, tap.outlet);
            if (!centre) {
                err << "brimsey: the interface description has no " << tap.outlet << "\n";
                return 1;
            }
            point = *centre;
        }
        auto id = nextTouch++;
        loop->scheduleAt(start + tap.time, [window, id, point] {
            window->touchBegan(id, point);
            window->touchEnded(id, point);
        });
    }

    bool snapshotsOk = true;
    platform::Compositor compositor(window);
    for (const auto& shot : options.snapshots) {
        loop->scheduleAt(start + shot.time, [&, shot] {
            // Drawn after everything else due at this moment.
            loop->post([&, shot] {
                auto image = compositor.renderImage(options.scale);
                std::string writeError;
                if (!image || !image->writePNG(shot.path, &writeError)) {
                    err << "brimsey: cannot write the snapshot " << shot.path << ": "
                        << writeError << "\n";
                    snapshotsOk = false;
                }
            });
        });
    }

    loop->runFor(options.runFor);

    int status = snapshotsOk ? 0 : 1;
    if (log && !log->flush()) {
        err << "brimsey: writing the event log " << options.eventsFile << " failed\n";
        status = 1;
    }
    game->setObserver({});
    return status;
}

} // namespace brimsey
