#include "platform/gfx/Image.h"

#include <cairo.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/core/FileSystem.h"

namespace platform {

namespace {

// cairo cannot make image surfaces beyond this side length.
constexpr int kMaxSide = 32767;

void setError(std::string* error, std::string message)
{
    if (error)
        *error = std::move(message);
}

bool checkPixelCount(std::uint64_t width, std::uint64_t height, const ImageLimits& limits, std::string* error)
{
    if (width == 0 || height == 0) {
        setError(error, "image has no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
        return false;
    }
    if (width > kMaxSide || height > kMaxSide || width * height > limits.maxPixels) {
        setError(error, "image is " + std::to_string(width) + " x " + std::to_string(height) +
                            " pixels, more than the limit of " + std::to_string(limits.maxPixels) + " pixels");
        return false;
    }
    return true;
}

cairo_surface_t* newSurface(int width, int height, std::string* error)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        setError(error,
                 std::string("cannot allocate the image: ") + cairo_status_to_string(cairo_surface_status(surface)));
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return surface;
}

inline std::uint32_t premultiply(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    auto mul = [a](std::uint8_t c) -> std::uint32_t {
        unsigned t = unsigned(c) * a + 128;
        return (t + (t >> 8)) >> 8;
    };
    return (std::uint32_t(a) << 24) | (mul(r) << 16) | (mul(g) << 8) | mul(b);
}

// Copies straight RGBA rows into a fresh surface.
cairo_surface_t* surfaceFromRGBA(int width, int height, const std::uint8_t* rgba, std::size_t rowBytes,
                                 std::string* error)
{
    cairo_surface_t* surface = newSurface(width, height, error);
    if (!surface)
        return nullptr;
    cairo_surface_flush(surface);
    unsigned char* data = cairo_image_surface_get_data(surface);
    int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = rgba + std::size_t(y) * rowBytes;
        auto* out = reinterpret_cast<std::uint32_t*>(data + std::size_t(y) * stride);
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = premultiply(in[0], in[1], in[2], in[3]);
    }
    cairo_surface_mark_dirty(surface);
    return surface;
}

// ---- PNG -------------------------------------------------------------------------------

cairo_surface_t* decodePNG(std::span<const std::uint8_t> bytes, const ImageLimits& limits, std::string* error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        setError(error, std::string("bad PNG: ") + image.message);
        png_image_free(&image);
        return nullptr;
    }
    if (!checkPixelCount(image.width, image.height, limits, error)) {
        png_image_free(&image);
        return nullptr;
    }
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        setError(error, std::string("bad PNG: ") + image.message);
        png_image_free(&image);
        return nullptr;
    }
    return surfaceFromRGBA(int(image.width), int(image.height), rgba.data(), PNG_IMAGE_ROW_STRIDE(image), error);
}

// ---- JPEG ------------------------------------------------------------------------------

// Everything a decode needs that must survive a longjmp out of libjpeg. The decoder
// reaches it through client_data, so it always lives in memory, never in registers.
struct JpegState {
    jpeg_error_mgr err;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX]{};
    std::vector<std::uint8_t> row;
    std::vector<std::uint8_t> rgba;
};

JpegState& jpegState(j_common_ptr cinfo)
{
    return *static_cast<JpegState*>(cinfo->client_data);
}

void jpegErrorExit(j_common_ptr cinfo)
{
    (*cinfo->err->format_message)(cinfo, jpegState(cinfo).message);
    std::longjmp(jpegState(cinfo).jump, 1);
}

void jpegSilence(j_common_ptr, int)
{
}

// A progressive file can ask for endless scans; no honest image needs this many.
constexpr int kMaxJpegScans = 1000;

void jpegProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxJpegScans) {
        auto& state = jpegState(cinfo);
        std::snprintf(state.message, sizeof state.message, "more than %d scans", kMaxJpegScans);
        std::longjmp(state.jump, 1);
    }
}

