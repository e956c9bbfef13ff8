#include "platform/net/URLConnection.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace platform {

namespace {

std::atomic<std::size_t> g_liveTransfers{0};

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// The time-out counts from the last bytes received, as HTTP clients mean a request
// time-out: a large body arriving slowly but steadily is not cut off.
void armTimeout(const std::shared_ptr<URLTransfer>& transfer, RunLoop& loop);

struct CurlUrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

// The text as curl reads it, when that is an http or https URL with a host; curl is handed
// this reading, so that a fetch parses its URL once.
CurlUrl readHTTPURL(const std::string& text)
{
    const bool control =
        std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
    CurlUrl url(text.empty() || control ? nullptr : curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, text.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return nullptr;
    auto part = [&](CURLUPart which) {
        char* value = nullptr;
        std::string out;
        if (curl_url_get(url.get(), which, &value, 0) == CURLUE_OK && value)
            out = value;
        curl_free(value);
        return out;
    };
    const std::string scheme = part(CURLUPART_SCHEME);
    if ((scheme != "http" && scheme != "https") || part(CURLUPART_HOST).empty())
        return nullptr;
    return url;
}

bool hasLineBreakOrNul(const std::string& text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// What a failed transfer means in the URL-loading codes callers and web views report.
long urlErrorCode(CURLcode result, CURL* easy)
{
    switch (result) {
    case CURLE_UNSUPPORTED_PROTOCOL:
        return urlerror::unsupportedURL;
    case CURLE_URL_MALFORMAT:
        return urlerror::badURL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
        return urlerror::cannotFindHost;
    case CURLE_COULDNT_CONNECT: {
        long osError = 0;
        curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osError);
        return osError == ENETUNREACH || osError == ENETDOWN ? urlerror::notConnectedToInternet
                                                             : urlerror::cannotConnectToHost;
    }
    case CURLE_OPERATION_TIMEDOUT:
        return urlerror::timedOut;
    case CURLE_TOO_MANY_REDIRECTS:
        return urlerror::httpTooManyRedirects;
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return urlerror::networkConnectionLost;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
        return urlerror::badServerResponse;
    case CURLE_FILESIZE_EXCEEDED:
        return urlerror::dataLengthExceedsMaximum;
    case CURLE_ABORTED_BY_CALLBACK:
        return urlerror::cancelled;
    case CURLE_PEER_FAILED_VERIFICATION: {
        // OpenSSL's verification result tells a date problem from an unknown issuer.
        long verify = 0;
        curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
        switch (verify) {
        case 9: // certificate is not yet valid
            return urlerror::serverCertificateNotYetValid;
        case 10: // certificate has expired
            return urlerror::serverCertificateHasBadDate;
        case 2:  // unable to get the issuer certificate
        case 19: // self-signed certificate in the chain
        case 20: // unable to get the local issuer certificate
            return urlerror::serverCertificateHasUnknownRoot;
        default:
            return urlerror::serverCertificateUntrusted;
        }
    }
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return urlerror::secureConnectionFailed;
    default:
        return urlerror::unknown;
    }
}

} // namespace

// Everything one transfer needs while curl runs it. The driver owns it while it is in flight;
// the URLConnection handle points at it and is pointed back at weakly.
struct URLTransfer {
    CURL* easy{nullptr};
    CurlUrl url; // curl reads it while the transfer runs
    curl_slist* headers{nullptr};
    std::shared_ptr<CurlDriver> driver;
    std::weak_ptr<URLConnection> owner;
    URLConnection::Request request;
    URLConnection::Callbacks callbacks;
    std::unique_ptr<RunLoop::RealTimeHold> hold;
    RunLoop::EventId timeoutEvent{0};
    double lastActivity{0}; // loop time of the start or of the last bytes received
    std::chrono::steady_clock::time_point startedAt;
    URLConnection::Timing timing;
    bool running{false};
    bool cancelled{false};

    // The response being read: a header line starting with "HTTP/" begins a new one.
    URLConnection::Response current;
    bool currentIsInterim{false};
    std::size_t bodyBytes{0};
    std::optional<URLConnection::Error> abortError;
    // curl's own words for a failure ("SSL certificate problem: self-signed certificate"),
    // more telling than the generic text of its result code.
    char errorText[CURL_ERROR_SIZE]{};

