#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace adnet {

// Where the ad network lives and the limits the client keeps. The two addresses have
// compiled-in defaults and can be overridden from the environment:
//   ADNET_REQUEST_ENDPOINT  the ad server's request endpoint, an absolute http(s) URL
//                           (default http://127.0.0.1:8642/ad_source.php)
//   ADNET_MEDIA_HOST        scheme, host and port of the ad media host
//                           (default http://127.0.0.1:8642)
struct AdNetConfiguration {
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

    // The defaults with the environment's overrides. A value that is not an absolute
    // http(s) URL is ignored with a one-line warning to `warn`.
    static AdNetConfiguration fromEnvironment(const std::function<void(const std::string&)>& warn = {});
};

// The configuration the ad client uses: fromEnvironment() (warnings to standard error) on
// first use, or what the application or a test has set.
const AdNetConfiguration& configuration();
void setConfiguration(AdNetConfiguration config);

} // namespace adnet
