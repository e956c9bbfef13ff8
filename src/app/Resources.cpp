#include "app/Resources.h"

#include <cstdlib>

namespace brimsey {

std::string resourceDirectory()
{
    if (const char* dir = std::getenv("BRIMSEY_RESOURCES"); dir && *dir)
        return dir;
    return BRIMSEY_DEFAULT_RESOURCES;
}

std::string pathForResource(std::string_view name, std::string_view type)
{
    return resourceDirectory() + "/" + std::string(name) + "." + std::string(type);
}

} // namespace brimsey
