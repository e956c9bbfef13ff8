#pragma once

#include <string>

#include "json/Value.h"

namespace json {

// One line of text that shows a value exactly, with no spaces anywhere:
//   null, true, false; numbers as printf("%.17g") (so inf and -inf);
//   strings in double quotes, each UTF-16 unit 0x20..0x7E as itself except '"' and '\'
//   (written \" and \\), every other unit as \u and four lowercase hex digits;
//   arrays [a,b]; dictionaries {"k":v,...} with keys sorted by UTF-16 units.
// Two values are equal exactly when their canonical forms are. None gives an empty string.
std::string canonicalForm(const Value& value);

} // namespace json
