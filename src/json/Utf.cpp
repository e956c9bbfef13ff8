#include "json/Utf.h"

#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace json::detail {

std::size_t decodeUTF8Into(const std::uint8_t* p, std::size_t length, char16_t* w)
{
    char16_t* const first = w;
    const std::uint8_t* end = p + length;
    while (p < end) {
        std::uint8_t b = *p;
        if (b < 0x80) {
#if defined(__SSE2__)
            // Sixteen bytes at a time, all sixteen widened and stored even when only the
            // first few are ASCII: w trails p, so the room for length units holds them.
            const __m128i zero = _mm_setzero_si128();
            while (end - p >= 16) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_unpacklo_epi8(v, zero));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(w + 8), _mm_unpackhi_epi8(v, zero));
                const unsigned high = unsigned(_mm_movemask_epi8(v));
                if (high != 0) {
                    const unsigned n = unsigned(__builtin_ctz(high));
                    w += n;
                    p += n;
                    break;
                }
                w += 16;
                p += 16;
            }
#endif
            while (p < end && *p < 0x80)
                *w++ = *p++;
            continue;
        }
        // Runs of three-byte characters (most of the BMP, CJK included) take the short way:
        // the lead and both continuation bytes are told by one masked compare.
        if constexpr (std::endian::native == std::endian::little) {
            if ((b & 0xF0) == 0xE0) {
                const std::uint8_t* const run = p;
                // Two characters at a time while both are three bytes long.
                while (end - p >= 8) {
                    std::uint64_t x;
                    std::memcpy(&x, p, 8);
                    if ((x & 0xC0C0F0C0C0F0u) != 0x8080E08080E0u)
                        break;
                    const std::uint32_t a = std::uint32_t(x), c = std::uint32_t(x >> 24);
                    const std::uint32_t cpa = ((a & 0x0Fu) << 12) | ((a & 0x3F00u) >> 2) | ((a >> 16) & 0x3Fu);
                    const std::uint32_t cpc = ((c & 0x0Fu) << 12) | ((c & 0x3F00u) >> 2) | ((c >> 16) & 0x3Fu);
                    // Overlong forms and encoded surrogates.
                    if ((cpa < 0x800) | ((cpa & 0xF800u) == 0xD800u) | (cpc < 0x800) | ((cpc & 0xF800u) == 0xD800u))
                        return kBadUTF8;
                    w[0] = char16_t(cpa);
                    w[1] = char16_t(cpc);
                    w += 2;
                    p += 6;
                }
                while (end - p >= 4) {
                    std::uint32_t x;
                    std::memcpy(&x, p, 4);
                    if ((x & 0xC0C0F0u) != 0x8080E0u)
                        break;
                    const std::uint32_t cp = ((x & 0x0Fu) << 12) | ((x & 0x3F00u) >> 2) | ((x >> 16) & 0x3Fu);
                    if (cp < 0x800 || cp - 0xD800u < 0x800u)
                        return kBadUTF8;
                    *w++ = char16_t(cp);
                    p += 3;
                }
                if (p != run)
                    continue; // the next byte is looked at afresh
            }
        }
        if ((b & 0xF0) == 0xE0 && end - p >= 3) {
            const std::uint8_t c1 = p[1], c2 = p[2];
            if ((c1 & 0xC0) != 0x80 || (c2 & 0xC0) != 0x80)
                return kBadUTF8;
            const std::uint32_t cp = (std::uint32_t(b & 0x0F) << 12) | (std::uint32_t(c1 & 0x3F) << 6) | (c2 & 0x3Fu);
            if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
                return kBadUTF8;
            *w++ = char16_t(cp);
            p += 3;
            continue;
        }
        std::uint32_t cp;
        int more;
        std::uint32_t min;
        if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1F, more = 1, min = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0F, more = 2, min = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07, more = 3, min = 0x10000;
        } else {
            return kBadUTF8; // a continuation byte, C0/C1 or F5..FF
        }
        if (end - p <= more)
            return kBadUTF8;
        for (int i = 1; i <= more; ++i) {
            std::uint8_t c = p[i];
            if ((c & 0xC0) != 0x80)
                return kBadUTF8;
            cp = (cp << 6) | (c & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return kBadUTF8;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            *w++ = char16_t(0xD800 + (cp >> 10));
            *w++ = char16_t(0xDC00 + (cp & 0x3FF));
        } else {
            *w++ = char16_t(cp);
        }
        p += more + 1;
    }
    return std::size_t(w - first);
}

