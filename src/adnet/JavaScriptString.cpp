#include "JavaScriptString.h"

#include "platform/core/Text.h"

namespace adnet {

std::string javaScriptStringLiteral(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '\'';
    for (std::size_t i = 0; i < utf8.size();) {
        // A byte that is no UTF-8 stands for U+FFFD, as a browser would decode it.
        char32_t cp = platform::decodeUTF8(utf8, i).value_or(0xFFFD);
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
        if (cp >= 0x20 && cp < 0x7F)
            out += static_cast<char>(cp);
        else
            platform::appendUnicodeEscape(out, cp);
    }
    out += '\'';
    return out;
}

} // namespace adnet
