#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/core/DeviceInfo.h"
#include "platform/net/URLConnection.h"

namespace platform {
class RunLoop;
class URLConnection;
} // namespace platform

namespace adnet {

// Fetches one URL over HTTP into memory and reports the end to its delegate: the success
// selector when the whole body has arrived with a status below 400, the failure selector
// otherwise (status 400 or above, network error, time-out, a body over the cap, a URL that
// cannot be fetched). Every request carries the ad client's user agent as "USER-AGENT" and,
// when the device has one, its identifier as "X-ADNET-ISU".
//
// The delegate is held weakly: once it is gone, or after cancel(), completions go nowhere.
// The owner reads data() in its completion and then cancels the download.
class AdNetURLDownload final : public std::enable_shared_from_this<AdNetURLDownload> {
public:
    using Selector = std::function<void(AdNetURLDownload&)>;

    static std::shared_ptr<AdNetURLDownload> create();
    ~AdNetURLDownload();
    AdNetURLDownload(const AdNetURLDownload&) = delete;
    AdNetURLDownload& operator=(const AdNetURLDownload&) = delete;

    // Starts the transfer on the main run loop. An empty URL, or one that cannot be fetched,
    // reports failure before this returns. A second call abandons the first transfer.
    void loadContentsOfURLAtString(std::string_view url);
    // Stops the transfer and forgets delegate and data; no completion follows.
    void cancel();

    const std::optional<std::string>& identifier() const { return m_identifier; }
    void setIdentifier(std::optional<std::string> identifier) { m_identifier = std::move(identifier); }
    void setDelegate(std::weak_ptr<void> delegate) { m_delegate = std::move(delegate); }
    void setSuccessSelector(Selector selector) { m_successSelector = std::move(selector); }
    void setFailureSelector(Selector selector) { m_failureSelector = std::move(selector); }
    // The body received so far (only what followed the last response); nullopt after cancel.
    const std::optional<std::string>& data() const { return m_data; }

    // Limits of this download: seconds without a byte received before it fails (a slow but
    // steady body is not cut off), and body bytes.
    void setTimeoutInterval(double seconds) { m_timeout = seconds; }
    void setMaxBodyBytes(std::size_t bytes) { m_maxBodyBytes = bytes; }
    double timeoutInterval() const { return m_timeout; }
    std::size_t maxBodyBytes() const { return m_maxBodyBytes; }
    bool isLoading() const;
    // The URL last given to loadContentsOfURLAtString, and the status of the last response
    // received for it (0 before any).
    const std::string& url() const { return m_url; }
    int statusCode() const { return m_statusCode; }
    // Why the last transfer failed, in a few words ("HTTP status 404", the network's own
    // reason such as an untrusted certificate); empty before a failure.
    const std::string& failureReason() const { return m_failureReason; }
    // Where the last transfer's time went (platform::URLConnection::Timing); for benchmarks.
    const platform::URLConnection::Timing& timing() const { return m_timing; }

    // "Mozilla/5.0 (model; U; CPU system version; HW machine; en-us) (KHTML, like Gecko)
    // (AdNet-SDK-20090203)", built once per process from the device facts.
    static const std::string& userAgent();
    static std::string userAgentForDevice(const platform::DeviceFacts& facts);

private:
    AdNetURLDownload() = default;
    void send(const Selector& selector);
    void fail(std::string reason);

    std::optional<std::string> m_identifier;
    std::weak_ptr<void> m_delegate;
    Selector m_successSelector;
    Selector m_failureSelector;
    std::optional<std::string> m_data;
    std::shared_ptr<platform::URLConnection> m_activeConnection;
    std::string m_url;
    int m_statusCode{0};
    std::string m_failureReason;
    platform::URLConnection::Timing m_timing;
    double m_timeout{60.0};
    std::size_t m_maxBodyBytes{4 * 1024 * 1024};
};

} // namespace adnet
