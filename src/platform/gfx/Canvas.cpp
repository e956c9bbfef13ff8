#include "platform/gfx/Canvas.h"

#include <cairo.h>

#include <cmath>
#include <numbers>

#include "platform/gfx/Image.h"
#include "platform/gfx/TextLayout.h"

namespace platform {

Canvas::Canvas(cairo_t* cr) : m_cr(cr)
{
}

void Canvas::save()
{
    cairo_save(m_cr);
    m_stack.push_back({m_fill, m_stroke, m_alpha});
}

void Canvas::restore()
{
    if (m_stack.size() <= m_floor)
        return; // unbalanced restore: ignore rather than corrupt the caller's state
    cairo_restore(m_cr);
    m_fill = m_stack.back().fill;
    m_stroke = m_stack.back().stroke;
    m_alpha = m_stack.back().alpha;
    m_stack.pop_back();
}

void Canvas::translate(Float dx, Float dy)
{
    cairo_translate(m_cr, dx, dy);
}

void Canvas::scale(Float sx, Float sy)
{
    // A zero scale would make cairo's matrix singular and put the context in error.
    if (sx == 0 || sy == 0)
        sx = sy = Float(1e-4);
    cairo_scale(m_cr, sx, sy);
}

void Canvas::concat(const Transform& t)
{
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    if (std::abs(t.a * t.d - t.b * t.c) < 1e-12)
        cairo_matrix_init_scale(&m, 1e-4, 1e-4);
    cairo_transform(m_cr, &m);
}

void Canvas::setLineWidth(Float width)
{
    cairo_set_line_width(m_cr, width);
}

void Canvas::setAlpha(Float alpha)
{
    m_alpha = std::clamp<Float>(alpha, 0, 1);
}

void Canvas::setSource(const Color& c)
{
    cairo_set_source_rgba(m_cr, c.red, c.green, c.blue, double(c.alpha) * m_alpha);
}

void Canvas::fillRect(const Rect& r)
{
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, r.x(), r.y(), r.width(), r.height());
    setSource(m_fill);
    cairo_fill(m_cr);
}

void Canvas::strokeRect(const Rect& r)
{
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, r.x(), r.y(), r.width(), r.height());
    setSource(m_stroke);
    cairo_stroke(m_cr);
}

void Canvas::clearRect(const Rect& r)
{
    cairo_save(m_cr);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, r.x(), r.y(), r.width(), r.height());
    cairo_set_operator(m_cr, CAIRO_OPERATOR_CLEAR);
    cairo_fill(m_cr);
    cairo_restore(m_cr);
}

void Canvas::beginPath()
{
    cairo_new_path(m_cr);
}

void Canvas::moveTo(Float x, Float y)
{
    cairo_move_to(m_cr, x, y);
}

void Canvas::lineTo(Float x, Float y)
{
    if (!cairo_has_current_point(m_cr))
        cairo_move_to(m_cr, x, y);
    else
        cairo_line_to(m_cr, x, y);
}

void Canvas::addArc(Float cx, Float cy, Float radius, Float startAngle, Float endAngle, bool clockwise)
{
    if (clockwise)
        cairo_arc_negative(m_cr, cx, cy, radius, startAngle, endAngle);
    else
        cairo_arc(m_cr, cx, cy, radius, startAngle, endAngle);
}

void Canvas::addArcToPoint(Float x1, Float y1, Float x2, Float y2, Float radius)
{
    if (!cairo_has_current_point(m_cr)) {
        cairo_move_to(m_cr, x1, y1);
        return;
    }
    double x0, y0;
    cairo_get_current_point(m_cr, &x0, &y0);
    // Unit vectors from the corner towards both neighbours.
    double ax = x0 - x1, ay = y0 - y1, bx = x2 - x1, by = y2 - y1;
    double la = std::hypot(ax, ay), lb = std::hypot(bx, by);
    if (la < 1e-9 || lb < 1e-9 || radius <= 0) {
        cairo_line_to(m_cr, x1, y1);
        return;
    }
    ax /= la;
    ay /= la;
    bx /= lb;
    by /= lb;
    double cosTheta = std::clamp(ax * bx + ay * by, -1.0, 1.0);
    double theta = std::acos(cosTheta); // angle at the corner
    if (theta < 1e-9 || std::numbers::pi - theta < 1e-9) {
        // Straight line or a full turn-back: no arc fits, only the line to the corner.
        cairo_line_to(m_cr, x1, y1);
        return;
    }
    double tangent = radius / std::tan(theta / 2);
    double t1x = x1 + ax * tangent, t1y = y1 + ay * tangent;
    double t2x = x1 + bx * tangent, t2y = y1 + by * tangent;
    double mx = ax + bx, my = ay + by, ml = std::hypot(mx, my);
    double toCentre = radius / std::sin(theta / 2);
    double cx = x1 + mx / ml * toCentre, cy = y1 + my / ml * toCentre;
    double a1 = std::atan2(t1y - cy, t1x - cx);
    double a2 = std::atan2(t2y - cy, t2x - cx);
    double sweep = a2 - a1;
    while (sweep > std::numbers::pi)
        sweep -= 2 * std::numbers::pi;
    while (sweep <= -std::numbers::pi)
        sweep += 2 * std::numbers::pi;
    cairo_line_to(m_cr, t1x, t1y);
    if (sweep > 0)
        cairo_arc(m_cr, cx, cy, radius, a1, a1 + sweep);
    else
        cairo_arc_negative(m_cr, cx, cy, radius, a1, a1 + sweep);
}

