// File access for the demo server: URL paths are untrusted, so they are mapped onto the
// web root segment by segment and checked again after symbolic links are resolved.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace adnetdemo {

// The regular file that the decoded URL path names below `root` (which must be canonical),
// or nullopt for a path that does not name one or that could leave the root: ".." or "."
// segments, hidden names, backslashes, NUL bytes, symbolic links pointing outside.
std::optional<std::filesystem::path> resolveBelow(const std::filesystem::path& root, std::string_view urlPath);

// The whole file, or nullopt when it cannot be read or is larger than maxBytes.
std::optional<std::string> readFileBounded(const std::filesystem::path& file, std::size_t maxBytes);

// The media type for a file name's extension.
std::string contentTypeFor(const std::filesystem::path& file);

} // namespace adnetdemo
