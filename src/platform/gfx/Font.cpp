#include "platform/gfx/Font.h"

#include <cmath>
#include <limits>

#include "platform/gfx/TextLayout.h"

namespace platform {

namespace text {

void applyFontOptions(PangoContext* context)
{
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
}

PangoContext* measuringContext()
{
    static PangoContext* context = [] {
        PangoContext* c = pango_font_map_create_context(pango_cairo_font_map_get_default());
        applyFontOptions(c);
        return c;
    }();
    return context;
}

PangoLayout* createLayout(PangoContext* context, std::string_view text, const Font& font, Float width,
                          TextAlignment alignment)
{
    PangoLayout* layout = pango_layout_new(context);
    PangoFontDescription* desc = pango_font_description_new();
    pango_font_description_set_family(desc, font.family().c_str());
    pango_font_description_set_weight(desc, font.bold() ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, font.italic() ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    // Absolute size: one point is one pixel at scale 1, whatever the display resolution.
    pango_font_description_set_absolute_size(desc, double(font.pointSize()) * PANGO_SCALE);
    pango_layout_set_font_description(layout, desc);
    pango_font_description_free(desc);
    // pango wants valid UTF-8; it replaces what is not.
    pango_layout_set_text(layout, text.data(), int(text.size()));
    if (width > 0) {
        pango_layout_set_width(layout, int(std::lround(double(width) * PANGO_SCALE)));
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    }
    switch (alignment) {
    case TextAlignment::Left:
        pango_layout_set_alignment(layout, PANGO_ALIGN_LEFT);
        break;
    case TextAlignment::Center:
        pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
        break;
    case TextAlignment::Right:
        pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
        break;
    }
    return layout;
}

Fit fit(PangoLayout* layout, double maxHeight)
{
    Fit result;
    if (!pango_layout_get_text(layout) || !*pango_layout_get_text(layout))
        return result;
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        double bottom = double(logical.y + logical.height) / PANGO_SCALE;
        if (result.lines > 0 && bottom > maxHeight + 1e-6)
            break;
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        PangoRectangle lineLogical;
        pango_layout_line_get_extents(line, nullptr, &lineLogical);
        result.width = std::max(result.width, double(lineLogical.width) / PANGO_SCALE);
        result.height = bottom;
        ++result.lines;
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return result;
}

} // namespace text

Font::Font(std::string family, Float size, bool bold, bool italic)
    : m_family(std::move(family)),
      m_size(size > 0 ? size : 12),
      m_bold(bold),
      m_italic(italic)
{
}

Font Font::named(std::string_view name, Float size)
{
    // "Helvetica-Bold" taken whole as a family would fall back to some other face.
    auto dash = name.find('-');
    std::string family(name.substr(0, dash));
    bool bold = false, italic = false;
    if (dash != std::string_view::npos) {
        std::string_view style = name.substr(dash + 1);
        bold = style.find("Bold") != std::string_view::npos;
        italic = style.find("Oblique") != std::string_view::npos || style.find("Italic") != std::string_view::npos;
    }
    return Font(family.empty() ? "Helvetica" : family, size, bold, italic);
}

Size Font::measure(std::string_view text) const
{
    PangoLayout* layout = text::createLayout(text::measuringContext(), text, *this, 0, TextAlignment::Left);
    auto f = text::fit(layout, std::numeric_limits<double>::infinity());
    g_object_unref(layout);
    return {Float(std::ceil(f.width - 1e-6)), Float(std::ceil(f.height - 1e-6))};
}

Size Font::measure(std::string_view text, Size constraint) const
{
    if (constraint.width <= 0)
        return measure(text);
    PangoLayout* layout =
        text::createLayout(text::measuringContext(), text, *this, constraint.width, TextAlignment::Left);
    double maxHeight = constraint.height > 0 ? double(constraint.height) : std::numeric_limits<double>::infinity();
    auto f = text::fit(layout, maxHeight);
    g_object_unref(layout);
    return {Float(std::min<double>(std::ceil(f.width - 1e-6), constraint.width)), Float(std::ceil(f.height - 1e-6))};
}

Float Font::lineHeight() const
{
    return measure("Ag").height;
}

} // namespace platform