    ~URLTransfer()
    {
        if (headers)
            curl_slist_free_all(headers);
        if (easy)
            curl_easy_cleanup(easy);
        url.reset(); // after the handle that reads it
    }
};

// One curl multi handle per run loop, driven by the loop's descriptor watches and timers.
class CurlDriver final : public std::enable_shared_from_this<CurlDriver> {
public:
    static std::shared_ptr<CurlDriver> forLoop(RunLoop& loop);
    // Drops the loop's driver, and with it curl's connection cache, unless transfers run.
    static void dropIdle(RunLoop& loop);
    bool idle() const { return m_transfers.empty(); }

    explicit CurlDriver(std::weak_ptr<RunLoop> loop);
    ~CurlDriver();

    bool add(const std::shared_ptr<URLTransfer>& transfer);
    void cancel(const std::shared_ptr<URLTransfer>& transfer);
    void timeOut(const std::shared_ptr<URLTransfer>& transfer);
    std::weak_ptr<RunLoop> loop() const { return m_loop; }

    static std::size_t onHeader(char* data, std::size_t size, std::size_t count, void* user);
    static std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user);

private:
    static int onSocketChange(CURL*, curl_socket_t fd, int what, void* user, void*);
    static int onTimerChange(CURLM*, long timeoutMs, void* user);

    void socketAction(curl_socket_t fd, int flags);
    void collectFinished();
    // Takes the transfer out of curl and lets go of its resources; no callback.
    void detach(const std::shared_ptr<URLTransfer>& transfer);
    void detachDeferred();

    std::weak_ptr<RunLoop> m_loop;
    CURLM* m_multi{nullptr};
    std::unordered_map<curl_socket_t, RunLoop::WatchId> m_watches;
    RunLoop::EventId m_timer{0};
    std::unordered_map<CURL*, std::shared_ptr<URLTransfer>> m_transfers;
    // Cancellations that arrived while curl was on the stack; curl may not lose a handle then.
    std::vector<std::shared_ptr<URLTransfer>> m_deferred;
    int m_insideCurl{0};
};

namespace {
struct DriverEntry {
    std::weak_ptr<RunLoop> loop;
    std::shared_ptr<CurlDriver> driver;
};
std::vector<DriverEntry>& driverRegistry()
{
    static std::vector<DriverEntry> registry;
    return registry;
}
} // namespace

void CurlDriver::dropIdle(RunLoop& loop)
{
    auto shared = loop.shared_from_this();
    std::erase_if(driverRegistry(), [&](const DriverEntry& e) {
        return e.loop.expired() || (e.loop.lock() == shared && e.driver->idle());
    });
}

std::shared_ptr<CurlDriver> CurlDriver::forLoop(RunLoop& loop)
{
    using Entry = DriverEntry;
    auto& registry = driverRegistry();
    // Drivers of loops that are gone only hold idle connections: drop them.
    std::erase_if(registry, [](const Entry& e) { return e.loop.expired(); });
    auto shared = loop.shared_from_this();
    for (auto& entry : registry)
        if (entry.loop.lock() == shared)
            return entry.driver;
    auto driver = std::make_shared<CurlDriver>(shared);
    registry.push_back({shared, driver});
    return driver;
}

CurlDriver::CurlDriver(std::weak_ptr<RunLoop> loop) : m_loop(std::move(loop))
{
    initCurlOnce();
    m_multi = curl_multi_init();
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, &CurlDriver::onSocketChange);
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, &CurlDriver::onTimerChange);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERDATA, this);
}

CurlDriver::~CurlDriver()
{
    // Transfers keep the driver alive, so none is left here.
    curl_multi_setopt(m_multi, CURLMOPT_SOCKETFUNCTION, nullptr);
    curl_multi_setopt(m_multi, CURLMOPT_TIMERFUNCTION, nullptr);
    if (auto loop = m_loop.lock()) {
        for (auto& [fd, watch] : m_watches)
            loop->unwatchFd(watch);
        if (m_timer)
            loop->cancel(m_timer);
    }
    curl_multi_cleanup(m_multi);
}

int CurlDriver::onSocketChange(CURL*, curl_socket_t fd, int what, void* user, void*)
{
    auto* self = static_cast<CurlDriver*>(user);
    auto loop = self->m_loop.lock();
    if (!loop)
        return 0;
    auto it = self->m_watches.find(fd);
    if (what == CURL_POLL_REMOVE) {
        if (it != self->m_watches.end()) {
            loop->unwatchFd(it->second);
            self->m_watches.erase(it);
        }
        return 0;
    }
    unsigned events = 0;
    if (what == CURL_POLL_IN || what == CURL_POLL_INOUT)
        events |= RunLoop::Readable;
    if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT)
        events |= RunLoop::Writable;
    if (it != self->m_watches.end()) {
        loop->updateWatch(it->second, events);
        return 0;
    }
    std::weak_ptr<CurlDriver> weak = self->weak_from_this();
    self->m_watches[fd] = loop->watchFd(fd, events, [weak, fd](unsigned ready) {
        auto driver = weak.lock();
        if (!driver)
            return;
        int flags = 0;
        if (ready & RunLoop::Readable)
            flags |= CURL_CSELECT_IN;
        if (ready & RunLoop::Writable)
            flags |= CURL_CSELECT_OUT;
        if (ready & RunLoop::Error)
            flags |= CURL_CSELECT_ERR;
        driver->socketAction(fd, flags);
    });
    return 0;
}

