#include "platform/ui/TurnedFace.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/gfx/Image.h"

namespace platform::detail {

namespace {

// Bilinear blend of four premultiplied pixels with weights summing to 256, two channels at a
// time: every lane stays below 2^16.
std::uint32_t blend(std::uint32_t p00, std::uint32_t p10, std::uint32_t p01, std::uint32_t p11, std::uint32_t tx,
                    std::uint32_t ty)
{
    const std::uint32_t w00 = (256 - tx) * (256 - ty) >> 8, w10 = tx * (256 - ty) >> 8, w01 = (256 - tx) * ty >> 8;
    const std::uint32_t w11 = 256 - w00 - w10 - w01;
    auto lanes = [&](std::uint32_t mask, int shift) {
        return (((p00 >> shift) & mask) * w00 + ((p10 >> shift) & mask) * w10 + ((p01 >> shift) & mask) * w01 +
                ((p11 >> shift) & mask) * w11) >>
                   8 &
               mask;
    };
    return lanes(0x00ff00ff, 0) | lanes(0x00ff00ff, 8) << 8;
}

// Darkens the colour of a premultiplied pixel, its alpha kept; keep is 0..256.
std::uint32_t darken(std::uint32_t p, std::uint32_t keep)
{
    const std::uint32_t rb = ((p & 0x00ff00ff) * keep >> 8) & 0x00ff00ff;
    const std::uint32_t g = (((p >> 8) & 0xff) * keep >> 8) << 8;
    return (p & 0xff000000) | rb | g;
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
    // from the centre line lands at x = u cos a * d / (d - u sin a); solved for u. Rows are
    // then scaled about the centre by the depth scale.
    struct Column {
        int x0{0};           // left source pixel of the blend
        std::uint32_t tx{0}; // weight of the right one, 0..256
        double inverseScale{0};
        int firstRow{0}, endRow{0}; // output rows that show the face
    };
    std::vector<Column> columns;
    std::vector<int> columnX;
    for (int x = 0; x < outWidth; ++x) {
        const double screenX = x + 0.5 - outWidth / 2.0;
        const double denominator = distance * cosine + screenX * sine;
        if (denominator <= 0)
            continue;
        const double u = screenX * distance / denominator;
        if (u <= -half - 1 || u >= half + 1)
            continue;
        const double depthScale = distance / (distance - u * sine);
        const double sourceX = u + half - 0.5, floorX = std::floor(sourceX);
        // Rows whose source lies within a pixel of the face: y' / s + h/2 - 0.5 in (-1, h).
        const double reach = (height / 2.0 + 0.5) * depthScale;
        const int firstRow = std::max(0, int(std::floor(outHeight / 2.0 - reach)));
        const int endRow = std::min(outHeight, int(std::ceil(outHeight / 2.0 + reach)));
        columns.push_back({int(floorX), std::uint32_t((sourceX - floorX) * 256), 1.0 / depthScale, firstRow, endRow});
        columnX.push_back(x);
    }
    const auto keep = std::uint32_t(std::lround(256 * (1.0 - std::clamp(shade, 0.0, 1.0))));
    // Outside the face is transparent, so the turned edges come out smooth.
    auto pixel = [&](int px, int py) -> std::uint32_t {
        if (px < 0 || py < 0 || px >= width || py >= height)
            return 0;
        return reinterpret_cast<const std::uint32_t*>(in + std::size_t(py) * inStride)[px];
    };
    // Row by row, so the writes run along memory.
    for (int y = 0; y < outHeight; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(out + std::size_t(y) * outStride);
        const double screenY = y + 0.5 - outHeight / 2.0;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            const Column& c = columns[i];
            if (y < c.firstRow || y >= c.endRow)
                continue;
            // Rows in range give sourceY > -2: truncation after the shift is the floor,
            // without a call to floor() per pixel.
            const double shifted = screenY * c.inverseScale + height / 2.0 + 1.5;
            const int y0 = int(shifted) - 2;
            const auto ty = std::uint32_t((shifted - double(y0 + 2)) * 256);
            const std::uint32_t value =
                blend(pixel(c.x0, y0), pixel(c.x0 + 1, y0), pixel(c.x0, y0 + 1), pixel(c.x0 + 1, y0 + 1), c.tx, ty);
            row[columnX[i]] = darken(value, keep);
        }
    }
    cairo_surface_mark_dirty(target);
    return turned;
}

} // namespace platform::detail
