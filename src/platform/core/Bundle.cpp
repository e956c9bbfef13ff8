#include "platform/core/Bundle.h"

#include <cstdlib>

namespace platform {

Bundle& Bundle::main()
{
    static Bundle bundle;
    return bundle;
}

Bundle::Bundle()
{
    const char* fromEnvironment = std::getenv("BRIMSEY_RESOURCES");
    m_directory = fromEnvironment && *fromEnvironment ? fromEnvironment : "resources";
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
