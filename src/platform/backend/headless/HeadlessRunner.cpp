#include "platform/backend/headless/HeadlessRunner.h"

#include "platform/core/Bundle.h"
#include "platform/device/Services.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

namespace platform {

HeadlessRunner::HeadlessRunner()
    : m_loop(RunLoop::createVirtual()),
      m_accel(std::make_shared<ScriptedAccelerationSource>()),
      m_haptics(std::make_shared<RecordingHaptics>()),
      m_urlOpener(std::make_shared<RecordingURLOpener>()),
      m_web(ScriptedWeb::create())
{
    RunLoop::setMain(m_loop);
}

HeadlessRunner::~HeadlessRunner()
{
    m_frames.reset();
    m_compositor.reset();
    resetServices();
    Application::shared().reset();
    if (RunLoop::mainShared() == m_loop)
        RunLoop::setMain(nullptr);
}

bool HeadlessRunner::launch(const Options& options, std::string* error)
{
    if (m_launched) {
        if (error)
            *error = "already launched";
        return false;
    }
    m_options = options;
    if (m_options.scale <= 0 || m_options.scale > 8) {
        if (error)
            *error = "the scale must be above 0 and at most 8";
        return false;
    }
    if (!m_options.accelerometerScript.empty() && !m_accel->loadFile(m_options.accelerometerScript, error))
        return false;

    Screen::main().setScale(m_options.scale);
    Bundle::main().setResourceDirectory(m_options.resourceDirectory.empty() ? m_options.interfaceFile.parent_path()
                                                                            : m_options.resourceDirectory);
    // The virtual clock stands still during launch, so t = 0 is this moment.
    m_start = m_loop->now();
    m_accel->setOrigin(m_start);
    Services headless;
    headless.acceleration = m_accel;
    headless.haptics = m_haptics;
    headless.urlOpener = m_urlOpener;
    headless.webEngine = [web = std::weak_ptr<ScriptedWeb>(m_web)]() -> std::shared_ptr<WebEngine> {
        auto scripted = web.lock();
        return scripted ? scripted->makeEngine() : nullptr;
    };
    installServices(std::move(headless));
    Application::shared().reset();
    if (!Application::shared().launch(m_options.interfaceFile, error))
        return false;
    m_launched = true;
    return true;
}

std::shared_ptr<Window> HeadlessRunner::window() const
{
    return Application::shared().keyWindow();
}

Compositor& HeadlessRunner::compositor()
{
    auto w = window();
    if (!m_compositor || m_compositor->window() != w) {
        m_frames.reset();
        // A window is always there to draw, even before the application made one key.
        m_compositor = std::make_unique<Compositor>(w ? w : Window::create());
    }
    return *m_compositor;
}

void HeadlessRunner::at(double t, std::function<void()> task)
{
    m_loop->scheduleAt(std::max(m_start + t, m_loop->now()), std::move(task));
}

void HeadlessRunner::tapAt(double t, Point point)
{
    Touch::Id id = m_nextTouch++;
    at(t, [this, id, point] {
        if (auto w = window()) {
            w->touchBegan(id, point);
            w->touchEnded(id, point);
        }
    });
}

std::optional<Point> HeadlessRunner::centreOf(const std::string& viewId) const
{
    auto view = std::dynamic_pointer_cast<View>(Application::shared().objectNamed(viewId));
    if (!view)
        return std::nullopt;
    Point centre = view->center();
    auto parent = view->superview();
    return parent ? parent->convertPointToView(centre, nullptr) : centre;
}

bool HeadlessRunner::tapAt(double t, const std::string& viewId, std::string* error)
{
    auto object = Application::shared().objectNamed(viewId);
    if (!object || !std::dynamic_pointer_cast<View>(object)) {
        if (error)
            *error = object ? "\"" + viewId + "\" is not a view" : "the interface has no object \"" + viewId + "\"";
        return false;
    }
    Touch::Id id = m_nextTouch++;
    // Where the view is at that time, not where it is now.
    at(t, [this, id, viewId] {
        auto w = window();
        auto point = centreOf(viewId);
        if (!w || !point)
            return;
        w->touchBegan(id, *point);
        w->touchEnded(id, *point);
    });
    return true;
}

void HeadlessRunner::snapshotAt(double t, std::filesystem::path png, std::function<void(bool, const std::string&)> done)
{
    // Posted again at t, so that everything already due at t happens first.
    at(t, [this, png = std::move(png), done = std::move(done)]() mutable {
        m_loop->post([this, png = std::move(png), done = std::move(done)] {
            std::string error;
            bool ok = writeSnapshot(png, &error);
            if (done)
                done(ok, error);
        });
    });
}

std::shared_ptr<Image> HeadlessRunner::snapshot()
{
    return compositor().renderImage(m_options.scale);
}

bool HeadlessRunner::writeSnapshot(const std::filesystem::path& png, std::string* error)
{
    auto image = snapshot();
    if (!image) {
        if (error)
            *error = "cannot draw the window";
        return false;
    }
    std::error_code ec;
    if (png.has_parent_path())
        std::filesystem::create_directories(png.parent_path(), ec);
    return image->writePNG(png, error);
}

void HeadlessRunner::runFor(double seconds)
{
    m_loop->runFor(seconds);
}

void HeadlessRunner::runUntil(double t)
{
    m_loop->runUntilTime(m_start + t);
}

void HeadlessRunner::startFrameDriver(double framesPerSecond)
{
    Compositor& c = compositor();
    m_frames.reset();
    m_frames = std::make_unique<FrameDriver>(
        c, [this] { snapshot(); }, framesPerSecond, *m_loop);
}

std::uint64_t HeadlessRunner::framesDrawn() const
{
    return m_frames ? m_frames->framesDrawn() : 0;
}

} // namespace platform
