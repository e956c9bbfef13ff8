// Small text helpers of the demo server: JSON string literals, percent decoding, query
// splitting. Everything here works on untrusted bytes and never throws.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/core/Text.h"

namespace adnetdemo {

using platform::trim;

// True when `text` is well-formed UTF-8 (no overlongs, no surrogates, nothing past U+10FFFF).
bool isValidUtf8(std::string_view text);

// A JSON string literal, quotes included, escaped the way the old PHP ad server did it:
// "/" as "\/", control characters and everything outside ASCII as \uXXXX (surrogate pairs
// above U+FFFF). Invalid UTF-8 bytes become U+FFFD.
std::string jsonString(std::string_view text);

// "%XX" becomes the byte it encodes; a "%" without two hex digits stays as it is; "+" is not
// a space (the ad client never escapes it, so it means itself).
std::string percentDecode(std::string_view text);

// "a=1&b=&c" -> (a,1) (b,"") (c,""), decoded, in order; empty pieces are skipped.
std::vector<std::pair<std::string, std::string>> splitQuery(std::string_view query);

// Percent-encodes everything but unreserved characters (for URLs the server writes).
std::string percentEncode(std::string_view text);

} // namespace adnetdemo
