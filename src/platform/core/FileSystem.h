#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::fs {

// Creates the directory and any missing parents. True when it exists afterwards.
bool makeDirectories(const std::string& path);

// Writes the bytes to a temporary file beside `path` and renames it into place, so that a
// reader sees the old file or the new one, never half of one. A symbolic link at `path` is
// replaced, not followed.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// Whether a symbolic link at the path itself is followed. Caches refuse them; files the
// user or the installation names follow them.
enum class Links { Refuse, Follow };

// Reads a whole regular file of at most maxBytes, to its end (so files whose reported size
// means nothing, like sysfs and procfs ones, read right). nullopt when it is missing, not a
// regular file, unreadable or larger than maxBytes; `why` then says which, in words.
std::optional<std::string> readFile(const std::string& path, std::size_t maxBytes, Links links = Links::Refuse,
                                    std::string* why = nullptr);

// The modification time of `path` itself (a symbolic link is not followed), as absolute
// seconds since 2001-01-01 UTC like the run loop's clock. nullopt when there is no file.
std::optional<double> modificationTime(const std::string& path);
bool setModificationTime(const std::string& path, double absoluteTime);

// Joins two path pieces with exactly one "/" between them.
std::string joinPath(std::string_view directory, std::string_view name);

// A fresh, empty directory under $TMPDIR (or /tmp), for tests and tools.
std::optional<std::string> makeTemporaryDirectory(std::string_view prefix);
// Removes a directory tree (symbolic links are removed, never followed).
void removeTree(const std::string& path);

} // namespace platform::fs
