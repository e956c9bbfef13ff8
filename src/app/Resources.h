#pragma once

#include <string>
#include <string_view>

namespace brimsey {

// The folder the game's resources are read from (platform::defaultResourceDirectory():
// $BRIMSEY_RESOURCES, the installed share/brimsey, or the source tree's resources/).
std::string resourceDirectory();

// "DIR/name.type" in the resource folder (the file need not exist).
std::string pathForResource(std::string_view name, std::string_view type);

} // namespace brimsey
