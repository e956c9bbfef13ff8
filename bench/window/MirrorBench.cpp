// mirror_bench: what keeping the accessibility mirror in step costs a frame. The game's
// interface is launched (as the program does) into a GTK window under Xvfb; each round moves
// the meter (a new position and a new level for screen readers, as a shake does), then times
// the mirror's sync and, as the yardstick, the compositor drawing that frame at 2x. Also the
// sync of a frame in which nothing the mirror shows changed. Medians of many rounds.
#include <gtk/gtk.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "BenchSummary.h"
#include "XvfbSession.h"
#include "app/GameClasses.h"
#include "app/MainView.h"
#include "platform/backend/gtk/AccessibleMirror.h"
#include "platform/core/Bundle.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

namespace {

// A GtkOverlay over a drawing area, the content at 1:1.
class Host final : public platform::gtk::NativeWidgetHost {
public:
    Host()
    {
        m_window = gtk_window_new();
        gtk_window_set_default_size(GTK_WINDOW(m_window), 320, 480);
        m_overlay = gtk_overlay_new();
        gtk_overlay_set_child(GTK_OVERLAY(m_overlay), gtk_drawing_area_new());
        gtk_window_set_child(GTK_WINDOW(m_window), m_overlay);
        gtk_window_present(GTK_WINDOW(m_window));
    }
    ~Host() override { gtk_window_destroy(GTK_WINDOW(m_window)); }
    void addNativeWidget(void*) override { }
    void removeNativeWidget(void*) override { }
    void* overlay() const override { return m_overlay; }
    platform::gtk::Viewport viewport() const override { return {320, 480, 320, 480}; }
    void startFrames() override { }

private:
    GtkWidget* m_window;
    GtkWidget* m_overlay;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void settle()
{
    for (int i = 0; i < 200 && g_main_context_iteration(nullptr, FALSE); ++i) { }
}

} // namespace

int main()
{
    using namespace benchsummary;
    brimsey::testing::XvfbSession xvfb;
    if (!brimsey::testing::XvfbSession::available() || !xvfb.start(1024, 768)) {
        skipped("mirror sync per frame", "no Xvfb");
        return 0;
    }
    setenv("DISPLAY", xvfb.env()["DISPLAY"].c_str(), 1);
    setenv("ALSOFT_DRIVERS", "null", 0);
    setenv("GSK_RENDERER", "cairo", 0);
    if (!gtk_init_check()) {
        skipped("mirror sync per frame", "no display");
        return 0;
    }
    auto loop = platform::RunLoop::createVirtual();
    platform::RunLoop::setMain(loop);
    platform::Bundle::main().setResourceDirectory(BRIMSEY_SOURCE_DIR "/resources");
    brimsey::registerGameClasses();
    auto& app = platform::Application::shared();
    std::string error;
    if (!app.launch(BRIMSEY_SOURCE_DIR "/resources/MainWindow.json", &error)) {
        std::fprintf(stderr, "mirror_bench: %s\n", error.c_str());
        return 1;
    }
    auto view = std::dynamic_pointer_cast<brimsey::MainView>(app.objectNamed("gameView"));
    auto window = app.keyWindow();
    if (!view || !window || !view->meter())
        return 1;
    // A game under way: the start button gone, the meter in play.
    view->clickstart();
    loop->runFor(2.0);

    Host host;
    settle();
    platform::gtk::AccessibleMirror mirror(host, window);
    mirror.sync();
    settle();
    platform::Compositor compositor(window);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 640, 960);
    cairo_t* cr = cairo_create(surface);

    const int rounds = 2000;
    std::vector<double> changed, unchanged, frame;
    auto meter = view->meter();
    for (int i = 0; i < rounds; ++i) {
        const float y = 720.0f - float(i % 400);
        meter->setCenter({meter->center().x, y});
        platform::Accessibility level(platform::AccessibleRole::Meter, "Shake meter");
        level.value = double(i % 400) / 4.7;
        meter->setAccessibility(level);
        double t0 = seconds();
        mirror.sync();
        double t1 = seconds();
        mirror.sync();
        double t2 = seconds();
        compositor.render(cr, 2.0);
        double t3 = seconds();
        changed.push_back(t1 - t0);
        unchanged.push_back(t2 - t1);
        frame.push_back(t3 - t2);
        if (i % 50 == 0)
            settle(); // let GTK lay out what moved, as between real frames
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    const double c = median(changed) * 1e6, u = median(unchanged) * 1e6, f = median(frame) * 1e6;
    figure("mirror sync, meter moved (median)", format("%.1f us", c));
    figure("mirror sync, nothing changed (median)", format("%.1f us", u));
    figure("frame drawn at 2x (median)", format("%.1f us", f));
    check("mirror sync / frame drawing", format("%.3fx", c / f), "< 0.10x", c / f < 0.10);
    app.terminate();
    return exitStatus();
}
