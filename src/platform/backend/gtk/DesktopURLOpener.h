#pragma once

#include <functional>
#include <string>

#include "platform/device/URLOpener.h"

namespace platform::gtk {

// Opens URLs in the desktop's default handler for their scheme (GIO's default-handler
// launch). openURL returns at once; the launch finishes on the GLib main loop, and a failure
// (no handler for the scheme, a handler that cannot start) is told on standard error.
class DesktopURLOpener final : public URLOpener {
public:
    bool openURL(const std::string& url) override;

    // Hears how each launch ended, after it is reported; for tests and logs.
    using Outcome = std::function<void(const std::string& url, bool opened, const std::string& error)>;
    void setOutcomeObserver(Outcome observer) { m_observer = std::move(observer); }

private:
    Outcome m_observer;
};

} // namespace platform::gtk
