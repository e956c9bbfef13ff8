// Any bytes: decoding either fails with a reason or gives an image within the limits
// that survives a PNG round trip unchanged.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "platform/gfx/Image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::ImageLimits limits;
    limits.maxPixels = 512 * 512; // keeps each run fast and small
    std::string error;
    auto image = platform::Image::decode(std::span<const std::uint8_t>(data, size), &error, limits);
    if (!image) {
        if (error.empty())
            std::abort(); // a failure must say why
        return 0;
    }
    if (std::uint64_t(image->pixelWidth()) * std::uint64_t(image->pixelHeight()) > limits.maxPixels)
        std::abort();
    auto png = image->encodePNG();
    auto again = platform::Image::decode(png, &error, limits);
    if (!again || again->pixelWidth() != image->pixelWidth() || again->pixelHeight() != image->pixelHeight())
        std::abort();
    for (int y = 0; y < image->pixelHeight(); y += 7)
        for (int x = 0; x < image->pixelWidth(); x += 7)
            if ((again->pixelRGBA(x, y) & 0xFF) != (image->pixelRGBA(x, y) & 0xFF))
                std::abort(); // alpha is stored exactly
    return 0;
}
