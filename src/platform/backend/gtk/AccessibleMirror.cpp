#include "platform/backend/gtk/AccessibleMirror.h"

#include <gtk/gtk.h>

#include <cmath>
#include <vector>

#include "platform/ui/Window.h"

// An empty widget: it only carries an accessible role and properties.
typedef struct {
    GtkWidget parent;
} PlatformAccessibleElement;
typedef struct {
    GtkWidgetClass parent;
} PlatformAccessibleElementClass;

G_DEFINE_TYPE(PlatformAccessibleElement, platform_accessible_element, GTK_TYPE_WIDGET)

static void platform_accessible_element_class_init(PlatformAccessibleElementClass* klass)
{
    gtk_widget_class_set_css_name(GTK_WIDGET_CLASS(klass), "accessible-element");
}

static void platform_accessible_element_init(PlatformAccessibleElement*)
{
}

namespace platform::gtk {

namespace {

// The views draw their own focus ring; the theme's would be a second one.
void installStyleOnce(GtkWidget* widget)
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    GtkCssProvider* css = gtk_css_provider_new();
    gtk_css_provider_load_from_data(css, "accessible-element { outline: none; background: none; }", -1);
    gtk_style_context_add_provider_for_display(gtk_widget_get_display(widget), GTK_STYLE_PROVIDER(css),
                                               GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(css);
}

struct Placement {
    int x{0};
    int y{0};
    int width{0};
    int height{0};
    bool operator==(const Placement&) const = default;
};

} // namespace

int gtkRoleFor(AccessibleRole role)
{
    switch (role) {
    case AccessibleRole::Button:
        return GTK_ACCESSIBLE_ROLE_BUTTON;
    case AccessibleRole::Link:
        return GTK_ACCESSIBLE_ROLE_LINK;
    case AccessibleRole::Meter:
        return GTK_ACCESSIBLE_ROLE_METER;
    case AccessibleRole::Status:
        return GTK_ACCESSIBLE_ROLE_STATUS;
    case AccessibleRole::Dialog:
        return GTK_ACCESSIBLE_ROLE_DIALOG;
    case AccessibleRole::AlertDialog:
        return GTK_ACCESSIBLE_ROLE_ALERT_DIALOG;
    case AccessibleRole::Label:
        return GTK_ACCESSIBLE_ROLE_LABEL;
    case AccessibleRole::Image:
        return GTK_ACCESSIBLE_ROLE_IMG;
    case AccessibleRole::None:
        break;
    }
    return GTK_ACCESSIBLE_ROLE_NONE;
}

struct AccessibleMirror::Element {
    std::weak_ptr<View> view;
    GtkWidget* widget{nullptr};
    Accessibility shown; // what the widget carries now
    Placement placement;
    bool visible{false};
    bool fresh{true};
    unsigned generation{0};
};

AccessibleMirror::AccessibleMirror(NativeWidgetHost& host, std::shared_ptr<Window> window)
    : m_host(host),
      m_window(std::move(window))
{
}

AccessibleMirror::~AccessibleMirror()
{
    if (m_focusRetry)
        g_source_remove(m_focusRetry);
    // The host's overlay goes with its window; if it has gone, so have our widgets.
    if (m_layer && m_host.overlay()) {
        GtkWidget* layer = GTK_WIDGET(m_layer);
        if (gtk_widget_get_parent(layer) == GTK_WIDGET(m_host.overlay()))
            gtk_overlay_remove_overlay(GTK_OVERLAY(m_host.overlay()), layer);
    }
}

void AccessibleMirror::ensureLayer()
{
    if (m_layer)
        return;
    GtkWidget* layer = gtk_fixed_new();
    gtk_widget_set_can_target(layer, FALSE);
    gtk_overlay_add_overlay(GTK_OVERLAY(m_host.overlay()), layer);
    m_layer = layer;
    installStyleOnce(layer);
}

void* AccessibleMirror::widgetFor(const View& view) const
{
    auto it = m_elements.find(&view);
    return it == m_elements.end() ? nullptr : it->second->widget;
}

void AccessibleMirror::walk(const std::shared_ptr<View>& view, bool shown, const View* scope, bool inScope)
{
    shown = shown && !view->isHidden() && view->alpha() >= 0.01f;
    inScope = inScope || view.get() == scope;
    Accessibility a = view->accessibility();
    if (a.role != AccessibleRole::None) {
        auto& slot = m_elements[view.get()];
        if (slot && (slot->view.lock() != view || slot->shown.role != a.role)) {
            // A new view at a freed address, or a role the widget cannot change to.
            gtk_fixed_remove(GTK_FIXED(m_layer), slot->widget);
            slot.reset();
        }
        if (!slot) {
            slot = std::make_unique<Element>();
            slot->view = view;
            if (a.role == AccessibleRole::Meter) {
                // GTK gives screen readers a value only from its own range widgets: a level
                // bar, never drawn.
                slot->widget = gtk_level_bar_new_for_interval(a.minimum, a.maximum);
                gtk_widget_set_opacity(slot->widget, 0.0);
            } else
                slot->widget = GTK_WIDGET(g_object_new(platform_accessible_element_get_type(), "accessible-role",
                                                       GtkAccessibleRole(gtkRoleFor(a.role)), nullptr));
            gtk_widget_set_can_target(slot->widget, FALSE);
            gtk_widget_set_focusable(slot->widget, a.actionable());
            gtk_fixed_put(GTK_FIXED(m_layer), slot->widget, 0, 0);
            slot->shown.role = a.role;
        }
        Element& e = *slot;
        e.generation = m_generation;
        GtkAccessible* acc = GTK_ACCESSIBLE(e.widget);
        if (e.fresh || a.label != e.shown.label || a.description != e.shown.description)
            gtk_accessible_update_property(acc, GTK_ACCESSIBLE_PROPERTY_LABEL, a.label.c_str(),
                                           GTK_ACCESSIBLE_PROPERTY_DESCRIPTION, a.description.c_str(), -1);
        if (a.value &&
            (e.fresh || a.value != e.shown.value || a.minimum != e.shown.minimum || a.maximum != e.shown.maximum)) {
            if (GTK_IS_LEVEL_BAR(e.widget)) {
                gtk_level_bar_set_min_value(GTK_LEVEL_BAR(e.widget), a.minimum);
                gtk_level_bar_set_max_value(GTK_LEVEL_BAR(e.widget), a.maximum);
                gtk_level_bar_set_value(GTK_LEVEL_BAR(e.widget), *a.value);
            } else
                gtk_accessible_update_property(acc, GTK_ACCESSIBLE_PROPERTY_VALUE_MIN, a.minimum,
                                               GTK_ACCESSIBLE_PROPERTY_VALUE_MAX, a.maximum,
                                               GTK_ACCESSIBLE_PROPERTY_VALUE_NOW, *a.value, -1);
        }
        if (e.fresh && (a.role == AccessibleRole::Dialog || a.role == AccessibleRole::AlertDialog))
            gtk_accessible_update_property(acc, GTK_ACCESSIBLE_PROPERTY_MODAL, TRUE, -1);
        if (e.fresh || a.busy != e.shown.busy)
            gtk_accessible_update_state(acc, GTK_ACCESSIBLE_STATE_BUSY, gboolean(a.busy), -1);
        if (e.fresh || a.enabled != e.shown.enabled) {
            gtk_accessible_update_state(acc, GTK_ACCESSIBLE_STATE_DISABLED, gboolean(!a.enabled), -1);
            gtk_widget_set_sensitive(e.widget, a.enabled);
        }
        bool visible = shown && (!scope || inScope);
        if (visible) {
            Viewport vp = m_host.viewport();
            Rect r = view->convertRectToView(view->bounds(), nullptr);
            auto origin = vp.toArea(r.minX(), r.minY());
            const double s = vp.scale();
            Placement p{int(std::lround(origin.x)), int(std::lround(origin.y)),
                        std::max(1, int(std::lround(r.size.width * s))),
                        std::max(1, int(std::lround(r.size.height * s)))};
            if (e.fresh || p != e.placement) {
                gtk_fixed_move(GTK_FIXED(m_layer), e.widget, p.x, p.y);
                gtk_widget_set_size_request(e.widget, p.width, p.height);
                e.placement = p;
            }
        }
        if (e.fresh || visible != e.visible) {
            gtk_widget_set_visible(e.widget, visible);
            e.visible = visible;
        }
        e.shown = std::move(a);
        e.fresh = false;
    }
    for (const auto& child : view->subviews())
        walk(child, shown, scope, inScope);
}

void AccessibleMirror::sync()
{
    if (!m_host.overlay()) {
        // The window went, and our widgets with it.
        for (auto& [view, element] : m_elements)
            element->widget = nullptr;
        m_elements.clear();
        m_layer = nullptr;
        return;
    }
    ensureLayer();
    m_window->updateFocus();
    ++m_generation;
    // While a modal view shows, only what lies inside it is shown to assistive technology.
    std::shared_ptr<View> scope = m_window->modalScope();
    walk(m_window, true, scope.get(), false);
    for (auto it = m_elements.begin(); it != m_elements.end();) {
        if (it->second->generation != m_generation) {
            if (it->first == m_focused)
                m_focused = nullptr;
            gtk_fixed_remove(GTK_FIXED(m_layer), it->second->widget);
            it = m_elements.erase(it);
        } else
            ++it;
    }

    syncFocus();
}

// GTK's focus follows the views'.
void AccessibleMirror::syncFocus()
{
    auto focused = m_window->focusedView();
    if (focused.get() != m_focused) {
        GtkWidget* layer = GTK_WIDGET(m_layer);
        GtkRoot* root = gtk_widget_get_root(layer);
        auto it = focused ? m_elements.find(focused.get()) : m_elements.end();
        if (it != m_elements.end() && it->second->visible) {
            if (gtk_widget_grab_focus(it->second->widget))
                m_focused = focused.get();

            else if (!m_focusRetry && m_retriedFor != focused.get()) {
                m_retriedFor = focused.get();
                // A widget shown in this very frame may not take the focus yet: once more
                // when GTK has laid it out (one idle call, not a poll).
                m_focusRetry = g_idle_add_full(
                    G_PRIORITY_LOW,
                    [](gpointer data) {
                        auto* self = static_cast<AccessibleMirror*>(data);
                        self->m_focusRetry = 0;
                        if (self->m_layer && self->m_host.overlay())
                            self->syncFocus();
                        return G_SOURCE_REMOVE;
                    },
                    this, nullptr);
            }
        } else {
            GtkWidget* current = root ? gtk_root_get_focus(root) : nullptr;
            if (current && gtk_widget_is_ancestor(current, layer))
                gtk_root_set_focus(root, nullptr);
            m_focused = focused.get();
        }
    }
}

bool AccessibleMirror::keysBelongToViews() const
{
    if (!m_layer || !m_host.overlay())
        return true;
    GtkWidget* layer = GTK_WIDGET(m_layer);
    GtkRoot* root = gtk_widget_get_root(layer);
    GtkWidget* focus = root ? gtk_root_get_focus(root) : nullptr;
    GtkWidget* overlay = GTK_WIDGET(m_host.overlay());
    if (!focus || gtk_widget_is_ancestor(focus, layer) || focus == gtk_overlay_get_child(GTK_OVERLAY(overlay)))
        return true;
    // Inside a web page keys are the page's.
    return !gtk_widget_is_ancestor(focus, overlay);
}

std::optional<NavigationKey> navigationKeyFor(unsigned keyval, unsigned modifiers)
{
    if (modifiers & (GDK_CONTROL_MASK | GDK_ALT_MASK))
        return std::nullopt;
    switch (keyval) {
    case GDK_KEY_Tab:
    case GDK_KEY_KP_Tab:
        return (modifiers & GDK_SHIFT_MASK) ? NavigationKey::BackTab : NavigationKey::Tab;
    case GDK_KEY_ISO_Left_Tab:
        return NavigationKey::BackTab;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
    case GDK_KEY_ISO_Enter:
        return NavigationKey::Enter;
    case GDK_KEY_Escape:
        return NavigationKey::Escape;
    default:
        return std::nullopt;
    }
}

bool AccessibleMirror::handleKey(NavigationKey key)
{
    switch (key) {
    case NavigationKey::Tab:
    case NavigationKey::BackTab:
        m_window->moveFocus(key == NavigationKey::BackTab);
        return true;
    case NavigationKey::Enter:
        return keysBelongToViews() && m_window->activateFocus();
    case NavigationKey::Escape:
        return m_window->escape();
    }
    return false;
}

} // namespace platform::gtk