cairo_surface_t* decodeJPEG(std::span<const std::uint8_t> bytes, const ImageLimits& limits, std::string* error)
{
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    JpegState state;
    cinfo.err = jpeg_std_error(&state.err);
    state.err.error_exit = jpegErrorExit;
    state.err.emit_message = jpegSilence;
    jpeg_create_decompress(&cinfo);
    cinfo.client_data = &state;
    progress.progress_monitor = jpegProgress;
    cinfo.progress = &progress;

    if (setjmp(state.jump)) {
        jpeg_destroy_decompress(&cinfo);
        setError(error, std::string("bad JPEG: ") + state.message);
        return nullptr;
    }
    jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    if (!checkPixelCount(cinfo.image_width, cinfo.image_height, limits, error)) {
        jpeg_destroy_decompress(&cinfo);
        return nullptr;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(&cinfo);
    const std::size_t width = cinfo.output_width;
    const std::size_t height = cinfo.output_height;
    state.row.resize(width * 4);
    state.rgba.resize(width * height * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW rows[1] = {state.row.data()};
        std::size_t y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1)
            break;
        std::uint8_t* out = state.rgba.data() + y * width * 4;
        if (!cmyk) {
            std::memcpy(out, state.row.data(), width * 4);
            continue;
        }
        // Adobe writes CMYK inverted; that is what nearly every CMYK JPEG in the wild is.
        for (std::size_t x = 0; x < width; ++x) {
            const std::uint8_t* p = &state.row[x * 4];
            unsigned k = p[3];
            out[x * 4 + 0] = std::uint8_t(p[0] * k / 255);
            out[x * 4 + 1] = std::uint8_t(p[1] * k / 255);
            out[x * 4 + 2] = std::uint8_t(p[2] * k / 255);
            out[x * 4 + 3] = 255;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return surfaceFromRGBA(int(width), int(height), state.rgba.data(), width * 4, error);
}

// ---- GIF -------------------------------------------------------------------------------

struct GifReader {
    std::span<const std::uint8_t> bytes;
    std::size_t offset{0};
};

int gifRead(GifFileType* gif, GifByteType* buffer, int length)
{
    auto* reader = static_cast<GifReader*>(gif->UserData);
    std::size_t left = reader->bytes.size() - reader->offset;
    std::size_t n = std::min<std::size_t>(left, length < 0 ? 0 : std::size_t(length));
    std::memcpy(buffer, reader->bytes.data() + reader->offset, n);
    reader->offset += n;
    return int(n);
}

std::string gifMessage(int code)
{
    const char* text = GifErrorString(code);
    return std::string("bad GIF: ") + (text ? text : "unknown error");
}

// Decodes the first frame only: the platform shows GIFs as still images.
cairo_surface_t* decodeGIF(std::span<const std::uint8_t> bytes, const ImageLimits& limits, std::string* error)
{
    GifReader reader{bytes, 0};
    int code = 0;
    GifFileType* gif = DGifOpen(&reader, gifRead, &code);
    if (!gif) {
        setError(error, gifMessage(code));
        return nullptr;
    }
    struct Closer {
        GifFileType* gif;
        ~Closer()
        {
            int ignored;
            DGifCloseFile(gif, &ignored);
        }
    } closer{gif};

    int transparent = NO_TRANSPARENT_COLOR;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            setError(error, gifMessage(gif->Error));
            return nullptr;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            setError(error, "bad GIF: no image in the file");
            return nullptr;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int function = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &function, &block) == GIF_ERROR) {
                setError(error, gifMessage(gif->Error));
                return nullptr;
            }
            if (function == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
                GraphicsControlBlock gcb;
                if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK)
                    transparent = gcb.TransparentColor;
            }
            while (block) {
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                    setError(error, gifMessage(gif->Error));
                    return nullptr;
                }
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
            setError(error, gifMessage(gif->Error));
            return nullptr;
        }
        const GifImageDesc& desc = gif->Image;
        long canvasW = gif->SWidth > 0 ? gif->SWidth : desc.Left + desc.Width;
        long canvasH = gif->SHeight > 0 ? gif->SHeight : desc.Top + desc.Height;
        if (desc.Width <= 0 || desc.Height <= 0 || desc.Left < 0 || desc.Top < 0) {
            setError(error, "bad GIF: frame has no pixels");
            return nullptr;
        }
        if (!checkPixelCount(std::uint64_t(canvasW), std::uint64_t(canvasH), limits, error) ||
            !checkPixelCount(std::uint64_t(desc.Width), std::uint64_t(desc.Height), limits, error))
            return nullptr;
        const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
        if (!map || !map->Colors || map->ColorCount <= 0) {
            setError(error, "bad GIF: no colour table");
            return nullptr;
        }
        std::vector<GifPixelType> indices(std::size_t(desc.Width) * desc.Height);
        if (desc.Interlace) {
            static constexpr int start[4] = {0, 4, 2, 1};
            static constexpr int step[4] = {8, 8, 4, 2};
            for (int pass = 0; pass < 4; ++pass)
                for (int y = start[pass]; y < desc.Height; y += step[pass])
                    if (DGifGetLine(gif, &indices[std::size_t(y) * desc.Width], desc.Width) == GIF_ERROR) {
                        setError(error, gifMessage(gif->Error));
                        return nullptr;
                    }
        } else {
            for (int y = 0; y < desc.Height; ++y)
                if (DGifGetLine(gif, &indices[std::size_t(y) * desc.Width], desc.Width) == GIF_ERROR) {
                    setError(error, gifMessage(gif->Error));
                    return nullptr;
                }
        }
        std::vector<std::uint8_t> rgba(std::size_t(canvasW) * canvasH * 4, 0);
        for (int y = 0; y < desc.Height; ++y) {
            long cy = desc.Top + y;
            if (cy >= canvasH)
                break;
            for (int x = 0; x < desc.Width; ++x) {
                long cx = desc.Left + x;
                if (cx >= canvasW)
                    break;
                int index = indices[std::size_t(y) * desc.Width + x];
                // Indices past the table are treated as transparent rather than read.
                if (index == transparent || index >= map->ColorCount)
                    continue;
                const GifColorType& c = map->Colors[index];
                std::uint8_t* out = &rgba[(std::size_t(cy) * canvasW + cx) * 4];
                out[0] = c.Red;
                out[1] = c.Green;
                out[2] = c.Blue;
                out[3] = 255;
            }
        }
        return surfaceFromRGBA(int(canvasW), int(canvasH), rgba.data(), std::size_t(canvasW) * 4, error);
    }
}

