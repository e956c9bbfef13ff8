#include "platform/backend/gtk/DesktopApplication.h"

#include <gtk/gtk.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/backend/gtk/AccessibleMirror.h"
#include "platform/backend/gtk/DesktopDevices.h"
#include "platform/backend/gtk/DesktopURLOpener.h"
#include "platform/backend/gtk/GameWindow.h"
#include "platform/backend/gtk/GeoClueLocationManager.h"
#include "platform/backend/gtk/RunLoopSource.h"
#include "platform/backend/gtk/SoundOutput.h"
#include "platform/backend/gtk/WebKitModule.h"
#include "platform/backend/gtk/WebViewStack.h"
#include "platform/core/Bundle.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Accelerometer.h"
#include "platform/device/Haptics.h"
#include "platform/device/Services.h"
#include "platform/ui/Application.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

namespace platform::gtk {

namespace {

void say(bool verbose, const std::string& line)
{
    if (verbose)
        std::fprintf(stderr, "brimsey: %s\n", line.c_str());
}

Point toPoint(double x, double y)
{
    return Point{static_cast<Float>(x), static_cast<Float>(y)};
}

class Session final : public DesktopSession {
public:
    Session(Compositor& compositor, const GameWindow& window, GMainLoop* loop)
        : m_compositor(compositor),
          m_window(window),
          m_loop(loop)
    {
    }
    std::shared_ptr<Image> snapshot() override
    {
        // A web page is a widget of its own: only GTK's picture of the window shows it.
        if (m_compositor.hasNativeContent())
            if (auto shown = m_window.snapshotShownContent())
                return shown;
        // Before the window has a size, at the content's own size.
        double scale = m_window.viewport().scale() * m_window.deviceScale();
        return m_compositor.renderImage(scale > 0 ? scale : 1.0);
    }
    void close() override { g_main_loop_quit(m_loop); }

private:
    Compositor& m_compositor;
    const GameWindow& m_window;
    GMainLoop* m_loop;
};

} // namespace

int runDesktopApplication(const DesktopOptions& options)
{
    // Before anything can touch OpenAL (the launch below loads the game's sounds), and
    // while this process has one thread: the probe forks.
    std::string soundNote;
    chooseSoundOutput(&soundNote);

    // Every frame is drawn with cairo already; GTK's cairo renderer shows it without
    // loading a GL driver (about 75 MB less resident memory). GSK_RENDERER still decides.
    setenv("GSK_RENDERER", "cairo", 0);
    // With that renderer nothing uses GL, yet GTK would open a GL display at start-up to pick
    // a visual, which loads the driver all the same (Mesa's, with LLVM: about 50 MB).
    if (std::string_view(std::getenv("GSK_RENDERER")) == "cairo" && !std::getenv("GDK_DEBUG"))
        setenv("GDK_DEBUG", "gl-disable", 0);
    // Web pages (landing screens) in WebKit, over the game's drawing. Its settings go into
    // the environment here too: setenv races every getenv on other threads, and GTK soon
    // starts some (pango loads fontconfig on one).
    auto webStack = WebViewStack::create();
    // The user's language for texts, but numbers always as C writes them: event logs and the
    // ad request carry decimal points, whatever the language (GTK would set LC_NUMERIC too).
    gtk_disable_setlocale();
    setlocale(LC_ALL, "");
    setlocale(LC_NUMERIC, "C");
    // The application's id names its windows to the desktop (matching its desktop entry).
    // Not unique: every start is a game of its own, and scripted runs may overlap.
    g_set_prgname(options.applicationId.c_str());
    if (!gtk_init_check()) {
        const char* display = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        std::fprintf(stderr, "brimsey: cannot open a display (DISPLAY=%s, WAYLAND_DISPLAY=%s)\n",
                     display ? display : "", wayland ? wayland : "");
        return kNoDisplayStatus;
    }

    if (!soundNote.empty())
        say(true, soundNote);

    auto loop = RunLoop::mainShared();
    auto source = std::make_unique<RunLoopSource>(loop);

    std::string why;
    auto sensor = IioAccelerometer::find(options.iioRoot, &why);
    if (sensor)
        say(options.verbose, "accelerometer: " + (sensor->name().empty() ? std::string("IIO") : sensor->name()) +
                                 " at " + sensor->path());
    auto acceleration = std::make_shared<DesktopAccelerationSource>(std::move(sensor), options.idleRest);

    if (!webStack->sandboxNote().empty())
        say(options.verbose, webStack->sandboxNote());

    std::unique_ptr<GameWindow> gameWindow;
    auto haptics = std::make_shared<DesktopHaptics>([&gameWindow] {
        if (gameWindow)
            gameWindow->jolt();
    });
    Services desktop;
    desktop.acceleration = acceleration;
    desktop.haptics = haptics;
    desktop.location = geoClueLocationService(options.applicationId);
    desktop.urlOpener = std::make_shared<DesktopURLOpener>();
    desktop.webEngine = [webStack] { return webStack->makeEngine(); };
    desktop.prepareWebEngine = prepareWebKitEngine;
    installServices(std::move(desktop));
    say(options.verbose, haptics->vibrator().available()
                             ? "vibration: feedbackd"
                             : "vibration: " + haptics->vibrator().status() + "; the game jolts instead");

    // Pictures are chosen for the pixels per point the window starts with (the @2x ones
    // above 1x), so a window scaled to a large monitor stays sharp.
    MonitorInfo monitor = primaryMonitor();
    Rect screen = Screen::main().bounds();
    WindowSize start = comfortableWindowSize(screen.size.width, screen.size.height, monitor.width, monitor.height);
    Screen::main().setScale(monitor.scale * start.height / static_cast<double>(screen.size.height));
    Bundle::main().setResourceDirectory(options.resourceDirectory.empty() ? options.interfaceFile.parent_path()
                                                                          : options.resourceDirectory);
    std::string error;
    if (!Application::shared().launch(options.interfaceFile, &error)) {
        std::fprintf(stderr, "brimsey: cannot start: %s\n", error.c_str());
        resetServices();
        return 1;
    }
    std::shared_ptr<Window> window = Application::shared().keyWindow();
    if (!window) {
        std::fprintf(stderr, "brimsey: cannot start: the interface description shows no window\n");
        return 1;
    }
    Rect bounds = window->bounds();
    Compositor compositor(window);

    GtkApplication* app = gtk_application_new(options.applicationId.c_str(), G_APPLICATION_NON_UNIQUE);
    GError* registerError = nullptr;
    if (!g_application_register(G_APPLICATION(app), nullptr, &registerError)) {
        say(options.verbose, std::string("the desktop session did not take the application id: ") +
                                 (registerError ? registerError->message : "no reason given"));
        g_clear_error(&registerError);
    }
    GMainLoop* mainLoop = g_main_loop_new(nullptr, FALSE);
    Touch::Id nextTouch = 1;
    Touch::Id activeTouch = 0;
    auto now = [loop] { return loop->now(); };

    GameWindow::Hooks hooks;
    hooks.now = now;
    hooks.draw = [&compositor](cairo_t* cr, double pixelScale) {
        compositor.render(cr, pixelScale, Compositor::Pass::BelowNative);
    };
    hooks.drawAbove = [&compositor](cairo_t* cr, double pixelScale) {
        compositor.render(cr, pixelScale, Compositor::Pass::AboveNative);
    };
    std::unique_ptr<AccessibleMirror> mirror;
    hooks.beforeFrame = [&] {
        gameWindow->setAboveLayerShown(webStack->place(now()));
        if (mirror)
            mirror->sync();
    };
    hooks.navigationKey = [&](NavigationKey key) {
        bool taken = mirror && mirror->handleKey(key);
        if (taken)
            gameWindow->startFrames();
        return taken;
    };
    // Over a page, our views take a press only where one of them is drawn above it.
    hooks.takesPressAbove = [&](double x, double y) {
        if (!webStack->coversPoint(x, y))
            return false;
        auto hit = window->hitTest(toPoint(x, y));
        return hit && Compositor::isAboveNativeContent(*hit);
    };
    hooks.animating = [&compositor] { return compositor.isAnimating(); };
    hooks.pressed = [&](double x, double y) {
        activeTouch = nextTouch++;
        window->touchBegan(activeTouch, toPoint(x, y));
    };
    hooks.dragged = [&](double x, double y) {
        if (activeTouch)
            window->touchMoved(activeTouch, toPoint(x, y));
    };
    hooks.released = [&](double x, double y) {
        if (activeTouch)
            window->touchEnded(activeTouch, toPoint(x, y));
        activeTouch = 0;
    };
    hooks.cancelled = [&] {
        if (activeTouch)
            window->touchCancelled(activeTouch);
        activeTouch = 0;
    };
    hooks.pointerMoved = [&](double x, double y) {
        acceleration->shakes().pointer().moved(now(), x, y);
        acceleration->activity();
    };
    hooks.pointerLeft = [&] { acceleration->shakes().pointer().lost(); };
    hooks.shakeKey = [&](bool down) {
        acceleration->activity();
        if (down)
            acceleration->shakes().key().pressed(now());
        else
            acceleration->shakes().key().released();
    };
    hooks.focusLost = [&] { acceleration->shakes().focusLost(); };
    hooks.closed = [mainLoop] { g_main_loop_quit(mainLoop); };

    gameWindow = std::make_unique<GameWindow>(options.title, bounds.size.width, bounds.size.height, hooks, app);
    webStack->attach(gameWindow.get());
    mirror = std::make_unique<AccessibleMirror>(*gameWindow, window);
    // One frame per change; frames keep coming while something animates.
    compositor.setNeedsDisplayHandler([&gameWindow] { gameWindow->startFrames(); });
    gameWindow->present();
    gameWindow->startFrames();
    say(options.verbose, "shake with the mouse (fast back-and-forth over the window) or hold Space");

    Session session(compositor, *gameWindow, mainLoop);
    if (options.started)
        options.started(session);
    g_main_loop_run(mainLoop);
    if (options.stopped)
        options.stopped();

    Application::shared().terminate();
    compositor.setNeedsDisplayHandler(nullptr);
    webStack->attach(nullptr);
    mirror.reset();
    gameWindow.reset();
    resetServices();
    g_main_loop_unref(mainLoop);
    g_object_unref(app);
    source.reset();
    // What closing the window left for GTK to finish.
    while (g_main_context_iteration(nullptr, FALSE)) { }
    return 0;
}

} // namespace platform::gtk