void Canvas::addRect(const Rect& r)
{
    cairo_rectangle(m_cr, r.x(), r.y(), r.width(), r.height());
}

void Canvas::addRoundedRect(const Rect& r, Float radius)
{
    Float k = std::min({radius, std::abs(r.width()) / 2, std::abs(r.height()) / 2});
    Float l = r.minX(), t = r.minY(), rr = r.maxX(), b = r.maxY();
    moveTo(l, t + k);
    addArcToPoint(l, b, l + k, b, k);
    addArcToPoint(rr, b, rr, b - k, k);
    addArcToPoint(rr, t, rr - k, t, k);
    addArcToPoint(l, t, l, t + k, k);
    closePath();
}

void Canvas::closePath()
{
    if (cairo_has_current_point(m_cr))
        cairo_close_path(m_cr);
}

void Canvas::fillPath()
{
    setSource(m_fill);
    cairo_fill(m_cr);
}

void Canvas::strokePath()
{
    setSource(m_stroke);
    cairo_stroke(m_cr);
}

void Canvas::clip()
{
    cairo_clip(m_cr);
}

void Canvas::clipToRect(const Rect& r)
{
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, r.x(), r.y(), r.width(), r.height());
    cairo_clip(m_cr);
}

void Canvas::drawLinearGradient(const Gradient& gradient, Point start, Point end, unsigned options)
{
    const auto& colors = gradient.colors;
    if (colors.empty())
        return;
    cairo_pattern_t* pattern = cairo_pattern_create_linear(start.x, start.y, end.x, end.y);
    for (std::size_t i = 0; i < colors.size(); ++i) {
        double location = i < gradient.locations.size()
                              ? double(gradient.locations[i])
                              : (colors.size() == 1 ? 0.0 : double(i) / double(colors.size() - 1));
        const Color& c = colors[i];
        cairo_pattern_add_color_stop_rgba(pattern, location, c.red, c.green, c.blue, double(c.alpha) * m_alpha);
    }
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_save(m_cr);
    // Without the extend options the gradient paints only between the two lines through
    // start and end, perpendicular to the axis; with them it goes on past that end.
    double dx = end.x - start.x, dy = end.y - start.y;
    double length = std::hypot(dx, dy);
    if (length > 0 && (options & (DrawsBeforeStartLocation | DrawsAfterEndLocation)) !=
                          (DrawsBeforeStartLocation | DrawsAfterEndLocation)) {
        double ux = dx / length, uy = dy / length;
        constexpr double far = 1e5;
        double from = (options & DrawsBeforeStartLocation) ? -far : 0.0;
        double to = (options & DrawsAfterEndLocation) ? length + far : length;
        // A band along the axis, as wide as anything we draw.
        double px = -uy * far, py = ux * far;
        double sx = start.x + ux * from, sy = start.y + uy * from;
        double ex = start.x + ux * to, ey = start.y + uy * to;
        cairo_new_path(m_cr);
        cairo_move_to(m_cr, sx + px, sy + py);
        cairo_line_to(m_cr, ex + px, ey + py);
        cairo_line_to(m_cr, ex - px, ey - py);
        cairo_line_to(m_cr, sx - px, sy - py);
        cairo_close_path(m_cr);
        cairo_clip(m_cr);
    }
    cairo_set_source(m_cr, pattern);
    cairo_paint(m_cr);
    cairo_restore(m_cr);
    cairo_pattern_destroy(pattern);
}