cairo_status_t appendToVector(void* closure, const unsigned char* data, unsigned int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
}

double scaleFromName(const std::filesystem::path& path)
{
    std::string stem = path.stem().string();
    auto at = stem.rfind('@');
    if (at == std::string::npos || stem.size() - at != 3 || stem.back() != 'x')
        return 1.0;
    char digit = stem[at + 1];
    return digit >= '1' && digit <= '9' ? double(digit - '0') : 1.0;
}

} // namespace

Image::Image(cairo_surface_t* surface, double scale)
    : m_surface(surface),
      m_width(cairo_image_surface_get_width(surface)),
      m_height(cairo_image_surface_get_height(surface)),
      m_scale(scale > 0 ? scale : 1.0)
{
}

Image::~Image()
{
    cairo_surface_destroy(m_surface);
}

cairo_surface_t* Image::surface() const
{
    std::call_once(m_pixelsOnce, [this] {
        if (m_surface)
            return;
        auto again = decode(m_encoded, nullptr, m_limits, m_scale);
        std::vector<std::uint8_t>().swap(m_encoded);
        // The same bytes decoded once already; a failure now could only be memory.
        if (!again || again->m_width != m_width || again->m_height != m_height) {
            m_surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_width, m_height);
            return;
        }
        m_surface = inkOnly(again->m_surface, &m_originX, &m_originY);
    });
    return m_surface;
}