bool appendUTF8AsUTF16(const std::uint8_t* p, std::size_t length, std::u16string& out)
{
    const std::size_t oldSize = out.size();
    // A UTF-8 text never has more UTF-16 units than bytes: write in place, trim at the end.
    out.resize(oldSize + length);
    const std::size_t n = decodeUTF8Into(p, length, out.data() + oldSize);
    out.resize(n == kBadUTF8 ? oldSize : oldSize + n);
    return n != kBadUTF8;
}

std::optional<std::u16string> decodeUTF8(const std::uint8_t* bytes, std::size_t length)
{
    std::u16string out;
    out.reserve(length);
    if (!appendUTF8AsUTF16(bytes, length, out))
        return std::nullopt;
    return out;
}

namespace {

void appendCodePoint(std::uint32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out.push_back(char(cp));
    } else if (cp < 0x800) {
        out.push_back(char(0xC0 | (cp >> 6)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(char(0xE0 | (cp >> 12)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(char(0xF0 | (cp >> 18)));
        out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(char(0x80 | (cp & 0x3F)));
    }
}

// Walks UTF-16 units; calls onLone for a surrogate without its partner. Returns false when
// onLone asks to stop.
template <class OnLone> bool encode(std::u16string_view units, std::string& out, OnLone onLone)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            appendCodePoint(0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00), out);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            if (!onLone())
                return false;
            appendCodePoint(0xFFFD, out);
        } else {
            appendCodePoint(u, out);
        }
    }
    return true;
}

} // namespace

void appendUTF16AsUTF8(std::u16string_view units, std::string& out)
{
    encode(units, out, [] { return true; });
}

bool encodeUTF8Strict(std::u16string_view units, std::string& out)
{
    std::string result;
    if (!encode(units, result, [] { return false; }))
        return false;
    out = std::move(result);
    return true;
}

bool wideToUTF8(const std::uint8_t* p, std::size_t length, WideEncoding encoding, std::vector<std::uint8_t>& out)
{
    const bool wide32 = encoding == WideEncoding::UTF32BE || encoding == WideEncoding::UTF32LE;
    const bool big = encoding == WideEncoding::UTF16BE || encoding == WideEncoding::UTF32BE;
    const std::size_t unit = wide32 ? 4 : 2;
    if (length % unit != 0)
        return false;
    std::string text;
    text.reserve(length);
    auto read = [&](std::size_t at) -> std::uint32_t {
        if (wide32) {
            return big ? (std::uint32_t(p[at]) << 24) | (std::uint32_t(p[at + 1]) << 16) |
                             (std::uint32_t(p[at + 2]) << 8) | p[at + 3]
                       : (std::uint32_t(p[at + 3]) << 24) | (std::uint32_t(p[at + 2]) << 16) |
                             (std::uint32_t(p[at + 1]) << 8) | p[at];
        }
        return big ? (std::uint32_t(p[at]) << 8) | p[at + 1] : (std::uint32_t(p[at + 1]) << 8) | p[at];
    };
    for (std::size_t at = 0; at < length; at += unit) {
        std::uint32_t cp = read(at);
        if (!wide32 && cp >= 0xD800 && cp <= 0xDBFF) {
            if (at + unit >= length)
                return false;
            std::uint32_t low = read(at + unit);
            if (low < 0xDC00 || low > 0xDFFF)
                return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            at += unit;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            return false;
        }
        if (cp > 0x10FFFF)
            return false;
        appendCodePoint(cp, text);
    }
    out.assign(text.begin(), text.end());
    return true;
}

} // namespace json::detail
