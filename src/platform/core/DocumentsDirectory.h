#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The user's documents directory, where applications keep their small caches: the XDG
// documents directory, unless a test or a command-line option has set another folder.
std::string documentsDirectory();

// Points documentsDirectory() at `path`; nullopt returns to the XDG directory.
void setDocumentsDirectory(std::optional<std::string> path);

// The XDG rule on its own: XDG_DOCUMENTS_DIR from "user-dirs.dirs" in the config home
// (configHome, else home + "/.config"), with "$HOME" expanded; home + "/Documents" when the
// file or the entry is missing or unusable.
std::string xdgDocumentsDirectory(std::string_view home, std::optional<std::string> configHome);

} // namespace platform