void Canvas::drawImage(const Image& image, Point p)
{
    Size s = image.size();
    drawImage(image, Rect{p, s});
}

void Canvas::drawImage(const Image& image, const Rect& r)
{
    if (r.width() == 0 || r.height() == 0 || image.pixelWidth() == 0 || image.pixelHeight() == 0)
        return;
    cairo_save(m_cr);
    cairo_translate(m_cr, r.x(), r.y());
    cairo_scale(m_cr, double(r.width()) / image.pixelWidth(), double(r.height()) / image.pixelHeight());
    cairo_set_source_surface(m_cr, image.surface(), image.surfaceOriginX(), image.surfaceOriginY());
    // Smooth when scaled, exact when drawn 1:1 in device pixels. Drawn at half size or
    // larger, bilinear sampling is smooth enough; only below half does cairo's good filter,
    // which convolves, earn its cost: the game's 2x background drawn at 0.75 (a window at
    // 1.5x) took 6.6 ms a frame with it, not 0.4.
    cairo_matrix_t m;
    cairo_get_matrix(m_cr, &m);
    double deviceX = 1, deviceY = 1;
    cairo_surface_get_device_scale(cairo_get_target(m_cr), &deviceX, &deviceY);
    const double shrinkX = std::hypot(m.xx, m.yx) * deviceX, shrinkY = std::hypot(m.xy, m.yy) * deviceY;
    const bool far = shrinkX < 0.5 || shrinkY < 0.5;
    cairo_pattern_set_filter(cairo_get_source(m_cr), far ? CAIRO_FILTER_GOOD : CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(cairo_get_source(m_cr), CAIRO_EXTEND_PAD);
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, 0, 0, image.pixelWidth(), image.pixelHeight());
    cairo_clip(m_cr);
    cairo_paint_with_alpha(m_cr, m_alpha);
    cairo_restore(m_cr);
}

Size Canvas::drawText(std::string_view text, const Rect& r, const Font& font, TextAlignment alignment)
{
    PangoContext* context = pango_cairo_create_context(m_cr);
    text::applyFontOptions(context);
    PangoLayout* layout = text::createLayout(context, text, font, r.width(), alignment);
    auto f = text::fit(layout, r.height() > 0 ? double(r.height()) : 1e9);
    setSource(m_fill);
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    for (int line = 0; line < f.lines; ++line) {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        double baseline = double(pango_layout_iter_get_baseline(iter)) / PANGO_SCALE;
        cairo_move_to(m_cr, r.x() + double(logical.x) / PANGO_SCALE, r.y() + baseline);
        pango_cairo_show_layout_line(m_cr, pango_layout_iter_get_line_readonly(iter));
        if (!pango_layout_iter_next_line(iter))
            break;
    }
    pango_layout_iter_free(iter);
    g_object_unref(layout);
    g_object_unref(context);
    cairo_new_path(m_cr);
    return {Float(std::ceil(f.width - 1e-6)), Float(std::ceil(f.height - 1e-6))};
}

Size Canvas::drawText(std::string_view text, Point p, const Font& font)
{
    return drawText(text, Rect{p.x, p.y, 0, 0}, font);
}

BitmapCanvas::BitmapCanvas(Size points, double scale)
{
    int w = int(std::ceil(double(points.width) * scale - 1e-6));
    int h = int(std::ceil(double(points.height) * scale - 1e-6));
    m_target = Image::create(w, h, scale);
    if (!m_target)
        return;
    m_cr = cairo_create(m_target->surface());
    cairo_scale(m_cr, scale, scale);
    m_canvas = std::make_unique<Canvas>(m_cr);
}

BitmapCanvas::~BitmapCanvas()
{
    m_canvas.reset();
    if (m_cr)
        cairo_destroy(m_cr);
}

std::shared_ptr<Image> BitmapCanvas::takeImage()
{
    m_canvas.reset();
    if (m_cr)
        cairo_destroy(m_cr);
    m_cr = nullptr;
    if (m_target)
        cairo_surface_flush(m_target->surface());
    return std::move(m_target);
}

std::shared_ptr<Image> BitmapCanvas::makeImage() const
{
    if (!m_target)
        return nullptr;
    auto copy = Image::create(m_target->pixelWidth(), m_target->pixelHeight(), m_target->scale());
    cairo_t* cr = cairo_create(copy->surface());
    cairo_set_source_surface(cr, m_target->surface(), 0, 0);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(copy->surface());
    return copy;
}

} // namespace platform
