#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace adnet {

// A URL's parts as they are written. The landing screens compare schemes and bridge
// commands with their spelling intact, which a normalising parser would not keep.
struct WrittenURL {
    std::string_view scheme;
    std::string_view host; // without user information and port
    std::optional<std::string> query;

    // nullopt when there is no "scheme:" at the start.
    static std::optional<WrittenURL> split(std::string_view text);
    // "file" in any letter case: local files are refused however the page spells them.
    bool isFile() const;
};

} // namespace adnet
