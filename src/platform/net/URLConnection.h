#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/core/URLError.h"

namespace platform {

class CurlDriver;
struct URLTransfer;

// One HTTP(S) GET, run by libcurl's multi interface inside a RunLoop: no thread per request.
//
// Callbacks arrive on the loop, in this order: onResponse once per HTTP response (a followed
// redirect is a response of its own; 1xx interim answers are not), onData for body bytes of
// the current response, and then exactly one of onFinish or onFail. After cancel() nothing
// more is delivered, even for bytes curl already holds. While a transfer is in flight it
// holds the loop in real time, so its time-out (a loop timer) means the same on a virtual
// clock as on the real one.
class URLConnection final {
public:
    using Header = std::pair<std::string, std::string>;

    struct Request {
        Request() = default;
        Request(std::string url, std::vector<Header> headers = {})
            : url(std::move(url)),
              headers(std::move(headers)) { }

        std::string url;
        std::vector<Header> headers;
        double timeout{60.0};        // seconds without a byte received (from the start, or
                                     // from the last bytes) before the transfer fails
        int maxRedirects{10};        // further redirects fail the transfer
        std::size_t maxBodyBytes{0}; // 0: no cap; a longer body fails the transfer
    };

    struct Response {
        int statusCode{0};
        std::string url;             // the URL this response answers (after redirects)
        std::vector<Header> headers; // as received, in order
        long long expectedContentLength{-1};
    };

    enum class ErrorKind { InvalidRequest, TimedOut, TooManyRedirects, BodyTooLarge, Network };
    struct Error {
        ErrorKind kind{ErrorKind::Network};
        std::string message;
        // The URL-loading error code (platform/core/URLError.h): -1001 timed out, -1003
        // host not found, -1004 cannot connect, -1200.. for TLS, ...
        long code{urlerror::unknown};
    };

    struct Callbacks {
        std::function<void(URLConnection&, const Response&)> onResponse;
        std::function<void(URLConnection&, const std::uint8_t*, std::size_t)> onData;
        std::function<void(URLConnection&)> onFinish;
        std::function<void(URLConnection&, const Error&)> onFail;
    };

    // Starts at once. nullptr when no connection can be made for the request (a URL that is
    // not absolute http or https, a header holding a line break, curl refusing the handle);
    // no callback is delivered then.
    static std::shared_ptr<URLConnection> start(Request request, Callbacks callbacks, RunLoop& loop = RunLoop::main());

    ~URLConnection();
    URLConnection(const URLConnection&) = delete;
    URLConnection& operator=(const URLConnection&) = delete;

    // Stops the transfer; no callback follows. Safe from inside a callback and repeatable.
    void cancel();
    bool isRunning() const;
    const std::string& url() const;

    // Where an ended transfer's time went, in seconds after start(): what curl measured,
    // set just before onFinish or onFail (all -1 before). For benchmarks and diagnostics.
    struct Timing {
        double curlStarted{-1}; // curl took the transfer up (connection lookup begins)
        double connected{-1};   // connected (TLS included); as curlStarted on a reused one
        double requestSent{-1}; // the request was about to go out
        double firstByte{-1};   // the first byte of the answer arrived
        double lastByte{-1};    // curl had the whole answer
        double delivered{-1};   // the end reached this loop, about to be called back
        bool reusedConnection{false};
    };
    const Timing& timing() const;

    // Closes the connections curl keeps open for reuse on this loop (those of transfers in
    // flight stay). For a server that is about to stop, and for tests.
    static void closeIdleConnections(RunLoop& loop);

    // Number of transfers in flight on all loops; tests use it to prove nothing leaks.
    static std::size_t liveTransferCount();

private:
    friend class CurlDriver;
    URLConnection() = default;
    std::shared_ptr<URLTransfer> m_transfer;
};

} // namespace platform
