#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// True for the characters RFC 2396 allows in a URL as they stand: letters, digits, the
// unreserved marks - _ . ! ~ * ' ( ) and the reserved marks ; / ? : @ & = + $ ,
bool isURLCharacter(unsigned char c);

// Writes every byte that is not a URL character as "%" and two upper-case hex digits.
// Text beyond ASCII goes out as the escaped bytes of its UTF-8 form, so the result is
// always plain, well-formed URL text. Reserved marks ("&", "=", "/") stay as they are.
std::string addPercentEscapes(std::string_view text);

// Replaces each "%XX" by its byte. nullopt for a "%" not followed by two hex digits.
std::optional<std::string> removePercentEscapes(std::string_view text);

} // namespace platform
