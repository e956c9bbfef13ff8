#include "LandingStage.h"

namespace adnet::gtk {

struct LandingStage::Impl {
    static void draw(LandingStage* s, cairo_t* cr, bool above)
    {
        if (!s->m_hooks.draw)
            return;
        // GTK's context counts logical pixels; the drawing wants device pixels.
        const double ds = gtk_widget_get_scale_factor(s->m_below);
        cairo_save(cr);
        cairo_scale(cr, 1.0 / ds, 1.0 / ds);
        s->m_hooks.draw(cr, ds, above);
        cairo_restore(cr);
    }
    static void drawBelow(GtkDrawingArea*, cairo_t* cr, int, int, gpointer data)
    {
        draw(static_cast<LandingStage*>(data), cr, false);
    }
    static void drawAbove(GtkDrawingArea*, cairo_t* cr, int, int, gpointer data)
    {
        draw(static_cast<LandingStage*>(data), cr, true);
    }

    static gboolean tick(GtkWidget*, GdkFrameClock*, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        const bool pages = s->m_hooks.placePages && s->m_hooks.placePages();
        if (gtk_widget_get_visible(s->m_above) != pages)
            gtk_widget_set_visible(s->m_above, pages);
        gtk_widget_queue_draw(s->m_below);
        if (pages)
            gtk_widget_queue_draw(s->m_above);
        if (s->m_hooks.animating && s->m_hooks.animating())
            return G_SOURCE_CONTINUE;
        s->m_tick = 0; // this frame shows the final state
        return G_SOURCE_REMOVE;
    }

    static void begin(GtkGestureDrag*, double x, double y, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        s->m_pressed = true;
        s->m_startX = x;
        s->m_startY = y;
        if (s->m_hooks.pressed)
            s->m_hooks.pressed(x, y);
    }
    static void update(GtkGestureDrag*, double dx, double dy, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        if (s->m_pressed && s->m_hooks.dragged)
            s->m_hooks.dragged(s->m_startX + dx, s->m_startY + dy);
    }
    static void end(GtkGestureDrag*, double dx, double dy, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        if (!s->m_pressed)
            return;
        s->m_pressed = false;
        if (s->m_hooks.released)
            s->m_hooks.released(s->m_startX + dx, s->m_startY + dy);
    }
    static void cancel(GtkGesture*, GdkEventSequence*, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        if (!s->m_pressed)
            return;
        s->m_pressed = false;
        s->m_pressAbove = false;
        if (s->m_hooks.cancelled)
            s->m_hooks.cancelled();
    }

    // Over a page, a press is ours only where a view is drawn above the page; the overlay
    // sees it first (capture phase) and lets the others through to the page.
    static void captureBegin(GtkGestureDrag* gesture, double x, double y, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        graphene_point_t in = GRAPHENE_POINT_INIT(float(x), float(y));
        graphene_point_t at;
        if (!gtk_widget_compute_point(GTK_WIDGET(s->m_overlay), s->m_below, &in, &at) || !s->m_hooks.takesPressAbove ||
            !s->m_hooks.takesPressAbove(at.x, at.y)) {
            gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_DENIED);
            return;
        }
        gtk_gesture_set_state(GTK_GESTURE(gesture), GTK_EVENT_SEQUENCE_CLAIMED);
        s->m_pressAbove = true;
        begin(gesture, at.x, at.y, data);
    }
    static void captureUpdate(GtkGestureDrag* gesture, double dx, double dy, gpointer data)
    {
        if (static_cast<LandingStage*>(data)->m_pressAbove)
            update(gesture, dx, dy, data);
    }
    static void captureEnd(GtkGestureDrag* gesture, double dx, double dy, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        if (!s->m_pressAbove)
            return;
        s->m_pressAbove = false;
        end(gesture, dx, dy, data);
    }

    static gboolean key(GtkEventControllerKey*, guint keyval, guint, GdkModifierType state, gpointer data)
    {
        auto* s = static_cast<LandingStage*>(data);
        auto navigation = platform::gtk::navigationKeyFor(keyval, state);
        if (navigation && s->m_hooks.navigationKey && s->m_hooks.navigationKey(*navigation))
            return TRUE;
        if (keyval != GDK_KEY_Escape)
            return FALSE;
        if (s->m_hooks.escape)
            s->m_hooks.escape();
        return TRUE;
    }
};

