#pragma once

#include <string>

namespace platform {

// Hands a URL to the application the desktop registers for it (web browser, mail composer,
// maps, ...). It returns at once: whatever opens does so in its own process.
class URLOpener {
public:
    virtual ~URLOpener() = default;
    // False when the URL is refused at once (not a URL, no handler can be asked).
    virtual bool openURL(const std::string& url) = 0;
};

// The shared application's openURL: goes to the installed service; false without one.
bool openURL(const std::string& url);

} // namespace platform