cairo_surface_t* Image::inkOnly(cairo_surface_t* full, int* originX, int* originY)
{
    // A picture that covers the screen but draws only a frame keeps just the frame's
    // rectangle, with one transparent pixel around it where it was cut, so that smooth
    // scaling still fades into transparency there.
    const int width = cairo_image_surface_get_width(full), height = cairo_image_surface_get_height(full);
    const int stride = cairo_image_surface_get_stride(full);
    const unsigned char* data = cairo_image_surface_get_data(full);
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride);
        for (int x = 0; x < width; ++x)
            if (row[x] >> 24) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    }
    if (right < 0)
        left = right = top = bottom = 0;
    left = std::max(0, left - 1);
    top = std::max(0, top - 1);
    right = std::min(width - 1, right + 1);
    bottom = std::min(height - 1, bottom + 1);
    const int keptWidth = right - left + 1, keptHeight = bottom - top + 1;
    if (std::int64_t(keptWidth) * keptHeight * 4 > std::int64_t(width) * height * 3)
        return cairo_surface_reference(full); // not worth a copy
    cairo_surface_t* kept = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, keptWidth, keptHeight);
    cairo_t* cr = cairo_create(kept);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, full, -left, -top);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_flush(kept);
    *originX = left;
    *originY = top;
    return kept;
}

Size Image::size() const
{
    return {Float(m_width / m_scale), Float(m_height / m_scale)};
}

