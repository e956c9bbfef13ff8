#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "platform/core/Color.h"
#include "platform/core/Geometry.h"
#include "platform/gfx/Font.h"

typedef struct _cairo cairo_t;

namespace platform {

class Image;

// Colours along a line, at locations 0..1 (the first colour at 0 and the last at 1 when
// no locations are given).
struct Gradient {
    std::vector<Color> colors;
    std::vector<Float> locations;
};

enum GradientOptions : unsigned {
    DrawsBeforeStartLocation = 1u,
    DrawsAfterEndLocation = 2u,
};

// 2-D drawing in points on a cairo context, with the operations views and banners use.
// Paths follow the usual rules: filling, stroking or clipping consumes the current path.
class Canvas final {
public:
    // Draws into `cr`, which stays owned by the caller.
    explicit Canvas(cairo_t* cr);
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    cairo_t* cairo() const { return m_cr; }

    void save();
    // Undoes the last save(); a restore without a matching save() is ignored.
    void restore();
    // Runs `body` between save() and restore(); saves that body leaves open are closed,
    // and restores beyond its own saves are ignored, so a careless drawing routine cannot
    // disturb its caller's state.
    template <class Body> void isolated(Body&& body)
    {
        save();
        std::size_t outerFloor = m_floor;
        m_floor = m_stack.size();
        body();
        while (m_stack.size() > m_floor)
            restore();
        m_floor = outerFloor;
        restore();
    }
    void translate(Float dx, Float dy);
    void scale(Float sx, Float sy);
    void concat(const Transform& t);

    void setFillColor(const Color& c) { m_fill = c; }
    void setStrokeColor(const Color& c) { m_stroke = c; }
    Color fillColor() const { return m_fill; }
    void setLineWidth(Float width);
    // Multiplies into everything drawn from now on, until restore().
    void setAlpha(Float alpha);
    Float alpha() const { return m_alpha; }

    void fillRect(const Rect& r);
    void strokeRect(const Rect& r);
    void clearRect(const Rect& r);

    void beginPath();
    void moveTo(Float x, Float y);
    void lineTo(Float x, Float y);
    // An arc around (cx, cy); angles in radians, 0 along +x, growing towards +y (down).
    // clockwise = false sweeps with growing angle. A line joins the current point first.
    void addArc(Float cx, Float cy, Float radius, Float startAngle, Float endAngle, bool clockwise);
    // A line from the current point towards (x1, y1), rounded off by an arc of `radius`
    // that turns towards (x2, y2).
    void addArcToPoint(Float x1, Float y1, Float x2, Float y2, Float radius);
    void addRect(const Rect& r);
    void addRoundedRect(const Rect& r, Float radius);
    void closePath();
    void fillPath();
    void strokePath();
    // Intersects the clip with the current path.
    void clip();
    void clipToRect(const Rect& r);

    void drawLinearGradient(const Gradient& gradient, Point start, Point end, unsigned options = 0);

    // Draws the image at its size in points with its top-left corner at `p`.
    void drawImage(const Image& image, Point p);
    // Draws the image scaled into `r`.
    void drawImage(const Image& image, const Rect& r);

    // Draws text in the fill colour, word-wrapped to the rectangle's width; lines that end
    // below the rectangle are left out, exactly as Font::measure(text, size) counts them.
    Size drawText(std::string_view text, const Rect& r, const Font& font,
                  TextAlignment alignment = TextAlignment::Left);
    // Draws text on one line with its top-left corner at `p`.
    Size drawText(std::string_view text, Point p, const Font& font);

private:
    void setSource(const Color& c);

    cairo_t* m_cr;
    Color m_fill{Color::black()};
    Color m_stroke{Color::black()};
    Float m_alpha{1};
    struct Saved {
        Color fill, stroke;
        Float alpha;
    };
    std::vector<Saved> m_stack;
    std::size_t m_floor{0};
};

// A canvas that draws into a fresh transparent bitmap of a size in points at a scale.
class BitmapCanvas final {
public:
    BitmapCanvas(Size points, double scale = 1.0);
    ~BitmapCanvas();
    BitmapCanvas(const BitmapCanvas&) = delete;
    BitmapCanvas& operator=(const BitmapCanvas&) = delete;

    bool isValid() const { return m_canvas != nullptr; }
    Canvas& canvas() { return *m_canvas; }
    // A copy of what has been drawn so far.
    std::shared_ptr<Image> makeImage() const;
    // What has been drawn, without a copy; the canvas draws nothing more afterwards.
    std::shared_ptr<Image> takeImage();

private:
    std::shared_ptr<Image> m_target;
    cairo_t* m_cr{nullptr};
    std::unique_ptr<Canvas> m_canvas;
};

} // namespace platform
