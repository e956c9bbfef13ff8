#include "adnet/AdNetURLDownload.h"

#include "adnet/AdNetConfiguration.h"
#include "platform/core/RunLoop.h"
#include "platform/net/URLConnection.h"

namespace adnet {

std::shared_ptr<AdNetURLDownload> AdNetURLDownload::create()
{
    auto download = std::shared_ptr<AdNetURLDownload>(new AdNetURLDownload());
    download->m_timeout = configuration().requestTimeout;
    return download;
}

AdNetURLDownload::~AdNetURLDownload()
{
    cancel();
}

std::string AdNetURLDownload::userAgentForDevice(const platform::DeviceFacts& facts)
{
    std::string version = facts.systemVersion;
    for (char& c : version)
        if (c == '.')
            c = '_';
    return "Mozilla/5.0 (" + facts.model + "; U; CPU " + facts.systemName + " " + version + "; HW " + facts.machine +
           "; en-us) (KHTML, like Gecko) (AdNet-SDK-20090203)";
}

const std::string& AdNetURLDownload::userAgent()
{
    static const std::string agent = userAgentForDevice(platform::currentDeviceFacts());
    return agent;
}

bool AdNetURLDownload::isLoading() const
{
    return m_activeConnection && m_activeConnection->isRunning();
}

void AdNetURLDownload::send(const Selector& selector)
{
    auto delegate = m_delegate.lock();
    if (!delegate || !selector)
        return;
    auto self = shared_from_this();
    Selector call = selector; // the owner may replace or cancel us from inside
    call(*this);
}

void AdNetURLDownload::fail(std::string reason)
{
    m_failureReason = std::move(reason);
    send(m_failureSelector);
}

void AdNetURLDownload::loadContentsOfURLAtString(std::string_view url)
{
    m_url = std::string(url);
    m_statusCode = 0;
    m_failureReason.clear();
    m_timing = {};
    if (url.empty()) {
        fail("no address to fetch");
        return;
    }
    platform::URLConnection::Request request{std::string(url)};
    request.timeout = m_timeout;
    request.maxBodyBytes = m_maxBodyBytes;
    request.headers.emplace_back("USER-AGENT", userAgent());
    if (auto isu = platform::currentDeviceFacts().uniqueIdentifier)
        request.headers.emplace_back("X-ADNET-ISU", *isu);

    if (m_activeConnection) {
        m_activeConnection->cancel();
        m_activeConnection.reset();
    }

    std::weak_ptr<AdNetURLDownload> weak = weak_from_this();
    platform::URLConnection::Callbacks callbacks;
    callbacks.onResponse = [weak](platform::URLConnection& connection,
                                  const platform::URLConnection::Response& response) {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_statusCode = response.statusCode;
        // Only the body after the last response counts. An announced length within the cap
        // is taken in one allocation rather than grown piece by piece.
        if (self->m_data) {
            self->m_data->clear();
            if (response.expectedContentLength > 0 &&
                std::uint64_t(response.expectedContentLength) <= std::uint64_t(self->m_maxBodyBytes))
                self->m_data->reserve(std::size_t(response.expectedContentLength));
        }
        if (response.statusCode >= 400) {
            connection.cancel();
            self->fail("HTTP status " + std::to_string(response.statusCode));
        }
    };
    callbacks.onData = [weak](platform::URLConnection&, const std::uint8_t* bytes, std::size_t count) {
        if (auto self = weak.lock(); self && self->m_data)
            self->m_data->append(reinterpret_cast<const char*>(bytes), count);
    };
    callbacks.onFinish = [weak](platform::URLConnection& connection) {
        if (auto self = weak.lock()) {
            self->m_timing = connection.timing();
            self->send(self->m_successSelector);
        }
    };
    callbacks.onFail = [weak](platform::URLConnection& connection, const platform::URLConnection::Error& error) {
        if (auto self = weak.lock()) {
            self->m_timing = connection.timing();
            self->fail(error.message.empty() ? "the transfer failed" : error.message);
        }
    };

    m_activeConnection =
        platform::URLConnection::start(std::move(request), std::move(callbacks), platform::RunLoop::main());
    if (m_activeConnection)
        m_data = std::string();
    else
        fail("not an http or https address that can be fetched");
}

void AdNetURLDownload::cancel()
{
    if (m_activeConnection)
        m_activeConnection->cancel();
    m_activeConnection.reset();
    m_data.reset();
    m_delegate.reset();
}

} // namespace adnet
