#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/device/URLOpener.h"

namespace platform {

// Opens nothing: records every URL handed to it, in order.
class RecordingURLOpener final : public URLOpener {
public:
    bool openURL(const std::string& url) override
    {
        m_opened.push_back(url);
        if (m_observer)
            m_observer(url);
        return true;
    }

    const std::vector<std::string>& opened() const { return m_opened; }
    void clear() { m_opened.clear(); }
    // Called after each URL is recorded (an event log, for instance).
    void setObserver(std::function<void(const std::string&)> observer) { m_observer = std::move(observer); }

private:
    std::vector<std::string> m_opened;
    std::function<void(const std::string&)> m_observer;
};

} // namespace platform
