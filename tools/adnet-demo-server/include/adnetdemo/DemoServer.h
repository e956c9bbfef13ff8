// The demo ad network: an HTTP server that answers every fetch the ad client makes (ad
// requests, browser and action icons, ad pictures, accounting pixels, click redirect
// documents, the canvas page, landing pages) from an inventory of demo ads kept as files.
// Tests start it in-process on 127.0.0.1 and switch it into faults; the program
// adnet-demo-server wraps the same class for people and scripts.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace adnetdemo {

// What a request was for, decided by its path. A bit set, so that one fault can aim at
// several kinds of fetch: fetch::adRequest | fetch::clickDocument.
using FetchSet = std::uint32_t;
namespace fetch {
enum : FetchSet {
    adRequest = 1u << 0,     // /ad_source.php
    browserIcon = 1u << 1,   // /static/sdk/browser/<name>.png
    actionIcon = 1u << 2,    // /static/sdk/img/<action>.png
    adIcon = 1u << 3,        // a text ad's icon (the "204" path, /static/ads/icons/...)
    bannerImage = 1u << 4,   // a banner-image ad's picture (the "banner" URL)
    pixel = 1u << 5,         // the accounting pixel (the "cpm_url", /cpm/<ad>)
    clickDocument = 1u << 6, // the click redirect document (the "jsonp_url", /click/<ad>)
    canvasPage = 1u << 7,    // /static/sdk/canvas.html
    landingPage = 1u << 8,   // /landing/... and /go/<ad>
    other = 1u << 9,         // everything else; control URLs are never faulted
    images = browserIcon | actionIcon | adIcon | bannerImage | pixel,
    all = (1u << 10) - 1,
};
} // namespace fetch

enum class Fault {
    none,
    status500,  // "500 Internal Server Error" with a small HTML body
    slow,       // nothing is sent until FaultSpec::delay has passed, then the normal answer
    truncated,  // Content-Length announces the whole body, half of it is sent, then the
                // connection is closed
    oversized,  // the normal body padded past the client's caps (see FaultSpec::bodyBytes);
                // the padding keeps it well formed: spaces after a JSON object, bytes after
                // an image's end, a comment in HTML
    badJson,    // ad answer and click document: a body that does not parse
    missingKey, // ad answer without FaultSpec::key; click document without "redirect_url"
    notAnImage, // images: a text body sent as image/png
};

// Sizes one past the ad client's caps, used by Fault::oversized unless bodyBytes says
// otherwise.
inline constexpr std::size_t documentCap = 1024 * 1024;  // ad answer, click document, pages
inline constexpr std::size_t imageCap = 4 * 1024 * 1024; // icons, pictures, pixel

struct FaultSpec {
    Fault fault{Fault::none};
    FetchSet fetches{fetch::all};                             // which fetches it strikes
    int times{-1};                                            // how many answers it spoils; -1: every matching answer
    std::chrono::milliseconds delay{std::chrono::seconds(3)}; // slow
    std::size_t bodyBytes{0}; // oversized: exact body size; 0: the cap of the fetch's kind
                              // plus one byte. Never smaller than the normal body.
    bool chunked{false};      // oversized: chunked encoding, no Content-Length
    std::string key;          // missingKey: the ad answer's key left out; empty: "url"
};

// Faults that do not apply to a fetch (badJson for an image, notAnImage for the ad answer,
// missingKey for a page) leave it alone and are not used up by it.

struct RequestRecord {
    std::uint64_t sequence{0}; // 1, 2, ... in arrival order
    std::string method;
    std::string target;                                       // as sent: path and raw query, escapes untouched
    std::string path;                                         // percent-decoded path
    std::vector<std::pair<std::string, std::string>> query;   // decoded pairs in the order
                                                              // sent; "+" stays "+"
    std::vector<std::pair<std::string, std::string>> headers; // names as sent
    std::string remoteAddress;
    FetchSet fetch{fetch::other};
    int status{0};
    std::size_t bodyBytes{0};  // the body's full length (announced length when truncated)
    Fault fault{Fault::none};  // the fault that shaped this answer
    std::string adId;          // the ad answered, clicked or counted, if any
    bool testMode{false};      // the request asked for "m=test"
    double receivedSeconds{0}; // since the server started
    double answeredSeconds{0}; // when the answer was ready (after a slow answer's delay)

