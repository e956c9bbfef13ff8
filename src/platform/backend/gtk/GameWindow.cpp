#include "platform/backend/gtk/GameWindow.h"

#include <gdk/x11/gdkx.h>
#include <gtk/gtk.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/backend/gtk/ReducedMotion.h"
#include "platform/gfx/Image.h"

namespace platform::gtk {

namespace {

constexpr double kBorderGrey = 0.12; // around the game when the window is not its shape

} // namespace

MonitorInfo primaryMonitor()
{
    MonitorInfo info;
    GdkDisplay* display = gdk_display_get_default();
    if (!display)
        return info;
    GListModel* monitors = gdk_display_get_monitors(display);
    if (g_list_model_get_n_items(monitors) == 0)
        return info;
    auto* monitor = GDK_MONITOR(g_list_model_get_item(monitors, 0));
    GdkRectangle geometry;
    gdk_monitor_get_geometry(monitor, &geometry);
    info.width = geometry.width;
    info.height = geometry.height;
    info.scale = std::max(1, gdk_monitor_get_scale_factor(monitor));
    g_object_unref(monitor);
    return info;
}

struct GameWindow::Impl {
    static GtkWindow* window(GameWindow* w) { return GTK_WINDOW(w->m_window); }
    static GtkWidget* area(GameWindow* w) { return GTK_WIDGET(w->m_area); }

    static double now(GameWindow* w) { return w->m_hooks.now ? w->m_hooks.now() : 0.0; }

    static void draw(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        ++w->m_frames;
        cairo_save(cr);
        cairo_set_source_rgb(cr, kBorderGrey, kBorderGrey, kBorderGrey);
        cairo_paint(cr);
        cairo_restore(cr);
        drawContent(w, cr, width, height, w->m_hooks.draw);
    }

    static void drawAbove(GtkDrawingArea*, cairo_t* cr, int width, int height, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        drawContent(w, cr, width, height, w->m_hooks.drawAbove);
    }

    static void drawContent(GameWindow* w, cairo_t* cr, int width, int height,
                            const std::function<void(cairo_t*, double)>& hook)
    {
        cairo_save(cr);
        Viewport vp{w->m_contentWidth, w->m_contentHeight, double(width), double(height)};
        double s = vp.scale();
        double shift = w->m_jolt.offset(now(w)) * s;
        // GTK's context counts logical pixels on a surface of deviceScale pixels each.
        double ds = w->deviceScale();
        cairo_translate(cr, vp.originX() + shift, vp.originY());
        cairo_scale(cr, 1.0 / ds, 1.0 / ds);
        double pixelScale = s * ds;
        cairo_rectangle(cr, 0, 0, w->m_contentWidth * pixelScale, w->m_contentHeight * pixelScale);
        cairo_clip(cr);
        if (hook)
            hook(cr, pixelScale);
        cairo_restore(cr);
    }

    static gboolean tick(GtkWidget* widget, GdkFrameClock*, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (w->m_hooks.beforeFrame)
            w->m_hooks.beforeFrame();
        gtk_widget_queue_draw(widget);
        if (w->m_above && gtk_widget_get_visible(GTK_WIDGET(w->m_above)))
            gtk_widget_queue_draw(GTK_WIDGET(w->m_above));
        bool more = w->m_jolt.running(now(w)) || (w->m_hooks.animating && w->m_hooks.animating());
        if (more)
            return G_SOURCE_CONTINUE;
        // This frame draws the final state; then the window goes quiet.
        w->m_tick = 0;
        g_idle_add_full(G_PRIORITY_LOW, releaseFreeHeap, nullptr, nullptr);
        return G_SOURCE_REMOVE;
    }

    // Once the window is quiet, the heap pages that start-up, an ad's answer and its pictures
    // left free go back to the system (about 6 MB of an idle window); malloc keeps them
    // otherwise. Runs after the last frame, in the same wake-up.
    static gboolean releaseFreeHeap(gpointer)
    {
#ifdef __GLIBC__
        malloc_trim(0);
#endif
        return G_SOURCE_REMOVE;
    }

