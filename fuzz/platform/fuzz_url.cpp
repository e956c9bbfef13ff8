// URL text from the network (ad answers, click documents, redirects) through URL::parse and
// URL::resolve, and percent escaping both ways.
//
// Invariants: escaping yields only URL characters and "%XX" triples, and unescaping it gives
// the text back; unescaping refuses exactly the texts with a "%" not followed by two hex
// digits, and otherwise shrinks the text by two bytes per escape; a parsed URL has a
// scheme and a lower-case host, and the text it prints parses again to the same parts;
// resolving against a parsed base never crashes and gives a URL that parses to itself.
#include <cstdint>
#include <string>
#include <string_view>

#include "common/Check.h"
#include "platform/core/PercentEscape.h"
#include "platform/core/URL.h"

using fuzzcheck::require;

namespace {

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isUpperHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

void checkEscaping(std::string_view text)
{
    const std::string escaped = platform::addPercentEscapes(text);
    for (std::size_t i = 0; i < escaped.size(); ++i) {
        const auto c = static_cast<unsigned char>(escaped[i]);
        if (c == '%') {
            require(i + 2 < escaped.size() && isUpperHex(escaped[i + 1]) && isUpperHex(escaped[i + 2]),
                    "an escape is '%' and two upper-case hex digits");
            i += 2;
            continue;
        }
        require(platform::isURLCharacter(c), "escaped text holds only URL characters");
    }
    const auto back = platform::removePercentEscapes(escaped);
    require(back && *back == text, "unescaping escaped text gives it back");

    // Unescaping the raw text: refused exactly for a '%' without two hex digits after it.
    std::size_t escapes = 0;
    bool wellFormed = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%')
            continue;
        if (i + 2 < text.size() && isHex(text[i + 1]) && isHex(text[i + 2])) {
            ++escapes;
            i += 2;
        } else {
            wellFormed = false;
            break;
        }
    }
    const auto raw = platform::removePercentEscapes(text);
    require(raw.has_value() == wellFormed, "unescaping refuses exactly the malformed escapes");
    if (raw)
        require(raw->size() == text.size() - 2 * escapes, "each escape becomes one byte");
}

bool sameParts(const platform::URL& a, const platform::URL& b)
{
    return a.scheme() == b.scheme() && a.host() == b.host() && a.port() == b.port() && a.path() == b.path() &&
           a.query() == b.query() && a.fragment() == b.fragment();
}

void checkURL(const platform::URL& url)
{
    require(!url.scheme().empty(), "a parsed URL has a scheme");
    for (char c : url.host())
        require(!(c >= 'A' && c <= 'Z'), "hosts are kept in lower case");
    if (url.port())
        require(*url.port() >= 0 && *url.port() <= 65535, "ports fit in 16 bits");
    const auto again = platform::URL::parse(url.string());
    require(again.has_value(), "the printed URL parses again");
    require(sameParts(url, *again), "the printed URL has the same parts");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    checkEscaping(input);

    // A base and a reference, split at the first newline; the whole input is a URL too.
    const auto whole = platform::URL::parse(input);
    if (whole)
        checkURL(*whole);
    const std::size_t newline = input.find('\n');
    if (newline == std::string_view::npos)
        return 0;
    const auto base = platform::URL::parse(input.substr(0, newline));
    if (!base)
        return 0;
    checkURL(*base);
    if (const auto resolved = platform::URL::resolve(*base, input.substr(newline + 1)))
        checkURL(*resolved);
    return 0;
}
