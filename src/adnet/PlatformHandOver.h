#pragma once

#include <string>
#include <string_view>

namespace adnet {

// Who asks for a URL to leave the application. Pages are strangers' code and may ask in a
// loop, so they get one hand-over a second; a click or the user's own menu choice is one
// deliberate act each.
enum class HandOverSource { Click, Page, User };

// The one gate for every URL the ad client hands to the desktop's handler (browser, mail,
// store, maps). Web, mail, telephone, message, position and store schemes pass; everything
// else, above all schemes that reach local files, shares or programs, is refused with the
// event "refused <url>" and nothing opens. A passed URL is reported as "open <url>" first.
// True when the URL went to the desktop.
bool handURLToPlatform(const std::string& url, HandOverSource source);

// Whether a URL of this scheme (as written, in any letter case) may leave the application.
bool mayHandOverScheme(std::string_view scheme);

} // namespace adnet
