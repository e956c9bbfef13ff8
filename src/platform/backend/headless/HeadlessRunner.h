#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/backend/headless/RecordingHaptics.h"
#include "platform/backend/headless/RecordingURLOpener.h"
#include "platform/backend/headless/ScriptedAccelerationSource.h"
#include "platform/backend/headless/ScriptedWeb.h"
#include "platform/core/Geometry.h"
#include "platform/core/RunLoop.h"

namespace platform {

class Compositor;
class FrameDriver;
class Image;
class Window;

// Runs the application without a display, on a virtual clock, as fast as it can: for
// tests, scripts and the command line. Times given to it are seconds since t = 0, the
// moment the run loop starts after launch.
//
//   HeadlessRunner runner;
//   runner.launch({.interfaceFile = "resources/MainWindow.json"}, &error);
//   runner.tapAt(0.5, "butstart", &error);
//   runner.snapshotAt(3.0, "build/at3.png");
//   runner.runFor(12.0);
//
// One runner at a time: it installs the main run loop, the screen and the headless device
// services (platform::Services), and puts them back when destroyed.
class HeadlessRunner final {
public:
    struct Options {
        std::filesystem::path interfaceFile;
        // Where resources are found; default: the interface file's directory.
        std::filesystem::path resourceDirectory;
        // Pixels per point for snapshots and for choosing image variants.
        double scale{1.0};
        // Accelerometer script ("t x y z" lines); none: a device at rest.
        std::filesystem::path accelerometerScript;
    };

    HeadlessRunner();
    ~HeadlessRunner();
    HeadlessRunner(const HeadlessRunner&) = delete;
    HeadlessRunner& operator=(const HeadlessRunner&) = delete;

    // Loads and launches. On failure nothing runs and `error` says why.
    bool launch(const Options& options, std::string* error = nullptr);

    RunLoop& loop() { return *m_loop; }
    double startTime() const { return m_start; }
    // Seconds since t = 0.
    double elapsed() const { return m_loop->now() - m_start; }
    std::shared_ptr<Window> window() const;
    Compositor& compositor();
    ScriptedAccelerationSource& accelerometerSource() { return *m_accel; }
    RecordingHaptics& haptics() { return *m_haptics; }
    RecordingURLOpener& urlOpener() { return *m_urlOpener; }
    // The web engines of the run's web views, and the answers tests add to pages.
    ScriptedWeb& web() { return *m_web; }
    double scale() const { return m_options.scale; }

    // -- scripted input and output, at times since t = 0 (times already past run at once)
    void at(double t, std::function<void()> task);
    // A touch that begins and ends at `point` (window coordinates) at time t.
    void tapAt(double t, Point point);
    // The same at the centre of the frame of the view with this id in the interface
    // description. Fails at once for an unknown id or an object that is no view.
    bool tapAt(double t, const std::string& viewId, std::string* error = nullptr);
    // The window as drawn at time t, after everything due at t. `done` hears the outcome.
    void snapshotAt(double t, std::filesystem::path png,
                    std::function<void(bool ok, const std::string& error)> done = {});
    // The centre of a described view's frame in window coordinates, if there is one.
    std::optional<Point> centreOf(const std::string& viewId) const;

    // Runs the clock forward; runUntil takes a time since t = 0.
    void runFor(double seconds);
    void runUntil(double t);

    // The window now, at the runner's scale.
    std::shared_ptr<Image> snapshot();
    bool writeSnapshot(const std::filesystem::path& png, std::string* error = nullptr);

    // Draws frames as a display would (offscreen, up to `framesPerSecond`), only while
    // the window needs them; framesDrawn() counts them.
    void startFrameDriver(double framesPerSecond = 60.0);
    std::uint64_t framesDrawn() const;

private:
    Options m_options;
    std::shared_ptr<RunLoop> m_loop;
    std::shared_ptr<ScriptedAccelerationSource> m_accel;
    std::shared_ptr<RecordingHaptics> m_haptics;
    std::shared_ptr<RecordingURLOpener> m_urlOpener;
    std::shared_ptr<ScriptedWeb> m_web;
    std::unique_ptr<Compositor> m_compositor;
    std::unique_ptr<FrameDriver> m_frames;
    double m_start{0};
    bool m_launched{false};
    std::uint64_t m_nextTouch{1};
};

} // namespace platform
