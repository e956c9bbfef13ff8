// The canvas page's bridge commands carry a query ("adnet://launch?url=..."), written by a
// web page: AdNetCanvasWebView::dictionaryWithQueryString.
//
// Invariants: the dictionary is exactly what the rules give, worked out here on their own:
// pieces split at every "&"; a piece without "=" or with "=" first is skipped; the key is
// what comes before the first "=", the value everything after it; both are percent-
// unescaped ("+" stays "+") and the piece is skipped when either has a broken escape or
// unescapes to bytes beyond ASCII; a later key replaces an earlier one. No key is empty.
// An absent query gives an empty dictionary.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "AdNetCanvasWebView.h"
#include "common/Check.h"
#include "platform/core/Text.h"

using adnet::AdNetCanvasWebView;
using fuzzcheck::require;

namespace {

std::optional<std::string> unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '%') {
            if (i + 2 >= text.size() || platform::hexDigitValue(text[i + 1]) < 0 ||
                platform::hexDigitValue(text[i + 2]) < 0)
                return std::nullopt;
            c = static_cast<char>(platform::hexDigitValue(text[i + 1]) * 16 + platform::hexDigitValue(text[i + 2]));
            i += 2;
        }
        if (static_cast<unsigned char>(c) >= 0x80)
            return std::nullopt;
        out.push_back(c);
    }
    return out;
}

AdNetCanvasWebView::Query expected(std::string_view query)
{
    AdNetCanvasWebView::Query out;
    std::size_t start = 0;
    while (start <= query.size()) {
        std::size_t end = query.find('&', start);
        if (end == std::string_view::npos)
            end = query.size();
        const std::string_view piece = query.substr(start, end - start);
        start = end + 1;
        const std::size_t equals = piece.find('=');
        if (equals == std::string_view::npos || equals == 0)
            continue;
        auto key = unescape(piece.substr(0, equals));
        auto value = unescape(piece.substr(equals + 1));
        if (key && value)
            out[*key] = *value;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string query(reinterpret_cast<const char*>(data), size);
    const auto got = AdNetCanvasWebView::dictionaryWithQueryString(query);
    require(got == expected(query), "the dictionary follows the rules");
    for (const auto& [key, value] : got)
        require(!key.empty(), "no empty key");
    require(AdNetCanvasWebView::dictionaryWithQueryString(std::nullopt).empty(), "no query, no entries");
    return 0;
}
