#pragma once

#include <memory>
#include <optional>
#include <unordered_map>

#include "platform/backend/gtk/NativeWidgetHost.h"
#include "platform/ui/Accessibility.h"

namespace platform {
class View;
class Window;
} // namespace platform

namespace platform::gtk {

// The keys that move through and use the views without a pointer.
enum class NavigationKey { Tab, BackTab, Enter, Escape };
// The navigation key a press is (GDK's keyval and modifier state), if any.
std::optional<NavigationKey> navigationKeyFor(unsigned keyval, unsigned modifiers);

// GTK exposes accessibility only through widgets, and our views are drawn into one drawing
// area: this keeps one empty, transparent GtkWidget per view that declares a role, at the
// view's place over the drawing, carrying its role, name, value and state. The widgets draw
// nothing and take no pointer input; the keyboard focus of the platform::Window moves GTK's
// focus onto the matching widget, so screen readers follow it.
//
// sync() is cheap when nothing changed (no GTK calls): hosts call it before each frame,
// which they draw only when something changed, so an idle window stays idle.
class AccessibleMirror final {
public:
    AccessibleMirror(NativeWidgetHost& host, std::shared_ptr<Window> window);
    ~AccessibleMirror();
    AccessibleMirror(const AccessibleMirror&) = delete;
    AccessibleMirror& operator=(const AccessibleMirror&) = delete;

    void sync();
    // Tab and Shift+Tab move the window's focus, Enter taps the focused view (unless a web
    // page has GTK's focus: Enter is the page's then), Escape closes the frontmost view that
    // takes it. Whether the key was used.
    bool handleKey(NavigationKey key);
    // Whether GTK's keyboard focus is on one of the mirror's widgets or on none of the
    // window's widgets (not inside a web page): keys then belong to the views.
    bool keysBelongToViews() const;

    // The widget standing for `view` (a GtkWidget*), null if none.
    void* widgetFor(const View& view) const;

    struct Element;

private:
    void walk(const std::shared_ptr<View>& view, bool shown, const View* scope, bool inScope);
    void ensureLayer();
    void syncFocus();

    NativeWidgetHost& m_host;
    std::shared_ptr<Window> m_window;
    void* m_layer{nullptr}; // GtkFixed over the drawing
    std::unordered_map<const View*, std::unique_ptr<Element>> m_elements;
    unsigned m_generation{0};
    const View* m_focused{nullptr};
    unsigned m_focusRetry{0}; // GLib source id
    const View* m_retriedFor{nullptr};
};

// The toolkit's role for ours (a GtkAccessibleRole), for tests of the mapping.
int gtkRoleFor(AccessibleRole role);

} // namespace platform::gtk
