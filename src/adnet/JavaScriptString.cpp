#include "JavaScriptString.h"

#include <cstdint>

namespace adnet {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at `i` (advancing `i`), or U+FFFD for one byte that starts no valid
// sequence (overlong forms, surrogates and cut sequences included).
char32_t nextCodePoint(std::string_view text, std::size_t& i)
{
    auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
    std::uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    char32_t minimum = length == 4 ? 0x10000 : length == 3 ? 0x800 : 0x80;
    if (length == 0 || lead > 0xF4 || i + length > text.size()) {
        ++i;
        return kReplacement;
    }
    char32_t cp = lead & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
        std::uint8_t next = byte(i + k);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return kReplacement;
        }
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacement;
    }
    i += length;
    return cp;
}

void appendUnit(std::string& out, char32_t unit)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4)
        out += hex[(unit >> shift) & 0xF];
}

} // namespace

std::string javaScriptStringLiteral(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '\'';
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = nextCodePoint(utf8, i);
        switch (cp) {
        case '\'':
            out += "\\'";
            continue;
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
        }
        if (cp >= 0x20 && cp < 0x7F) {
            out += static_cast<char>(cp);
        } else if (cp < 0x10000) {
            appendUnit(out, cp);
        } else {
            char32_t v = cp - 0x10000;
            appendUnit(out, 0xD800 + (v >> 10));
            appendUnit(out, 0xDC00 + (v & 0x3FF));
        }
    }
    out += '\'';
    return out;
}

} // namespace adnet
