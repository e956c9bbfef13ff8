#include "WrittenURL.h"

#include <algorithm>
#include <cctype>

namespace adnet {

std::optional<WrittenURL> WrittenURL::split(std::string_view text)
{
    auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    WrittenURL url;
    url.scheme = text.substr(0, colon);
    std::string_view rest = text.substr(colon + 1);
    if (auto hash = rest.find('#'); hash != std::string_view::npos)
        rest = rest.substr(0, hash);
    if (auto question = rest.find('?'); question != std::string_view::npos) {
        url.query = std::string(rest.substr(question + 1));
        rest = rest.substr(0, question);
    }
    if (rest.starts_with("//")) {
        std::string_view authority = rest.substr(2);
        if (auto slash = authority.find('/'); slash != std::string_view::npos)
            authority = authority.substr(0, slash);
        if (auto at = authority.rfind('@'); at != std::string_view::npos)
            authority = authority.substr(at + 1);
        if (auto port = authority.rfind(':'); port != std::string_view::npos && authority.find(']') == authority.npos)
            authority = authority.substr(0, port);
        url.host = authority;
    }
    return url;
}

bool WrittenURL::isFile() const
{
    constexpr std::string_view file = "file";
    return std::equal(scheme.begin(), scheme.end(), file.begin(), file.end(),
                      [](char x, char y) { return std::tolower(static_cast<unsigned char>(x)) == y; });
}

} // namespace adnet
