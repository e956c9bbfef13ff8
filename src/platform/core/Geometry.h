#pragma once

#include <algorithm>
#include <cmath>

namespace platform {

// Coordinates are points, origin at the top left, y growing downwards. Stored in single
// precision like the phone platform's CGFloat: callers that compute in double and store a
// coordinate get exactly the rounding the game's arithmetic expects.
using Float = float;

struct Point {
    Float x{0};
    Float y{0};
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    Float width{0};
    Float height{0};
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point o, Size s) : origin(o), size(s) { }
    constexpr Rect(Float x, Float y, Float w, Float h) : origin{x, y}, size{w, h} { }

    Float x() const { return origin.x; }
    Float y() const { return origin.y; }
    Float width() const { return size.width; }
    Float height() const { return size.height; }
    // A rectangle with a negative size means the same area as its standardised form.
    Float minX() const { return std::min(origin.x, origin.x + size.width); }
    Float minY() const { return std::min(origin.y, origin.y + size.height); }
    Float maxX() const { return std::max(origin.x, origin.x + size.width); }
    Float maxY() const { return std::max(origin.y, origin.y + size.height); }
    Float midX() const { return (minX() + maxX()) * Float(0.5); }
    Float midY() const { return (minY() + maxY()) * Float(0.5); }
    Point center() const { return {midX(), midY()}; }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }

    // Left and top edges belong to the rectangle, right and bottom edges do not.
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    bool intersects(const Rect& o) const
    {
        return minX() < o.maxX() && o.minX() < maxX() && minY() < o.maxY() && o.minY() < maxY();
    }
    Rect intersection(const Rect& o) const
    {
        if (!intersects(o))
            return {};
        Float x0 = std::max(minX(), o.minX()), y0 = std::max(minY(), o.minY());
        Float x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
        return {x0, y0, x1 - x0, y1 - y0};
    }
    Rect united(const Rect& o) const
    {
        if (isEmpty())
            return o;
        if (o.isEmpty())
            return *this;
        Float x0 = std::min(minX(), o.minX()), y0 = std::min(minY(), o.minY());
        Float x1 = std::max(maxX(), o.maxX()), y1 = std::max(maxY(), o.maxY());
        return {x0, y0, x1 - x0, y1 - y0};
    }
    Rect offsetBy(Float dx, Float dy) const { return {origin.x + dx, origin.y + dy, size.width, size.height}; }
    Rect insetBy(Float dx, Float dy) const
    {
        return {minX() + dx, minY() + dy, (maxX() - minX()) - 2 * dx, (maxY() - minY()) - 2 * dy};
    }

    friend bool operator==(const Rect&, const Rect&) = default;
};

// A 2-D affine transform: x' = a x + c y + tx, y' = b x + d y + ty (the phone platform's
// layout of the six numbers). Layers use it for scale transforms about their centre.
struct Transform {
    double a{1}, b{0}, c{0}, d{1}, tx{0}, ty{0};

    static constexpr Transform identity() { return {}; }
    static constexpr Transform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static constexpr Transform translation(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
    static Transform rotation(double radians)
    {
        double c = std::cos(radians), s = std::sin(radians);
        return {c, s, -s, c, 0, 0};
    }

    bool isIdentity() const { return *this == Transform{}; }
    // First this, then `then`.
    Transform concat(const Transform& then) const
    {
        return {a * then.a + b * then.c,
                a * then.b + b * then.d,
                c * then.a + d * then.c,
                c * then.b + d * then.d,
                tx * then.a + ty * then.c + then.tx,
                tx * then.b + ty * then.d + then.ty};
    }
    Point apply(Point p) const { return {Float(a * p.x + c * p.y + tx), Float(b * p.x + d * p.y + ty)}; }
    // The bounding box of the transformed rectangle.
    Rect apply(const Rect& r) const
    {
        Point p[4] = {apply(Point{r.minX(), r.minY()}), apply(Point{r.maxX(), r.minY()}),
                      apply(Point{r.minX(), r.maxY()}), apply(Point{r.maxX(), r.maxY()})};
        Float x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
        for (const auto& q : p) {
            x0 = std::min(x0, q.x);
            x1 = std::max(x1, q.x);
            y0 = std::min(y0, q.y);
            y1 = std::max(y1, q.y);
        }
        return {x0, y0, x1 - x0, y1 - y0};
    }
    // Component-wise blend; exact for the scale and translation transforms we animate.
    static Transform lerp(const Transform& from, const Transform& to, double t)
    {
        auto mix = [t](double x, double y) { return x + (y - x) * t; };
        return {mix(from.a, to.a), mix(from.b, to.b),   mix(from.c, to.c),
                mix(from.d, to.d), mix(from.tx, to.tx), mix(from.ty, to.ty)};
    }

    friend bool operator==(const Transform&, const Transform&) = default;
};

} // namespace platform
