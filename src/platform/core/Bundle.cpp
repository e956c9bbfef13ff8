#include "platform/core/Bundle.h"

#include <cstdlib>

namespace platform {

Bundle& Bundle::main()
{
    static Bundle bundle;
    return bundle;
}

const std::filesystem::path& defaultResourceDirectory()
{
    static const std::filesystem::path directory = [] {
        if (const char* fromEnvironment = std::getenv("BRIMSEY_RESOURCES"); fromEnvironment && *fromEnvironment)
            return std::filesystem::path(fromEnvironment);
        std::error_code ec;
        auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (!ec) {
            auto installed = program.parent_path().parent_path() / "share" / "brimsey";
            if (std::filesystem::is_directory(installed, ec))
                return installed;
        }
        return std::filesystem::path(BRIMSEY_SOURCE_RESOURCES);
    }();
    return directory;
}

Bundle::Bundle() : m_directory(defaultResourceDirectory())
{
}

std::optional<std::string> Bundle::pathForResource(std::string_view name, std::string_view type) const
{
    if (name.empty() || name.find('/') != std::string_view::npos)
        return std::nullopt; // resources are files of the directory itself
    std::string file(name);
    if (!type.empty()) {
        file += '.';
        file += type;
    }
    std::error_code ec;
    auto path = m_directory / file;
    if (!std::filesystem::is_regular_file(path, ec))
        return std::nullopt;
    return path.string();
}

} // namespace platform
