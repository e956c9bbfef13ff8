#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "adnet/AdNetExport.h"

namespace adnet {

// Where the ad network lives, the limits the client keeps, and which pages the embedded
// browser hands to the desktop. Everything has a compiled-in default; the environment can
// override:
//   ADNET_REQUEST_ENDPOINT  the ad server's request endpoint, an absolute http(s) URL
//                           (default http://127.0.0.1:8642/ad_source.php)
//   ADNET_MEDIA_HOST        scheme, host and port of the ad media host
//                           (default http://127.0.0.1:8642)
//   ADNET_MAPS_HOSTS        comma-separated host prefixes of maps services
//   ADNET_VIDEO_HOSTS       comma-separated hosts of video services ("/watch", "/v/" pages)
//   ADNET_STORE_HOSTS       comma-separated host prefixes of application stores
//   ADNET_STORE_SCHEMES     comma-separated URL schemes of application stores, added to
//                           "appstream"; only these, the web's, "mailto", "tel", "sms" and
//                           "geo" ever leave the application ("file" never does)
// A host list variable that is set but empty hands nothing of its kind over.
struct ADNET_EXPORT AdNetConfiguration {
    static constexpr const char* kDefaultRequestEndpoint = "http://127.0.0.1:8642/ad_source.php";
    static constexpr const char* kDefaultMediaHost = "http://127.0.0.1:8642";
    static constexpr const char* kRequestEndpointVariable = "ADNET_REQUEST_ENDPOINT";
    static constexpr const char* kMediaHostVariable = "ADNET_MEDIA_HOST";

    std::string requestEndpoint{kDefaultRequestEndpoint};
    std::string mediaHost{kDefaultMediaHost};     // never ends in "/"
    double requestTimeout{60.0};                  // seconds without a byte, every fetch
    std::size_t maxDocumentBytes{1024 * 1024};    // the ad answer and the click document
    std::size_t maxImageBytes{4 * 1024 * 1024};   // icons, banner images, the pixel
    std::uint64_t maxImagePixels{2048ull * 2048}; // decoded images

    static constexpr const char* kMapsHostsVariable = "ADNET_MAPS_HOSTS";
    static constexpr const char* kVideoHostsVariable = "ADNET_VIDEO_HOSTS";
    static constexpr const char* kStoreHostsVariable = "ADNET_STORE_HOSTS";
    // Hosts in lower case. A prefix ends in a dot, so that every country domain matches.
    std::vector<std::string> mapsHostPrefixes{"maps.google.", "www.openstreetmap."};
    std::vector<std::string> videoHosts{"youtube.com", "www.youtube.com"};
    std::vector<std::string> storeHostPrefixes{"flathub.", "snapcraft.", "www.flathub.", "www.snapcraft."};
    static constexpr const char* kStoreSchemesVariable = "ADNET_STORE_SCHEMES";
    std::vector<std::string> storeSchemes{"appstream"}; // lower case

    // The defaults with the environment's overrides. A value that is not an absolute
    // http(s) URL is ignored with a one-line warning to `warn`.
    static AdNetConfiguration fromEnvironment(const std::function<void(const std::string&)>& warn = {});
};

// The configuration the ad client uses: fromEnvironment() (warnings to standard error) on
// first use, or what the application or a test has set.
ADNET_EXPORT const AdNetConfiguration& configuration();
ADNET_EXPORT void setConfiguration(AdNetConfiguration config);

} // namespace adnet
