#include "platform/backend/gtk/WebViewStack.h"

#include <gtk/gtk.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "platform/backend/gtk/WebKitModule.h"
#include "platform/core/Timer.h"

namespace platform::gtk {

namespace {

constexpr const char* kNoSandbox = "WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS";

// Whether bubblewrap can make the namespaces WebKit's sandbox puts web processes in (it
// cannot inside many containers).
bool bubblewrapWorks(std::string* why)
{
    gchar* bwrap = g_find_program_in_path("bwrap");
    if (!bwrap) {
        *why = "bubblewrap (bwrap) is not installed";
        return false;
    }
    const gchar* argv[] = {bwrap,
                           "--ro-bind",
                           "/",
                           "/",
                           "--proc",
                           "/proc",
                           "--dev",
                           "/dev",
                           "--unshare-pid",
                           "--unshare-ipc",
                           "--unshare-uts",
                           "--unshare-net",
                           "--die-with-parent",
                           "true",
                           nullptr};
    gint status = -1;
    GError* error = nullptr;
    gboolean ran = g_spawn_sync(nullptr, const_cast<gchar**>(argv), nullptr,
                                GSpawnFlags(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
                                nullptr, nullptr, &status, &error);
    g_free(bwrap);
    if (error) {
        *why = std::string("bubblewrap cannot run: ") + error->message;
        g_error_free(error);
        return false;
    }
    if (!ran || !g_spawn_check_wait_status(status, nullptr)) {
        *why = "bubblewrap cannot make namespaces here";
        return false;
    }
    return true;
}

} // namespace

std::shared_ptr<WebViewStack> WebViewStack::create()
{
    std::shared_ptr<WebViewStack> stack(new WebViewStack());
    // Pages are drawn with cairo like the rest of the window: no GL compositing to set up.
    setenv("WEBKIT_DISABLE_COMPOSITING_MODE", "1", 0);
    // Without compositing no GPU buffer crosses to this process, and WebGL is off: naming no
    // real render device spares this process WebKit's EGL probe, which loads Mesa and LLVM
    // (about 10 MiB it never gives back, and 0.3 s on the first tap).
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
    setenv("WEBKIT_WEB_RENDER_DEVICE_FILE", "/dev/null", 0);
    std::string why;
    if (std::getenv(kNoSandbox)) {
        stack->m_sandboxNote = "web pages run without WebKit's sandbox (" + std::string(kNoSandbox) + " is set)";
    } else if (!bubblewrapWorks(&why)) {
        setenv(kNoSandbox, "1", 1);
        stack->m_sandboxNote = "web pages run without WebKit's sandbox: " + why;
    }
    return stack;
}

WebViewStack::~WebViewStack()
{
    if (m_trimTimer)
        m_trimTimer->invalidate();
    attach(nullptr);
}

std::shared_ptr<WebEngine> WebViewStack::makeEngine()
{
    return makeWebKitEngine(shared_from_this());
}

void WebViewStack::add(StackedPage& engine)
{
    m_engines.push_back(&engine);
    if (m_window)
        m_window->addNativeWidget(engine.widget());
}

void WebViewStack::remove(StackedPage& engine)
{
    std::erase(m_engines, &engine);
    if (!m_engines.empty())
        return;
    // The last page went: what the program's allocator still keeps of WebKit's side of it
    // (freed, but not given back to the system) goes back, once the widget's own clean-up
    // on the loop is done too.
    if (m_trimTimer)
        m_trimTimer->invalidate();
    m_trimTimer = Timer::schedule(kTrimDelaySeconds, false, [](Timer&) {
        traceWeb("memory trimmed");
#ifdef __GLIBC__
        malloc_trim(0);
#endif
    });
}

void WebViewStack::attach(NativeWidgetHost* window)
{
    if (window == m_window)
        return;
    if (m_window) {
        if (m_window->overlay() && m_positionHandler)
            g_signal_handler_disconnect(m_window->overlay(), m_positionHandler);
        m_positionHandler = 0;
        // The window is going: its pages go with it.
        auto engines = m_engines;
        for (auto* engine : engines)
            engine->drop();
    }
    m_window = window;
    if (!m_window || !m_window->overlay())
        return;
    m_positionHandler = g_signal_connect(m_window->overlay(), "get-child-position", G_CALLBACK(childPosition), this);
    for (auto* engine : m_engines)
        m_window->addNativeWidget(engine->widget());
}

int WebViewStack::childPosition(void*, void* widget, void* allocation, void* data)
{
    auto* self = static_cast<WebViewStack*>(data);
    for (auto* engine : self->m_engines)
        if (engine->widget() == widget) {
            const auto& a = engine->allocation();
            *static_cast<GdkRectangle*>(allocation) = {a.x, a.y, std::max(a.width, 1), std::max(a.height, 1)};
            return TRUE;
        }
    return FALSE;
}

bool WebViewStack::place(double now)
{
    if (!m_window)
        return false;
    const Viewport viewport = m_window->viewport();
    const double scale = viewport.scale();
    bool any = false;
    bool moved = false;
    for (auto* engine : m_engines) {
        auto placement = engine->placement(now);
        if (!placement || placement->alpha <= 0 || placement->windowRect.isEmpty() || scale <= 0 || !engine->widget()) {
            engine->hide();
            continue;
        }
        const Rect& r = placement->windowRect;
        const auto topLeft = viewport.toArea(r.minX(), r.minY());
        const auto bottomRight = viewport.toArea(r.maxX(), r.maxY());
        StackedPage::Allocation allocation{int(std::lround(topLeft.x)), int(std::lround(topLeft.y)), 0, 0};
        allocation.width = int(std::lround(bottomRight.x)) - allocation.x;
        allocation.height = int(std::lround(bottomRight.y)) - allocation.y;
        moved |= engine->show(allocation, scale, placement->alpha);
        any = true;
    }
    if (moved)
        gtk_widget_queue_allocate(GTK_WIDGET(m_window->overlay()));
    return any;
}

bool WebViewStack::anyShown() const
{
    return std::any_of(m_engines.begin(), m_engines.end(), [](auto* e) { return e->isShown(); });
}

bool WebViewStack::coversPoint(double x, double y) const
{
    if (!m_window)
        return false;
    const auto p = m_window->viewport().toArea(x, y);
    for (auto* engine : m_engines) {
        if (!engine->isShown())
            continue;
        const auto& a = engine->allocation();
        if (p.x >= a.x && p.x < a.x + a.width && p.y >= a.y && p.y < a.y + a.height)
            return true;
    }
    return false;
}

} // namespace platform::gtk
