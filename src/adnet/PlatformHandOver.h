#pragma once

#include <string>

namespace adnet {

// Hands a URL to the desktop's handler for it (browser, mail, another application), telling
// the event listener first ("open <url>"). False when the platform refuses it at once.
bool handURLToPlatform(const std::string& url);

} // namespace adnet
