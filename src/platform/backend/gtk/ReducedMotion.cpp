#include "ReducedMotion.h"

#include "platform/ui/Animation.h"

#include <gtk/gtk.h>

namespace platform::gtk {

namespace {

void readSetting(GtkSettings* settings)
{
    gboolean enabled = TRUE;
    g_object_get(settings, "gtk-enable-animations", &enabled, nullptr);
    ViewAnimation::setAnimationsEnabled(enabled);
}

} // namespace

void followDesktopMotionSetting()
{
    static bool following = false;
    GtkSettings* settings = gtk_settings_get_default();
    if (following || !settings)
        return;
    following = true;
    readSetting(settings);
    g_signal_connect(settings, "notify::gtk-enable-animations",
                     G_CALLBACK(+[](GtkSettings* s, GParamSpec*, gpointer) { readSetting(s); }), nullptr);
}

} // namespace platform::gtk
