#include "PlatformHandOver.h"

#include "WrittenURL.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetEvents.h"
#include "platform/core/RunLoop.h"
#include "platform/device/URLOpener.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

namespace adnet {

namespace {

constexpr double kPageHandOverInterval = 1.0;
constexpr std::array<std::string_view, 6> kOpenSchemes{"http", "https", "mailto", "tel", "sms", "geo"};

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// The last hand-over a page was granted, on the clock of the loop that granted it: a new
// main loop (a test, a restarted host) starts afresh rather than inherit another clock's time.
struct PageGate {
    std::weak_ptr<platform::RunLoop> loop;
    std::optional<double> last;

    bool admit()
    {
        auto current = platform::RunLoop::mainShared();
        if (loop.lock() != current) {
            loop = current;
            last.reset();
        }
        const double now = current->now();
        if (last && now >= *last && now - *last < kPageHandOverInterval)
            return false;
        last = now;
        return true;
    }
};

PageGate& pageGate()
{
    static PageGate gate;
    return gate;
}

} // namespace

bool mayHandOverScheme(std::string_view scheme)
{
    // Local files stay closed whatever the configuration says.
    if (scheme.empty() || equalsIgnoringCase(scheme, "file"))
        return false;
    auto matches = [&](std::string_view allowed) { return equalsIgnoringCase(scheme, allowed); };
    if (std::any_of(kOpenSchemes.begin(), kOpenSchemes.end(), matches))
        return true;
    const auto& stores = configuration().storeSchemes;
    return std::any_of(stores.begin(), stores.end(), matches);
}

bool handURLToPlatform(const std::string& url, HandOverSource source)
{
    auto written = WrittenURL::split(url);
    if (!written || !mayHandOverScheme(written->scheme) || (source == HandOverSource::Page && !pageGate().admit())) {
        reportAdNetEvent("refused " + url);
        return false;
    }
    reportAdNetEvent("open " + url);
    return platform::openURL(url);
}

} // namespace adnet
