#include "platform/ui/TurnedFace.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/gfx/Image.h"

namespace platform::detail {

namespace {

struct Pixel {
    float a{0}, r{0}, g{0}, b{0}; // premultiplied
};

// Bilinear sample at (x, y) in pixel-index coordinates; outside the face is transparent, so
// the turned edges come out smooth.
Pixel sample(const std::uint8_t* data, int stride, int width, int height, double x, double y)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int x0 = int(fx), y0 = int(fy);
    const float tx = float(x - fx), ty = float(y - fy);
    Pixel result;
    auto add = [&](int px, int py, float weight) {
        if (weight <= 0 || px < 0 || py < 0 || px >= width || py >= height)
            return;
        const std::uint32_t v = reinterpret_cast<const std::uint32_t*>(data + std::size_t(py) * stride)[px];
        result.a += weight * float(v >> 24);
        result.r += weight * float((v >> 16) & 0xff);
        result.g += weight * float((v >> 8) & 0xff);
        result.b += weight * float(v & 0xff);
    };
    add(x0, y0, (1 - tx) * (1 - ty));
    add(x0 + 1, y0, tx * (1 - ty));
    add(x0, y0 + 1, (1 - tx) * ty);
    add(x0 + 1, y0 + 1, tx * ty);
    return result;
}

std::uint32_t pack(const Pixel& p, float keep)
{
    auto byte = [](float v) { return std::uint32_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); };
    const std::uint32_t a = byte(p.a);
    // Premultiplied: no colour may exceed its alpha.
    auto colour = [&](float v) { return std::min(byte(v * keep), a); };
    return a << 24 | colour(p.r) << 16 | colour(p.g) << 8 | colour(p.b);
}

} // namespace

TurnedFace turnFace(const Image& face, double angle, double distance, double shade)
{
    const int width = face.pixelWidth(), height = face.pixelHeight();
    const double cosine = std::cos(angle), sine = std::sin(angle);
    const double half = width / 2.0;
    if (cosine < 1e-3 || width <= 0 || height <= 0 || distance <= half)
        return {};
    // The near edge: its depth scale, and how far it reaches sideways and up and down.
    const double nearScale = distance / (distance - half * std::abs(sine));
    TurnedFace turned;
    turned.marginX = std::max(1, int(std::ceil(half * (cosine * nearScale - 1.0))) + 1);
    turned.marginY = int(std::ceil(height * (nearScale - 1.0) / 2)) + 1;
    const int outWidth = width + 2 * turned.marginX, outHeight = height + 2 * turned.marginY;
    turned.image = Image::create(outWidth, outHeight, face.scale());
    if (!turned.image)
        return {};

    cairo_surface_t* source = face.surface();
    cairo_surface_flush(source);
    const std::uint8_t* in = cairo_image_surface_get_data(source);
    const int inStride = cairo_image_surface_get_stride(source);
    cairo_surface_t* target = turned.image->surface();
    std::uint8_t* out = cairo_image_surface_get_data(target);
    const int outStride = cairo_image_surface_get_stride(target);

    // Per output column, the face column it shows and that column's depth scale: a point u
    // from the centre line lands at x = u cos a * d / (d - u sin a); solved for u.
    struct Column {
        bool shown{false};
        double sourceX{0};
        double depthScale{1};
    };
    std::vector<Column> columns(static_cast<std::size_t>(outWidth));
    for (int x = 0; x < outWidth; ++x) {
        const double screenX = x + 0.5 - outWidth / 2.0;
        const double denominator = distance * cosine + screenX * sine;
        if (denominator <= 0)
            continue;
        const double u = screenX * distance / denominator;
        if (u < -half - 1 || u > half + 1)
            continue;
        columns[std::size_t(x)] = {true, u + half - 0.5, distance / (distance - u * sine)};
    }
    const float keep = float(1.0 - std::clamp(shade, 0.0, 1.0));
    for (int y = 0; y < outHeight; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(out + std::size_t(y) * outStride);
        const double screenY = y + 0.5 - outHeight / 2.0;
        for (int x = 0; x < outWidth; ++x) {
            const Column& column = columns[std::size_t(x)];
            if (!column.shown)
                continue;
            const double sourceY = screenY / column.depthScale + height / 2.0 - 0.5;
            if (sourceY < -1 || sourceY > height)
                continue;
            row[x] = pack(sample(in, inStride, width, height, column.sourceX, sourceY), keep);
        }
    }
    cairo_surface_mark_dirty(target);
    return turned;
}

} // namespace platform::detail
