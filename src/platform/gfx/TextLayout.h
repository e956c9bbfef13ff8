#pragma once

// Internal to platform_gfx: the pango side of measuring and drawing text.

#include <pango/pangocairo.h>

#include <string_view>

#include "platform/gfx/Font.h"

namespace platform::text {

// Metrics are never hinted, so text lays out the same at every scale.
void applyFontOptions(PangoContext* context);
// The context measurements use (no surface needed).
PangoContext* measuringContext();

// A layout of `text`; wrapped (word, then character) when width > 0.
PangoLayout* createLayout(PangoContext* context, std::string_view text, const Font& font, Float width,
                          TextAlignment alignment);

struct Fit {
    int lines{0};     // lines that fit
    double width{0};  // widest of them, points
    double height{0}; // bottom of the last of them, points
};
// Counts the lines whose bottom is within maxHeight (at least one, when there is text).
Fit fit(PangoLayout* layout, double maxHeight);

} // namespace platform::text