Image::Format Image::sniff(std::span<const std::uint8_t> b)
{
    static constexpr std::uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (b.size() >= 8 && std::memcmp(b.data(), png, 8) == 0)
        return Format::PNG;
    if (b.size() >= 3 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return Format::JPEG;
    if (b.size() >= 6 && (std::memcmp(b.data(), "GIF87a", 6) == 0 || std::memcmp(b.data(), "GIF89a", 6) == 0))
        return Format::GIF;
    return Format::Unknown;
}

std::shared_ptr<Image> Image::decode(std::span<const std::uint8_t> bytes, std::string* error, const ImageLimits& limits,
                                     double scale)
{
    if (bytes.size() > limits.maxBytes) {
        setError(error, "image is " + std::to_string(bytes.size()) + " bytes, more than the limit of " +
                            std::to_string(limits.maxBytes) + " bytes");
        return nullptr;
    }
    cairo_surface_t* surface = nullptr;
    switch (sniff(bytes)) {
    case Format::PNG:
        surface = decodePNG(bytes, limits, error);
        break;
    case Format::JPEG:
        surface = decodeJPEG(bytes, limits, error);
        break;
    case Format::GIF:
        surface = decodeGIF(bytes, limits, error);
        break;
    case Format::Unknown:
        setError(error, bytes.empty() ? "image data is empty" : "not a PNG, JPEG or GIF image");
        return nullptr;
    }
    if (!surface)
        return nullptr;
    return std::shared_ptr<Image>(new Image(surface, scale));
}

std::shared_ptr<Image> Image::loadFile(const std::filesystem::path& path, std::string* error, const ImageLimits& limits)
{
    std::string reason;
    auto bytes = fs::readFile(path.string(), limits.maxBytes, fs::Links::Follow, &reason);
    if (!bytes) {
        setError(error, path.string() + ": " + reason);
        return nullptr;
    }
    std::span encoded(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    auto image = decode(encoded, &reason, limits, scaleFromName(path));
    if (!image) {
        setError(error, path.string() + ": " + reason);
        return image;
    }
    image->m_encoded.assign(encoded.begin(), encoded.end());
    image->m_limits = limits;
    cairo_surface_destroy(image->m_surface);
    image->m_surface = nullptr;
    return image;
}

std::shared_ptr<Image> Image::loadVariant(const std::filesystem::path& path, double displayScale, std::string* error,
                                          const ImageLimits& limits)
{
    auto doubled = path;
    doubled.replace_filename(path.stem().string() + "@2x" + path.extension().string());
    std::error_code ec;
    const bool haveBase = std::filesystem::exists(path, ec);
    const bool haveDoubled = std::filesystem::exists(doubled, ec);
    if (haveDoubled && (displayScale > 1.0 || !haveBase))
        return loadFile(doubled, error, limits);
    return loadFile(path, error, limits);
}

std::shared_ptr<Image> Image::create(int pixelWidth, int pixelHeight, double scale)
{
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > kMaxSide || pixelHeight > kMaxSide)
        return nullptr;
    cairo_surface_t* surface = newSurface(pixelWidth, pixelHeight, nullptr);
    if (!surface)
        return nullptr;
    return std::shared_ptr<Image>(new Image(surface, scale));
}

std::shared_ptr<Image> Image::fromRGBA(int pixelWidth, int pixelHeight, std::span<const std::uint8_t> rgba,
                                       double scale)
{
    if (pixelWidth <= 0 || pixelHeight <= 0 || pixelWidth > kMaxSide || pixelHeight > kMaxSide ||
        rgba.size() < std::size_t(pixelWidth) * pixelHeight * 4)
        return nullptr;
    cairo_surface_t* surface =
        surfaceFromRGBA(pixelWidth, pixelHeight, rgba.data(), std::size_t(pixelWidth) * 4, nullptr);
    if (!surface)
        return nullptr;
    return std::shared_ptr<Image>(new Image(surface, scale));
}

std::uint32_t Image::pixelRGBA(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return 0;
    cairo_surface_t* pixels = surface();
    x -= m_originX;
    y -= m_originY;
    if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(pixels) || y >= cairo_image_surface_get_height(pixels))
        return 0;
    cairo_surface_flush(pixels);
    const unsigned char* data = cairo_image_surface_get_data(pixels);
    int stride = cairo_image_surface_get_stride(pixels);
    std::uint32_t argb = reinterpret_cast<const std::uint32_t*>(data + std::size_t(y) * stride)[x];
    std::uint32_t a = argb >> 24;
    if (a == 0)
        return 0;
    auto un = [a](std::uint32_t c) { return std::min<std::uint32_t>(255, (c * 255 + a / 2) / a); };
    std::uint32_t r = un((argb >> 16) & 0xFF), g = un((argb >> 8) & 0xFF), b = un(argb & 0xFF);
    return (r << 24) | (g << 16) | (b << 8) | a;
}

std::vector<std::uint8_t> Image::encodePNG() const
{
    std::vector<std::uint8_t> out;
    cairo_surface_t* pixels = surface();
    cairo_surface_t* whole = pixels;
    if (cairo_image_surface_get_width(pixels) != m_width || cairo_image_surface_get_height(pixels) != m_height) {
        whole = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, m_width, m_height);
        cairo_t* cr = cairo_create(whole);
        cairo_set_source_surface(cr, pixels, m_originX, m_originY);
        cairo_paint(cr);
        cairo_destroy(cr);
    } else {
        cairo_surface_reference(whole);
    }
    if (cairo_surface_write_to_png_stream(whole, appendToVector, &out) != CAIRO_STATUS_SUCCESS)
        out.clear();
    cairo_surface_destroy(whole);
    return out;
}

bool Image::writePNG(const std::filesystem::path& path, std::string* error) const
{
    auto bytes = encodePNG();
    if (bytes.empty()) {
        setError(error, "cannot encode the image as PNG");
        return false;
    }
    // Written aside and renamed, so a reader never sees half a file.
    auto temporary = path;
    temporary += ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()))) {
            setError(error, temporary.string() + ": cannot write the file");
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        setError(error, path.string() + ": " + ec.message());
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

} // namespace platform