int CurlDriver::onTimerChange(CURLM*, long timeoutMs, void* user)
{
    auto* self = static_cast<CurlDriver*>(user);
    auto loop = self->m_loop.lock();
    if (!loop)
        return 0;
    if (self->m_timer) {
        loop->cancel(self->m_timer);
        self->m_timer = 0;
    }
    if (timeoutMs < 0)
        return 0;
    // curl may not be called back into from here: act on the next turn of the loop.
    std::weak_ptr<CurlDriver> weak = self->weak_from_this();
    self->m_timer = loop->scheduleAfter(double(timeoutMs) / 1000.0, [weak] {
        if (auto driver = weak.lock()) {
            driver->m_timer = 0;
            driver->socketAction(CURL_SOCKET_TIMEOUT, 0);
        }
    });
    return 0;
}

void CurlDriver::socketAction(curl_socket_t fd, int flags)
{
    auto keep = shared_from_this();
    int running = 0;
    ++m_insideCurl;
    curl_multi_socket_action(m_multi, fd, flags, &running);
    --m_insideCurl;
    detachDeferred();
    collectFinished();
}

bool CurlDriver::add(const std::shared_ptr<URLTransfer>& transfer)
{
    ++m_insideCurl;
    CURLMcode code = curl_multi_add_handle(m_multi, transfer->easy);
    --m_insideCurl;
    if (code != CURLM_OK)
        return false;
    m_transfers[transfer->easy] = transfer;
    ++g_liveTransfers;
    return true;
}

void CurlDriver::detach(const std::shared_ptr<URLTransfer>& transfer)
{
    if (!transfer->running)
        return;
    transfer->running = false;
    curl_multi_remove_handle(m_multi, transfer->easy);
    m_transfers.erase(transfer->easy);
    --g_liveTransfers;
    if (auto loop = m_loop.lock(); loop && transfer->timeoutEvent)
        loop->cancel(transfer->timeoutEvent);
    transfer->timeoutEvent = 0;
    transfer->hold.reset();
    // A finished transfer no longer keeps the driver (and its idle connections) alive.
    transfer->driver.reset();
}

void CurlDriver::detachDeferred()
{
    if (m_insideCurl)
        return;
    auto deferred = std::move(m_deferred);
    m_deferred.clear();
    for (auto& transfer : deferred) {
        detach(transfer);
        transfer->callbacks = {};
    }
}

void CurlDriver::cancel(const std::shared_ptr<URLTransfer>& transfer)
{
    if (transfer->cancelled)
        return;
    transfer->cancelled = true;
    if (!transfer->running) {
        transfer->callbacks = {};
        return;
    }
    // Inside curl a body or response callback may be running (its std::function lives in
    // the transfer) and curl may not lose the handle: let go once curl has returned.
    // Outside curl no callback of this transfer runs from its own storage.
    if (m_insideCurl) {
        m_deferred.push_back(transfer);
        return;
    }
    auto keep = shared_from_this();
    detach(transfer);
    transfer->callbacks = {};
}

void CurlDriver::timeOut(const std::shared_ptr<URLTransfer>& transfer)
{
    transfer->timeoutEvent = 0;
    if (!transfer->running || transfer->cancelled)
        return;
    auto keep = shared_from_this();
    detach(transfer);
    auto callbacks = std::move(transfer->callbacks);
    transfer->callbacks = {};
    auto owner = transfer->owner.lock();
    if (owner && callbacks.onFail)
        callbacks.onFail(*owner, {URLConnection::ErrorKind::TimedOut, "the request timed out", urlerror::timedOut});
}