    static Viewport::Point content(GameWindow* w, double x, double y)
    {
        return w->viewport().toContent(x, y);
    }

    static void motion(GtkEventControllerMotion*, double x, double y, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (w->m_pressed)
            return; // the drag gesture reports these
        auto p = content(w, x, y);
        if (w->m_hooks.pointerMoved)
            w->m_hooks.pointerMoved(p.x, p.y);
    }

    static void leave(GtkEventControllerMotion*, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_pressed && w->m_hooks.pointerLeft)
            w->m_hooks.pointerLeft();
    }

    static void dragBegin(GtkGestureDrag*, double x, double y, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        w->m_pressed = true;
        w->m_dragStartX = x;
        w->m_dragStartY = y;
        auto p = content(w, x, y);
        if (w->m_hooks.pointerMoved)
            w->m_hooks.pointerMoved(p.x, p.y);
        if (w->m_hooks.pressed)
            w->m_hooks.pressed(p.x, p.y);
    }

    static void dragUpdate(GtkGestureDrag*, double dx, double dy, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_pressed)
            return;
        auto p = content(w, w->m_dragStartX + dx, w->m_dragStartY + dy);
        if (w->m_hooks.pointerMoved)
            w->m_hooks.pointerMoved(p.x, p.y);
        if (w->m_hooks.dragged)
            w->m_hooks.dragged(p.x, p.y);
    }

    static void dragEnd(GtkGestureDrag*, double dx, double dy, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_pressed)
            return;
        w->m_pressed = false;
        auto p = content(w, w->m_dragStartX + dx, w->m_dragStartY + dy);
        if (w->m_hooks.released)
            w->m_hooks.released(p.x, p.y);
    }

    static void dragCancel(GtkGesture*, GdkEventSequence*, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_pressed)
            return;
        w->m_pressed = false;
        if (w->m_hooks.cancelled)
            w->m_hooks.cancelled();
    }

    // Over a native widget a press reaches our views only where one of them is drawn above
    // the widget: the overlay looks first (capture phase) and takes such presses; others go
    // on to the widget, or to the drawing area where there is none.
    static void aboveBegin(GtkGestureDrag* gesture, double x, double y, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        auto p = content(w, x, y);
        if (!w->m_hooks.takesPressAbove || !w->m_hooks.takesPressAbove(p.x, p.y)) {
            gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_DENIED);
            return;
        }
        gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
        w->m_pressAbove = true;
        dragBegin(gesture, x, y, data);
    }

    static void aboveUpdate(GtkGestureDrag* gesture, double dx, double dy, gpointer data)
    {
        if (static_cast<GameWindow*>(data)->m_pressAbove)
            dragUpdate(gesture, dx, dy, data);
    }

    static void aboveEnd(GtkGestureDrag* gesture, double dx, double dy, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_pressAbove)
            return;
        w->m_pressAbove = false;
        dragEnd(gesture, dx, dy, data);
    }

    static void aboveCancel(GtkGesture* gesture, GdkEventSequence* sequence, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_pressAbove)
            return;
        w->m_pressAbove = false;
        dragCancel(gesture, sequence, data);
    }

    static gboolean keyPressed(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (keyval == GDK_KEY_space) {
            if (w->m_hooks.shakeKey)
                w->m_hooks.shakeKey(true);
            return TRUE;
        }
        if ((state & GDK_CONTROL_MASK) && (keyval == GDK_KEY_w || keyval == GDK_KEY_q)) {
            gtk_window_close(window(w));
            return TRUE;
        }
        return FALSE;
    }

    static gboolean navigationKey(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!w->m_hooks.navigationKey)
            return FALSE;
        auto key = navigationKeyFor(keyval, state);
        return key && w->m_hooks.navigationKey(*key);
    }

    static void keyReleased(GtkEventControllerKey*, guint keyval, guint, GdkModifierType, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (keyval == GDK_KEY_space && w->m_hooks.shakeKey)
            w->m_hooks.shakeKey(false);
    }

    static void activeChanged(GObject* object, GParamSpec*, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (!gtk_window_is_active(GTK_WINDOW(object)) && w->m_hooks.focusLost)
            w->m_hooks.focusLost();
    }

    static gboolean closeRequest(GtkWindow*, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        if (w->m_hooks.closed)
            w->m_hooks.closed();
        return FALSE; // let it close
    }

    static void destroyed(GtkWidget*, gpointer data)
    {
        auto* w = static_cast<GameWindow*>(data);
        w->m_window = nullptr;
        w->m_area = nullptr;
        w->m_overlay = nullptr;
        w->m_above = nullptr;
        w->m_tick = 0;
    }
};

