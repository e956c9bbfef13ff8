#pragma once

// Conversions between UTF-8, UTF-16 and UTF-32 used by the reader. Internal.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace json::detail {

// Decodes strict UTF-8 (no overlong forms, no encoded surrogates, nothing above U+10FFFF,
// no cut sequences) and appends the UTF-16 units. On bad input returns false and leaves
// out as it was.
bool appendUTF8AsUTF16(const std::uint8_t* bytes, std::size_t length, std::u16string& out);
// The same into out, which has room for length units; returns the units written, or
// kBadUTF8 on bad input (out then holds garbage).
inline constexpr std::size_t kBadUTF8 = ~std::size_t{0};
std::size_t decodeUTF8Into(const std::uint8_t* bytes, std::size_t length, char16_t* out);
std::optional<std::u16string> decodeUTF8(const std::uint8_t* bytes, std::size_t length);

// Appends UTF-8 for UTF-16 units; a lone surrogate becomes U+FFFD.
void appendUTF16AsUTF8(std::u16string_view units, std::string& out);
// The same, but refuses lone surrogates.
bool encodeUTF8Strict(std::u16string_view units, std::string& out);

enum class WideEncoding { UTF16BE, UTF16LE, UTF32BE, UTF32LE };
// Decodes a whole UTF-16 or UTF-32 buffer and re-encodes it as UTF-8. Fails on a length
// that is no whole number of units, on lone surrogates and on code points past U+10FFFF.
bool wideToUTF8(const std::uint8_t* bytes, std::size_t length, WideEncoding encoding, std::vector<std::uint8_t>& out);

} // namespace json::detail
