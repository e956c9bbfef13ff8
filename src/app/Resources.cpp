#include "app/Resources.h"

#include "platform/core/Bundle.h"

namespace brimsey {

std::string resourceDirectory()
{
    return platform::defaultResourceDirectory().string();
}

std::string pathForResource(std::string_view name, std::string_view type)
{
    return resourceDirectory() + "/" + std::string(name) + "." + std::string(type);
}

} // namespace brimsey