GameWindow::GameWindow(const std::string& title, double contentWidth, double contentHeight, Hooks hooks,
                       void* application)
    : m_hooks(std::move(hooks)),
      m_contentWidth(contentWidth),
      m_contentHeight(contentHeight)
{
    followDesktopMotionSetting();
    GtkWidget* window = gtk_window_new();
    m_window = window;
    if (application)
        gtk_window_set_application(GTK_WINDOW(window), GTK_APPLICATION(application));
    gtk_window_set_title(GTK_WINDOW(window), title.c_str());

    MonitorInfo monitor = primaryMonitor();
    WindowSize size = comfortableWindowSize(contentWidth, contentHeight, monitor.width, monitor.height);
    gtk_window_set_default_size(GTK_WINDOW(window), size.width, size.height);

    GtkWidget* area = gtk_drawing_area_new();
    m_area = area;
    gtk_widget_set_size_request(area, int(contentWidth / 2), int(contentHeight / 2));
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(area), Impl::draw, this, nullptr);
    GtkWidget* overlay = gtk_overlay_new();
    m_overlay = overlay;
    gtk_overlay_set_child(GTK_OVERLAY(overlay), area);
    gtk_window_set_child(GTK_WINDOW(window), overlay);

    // Transparent, and never the target of input: presses go through it (see aboveBegin).
    GtkWidget* above = gtk_drawing_area_new();
    m_above = above;
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(above), Impl::drawAbove, this, nullptr);
    gtk_widget_set_can_target(above, FALSE);
    gtk_widget_set_visible(above, FALSE);
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), above);

    GtkGesture* aboveDrag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(aboveDrag), GDK_BUTTON_PRIMARY);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(aboveDrag), GTK_PHASE_CAPTURE);
    g_signal_connect(aboveDrag, "drag-begin", G_CALLBACK(Impl::aboveBegin), this);
    g_signal_connect(aboveDrag, "drag-update", G_CALLBACK(Impl::aboveUpdate), this);
    g_signal_connect(aboveDrag, "drag-end", G_CALLBACK(Impl::aboveEnd), this);
    g_signal_connect(aboveDrag, "cancel", G_CALLBACK(Impl::aboveCancel), this);
    gtk_widget_add_controller(overlay, GTK_EVENT_CONTROLLER(aboveDrag));

    GtkEventController* motion = gtk_event_controller_motion_new();
    g_signal_connect(motion, "motion", G_CALLBACK(Impl::motion), this);
    g_signal_connect(motion, "leave", G_CALLBACK(Impl::leave), this);
    gtk_widget_add_controller(area, motion);

    GtkGesture* drag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
    g_signal_connect(drag, "drag-begin", G_CALLBACK(Impl::dragBegin), this);
    g_signal_connect(drag, "drag-update", G_CALLBACK(Impl::dragUpdate), this);
    g_signal_connect(drag, "drag-end", G_CALLBACK(Impl::dragEnd), this);
    g_signal_connect(drag, "cancel", G_CALLBACK(Impl::dragCancel), this);
    gtk_widget_add_controller(area, GTK_EVENT_CONTROLLER(drag));

    GtkEventController* keys = gtk_event_controller_key_new();
    g_signal_connect(keys, "key-pressed", G_CALLBACK(Impl::keyPressed), this);
    g_signal_connect(keys, "key-released", G_CALLBACK(Impl::keyReleased), this);
    gtk_widget_add_controller(window, keys);
    // Ahead of GTK's own focus keys (and of a focused page, which may decline).
    GtkEventController* navigation = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(navigation, GTK_PHASE_CAPTURE);
    g_signal_connect(navigation, "key-pressed", G_CALLBACK(Impl::navigationKey), this);
    gtk_widget_add_controller(window, navigation);

    g_signal_connect(window, "notify::is-active", G_CALLBACK(Impl::activeChanged), this);
    g_signal_connect(window, "close-request", G_CALLBACK(Impl::closeRequest), this);
    g_signal_connect(window, "destroy", G_CALLBACK(Impl::destroyed), this);
}