    // Case-insensitive header lookup; the last value of a query key.
    std::optional<std::string> header(std::string_view name) const;
    std::optional<std::string> param(std::string_view key) const;
    bool hasParam(std::string_view key) const { return param(key).has_value(); }
};

struct AdInfo {
    std::string id;
    bool banner{false}; // a banner-image ad (answers "banner"); otherwise a text ad ("204")
    std::string text;
    std::string action;     // the "6" value
    std::string userString; // the "8" value
    bool testAd{false};     // served only to "m=test" requests
    bool pixel{false};      // answers a non-empty "cpm_url"
};

struct ServerOptions {
    std::string bindAddress{"127.0.0.1"};
    int port{0};                                      // 0: any free port
    std::filesystem::path inventory;                  // empty: defaultInventory()
    std::function<void(const std::string& line)> log; // one line per request; may be empty
    bool control{false};                              // answer /control/... URLs (faults and pinning)
};

// The inventory shipped in the source tree (resources/adnet).
std::filesystem::path defaultInventory();

// One request and its answer, for handling a request without a socket.
struct Exchange {
    std::string method{"GET"};
    std::string target; // path and query as sent
    std::vector<std::pair<std::string, std::string>> headers;

    int status{0};
    std::vector<std::pair<std::string, std::string>> responseHeaders;
    std::string body; // the whole body, also for answers streamed in pieces
};

class DemoServer final {
public:
    explicit DemoServer(ServerOptions options = {});
    ~DemoServer(); // stops
    DemoServer(const DemoServer&) = delete;
    DemoServer& operator=(const DemoServer&) = delete;

    // Loads the inventory, binds and starts serving on a thread of its own. False with a
    // reason in *error when the inventory is unusable or the address cannot be bound.
    bool start(std::string* error = nullptr);
    // Ends slow answers at once, closes every connection and joins the server's threads.
    void stop();
    bool running() const;

    // Answers the exchange's request on this thread exactly as a connection's worker would
    // (the request joins the log), with no socket involved: for fuzzing the request handling.
    // Loads the inventory first when the server has not been started; false with a reason
    // when it cannot be loaded.
    bool handleInProcess(Exchange& exchange, std::string* error = nullptr);
    int port() const;
    std::string baseUrl() const;      // "http://127.0.0.1:<port>" (the bind address)
    std::string adRequestUrl() const; // baseUrl() + "/ad_source.php"

    // Faults. The first fault in force that applies to a fetch shapes its answer.
    void setFault(FaultSpec spec); // replaces every fault in force
    void addFault(FaultSpec spec);
    void clearFaults();

    // Which ad answers the next ad request. Without a pin the server rotates through the
    // live ads, or through the test ads for a request with "m=test".
    std::vector<AdInfo> ads() const;   // inventory order, test ads included
    bool pinAd(const std::string& id); // false for an unknown id
    void unpinAd();
    void resetRotation();

    std::vector<RequestRecord> requests() const;
    std::vector<RequestRecord> requests(FetchSet fetches) const;
    std::size_t requestCount() const;
    void clearRequests();
    // Waits until at least `count` requests are in the log (or the time-out passed).
    bool waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Text forms used by the command line, the control URLs and the log.
const char* faultName(Fault fault);
const char* fetchName(FetchSet singleFetch);
// "KIND[=VALUE[,VALUE]][@FETCH[,FETCH...]][*TIMES]", for example "status500@adRequest*1",
// "slow=2.5@clickDocument", "oversized=chunked,2000000@images", "missingKey=6".
std::optional<FaultSpec> parseFault(std::string_view text, std::string* error = nullptr);
std::string describeFault(const FaultSpec& spec);

} // namespace adnetdemo
