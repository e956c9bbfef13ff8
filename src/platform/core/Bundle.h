#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Where the resource files are when nobody says otherwise, decided once per process:
//  1. the directory named by the environment variable BRIMSEY_RESOURCES;
//  2. share/brimsey beside the program's bin/ folder, for an installed program;
//  3. the resources/ folder of the source tree the program was built from.
const std::filesystem::path& defaultResourceDirectory();

// The application's resource files (interface description, pictures, sounds), all in
// one directory: defaultResourceDirectory() unless whoever starts the application sets
// another.
class Bundle final {
public:
    static Bundle& main();

    const std::filesystem::path& resourceDirectory() const { return m_directory; }
    void setResourceDirectory(std::filesystem::path directory) { m_directory = std::move(directory); }

    // The path of the resource "name.type" (type without the dot; may be empty), or none
    // when no such file exists.
    std::optional<std::string> pathForResource(std::string_view name, std::string_view type) const;
    // The path a resource file would have, whether or not it exists.
    std::filesystem::path pathFor(std::string_view fileName) const { return m_directory / fileName; }

private:
    Bundle();
    std::filesystem::path m_directory;
};

} // namespace platform
