#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The value of one hexadecimal digit (either case), or -1 for any other character.
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The text without the leading and trailing characters of `characters` (by default the
// white space a line of a text file may carry).
constexpr std::string_view trim(std::string_view text, std::string_view characters = " \t\r\n")
{
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(characters) - first + 1);
}

// Decodes the UTF-8 sequence at text[i] and advances i past it. A byte that starts no valid
// sequence (a cut or overlong one, a surrogate, anything past U+10FFFF) gives nullopt and
// advances i by that one byte.
std::optional<char32_t> decodeUTF8(std::string_view text, std::size_t& i);

// Appends a code point as JSON and JavaScript string escapes: "\u" and four lower-case hex
// digits per UTF-16 unit, so a code point past U+FFFF becomes its surrogate pair.
void appendUnicodeEscape(std::string& out, char32_t cp);

} // namespace platform