namespace {

// curl counts from when it took the transfer up; the timing counts from start().
void noteTiming(URLTransfer& transfer)
{
    auto& t = transfer.timing;
    t.delivered = std::chrono::duration<double>(std::chrono::steady_clock::now() - transfer.startedAt).count();
    curl_off_t connect = 0, sent = 0, first = 0, total = 0;
    long connects = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_CONNECT_TIME_T, &connect);
    curl_easy_getinfo(transfer.easy, CURLINFO_PRETRANSFER_TIME_T, &sent);
    curl_easy_getinfo(transfer.easy, CURLINFO_STARTTRANSFER_TIME_T, &first);
    curl_easy_getinfo(transfer.easy, CURLINFO_TOTAL_TIME_T, &total);
    curl_easy_getinfo(transfer.easy, CURLINFO_NUM_CONNECTS, &connects);
    // The whole answer was in before this loop saw the end: curl's start is that much earlier.
    t.curlStarted = std::max(0.0, t.delivered - double(total) / 1e6);
    t.connected = t.curlStarted + double(connect) / 1e6;
    t.requestSent = t.curlStarted + double(sent) / 1e6;
    t.firstByte = first > 0 ? t.curlStarted + double(first) / 1e6 : -1;
    t.lastByte = t.curlStarted + double(total) / 1e6;
    t.reusedConnection = connects == 0;
}

} // namespace

void CurlDriver::collectFinished()
{
    auto keep = shared_from_this();
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(m_multi, &left)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        auto it = m_transfers.find(msg->easy_handle);
        if (it == m_transfers.end())
            continue;
        auto transfer = it->second;
        CURLcode result = msg->data.result;
        noteTiming(*transfer);
        detach(transfer);
        if (transfer->cancelled)
            continue;
        auto callbacks = std::move(transfer->callbacks);
        transfer->callbacks = {};
        auto owner = transfer->owner.lock();
        if (!owner)
            continue;
        if (result == CURLE_OK) {
            if (callbacks.onFinish)
                callbacks.onFinish(*owner);
            continue;
        }
        URLConnection::Error error;
        const long code = urlErrorCode(result, transfer->easy);
        std::string message = transfer->errorText[0] ? std::string(transfer->errorText) : curl_easy_strerror(result);
        if (transfer->abortError) {
            error = *transfer->abortError;
        } else if (result == CURLE_TOO_MANY_REDIRECTS) {
            error = {URLConnection::ErrorKind::TooManyRedirects, std::move(message), code};
        } else if (result == CURLE_OPERATION_TIMEDOUT) {
            error = {URLConnection::ErrorKind::TimedOut, std::move(message), code};
        } else {
            error = {URLConnection::ErrorKind::Network, std::move(message), code};
        }
        if (callbacks.onFail)
            callbacks.onFail(*owner, error);
    }
}

namespace {

void noteActivity(URLTransfer& transfer)
{
    if (!transfer.driver)
        return;
    if (auto loop = transfer.driver->loop().lock())
        transfer.lastActivity = loop->now();
}

void armTimeout(const std::shared_ptr<URLTransfer>& transfer, RunLoop& loop)
{
    std::weak_ptr<URLTransfer> weak = transfer;
    const double due = transfer->lastActivity + std::max(0.0, transfer->request.timeout);
    transfer->timeoutEvent = loop.scheduleAt(due, [weak, due] {
        auto t = weak.lock();
        if (!t || !t->driver)
            return;
        t->timeoutEvent = 0;
        auto loop = t->driver->loop().lock();
        if (loop && t->lastActivity + std::max(0.0, t->request.timeout) > due) {
            armTimeout(t, *loop); // bytes came meanwhile
            return;
        }
        t->driver->timeOut(t);
    });
}

} // namespace

std::size_t CurlDriver::onHeader(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<URLTransfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->cancelled)
        return 0;
    noteActivity(*transfer);
    std::string_view line(data, bytes);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);

    if (startsWithNoCase(line, "HTTP/")) {
        transfer->current = {};
        auto space = line.find(' ');
        int status = 0;
        if (space != std::string_view::npos) {
            for (std::size_t i = space + 1; i < line.size() && i < space + 4; ++i) {
                if (line[i] < '0' || line[i] > '9') {
                    status = 0;
                    break;
                }
                status = status * 10 + (line[i] - '0');
            }
        }
        transfer->current.statusCode = status;
        transfer->currentIsInterim = status >= 100 && status < 200;
        return bytes;
    }
    if (!line.empty()) {
        auto colon = line.find(':');
        if (colon != std::string_view::npos) {
            std::string_view value = line.substr(colon + 1);
            while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
                value.remove_prefix(1);
            std::string name(line.substr(0, colon));
            if (startsWithNoCase(name, "content-length") && name.size() == 14) {
                try {
                    transfer->current.expectedContentLength = std::stoll(std::string(value));
                } catch (...) {
                    transfer->current.expectedContentLength = -1;
                }
            }
            transfer->current.headers.emplace_back(std::move(name), std::string(value));
        }
        return bytes;
    }
    // The blank line ends one response's headers.
    if (transfer->currentIsInterim)
        return bytes;
    char* effective = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &effective);
    transfer->current.url = effective ? effective : transfer->request.url;
    transfer->bodyBytes = 0;
    // A body announced larger than the cap fails at once; a followed redirect's body is
    // never delivered, so it does not count.
    const int code = transfer->current.statusCode;
    const bool redirect = code >= 300 && code < 400 && transfer->request.maxRedirects > 0;
    if (!redirect && transfer->request.maxBodyBytes && transfer->current.expectedContentLength > 0 &&
        std::uint64_t(transfer->current.expectedContentLength) > transfer->request.maxBodyBytes) {
        transfer->abortError =
            URLConnection::Error{URLConnection::ErrorKind::BodyTooLarge, "the body is larger than allowed",
                                 urlerror::dataLengthExceedsMaximum};
        return 0;
    }
    auto owner = transfer->owner.lock();
    if (owner && transfer->callbacks.onResponse)
        transfer->callbacks.onResponse(*owner, transfer->current);
    return transfer->cancelled ? 0 : bytes;
}

