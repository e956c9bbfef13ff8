// A host application outside the tree, built against the installed libadnet with nothing
// but its public headers and pkg-config's flags: what it can check without a run loop.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetVersion.h"
#include "adnet/AdNetView.h"

namespace {

// Every value type of the delegate, so that a host's override of each compiles as written.
class Host final : public adnet::AdNetDelegate {
public:
    std::string publisherId() override { return "install-check"; }
    std::optional<adnet::Color> adBackgroundColor() override { return adnet::Color{0, 0, 0, 1}; }
    adnet::Answer<adnet::Coordinate> location() override { return adnet::Coordinate{48.2, 16.37}; }
    std::optional<std::chrono::system_clock::time_point> dateOfBirth() override { return std::nullopt; }
    void didReceiveAd(adnet::AdNetView&) override { }
};

} // namespace

int main()
{
    char headers[32];
    std::snprintf(headers, sizeof headers, "%d.%d.%d", ADNET_VERSION_MAJOR, ADNET_VERSION_MINOR, ADNET_VERSION_MICRO);
    if (std::strcmp(headers, adnet::version()) != 0 || std::strcmp(headers, ADNET_VERSION_STRING) != 0) {
        std::printf("headers say %s, the library %s\n", headers, adnet::version());
        return 1;
    }
    // The host's class meets the library's: its type information has to agree across them.
    std::shared_ptr<adnet::AdNetDelegate> host = std::make_shared<Host>();
    const bool isHost = dynamic_cast<Host*>(host.get()) != nullptr;
    const auto location = host->location();

    int events = 0;
    adnet::setAdNetEventListener([&](std::string_view) { ++events; });
    adnet::reportAdNetEvent("install check");
    adnet::setAdNetEventListener({});
    adnet::reportAdNetEvent("nobody hears this");

    // The front door links (calling it needs a main loop, which a GTK host has).
    auto request = &adnet::AdNetView::requestAdWithDelegate;

    std::printf("version %s; host %s at %g,%g; endpoint %s; events %d; front door %s\n", adnet::version(),
                isHost ? "ok" : "lost", location.value()->latitude, location.value()->longitude,
                adnet::configuration().requestEndpoint.c_str(), events, request ? "ok" : "missing");
    return 0;
}