GameWindow::~GameWindow()
{
    if (m_window) {
        // Whatever the toolkit reports while tearing down goes nowhere.
        m_hooks = Hooks{};
        g_signal_handlers_disconnect_by_data(m_window, this);
        if (m_tick)
            gtk_widget_remove_tick_callback(Impl::area(this), m_tick);
        gtk_window_destroy(Impl::window(this));
        m_window = nullptr;
    }
}

void GameWindow::present()
{
    if (m_window)
        gtk_window_present(Impl::window(this));
}

void GameWindow::invalidate()
{
    if (m_area)
        gtk_widget_queue_draw(Impl::area(this));
    if (m_above && gtk_widget_get_visible(GTK_WIDGET(m_above)))
        gtk_widget_queue_draw(GTK_WIDGET(m_above));
}

void GameWindow::addNativeWidget(void* widget)
{
    if (!m_overlay || !widget)
        return;
    gtk_overlay_add_overlay(GTK_OVERLAY(m_overlay), GTK_WIDGET(widget));
    // The layer above stays the topmost child.
    gtk_widget_insert_before(GTK_WIDGET(m_above), GTK_WIDGET(m_overlay), nullptr);
}

void GameWindow::removeNativeWidget(void* widget)
{
    if (m_overlay && widget && gtk_widget_get_parent(GTK_WIDGET(widget)) == GTK_WIDGET(m_overlay))
        gtk_overlay_remove_overlay(GTK_OVERLAY(m_overlay), GTK_WIDGET(widget));
}

namespace {

// The window's pixels as the X server has them: what is on the screen, pages included.
std::shared_ptr<Image> readX11Pixels(GdkSurface* surface, int x, int y, int width, int height, double scale)
{
    Display* display = GDK_SURFACE_XDISPLAY(surface);
    GdkDisplay* gdkDisplay = gdk_surface_get_display(surface);
    gdk_x11_display_error_trap_push(gdkDisplay);
    XImage* pixels =
        XGetImage(display, GDK_SURFACE_XID(surface), x, y, unsigned(width), unsigned(height), AllPlanes, ZPixmap);
    gdk_x11_display_error_trap_pop_ignored(gdkDisplay);
    if (!pixels)
        return nullptr;
    std::shared_ptr<Image> image;
    if (pixels->bits_per_pixel == 32 && pixels->red_mask == 0xFF0000 && pixels->green_mask == 0xFF00 &&
        pixels->blue_mask == 0xFF)
        image = Image::create(width, height, scale);
    if (image) {
        cairo_surface_t* target = image->surface();
        cairo_surface_flush(target);
        auto* out = cairo_image_surface_get_data(target);
        const int stride = cairo_image_surface_get_stride(target);
        for (int row = 0; row < height; ++row) {
            auto* to = reinterpret_cast<std::uint32_t*>(out + std::ptrdiff_t(row) * stride);
            auto* from =
                reinterpret_cast<const std::uint32_t*>(pixels->data + std::ptrdiff_t(row) * pixels->bytes_per_line);
            for (int col = 0; col < width; ++col)
                to[col] = 0xFF000000u | (from[col] & 0xFFFFFFu);
        }
        cairo_surface_mark_dirty(target);
    }
    XDestroyImage(pixels);
    return image;
}

// GTK's own picture of a widget tree (with a renderer of its own: rendering with the
// window's upsets its next frames). Web pages are not always in it.
std::shared_ptr<Image> renderWidget(GtkWidget* widget, const graphene_rect_t& area, double scale)
{
    GdkPaintable* paintable = gtk_widget_paintable_new(widget);
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, gtk_widget_get_width(widget), gtk_widget_get_height(widget));
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    g_object_unref(paintable);
    if (!node)
        return nullptr;
    GskRenderer* renderer = gsk_cairo_renderer_new();
    GdkTexture* texture = nullptr;
    if (gsk_renderer_realize(renderer, nullptr, nullptr)) {
        texture = gsk_renderer_render_texture(renderer, node, &area);
        gsk_renderer_unrealize(renderer);
    }
    g_object_unref(renderer);
    gsk_render_node_unref(node);
    if (!texture)
        return nullptr;
    // GDK's default memory format is cairo's ARGB32 on this machine's byte order.
    auto image = Image::create(gdk_texture_get_width(texture), gdk_texture_get_height(texture), scale);
    if (image) {
        cairo_surface_t* surface = image->surface();
        cairo_surface_flush(surface);
        gdk_texture_download(texture, cairo_image_surface_get_data(surface),
                             gsize(cairo_image_surface_get_stride(surface)));
        cairo_surface_mark_dirty(surface);
    }
    g_object_unref(texture);
    return image;
}

} // namespace

