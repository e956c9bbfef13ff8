#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "platform/core/Geometry.h"

typedef struct _cairo_surface cairo_surface_t;

namespace platform {

// Limits for decoding bytes that come from outside (the network, the disk). Both are
// checked before any pixel memory is allocated.
struct ImageLimits {
    std::size_t maxBytes{8u * 1024 * 1024};
    std::uint64_t maxPixels{4096ull * 4096};
};

// An immutable bitmap with a scale: an image of 40 x 40 pixels at scale 2 is 20 x 20
// points. Pixels are kept premultiplied, ready for drawing.
class Image final {
public:
    enum class Format { Unknown, PNG, JPEG, GIF };

    // Decodes PNG, JPEG or GIF (the first frame) from untrusted bytes. Returns null and,
    // when `error` is given, a reason on bad, truncated or oversized input.
    static std::shared_ptr<Image> decode(std::span<const std::uint8_t> bytes, std::string* error = nullptr,
                                         const ImageLimits& limits = {}, double scale = 1.0);
    static Format sniff(std::span<const std::uint8_t> bytes);

    // Reads an image file; a name ending in "@2x" (before the extension) has scale 2.
    static std::shared_ptr<Image> loadFile(const std::filesystem::path& path, std::string* error = nullptr,
                                           const ImageLimits& limits = {});
    // Picks the best variant of "name.png" for a display scale: "name@2x.png" when the
    // scale is above 1 and that file exists, otherwise "name.png" (or the other way round
    // when only the @2x file exists).
    static std::shared_ptr<Image> loadVariant(const std::filesystem::path& path, double displayScale,
                                              std::string* error = nullptr, const ImageLimits& limits = {});

    // A transparent image of the given pixel size, for drawing into.
    static std::shared_ptr<Image> create(int pixelWidth, int pixelHeight, double scale = 1.0);
    // Straight (not premultiplied) RGBA bytes, row by row.
    static std::shared_ptr<Image> fromRGBA(int pixelWidth, int pixelHeight, std::span<const std::uint8_t> rgba,
                                           double scale = 1.0);

    ~Image();
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    int pixelWidth() const { return m_width; }
    int pixelHeight() const { return m_height; }
    double scale() const { return m_scale; }
    // Size in points.
    Size size() const;

    // Straight RGBA of one pixel, packed 0xRRGGBBAA; 0 outside the image.
    std::uint32_t pixelRGBA(int x, int y) const;

    std::vector<std::uint8_t> encodePNG() const;
    bool writePNG(const std::filesystem::path& path, std::string* error = nullptr) const;

    // The cairo image surface (ARGB32) behind the image; only the platform draws with it.
    // A picture loaded from a file decodes its pixels here, the first time it is drawn,
    // and keeps only the rectangle that has ink: the surface can be smaller than the image
    // and sits at surfaceOriginX/Y (pixels) in it. Anywhere else the image is transparent.
    cairo_surface_t* surface() const;
    int surfaceOriginX() const { return (void)surface(), m_originX; }
    int surfaceOriginY() const { return (void)surface(), m_originY; }

private:
    Image(cairo_surface_t* surface, double scale);
    static cairo_surface_t* inkOnly(cairo_surface_t* full, int* originX, int* originY);

    // Pictures of a program's interface are checked when loaded, but many are not on
    // screen (the results of a game not played yet): they keep their file's bytes, a
    // tenth of the pixels, until first drawn.
    mutable cairo_surface_t* m_surface{nullptr};
    mutable std::vector<std::uint8_t> m_encoded;
    mutable std::once_flag m_pixelsOnce;
    mutable int m_originX{0};
    mutable int m_originY{0};
    ImageLimits m_limits;
    int m_width{0};
    int m_height{0};
    double m_scale{1.0};
};

} // namespace platform
