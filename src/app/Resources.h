#pragma once

#include <string>
#include <string_view>

namespace brimsey {

// The folder the game's resources are read from: $BRIMSEY_RESOURCES when set, otherwise
// the resources/ folder of the source tree the program was built from.
std::string resourceDirectory();

// "DIR/name.type" in the resource folder (the file need not exist).
std::string pathForResource(std::string_view name, std::string_view type);

} // namespace brimsey