LandingStage::LandingStage(GtkOverlay* overlay, GtkWindow* parent, int width, int height, Hooks hooks)
    : m_hooks(std::move(hooks)),
      m_contentWidth(width),
      m_contentHeight(height)
{
    m_below = gtk_drawing_area_new();
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(m_below), Impl::drawBelow, this, nullptr);
    gtk_widget_set_focusable(m_below, TRUE);
    m_above = gtk_drawing_area_new();
    gtk_drawing_area_set_draw_func(GTK_DRAWING_AREA(m_above), Impl::drawAbove, this, nullptr);
    gtk_widget_set_can_target(m_above, FALSE);
    gtk_widget_set_visible(m_above, FALSE);

    if (overlay) {
        m_overlay = overlay;
        gtk_overlay_add_overlay(m_overlay, m_below);
    } else {
        // Nothing covers the host's window: a window of our own, the same size, over it. No
        // position is asked for (Wayland gives none); modal and transient, the desktop keeps
        // it over its parent.
        m_window = gtk_window_new();
        gtk_window_set_decorated(GTK_WINDOW(m_window), FALSE);
        gtk_window_set_modal(GTK_WINDOW(m_window), TRUE);
        if (parent)
            gtk_window_set_transient_for(GTK_WINDOW(m_window), parent);
        gtk_window_set_default_size(GTK_WINDOW(m_window), width, height);
        gtk_window_set_resizable(GTK_WINDOW(m_window), FALSE);
        m_overlay = GTK_OVERLAY(gtk_overlay_new());
        gtk_overlay_set_child(m_overlay, m_below);
        gtk_window_set_child(GTK_WINDOW(m_window), GTK_WIDGET(m_overlay));
    }
    gtk_overlay_add_overlay(m_overlay, m_above);

    GtkGesture* drag = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(drag), GDK_BUTTON_PRIMARY);
    g_signal_connect(drag, "drag-begin", G_CALLBACK(Impl::begin), this);
    g_signal_connect(drag, "drag-update", G_CALLBACK(Impl::update), this);
    g_signal_connect(drag, "drag-end", G_CALLBACK(Impl::end), this);
    g_signal_connect(drag, "cancel", G_CALLBACK(Impl::cancel), this);
    gtk_widget_add_controller(m_below, GTK_EVENT_CONTROLLER(drag));

    GtkGesture* capture = gtk_gesture_drag_new();
    gtk_gesture_single_set_button(GTK_GESTURE_SINGLE(capture), GDK_BUTTON_PRIMARY);
    gtk_event_controller_set_propagation_phase(GTK_EVENT_CONTROLLER(capture), GTK_PHASE_CAPTURE);
    g_signal_connect(capture, "drag-begin", G_CALLBACK(Impl::captureBegin), this);
    g_signal_connect(capture, "drag-update", G_CALLBACK(Impl::captureUpdate), this);
    g_signal_connect(capture, "drag-end", G_CALLBACK(Impl::captureEnd), this);
    g_signal_connect(capture, "cancel", G_CALLBACK(Impl::cancel), this);
    m_capture = GTK_EVENT_CONTROLLER(capture);
    gtk_widget_add_controller(GTK_WIDGET(m_overlay), m_capture);

    // Escape wherever the focus is in the window (a page has it after a click into it).
    GtkEventController* keys = gtk_event_controller_key_new();
    gtk_event_controller_set_propagation_phase(keys, GTK_PHASE_CAPTURE);
    g_signal_connect(keys, "key-pressed", G_CALLBACK(Impl::key), this);
    m_keys = keys;
    m_keysOn = m_window ? m_window : GTK_WIDGET(gtk_widget_get_root(GTK_WIDGET(m_overlay)));
    if (m_keysOn)
        gtk_widget_add_controller(m_keysOn, m_keys);
    else
        g_clear_object(&m_keys);

    if (m_window)
        gtk_window_present(GTK_WINDOW(m_window));
    gtk_widget_grab_focus(m_below);
    startFrames();
}

LandingStage::~LandingStage()
{
    if (m_tick)
        gtk_widget_remove_tick_callback(m_below, m_tick);
    if (m_keys && m_keysOn)
        gtk_widget_remove_controller(m_keysOn, m_keys);
    if (m_window) {
        gtk_window_destroy(GTK_WINDOW(m_window));
        return;
    }
    gtk_widget_remove_controller(GTK_WIDGET(m_overlay), m_capture);
    gtk_overlay_remove_overlay(m_overlay, m_above);
    gtk_overlay_remove_overlay(m_overlay, m_below);
}

void LandingStage::addNativeWidget(void* widget)
{
    if (!widget)
        return;
    gtk_overlay_add_overlay(m_overlay, GTK_WIDGET(widget));
    // The layer above stays the topmost child.
    gtk_widget_insert_before(m_above, GTK_WIDGET(m_overlay), nullptr);
}

void LandingStage::removeNativeWidget(void* widget)
{
    if (widget && gtk_widget_get_parent(GTK_WIDGET(widget)) == GTK_WIDGET(m_overlay))
        gtk_overlay_remove_overlay(m_overlay, GTK_WIDGET(widget));
}

platform::gtk::Viewport LandingStage::viewport() const
{
    platform::gtk::Viewport vp{m_contentWidth, m_contentHeight, m_contentWidth, m_contentHeight};
    if (gtk_widget_get_width(m_below) > 0 && gtk_widget_get_height(m_below) > 0) {
        vp.areaWidth = gtk_widget_get_width(m_below);
        vp.areaHeight = gtk_widget_get_height(m_below);
    }
    return vp;
}

void LandingStage::startFrames()
{
    if (!m_tick)
        m_tick = gtk_widget_add_tick_callback(m_below, Impl::tick, this, nullptr);
}

} // namespace adnet::gtk
