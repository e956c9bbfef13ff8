#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class Image;
}

namespace platform::gtk {

// Exit status when no display can be opened (scripts fall back to a headless run).
constexpr int kNoDisplayStatus = 69;

// The running window as a script sees it (main thread only).
class DesktopSession {
public:
    virtual ~DesktopSession() = default;
    // The window's content as drawn now, at the pixels per point the window shows it at.
    virtual std::shared_ptr<Image> snapshot() = 0;
    // Closes the window as the player would: runDesktopApplication returns 0.
    virtual void close() = 0;
};

struct DesktopOptions {
    std::filesystem::path interfaceFile;
    // Where pictures and sounds are found; default: the interface file's folder.
    std::filesystem::path resourceDirectory;
    std::string title{"brimsey"};
    // The application id: the GtkApplication's, the desktop file's name without ".desktop"
    // (which services such as GeoClue ask for) and the window's class.
    std::string applicationId{"net.brimsey.Brimsey"};
    // Where to look for an IIO accelerometer.
    std::string iioRoot{"/sys/bus/iio/devices"};
    // Say on stderr how to play and what was found (sound, sensor, vibration).
    bool verbose{true};
    // Readings and the sound output rest while nothing moves or sounds; off only to
    // measure what that saves.
    bool idleRest{true};
    // Called once the window is shown, just before the run loop starts (t = 0 of a
    // script), and once the run loop has ended, before the application is torn down.
    std::function<void(DesktopSession&)> started;
    std::function<void()> stopped;
};

// Runs the application in a GTK 4 window until the window is closed: loads the interface
// description into the platform's application object, draws its key window scaled to the
// monitor, drives the main RunLoop from GLib's main loop, feeds clicks and taps as touches,
// shakes from the IIO sensor, the pointer and the Space key, and vibrates through
// feedbackd or a visible jolt. Returns the exit status: 0 after the window was closed,
// kNoDisplayStatus without a display, 1 when the application cannot launch.
int runDesktopApplication(const DesktopOptions& options);

} // namespace platform::gtk