std::size_t CurlDriver::onBody(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<URLTransfer*>(user);
    const std::size_t bytes = size * count;
    if (transfer->cancelled)
        return 0;
    if (transfer->request.maxBodyBytes && transfer->bodyBytes + bytes > transfer->request.maxBodyBytes) {
        transfer->abortError =
            URLConnection::Error{URLConnection::ErrorKind::BodyTooLarge, "the body is larger than allowed",
                                 urlerror::dataLengthExceedsMaximum};
        return 0;
    }
    noteActivity(*transfer);
    transfer->bodyBytes += bytes;
    auto owner = transfer->owner.lock();
    if (owner && transfer->callbacks.onData)
        transfer->callbacks.onData(*owner, reinterpret_cast<const std::uint8_t*>(data), bytes);
    return transfer->cancelled ? 0 : bytes;
}

std::shared_ptr<URLConnection> URLConnection::start(Request request, Callbacks callbacks, RunLoop& loop)
{
    CurlUrl url = readHTTPURL(request.url);
    if (!url)
        return nullptr;
    for (const auto& [name, value] : request.headers)
        if (name.empty() || hasLineBreakOrNul(name) || hasLineBreakOrNul(value) || name.find(':') != std::string::npos)
            return nullptr;

    initCurlOnce();
    auto transfer = std::make_shared<URLTransfer>();
    transfer->easy = curl_easy_init();
    if (!transfer->easy)
        return nullptr;
    transfer->request = std::move(request);
    transfer->callbacks = std::move(callbacks);
    for (const auto& [name, value] : transfer->request.headers) {
        // "Name;" is curl's way to send a header with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        curl_slist* grown = curl_slist_append(transfer->headers, line.c_str());
        if (!grown)
            return nullptr;
        transfer->headers = grown;
    }

    CURL* easy = transfer->easy;
    transfer->url = std::move(url);
    curl_easy_setopt(easy, CURLOPT_CURLU, transfer->url.get());
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, transfer->request.maxRedirects > 0 ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, long(std::max(0, transfer->request.maxRedirects)));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer->headers);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &CurlDriver::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &CurlDriver::onBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->errorText);

    auto driver = CurlDriver::forLoop(loop);
    transfer->driver = driver;
    std::shared_ptr<URLConnection> connection(new URLConnection());
    connection->m_transfer = transfer;
    transfer->owner = connection;
    transfer->running = true;
    transfer->hold = loop.holdRealTime();
    transfer->startedAt = std::chrono::steady_clock::now();
    if (!driver->add(transfer)) {
        transfer->running = false;
        transfer->hold.reset();
        transfer->callbacks = {};
        return nullptr;
    }
    transfer->lastActivity = loop.now();
    armTimeout(transfer, loop);
    return connection;
}

URLConnection::~URLConnection()
{
    cancel();
}

void URLConnection::cancel()
{
    if (m_transfer && m_transfer->driver)
        m_transfer->driver->cancel(m_transfer);
}

bool URLConnection::isRunning() const
{
    return m_transfer && m_transfer->running && !m_transfer->cancelled;
}

const std::string& URLConnection::url() const
{
    return m_transfer->request.url;
}

const URLConnection::Timing& URLConnection::timing() const
{
    return m_transfer->timing;
}

void URLConnection::closeIdleConnections(RunLoop& loop)
{
    CurlDriver::dropIdle(loop);
}

std::size_t URLConnection::liveTransferCount()
{
    return g_liveTransfers.load();
}

} // namespace platform