std::shared_ptr<Image> GameWindow::snapshotShownContent() const
{
    if (!m_overlay)
        return nullptr;
    GtkWidget* overlay = GTK_WIDGET(m_overlay);
    if (gtk_widget_get_width(overlay) <= 0 || gtk_widget_get_height(overlay) <= 0)
        return nullptr;
    const Viewport vp = viewport();
    graphene_rect_t area;
    graphene_rect_init(&area, float(vp.originX()), float(vp.originY()), float(m_contentWidth * vp.scale()),
                       float(m_contentHeight * vp.scale()));
    GtkNative* native = gtk_widget_get_native(overlay);
    GdkSurface* surface = native ? gtk_native_get_surface(native) : nullptr;
    if (surface && GDK_IS_X11_SURFACE(surface) && gdk_surface_get_scale_factor(surface) == 1) {
        graphene_point_t origin = GRAPHENE_POINT_INIT(0, 0);
        graphene_point_t at;
        double dx = 0;
        double dy = 0;
        gtk_native_get_surface_transform(native, &dx, &dy);
        if (gtk_widget_compute_point(overlay, GTK_WIDGET(native), &origin, &at))
            if (auto image = readX11Pixels(
                    surface, int(std::lround(at.x + dx + area.origin.x)), int(std::lround(at.y + dy + area.origin.y)),
                    int(std::lround(area.size.width)), int(std::lround(area.size.height)), vp.scale()))
                return image;
    }
    return renderWidget(overlay, area, vp.scale());
}

void GameWindow::setAboveLayerShown(bool shown)
{
    if (!m_above || gtk_widget_get_visible(GTK_WIDGET(m_above)) == shown)
        return;
    gtk_widget_set_visible(GTK_WIDGET(m_above), shown);
    if (shown)
        gtk_widget_queue_draw(GTK_WIDGET(m_above));
}

void GameWindow::startFrames()
{
    if (!m_area || m_tick)
        return;
    m_tick = gtk_widget_add_tick_callback(Impl::area(this), Impl::tick, this, nullptr);
}

void GameWindow::jolt()
{
    m_jolt.start(Impl::now(this));
    startFrames();
}

int GameWindow::deviceScale() const
{
    return m_area ? gtk_widget_get_scale_factor(GTK_WIDGET(m_area)) : 1;
}

Viewport GameWindow::viewport() const
{
    Viewport vp{m_contentWidth, m_contentHeight, m_contentWidth, m_contentHeight};
    if (m_area) {
        vp.areaWidth = gtk_widget_get_width(GTK_WIDGET(m_area));
        vp.areaHeight = gtk_widget_get_height(GTK_WIDGET(m_area));
    }
    return vp;
}

} // namespace platform::gtk
