#include "platform/gfx/Image.h"
#include "platform/gfx/Canvas.h"

#include <gif_lib.h>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

using platform::Image;
using platform::ImageLimits;

namespace {

std::vector<std::uint8_t> checkerRGBA(int w, int h)
{
    std::vector<std::uint8_t> rgba(std::size_t(w) * h * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = &rgba[(std::size_t(y) * w + x) * 4];
            bool dark = ((x / 2) + (y / 2)) % 2;
            p[0] = dark ? 200 : 10;
            p[1] = std::uint8_t(x * 255 / std::max(1, w - 1));
            p[2] = std::uint8_t(y * 255 / std::max(1, h - 1));
            p[3] = x == 0 ? 0 : (y == 0 ? 128 : 255);
        }
    return rgba;
}

std::vector<std::uint8_t> makePNG(int w, int h)
{
    auto rgba = checkerRGBA(w, h);
    return Image::fromRGBA(w, h, rgba)->encodePNG();
}

std::vector<std::uint8_t> makeJPEG(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b,
                                   bool progressive = false)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &out, &size);
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<std::uint8_t> row(std::size_t(w) * 3);
    for (int x = 0; x < w; ++x) {
        row[x * 3] = r;
        row[x * 3 + 1] = g;
        row[x * 3 + 2] = b;
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

int appendGif(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + length);
    return length;
}

// A 4-colour GIF: index 0 red, 1 green, 2 blue, 3 white; index 3 may be transparent.
std::vector<std::uint8_t> makeGIF(int w, int h, const std::vector<GifPixelType>& indices, bool transparent3,
                                  bool interlace = false, int left = 0, int top = 0, int screenW = 0, int screenH = 0)
{
    std::vector<std::uint8_t> bytes;
    int err = 0;
    GifFileType* gif = EGifOpen(&bytes, appendGif, &err);
    GifColorType colors[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    ColorMapObject* map = GifMakeMapObject(4, colors);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, screenW ? screenW : w, screenH ? screenH : h, 2, 0, map);
    if (transparent3) {
        GraphicsControlBlock gcb{};
        gcb.DisposalMode = DISPOSAL_UNSPECIFIED;
        gcb.TransparentColor = 3;
        GifByteType ext[4];
        size_t len = EGifGCBToExtension(&gcb, ext);
        EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(len), ext);
    }
    EGifPutImageDesc(gif, left, top, w, h, interlace, nullptr);
    std::vector<GifPixelType> line(static_cast<std::size_t>(w));
    if (interlace) {
        static const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < h; y += step[pass]) {
                std::memcpy(line.data(), &indices[std::size_t(y) * w], std::size_t(w));
                EGifPutLine(gif, line.data(), w);
            }
    } else {
        for (int y = 0; y < h; ++y) {
            std::memcpy(line.data(), &indices[std::size_t(y) * w], std::size_t(w));
            EGifPutLine(gif, line.data(), w);
        }
    }
    EGifCloseFile(gif, &err);
    GifFreeMapObject(map);
    return bytes;
}

std::uint32_t rgba(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    return (std::uint32_t(r) << 24) | (std::uint32_t(g) << 16) | (std::uint32_t(b) << 8) | a;
}

int channelDistance(std::uint32_t p, std::uint32_t q)
{
    int worst = 0;
    for (int shift = 0; shift < 32; shift += 8)
        worst = std::max(worst, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
    return worst;
}

// Big-endian 32-bit write, for hand-made PNG headers.
void put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x)
{
    v[at] = std::uint8_t(x >> 24);
    v[at + 1] = std::uint8_t(x >> 16);
    v[at + 2] = std::uint8_t(x >> 8);
    v[at + 3] = std::uint8_t(x);
}

