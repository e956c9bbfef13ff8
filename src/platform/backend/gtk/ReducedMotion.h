#pragma once

namespace platform::gtk {

// Makes view and layer animations follow the desktop's "gtk-enable-animations": with it off
// a flip, a pulse or a modal's growing ends at once (same end state, same callbacks, in the
// same order), and a change of the setting while running takes effect for the next one.
// Idempotent; GTK must be initialised.
void followDesktopMotionSetting();

} // namespace platform::gtk
