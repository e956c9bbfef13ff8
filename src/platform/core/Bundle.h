#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The application's resource files (interface description, pictures, sounds), all in
// one directory. Whoever starts the application sets it; without that it is the
// directory named by the environment variable BRIMSEY_RESOURCES, else "resources".
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
