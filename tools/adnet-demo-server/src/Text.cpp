#include "Text.h"

#include <cstdint>

namespace adnetdemo {

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size()) {
        if (!platform::decodeUTF8(text, i))
            return false;
    }
    return true;
}

std::string jsonString(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        char32_t cp = platform::decodeUTF8(text, i).value_or(0xFFFD);
        switch (cp) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '/':
            out += "\\/";
            continue;
        case '\b':
            out += "\\b";
            continue;
        case '\f':
            out += "\\f";
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
        if (cp < 0x20 || cp >= 0x7F)
            platform::appendUnicodeEscape(out, cp);
        else
            out += static_cast<char>(cp);
    }
    out += '"';
    return out;
}

std::string percentDecode(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            int hi = platform::hexDigitValue(text[i + 1]);
            int lo = platform::hexDigitValue(text[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> splitQuery(std::string_view query)
{
    std::vector<std::pair<std::string, std::string>> pairs;
    while (!query.empty()) {
        std::size_t amp = query.find('&');
        std::string_view piece = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view{} : query.substr(amp + 1);
        if (piece.empty())
            continue;
        std::size_t eq = piece.find('=');
        if (eq == std::string_view::npos)
            pairs.emplace_back(percentDecode(piece), std::string{});
        else
            pairs.emplace_back(percentDecode(piece.substr(0, eq)), percentDecode(piece.substr(eq + 1)));
    }
    return pairs;
}

std::string percentEncode(std::string_view text)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        bool unreserved = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '-' ||
                          u == '_' || u == '.' || u == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += digits[u >> 4];
            out += digits[u & 0xF];
        }
    }
    return out;
}

} // namespace adnetdemo