std::filesystem::path scratchDir(const char* name)
{
    auto dir = std::filesystem::path(BRIMSEY_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void writeFile(const std::filesystem::path& p, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

} // namespace

TEST(ImageDecode, PNGRoundTripKeepsStraightColoursAndTransparency)
{
    const int w = 9, h = 7;
    auto source = checkerRGBA(w, h);
    auto png = Image::fromRGBA(w, h, source)->encodePNG();
    ASSERT_FALSE(png.empty());
    EXPECT_EQ(Image::sniff(png), Image::Format::PNG);
    std::string error;
    auto image = Image::decode(png, &error);
    ASSERT_TRUE(image) << error;
    EXPECT_EQ(image->pixelWidth(), w);
    EXPECT_EQ(image->pixelHeight(), h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &source[(std::size_t(y) * w + x) * 4];
            std::uint32_t expected = p[3] == 0 ? 0 : rgba(p[0], p[1], p[2], p[3]);
            // Premultiplied storage costs at most a step or two at alpha 128.
            EXPECT_LE(channelDistance(image->pixelRGBA(x, y), expected), 2) << "pixel " << x << "," << y;
        }
    EXPECT_EQ(image->pixelRGBA(-1, 0), 0u);
    EXPECT_EQ(image->pixelRGBA(w, 0), 0u);
}

TEST(ImageDecode, JPEGDecodesBaselineAndProgressive)
{
    for (bool progressive : {false, true}) {
        auto jpeg = makeJPEG(24, 16, 30, 160, 220, progressive);
        EXPECT_EQ(Image::sniff(jpeg), Image::Format::JPEG);
        std::string error;
        auto image = Image::decode(jpeg, &error);
        ASSERT_TRUE(image) << error;
        EXPECT_EQ(image->pixelWidth(), 24);
        EXPECT_EQ(image->pixelHeight(), 16);
        EXPECT_LE(channelDistance(image->pixelRGBA(12, 8), rgba(30, 160, 220, 255)), 6);
    }
}

TEST(ImageDecode, GIFHonoursTransparencyInterlaceFrameOffsetAndBadIndices)
{
    const int w = 5, h = 9;
    std::vector<GifPixelType> indices(std::size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            indices[std::size_t(y) * w + x] = GifPixelType((x + y) % 4);
    for (bool interlace : {false, true}) {
        auto gif = makeGIF(w, h, indices, true, interlace);
        std::string error;
        auto image = Image::decode(gif, &error);
        ASSERT_TRUE(image) << error;
        ASSERT_EQ(image->pixelWidth(), w);
        const std::uint32_t palette[4] = {rgba(255, 0, 0, 255), rgba(0, 255, 0, 255), rgba(0, 0, 255, 255), 0};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(image->pixelRGBA(x, y), palette[(x + y) % 4])
                    << "interlace " << interlace << " at " << x << "," << y;
    }

    // A 2 x 2 frame at (3, 1) on a 6 x 4 screen: the rest of the screen is transparent.
    std::vector<GifPixelType> frame = {1, 1, 1, 1};
    auto offset = makeGIF(2, 2, frame, false, false, 3, 1, 6, 4);
    auto image = Image::decode(offset);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->pixelWidth(), 6);
    EXPECT_EQ(image->pixelRGBA(0, 0), 0u);
    EXPECT_EQ(image->pixelRGBA(3, 1), rgba(0, 255, 0, 255));
    EXPECT_EQ(image->pixelRGBA(4, 2), rgba(0, 255, 0, 255));
    EXPECT_EQ(image->pixelRGBA(5, 3), 0u);

    // An index past a 4-entry table must not read outside it.
    std::vector<GifPixelType> wild = {0, 3, 3, 0};
    auto bytes = makeGIF(2, 2, wild, false);
    // giflib writes 2 bits per pixel here; patch the colour table size down to 2 entries
    // so index 3 is out of range while the file stays well formed.
    bytes[10] = std::uint8_t((bytes[10] & ~0x07) | 0x00);
    // The table now has 2 entries: drop the two extra colours (6 bytes) after it.
    bytes.erase(bytes.begin() + 13 + 6, bytes.begin() + 13 + 12);
    auto patched = Image::decode(bytes);
    ASSERT_TRUE(patched);
    EXPECT_EQ(patched->pixelRGBA(0, 0), rgba(255, 0, 0, 255));
    EXPECT_EQ(patched->pixelRGBA(1, 0), 0u);
}

TEST(ImageDecode, CapsRejectOversizedInputBeforeDecoding)
{
    auto png = makePNG(40, 30);
    ImageLimits limits;
    limits.maxBytes = png.size() - 1;
    std::string error;
    EXPECT_FALSE(Image::decode(png, &error, limits));
    EXPECT_NE(error.find("limit"), std::string::npos) << error;
    limits.maxBytes = png.size();
    EXPECT_TRUE(Image::decode(png, &error, limits)) << "exactly at the byte limit is fine";

    limits = {};
    limits.maxPixels = 40 * 30;
    EXPECT_TRUE(Image::decode(png, &error, limits)) << "exactly at the pixel limit is fine";
    limits.maxPixels = 40 * 30 - 1;
    EXPECT_FALSE(Image::decode(png, &error, limits));
    EXPECT_NE(error.find("40 x 30"), std::string::npos) << error;

    // A header that claims 30000 x 30000 pixels is refused, not allocated.
    auto huge = makePNG(2, 2);
    put32(huge, 16, 30000);
    put32(huge, 20, 30000);
    EXPECT_FALSE(Image::decode(huge, &error));

    auto jpeg = makeJPEG(64, 48, 0, 0, 0);
    limits.maxPixels = 64 * 48 - 1;
    EXPECT_FALSE(Image::decode(jpeg, &error, limits));
    EXPECT_NE(error.find("64 x 48"), std::string::npos) << error;

    std::vector<GifPixelType> one = {0};
    auto gif = makeGIF(1, 1, one, false, false, 0, 0, 60000, 60000);
    EXPECT_FALSE(Image::decode(gif, &error));
    EXPECT_NE(error.find("60000"), std::string::npos) << error;
}

TEST(ImageDecode, BadAndTruncatedInputFailsCleanly)
{
    std::string error;
    EXPECT_FALSE(Image::decode({}, &error));
    EXPECT_EQ(error, "image data is empty");
    const std::uint8_t text[] = "<html>not an image</html>";
    EXPECT_FALSE(Image::decode(text, &error));
    EXPECT_EQ(error, "not a PNG, JPEG or GIF image");

    std::vector<std::uint8_t> gifIdx(64, 1);
    const std::vector<std::vector<std::uint8_t>> files = {makePNG(16, 16), makeJPEG(16, 16, 1, 2, 3),
                                                          makeJPEG(16, 16, 1, 2, 3, true), makeGIF(8, 8, gifIdx, true)};
    for (const auto& file : files) {
        // Every prefix: no crash, no hang, and a reason whenever it fails. A prefix that
        // cuts into the pixel data of a PNG or GIF must fail; one that only loses the end
        // marker (PNG's 12-byte IEND, GIF's 1-byte trailer) still holds the whole image.
        // A JPEG missing its tail decodes grey below the cut, as browsers show it.
        const auto format = Image::sniff(file);
        const std::size_t complete = format == Image::Format::PNG   ? file.size() - 12
                                     : format == Image::Format::GIF ? file.size() - 1
                                                                    : 20;
        for (std::size_t cut = 0; cut < file.size(); ++cut) {
            std::span<const std::uint8_t> prefix(file.data(), cut);
            error.clear();
            auto image = Image::decode(prefix, &error);
            if (cut < complete) {
                EXPECT_FALSE(image) << "prefix " << cut;
            }
            if (!image) {
                EXPECT_FALSE(error.empty()) << "prefix " << cut;
            }
        }
        // Single flipped bytes anywhere: must not crash (the sanitizer build checks reads).
        for (std::size_t at = 0; at < file.size(); ++at) {
            auto copy = file;
            copy[at] ^= 0x5A;
            (void)Image::decode(copy, &error);
        }
    }
}

TEST(ImageFiles, VariantsAndScaleFromName)
{
    auto dir = scratchDir("image-variants");
    writeFile(dir / "meter.png", makePNG(10, 20));
    writeFile(dir / "meter@2x.png", makePNG(20, 40));
    writeFile(dir / "only@2x.png", makePNG(8, 8));

    auto one = Image::loadVariant(dir / "meter.png", 1.0);
    ASSERT_TRUE(one);
    EXPECT_EQ(one->pixelWidth(), 10);
    EXPECT_EQ(one->scale(), 1.0);

    auto two = Image::loadVariant(dir / "meter.png", 2.0);
    ASSERT_TRUE(two);
    EXPECT_EQ(two->pixelWidth(), 20);
    EXPECT_EQ(two->scale(), 2.0);
    EXPECT_EQ(two->size(), one->size()) << "both variants are the same size in points";

    auto fallback = Image::loadVariant(dir / "only.png", 1.0);
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->scale(), 2.0);
    EXPECT_EQ(fallback->size(), (platform::Size{4, 4}));

    std::string error;
    EXPECT_FALSE(Image::loadVariant(dir / "missing.png", 2.0, &error));
    EXPECT_NE(error.find("missing.png"), std::string::npos) << error;

    writeFile(dir / "broken.png", {0x89, 'P', 'N', 'G'});
    EXPECT_FALSE(Image::loadFile(dir / "broken.png", &error));
    EXPECT_NE(error.find("broken.png"), std::string::npos) << error;

    ImageLimits small;
    small.maxBytes = 10;
    EXPECT_FALSE(Image::loadFile(dir / "meter.png", &error, small));
    EXPECT_NE(error.find("limit"), std::string::npos) << error;

    // A loaded file decodes its pixels when first asked for: once, whichever thread asks.
    auto later = Image::loadFile(dir / "meter@2x.png");
    ASSERT_TRUE(later);
    cairo_surface_t* seen[2] = {};
    std::thread other([&] { seen[0] = later->surface(); });
    seen[1] = later->surface();
    other.join();
    EXPECT_TRUE(seen[0] && seen[0] == seen[1]);
    EXPECT_EQ(later->pixelRGBA(19, 39), Image::decode(makePNG(20, 40))->pixelRGBA(19, 39));

    // A frame on a mostly transparent picture: only its rectangle (and a transparent pixel
    // around it) is kept, and the picture still reads, draws and saves as the whole.
    std::vector<std::uint8_t> rgba(64 * 64 * 4, 0);
    for (int y = 10; y < 50; ++y)
        for (int x = 20; x < 30; ++x)
            for (int c = 0; c < 4; ++c)
                rgba[(y * 64 + x) * 4 + c] = c == 3 ? 255 : std::uint8_t(x + y + c);
    auto whole = Image::fromRGBA(64, 64, rgba);
    ASSERT_TRUE(whole->writePNG(dir / "frame.png"));
    auto frame = Image::loadFile(dir / "frame.png");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->surfaceOriginX(), 19);
    EXPECT_EQ(frame->surfaceOriginY(), 9);
    for (auto [x, y] : {std::pair{20, 10}, {29, 49}, {19, 10}, {30, 30}, {0, 0}, {63, 63}, {25, 50}})
        EXPECT_EQ(frame->pixelRGBA(x, y), whole->pixelRGBA(x, y)) << x << "," << y;
    platform::BitmapCanvas bitmap({64, 64});
    bitmap.canvas().drawImage(*frame, platform::Point{0, 0});
    auto drawn = bitmap.takeImage();
    EXPECT_EQ(drawn->pixelRGBA(25, 30), whole->pixelRGBA(25, 30));
    EXPECT_EQ(drawn->pixelRGBA(5, 5), 0u);
    EXPECT_EQ(Image::decode(frame->encodePNG())->pixelRGBA(29, 49), whole->pixelRGBA(29, 49));
}

TEST(ImageFiles, WritePNGReplacesAtomicallyAndReportsFailure)
{
    auto dir = scratchDir("image-write");
    auto image = Image::decode(makePNG(5, 5));
    ASSERT_TRUE(image);
    ASSERT_TRUE(image->writePNG(dir / "out.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.png.tmp"));
    auto back = Image::loadFile(dir / "out.png");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pixelRGBA(3, 3), image->pixelRGBA(3, 3));

    std::string error;
    EXPECT_FALSE(image->writePNG(dir / "no-such-dir" / "out.png", &error));
    EXPECT_FALSE(error.empty());
}
