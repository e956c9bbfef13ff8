#pragma once

#include <string>
#include <string_view>

namespace adnet {

// A JavaScript string literal, in single quotes, whose value is exactly `utf8`: quotes,
// backslashes, control characters, the two line separators and everything beyond ASCII
// are escaped, so the literal is plain ASCII and can never end early or run anything. A
// byte that is not part of valid UTF-8 stands for U+FFFD, as a browser would decode it.
std::string javaScriptStringLiteral(std::string_view utf8);

} // namespace adnet
