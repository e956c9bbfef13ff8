#include "adnetdemo/DemoServer.h"

#include "Files.h"
#include "Inventory.h"
#include "Text.h"
#include "platform/core/Bundle.h"

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

namespace adnetdemo {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Pictures and pages are ours, but the inventory folder is a command-line option: cap reads.
constexpr std::size_t maxServedFile = 16 * 1024 * 1024;
constexpr const char* demoHeader = "X-AdNet-Demo-Request";
constexpr std::size_t maxWorkers = 64;

struct Answer {
    int status{200};
    std::string contentType{"text/plain; charset=utf-8"};
    std::string body;
    std::string location; // for redirects
    std::string adId;
};

Answer textAnswer(int status, std::string body)
{
    Answer answer;
    answer.status = status;
    answer.body = std::move(body) + "\n";
    return answer;
}

Answer htmlError(int status, const std::string& title)
{
    Answer answer;
    answer.status = status;
    answer.contentType = "text/html; charset=utf-8";
    answer.body = "<!DOCTYPE html>\n<html><head><title>" + title + "</title></head><body><h1>" + title +
                  "</h1><p>AdNet demo server</p></body></html>\n";
    return answer;
}

FetchSet classify(const std::string& path)
{
    auto starts = [&](std::string_view prefix) { return path.rfind(prefix, 0) == 0; };
    if (path == "/ad_source.php")
        return fetch::adRequest;
    if (starts("/static/sdk/browser/"))
        return fetch::browserIcon;
    if (starts("/static/sdk/img/"))
        return fetch::actionIcon;
    if (starts("/static/ads/icons/"))
        return fetch::adIcon;
    if (starts("/static/ads/banners/"))
        return fetch::bannerImage;
    if (starts("/cpm/"))
        return fetch::pixel;
    if (starts("/click/"))
        return fetch::clickDocument;
    if (path == "/static/sdk/canvas.html")
        return fetch::canvasPage;
    if (starts("/landing/") || starts("/go/"))
        return fetch::landingPage;
    return fetch::other;
}

bool applies(Fault fault, FetchSet kind)
{
    switch (fault) {
    case Fault::none:
        return false;
    case Fault::badJson:
        return kind == fetch::adRequest || kind == fetch::clickDocument;
    case Fault::missingKey:
        return kind == fetch::adRequest || kind == fetch::clickDocument;
    case Fault::notAnImage:
        return (kind & fetch::images) != 0;
    default:
        return true;
    }
}

// Host names the server writes back into answers: letters, digits, dots, dashes, a port and
// IPv6 brackets. Anything else in a Host header is ignored.
bool isPlainHost(const std::string& host)
{
    if (host.empty() || host.size() > 255)
        return false;
    return std::all_of(host.begin(), host.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '-' || c == ':' || c == '[' || c == ']';
    });
}

std::string replaceAll(std::string text, std::string_view from, std::string_view to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// What goes to a terminal: control bytes from the network become '?', and long targets are
// cut so that one request stays one readable line.
std::string printable(std::string_view text, std::size_t limit = 2000)
{
    std::string out;
    for (char c : text.substr(0, limit)) {
        auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
    if (text.size() > limit)
        out += "...";
    return out;
}

std::string utcTimestamp()
{
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buffer;
}

// Pads a body past a cap while keeping it what it was: JSON ignores what follows its
// closing brace (the client reads up to it), PNG and GIF decoders stop at their end
// marker, and HTML gets a comment.
void pad(std::string& body, std::size_t size, FetchSet kind)
{
    if (body.size() >= size)
        return;
    std::size_t extra = size - body.size();
    if (kind & fetch::images) {
        body.append(extra, '\0');
    } else if (body.rfind("<!DOCTYPE", 0) == 0 || body.rfind("<html", 0) == 0) {
        if (extra < 8) {
            body.append(extra, '\n');
            return;
        }
        body += "<!--";
        body.append(extra - 7, ' ');
        body += "-->";
    } else {
        body.append(extra, ' ');
    }
}

} // namespace

// ---------------------------------------------------------------------------------------

std::optional<std::string> RequestRecord::header(std::string_view name) const
{
    auto same = [&](const std::string& other) {
        return other.size() == name.size() && std::equal(other.begin(), other.end(), name.begin(), [](char a, char b) {
                   return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
               });
    };
    std::optional<std::string> found;
    for (const auto& [key, value] : headers) {
        if (same(key))
            found = value;
    }
    return found;
}

std::optional<std::string> RequestRecord::param(std::string_view key) const
{
    std::optional<std::string> found;
    for (const auto& [k, v] : query) {
        if (k == key)
            found = v;
    }
    return found;
}

fs::path defaultInventory()
{
    return platform::defaultResourceDirectory() / "adnet";
}

// ---------------------------------------------------------------------------------------

struct DemoServer::Impl {
    explicit Impl(ServerOptions o) : options(std::move(o)) { }

    ServerOptions options;
    std::unique_ptr<httplib::Server> server;
    std::thread thread;
    std::atomic<int> port{0};
    std::atomic<bool> running{false};
    Clock::time_point startedAt{Clock::now()};

    mutable std::mutex mutex;                // guards everything below
    mutable std::condition_variable changed; // the log grew, or the server is stopping
    bool stopping{false};
    std::optional<Inventory> inventory;
    std::vector<FaultSpec> faults;
    std::optional<std::string> pinned;
    std::size_t nextLive{0};
    std::size_t nextTest{0};
    std::vector<RequestRecord> log;
    std::uint64_t sequence{0};

    std::mutex logLineMutex; // keeps lines whole when several handlers finish at once

    double secondsSinceStart() const { return std::chrono::duration<double>(Clock::now() - startedAt).count(); }

    void handle(const httplib::Request& req, httplib::Response& res);
    void logUnhandled(const httplib::Request& req, const httplib::Response& res);
    Answer answerFor(FetchSet kind, const RequestRecord& record, const std::string& base,
                     const std::optional<FaultSpec>& fault);
    Answer adAnswer(const RequestRecord& record, const std::string& base, const std::optional<FaultSpec>& fault);
    Answer clickAnswer(const std::string& id, const std::string& base, const std::optional<FaultSpec>& fault);
    Answer fileAnswer(const std::string& path);
    Answer controlAnswer(const RequestRecord& record);
    std::optional<FaultSpec> takeFault(FetchSet kind);
    std::string landingUrl(const DemoAd& ad, const std::string& base) const;
    void finish(RequestRecord record);
};

std::optional<FaultSpec> DemoServer::Impl::takeFault(FetchSet kind)
{
    std::lock_guard lock(mutex);
    for (auto& spec : faults) {
        if (spec.times == 0 || !(spec.fetches & kind) || !applies(spec.fault, kind))
            continue;
        if (spec.times > 0)
            --spec.times;
        return spec;
    }
    return std::nullopt;
}

std::string DemoServer::Impl::landingUrl(const DemoAd& ad, const std::string& base) const
{
    if (ad.landing.find(':') != std::string::npos)
        return ad.landing;
    return base + "/" + ad.landing;
}

Answer DemoServer::Impl::adAnswer(const RequestRecord& record, const std::string& base,
                                  const std::optional<FaultSpec>& fault)
{
    if (!record.hasParam("s"))
        return textAnswer(400, "missing publisher id (query key \"s\")");

    const DemoAd* ad = nullptr;
    {
        std::lock_guard lock(mutex);
        if (pinned)
            ad = inventory->find(*pinned);
        if (!ad) {
            // Live and test ads rotate separately; an inventory without test ads serves its
            // live ads to test requests too.
            std::vector<const DemoAd*> pool;
            for (const auto& candidate : inventory->ads) {
                if (candidate.info.testAd == record.testMode)
                    pool.push_back(&candidate);
            }
            if (pool.empty()) {
                for (const auto& candidate : inventory->ads)
                    pool.push_back(&candidate);
            }
            std::size_t& next = record.testMode ? nextTest : nextLive;
            ad = pool[next % pool.size()];
            next = (next + 1) % pool.size();
        }
    }

    Answer answer;
    answer.adId = ad->info.id;
    answer.contentType = "application/json; charset=utf-8";
    if (fault && fault->fault == Fault::badJson) {
        // Starts like an answer and breaks off inside a string: no reader may accept it.
        answer.body = "{\"text\":" + jsonString(ad->info.text).substr(0, 12) + ",\"6\":\"";
        return answer;
    }
    std::string omit;
    if (fault && fault->fault == Fault::missingKey)
        omit = fault->key.empty() ? "url" : fault->key;

    std::vector<std::pair<std::string, std::string>> keys;
    if (!ad->info.text.empty())
        keys.emplace_back("text", ad->info.text);
    keys.emplace_back("6", ad->info.action);
    if (!ad->info.userString.empty())
        keys.emplace_back("8", ad->info.userString);
    keys.emplace_back("url", base + "/go/" + ad->info.id);
    keys.emplace_back("jsonp_url", base + "/click/" + ad->info.id);
    if (ad->info.banner)
        keys.emplace_back("banner", base + "/" + ad->banner);
    else
        keys.emplace_back("204", "/" + ad->icon);
    if (ad->pixelMode == PixelMode::url)
        keys.emplace_back("cpm_url", base + "/cpm/" + ad->info.id);
    else if (ad->pixelMode == PixelMode::empty)
        keys.emplace_back("cpm_url", "");

    std::string body = "{";
    for (const auto& [key, value] : keys) {
        if (key == omit)
            continue;
        if (body.size() > 1)
            body += ",";
        body += jsonString(key) + ":" + jsonString(value);
    }
    body += "}";
    answer.body = std::move(body);
    return answer;
}

Answer DemoServer::Impl::clickAnswer(const std::string& id, const std::string& base,
                                     const std::optional<FaultSpec>& fault)
{
    const DemoAd* ad = inventory->find(id);
    if (!ad)
        return htmlError(404, "Not Found");
    Answer answer;
    answer.adId = id;
    answer.contentType = "application/json; charset=utf-8";
    if (fault && fault->fault == Fault::badJson) {
        answer.body = "{\"redirect_url\" \"" + landingUrl(*ad, base) + "\"}";
        return answer;
    }
    if (fault && fault->fault == Fault::missingKey) {
        answer.body = "{\"status\":\"ok\"}";
        return answer;
    }
    auto document = readFileBounded(ad->clickDocument, maxInventoryFile);
    if (!document)
        return htmlError(500, "Internal Server Error");
    // The documents name the server as {{base}} so that they work on any port; JSON escapes
    // "/" in the old server's manner, so both spellings are filled in.
    std::string escapedBase = jsonString(base);
    escapedBase = escapedBase.substr(1, escapedBase.size() - 2);
    answer.body = replaceAll(std::move(*document), "{{base}}", escapedBase);
    return answer;
}

Answer DemoServer::Impl::fileAnswer(const std::string& path)
{
    auto file = resolveBelow(inventory->webRoot, path);
    if (!file) {
        std::string index = path.empty() || path.back() == '/' ? path + "index.html" : std::string{};
        if (!index.empty())
            file = resolveBelow(inventory->webRoot, index);
        if (!file)
            return htmlError(404, "Not Found");
    }
    auto body = readFileBounded(*file, maxServedFile);
    if (!body)
        return htmlError(500, "Internal Server Error");
    Answer answer;
    answer.contentType = contentTypeFor(*file);
    answer.body = std::move(*body);
    return answer;
}

Answer DemoServer::Impl::controlAnswer(const RequestRecord& record)
{
    const std::string& path = record.path;
    if (path == "/control/fault") {
        auto spec = record.param("spec");
        if (!spec)
            return textAnswer(400, "give the fault as ?spec=KIND[=VALUE][@FETCHES][*TIMES]");
        std::string error;
        auto parsed = parseFault(*spec, &error);
        if (!parsed)
            return textAnswer(400, error);
        std::lock_guard lock(mutex);
        if (!record.hasParam("add"))
            faults.clear();
        faults.push_back(*parsed);
        return textAnswer(200, "fault " + describeFault(*parsed));
    }
    if (path == "/control/clear") {
        std::lock_guard lock(mutex);
        faults.clear();
        return textAnswer(200, "no faults");
    }
    if (path == "/control/pin") {
        auto id = record.param("ad").value_or("");
        std::lock_guard lock(mutex);
        if (!inventory->find(id))
            return textAnswer(404, "no ad \"" + id + "\"");
        pinned = id;
        return textAnswer(200, "pinned " + id);
    }
    if (path == "/control/unpin") {
        std::lock_guard lock(mutex);
        pinned.reset();
        return textAnswer(200, "rotating");
    }
    if (path == "/control/status") {
        std::lock_guard lock(mutex);
        std::string text = "ads:";
        for (const auto& ad : inventory->ads)
            text += " " + ad.info.id + (ad.info.testAd ? "(test)" : "");
        text += "\npinned: " + pinned.value_or("none") + "\nfaults:";
        for (const auto& spec : faults)
            text += " " + describeFault(spec);
        if (faults.empty())
            text += " none";
        text += "\nrequests: " + std::to_string(sequence);
        return textAnswer(200, text);
    }
    return textAnswer(404, "control URLs: /control/fault?spec=..[&add], /control/clear, "
                           "/control/pin?ad=ID, /control/unpin, /control/status");
}

Answer DemoServer::Impl::answerFor(FetchSet kind, const RequestRecord& record, const std::string& base,
                                   const std::optional<FaultSpec>& fault)
{
    const std::string& path = record.path;
    auto idAfter = [&](std::string_view prefix) { return path.substr(prefix.size()); };
    switch (kind) {
    case fetch::adRequest:
        return adAnswer(record, base, fault);
    case fetch::clickDocument:
        return clickAnswer(idAfter("/click/"), base, fault);
    case fetch::pixel: {
        const DemoAd* ad = inventory->find(idAfter("/cpm/"));
        if (!ad)
            return htmlError(404, "Not Found");
        Answer answer = fileAnswer("/static/ads/pixel.gif");
        answer.adId = ad->info.id;
        return answer;
    }
    default:
        break;
    }
    if (path.rfind("/go/", 0) == 0) {
        const DemoAd* ad = inventory->find(idAfter("/go/"));
        if (!ad)
            return htmlError(404, "Not Found");
        Answer answer = htmlError(302, "Found");
        answer.location = landingUrl(*ad, base);
        answer.adId = ad->info.id;
        return answer;
    }
    // What a demo page reports back (the canvas page: the two strings its callback got).
    // The request log keeps it; the answer is empty.
    if (path == "/report") {
        Answer answer;
        answer.status = 204;
        return answer;
    }
    return fileAnswer(path);
}

void DemoServer::Impl::finish(RequestRecord record)
{
    if (options.log) {
        std::string line = utcTimestamp() + " " + record.remoteAddress + " " + printable(record.method, 16) + " " +
                           printable(record.target) + " " + std::to_string(record.status) + " " +
                           std::to_string(record.bodyBytes) + " " + fetchName(record.fetch);
        if (!record.adId.empty())
            line += " ad=" + record.adId;
        if (record.testMode)
            line += " test";
        if (record.fault != Fault::none)
            line += std::string(" fault=") + faultName(record.fault);
        char ms[32];
        std::snprintf(ms, sizeof ms, " %.1fms", (record.answeredSeconds - record.receivedSeconds) * 1000);
        line += ms;
        std::lock_guard lock(logLineMutex);
        options.log(line);
    }
    {
        std::lock_guard lock(mutex);
        log.push_back(std::move(record));
    }
    changed.notify_all();
}

void DemoServer::Impl::handle(const httplib::Request& req, httplib::Response& res)
{
    RequestRecord record;
    record.receivedSeconds = secondsSinceStart();
    record.method = req.method;
    record.target = req.target;
    std::string_view target = req.target;
    std::size_t question = target.find('?');
    record.path = percentDecode(target.substr(0, std::min(question, target.find('#'))));
    if (question != std::string_view::npos) {
        std::string_view query = target.substr(question + 1);
        record.query = splitQuery(query.substr(0, query.find('#')));
    }
    for (const auto& [name, value] : req.headers) {
        // The library files the socket's addresses among the headers; they were not sent.
        if (name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT")
            continue;
        record.headers.emplace_back(name, value);
    }
    record.remoteAddress = req.remote_addr;
    record.testMode = record.param("m") == "test";
    record.fetch = classify(record.path);
    {
        std::lock_guard lock(mutex);
        record.sequence = ++sequence;
    }
    res.set_header(demoHeader, std::to_string(record.sequence));

    std::string host = req.get_header_value("Host");
    int ownPort = port.load();
    std::string base =
        "http://" + (isPlainHost(host)                  ? host
                     : options.bindAddress == "0.0.0.0" ? "127.0.0.1:" + std::to_string(ownPort)
                                                        : options.bindAddress + ":" + std::to_string(ownPort));

    Answer answer;
    std::optional<FaultSpec> fault;
    if (req.method != "GET" && req.method != "HEAD") {
        answer = htmlError(405, "Method Not Allowed");
    } else if (record.path.find('\0') != std::string::npos) {
        answer = htmlError(400, "Bad Request");
    } else if (options.control && record.path.rfind("/control/", 0) == 0) {
        answer = controlAnswer(record);
    } else {
        fault = takeFault(record.fetch);
        if (fault && fault->fault == Fault::slow) {
            std::unique_lock lock(mutex);
            changed.wait_for(lock, fault->delay, [&] { return stopping; });
        }
        if (fault && fault->fault == Fault::status500) {
            answer = htmlError(500, "Internal Server Error");
        } else {
            answer = answerFor(record.fetch, record, base, fault);
            if (fault && fault->fault == Fault::notAnImage && answer.status == 200) {
                answer.body = "This is not an image: the picture you asked for is on holiday.\n";
                // The label still says picture: the client must look at the bytes.
                answer.contentType = "image/png";
            }
        }
    }
    record.fault = fault ? fault->fault : Fault::none;
    record.adId = answer.adId;
    record.status = answer.status;

    if (fault && fault->fault == Fault::oversized && answer.status == 200) {
        std::size_t cap = (record.fetch & fetch::images) ? imageCap : documentCap;
        pad(answer.body, fault->bodyBytes ? fault->bodyBytes : cap + 1, record.fetch);
    }
    record.bodyBytes = answer.body.size();
    res.status = answer.status;
    if (!answer.location.empty())
        res.set_header("Location", answer.location);

    if (fault && fault->fault == Fault::truncated && answer.body.size() > 1) {
        auto body = std::make_shared<std::string>(std::move(answer.body));
        res.set_content_provider(body->size(), answer.contentType,
                                 [body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
                                     std::size_t half = body->size() / 2;
                                     if (offset >= half)
                                         return false; // the library closes the connection
                                     return sink.write(body->data() + offset, std::min(length, half - offset));
                                 });
    } else if (fault && fault->fault == Fault::oversized && fault->chunked && answer.status == 200) {
        auto body = std::make_shared<std::string>(std::move(answer.body));
        res.set_chunked_content_provider(answer.contentType, [body](std::size_t offset, httplib::DataSink& sink) {
            if (offset >= body->size()) {
                sink.done();
                return true;
            }
            std::size_t n = std::min<std::size_t>(64 * 1024, body->size() - offset);
            return sink.write(body->data() + offset, n);
        });
    } else {
        res.set_content(std::move(answer.body), answer.contentType);
    }
    record.answeredSeconds = secondsSinceStart();
    finish(std::move(record));
}

// Requests the library turned away before routing (a request line too long, a malformed
// header) still get a line in the log.
void DemoServer::Impl::logUnhandled(const httplib::Request& req, const httplib::Response& res)
{
    if (res.has_header(demoHeader))
        return;
    RequestRecord record;
    record.receivedSeconds = record.answeredSeconds = secondsSinceStart();
    record.method = req.method;
    record.target = req.target.substr(0, 200);
    record.remoteAddress = req.remote_addr;
    record.status = res.status;
    record.bodyBytes = res.body.size();
    {
        std::lock_guard lock(mutex);
        record.sequence = ++sequence;
    }
    finish(std::move(record));
}

// ---------------------------------------------------------------------------------------

DemoServer::DemoServer(ServerOptions options) : impl_(std::make_unique<Impl>(std::move(options)))
{
}

DemoServer::~DemoServer()
{
    stop();
}

bool DemoServer::start(std::string* error)
{
    auto fail = [&](std::string message) {
        if (error)
            *error = std::move(message);
        return false;
    };
    if (impl_->running)
        return fail("the server is running already");
    fs::path root = impl_->options.inventory.empty() ? defaultInventory() : impl_->options.inventory;
    std::string reason;
    auto inventory = Inventory::load(root, &reason);
    if (!inventory)
        return fail(reason);
    if (impl_->options.port < 0 || impl_->options.port > 65535)
        return fail("port " + std::to_string(impl_->options.port) + " is out of range (0 to 65535)");

    auto server = std::make_unique<httplib::Server>();
    // Every request is a GET: a body has no business being large, and a peer that stalls
    // must not hold a worker for long.
    server->set_payload_max_length(64 * 1024);
    server->set_read_timeout(5, 0);
    server->set_write_timeout(5, 0);
    server->set_keep_alive_max_count(100);
    // Headers and body go out in separate writes; without this every answer waits about
    // 40 ms for the client's delayed acknowledgement.
    server->set_tcp_nodelay(true);
    // The library's default also sets SO_REUSEPORT, which lets a second server bind a port
    // that is in use and quietly share its requests. Reusing an address in TIME_WAIT is all
    // a restart needs.
    server->set_socket_options([](socket_t sock) {
        int yes = 1;
        ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Each connection holds a worker while it is open, kept-alive idle ones and slow
    // answers included; the library's default of 8 lets a few slow answers stall an ad
    // load's other downloads. Still a bound: beyond it connections wait in a queue.
    server->new_task_queue = [] { return new httplib::ThreadPool(maxWorkers); };
    Impl* impl = impl_.get();
    auto handler = [impl](const httplib::Request& req, httplib::Response& res) { impl->handle(req, res); };
    server->Get(".*", handler);
    server->Post(".*", handler);
    server->Put(".*", handler);
    server->Delete(".*", handler);
    server->Patch(".*", handler);
    server->Options(".*", handler);
    server->set_logger(
        [impl](const httplib::Request& req, const httplib::Response& res) { impl->logUnhandled(req, res); });

    int port = impl_->options.port;
    if (port == 0) {
        port = server->bind_to_any_port(impl_->options.bindAddress);
        if (port <= 0)
            return fail("cannot bind to " + impl_->options.bindAddress);
    } else if (!server->bind_to_port(impl_->options.bindAddress, port)) {
        return fail("cannot bind to " + impl_->options.bindAddress + " port " + std::to_string(port) +
                    " (in use, or not an address of this machine)");
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->inventory = std::move(inventory);
        impl_->stopping = false;
    }
    impl_->startedAt = Clock::now();
    impl_->port = port;
    impl_->server = std::move(server);
    httplib::Server* raw = impl_->server.get();
    impl_->thread = std::thread([raw] { raw->listen_after_bind(); });
    // The library's stop() does nothing until its loop runs: a stop() right after start()
    // would otherwise wait for ever.
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (!raw->is_running() && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl_->running = true;
    return true;
}

void DemoServer::stop()
{
    if (!impl_->server)
        return;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->changed.notify_all();
    impl_->server->stop();
    if (impl_->thread.joinable())
        impl_->thread.join();
    impl_->server.reset();
    impl_->running = false;
}

bool DemoServer::handleInProcess(Exchange& exchange, std::string* error)
{
    {
        std::lock_guard lock(impl_->mutex);
        if (!impl_->inventory) {
            fs::path root = impl_->options.inventory.empty() ? defaultInventory() : impl_->options.inventory;
            impl_->inventory = Inventory::load(root, error);
            if (!impl_->inventory)
                return false;
        }
    }
    httplib::Request req;
    req.method = exchange.method;
    req.target = exchange.target;
    for (const auto& [name, value] : exchange.headers)
        req.headers.emplace(name, value);
    httplib::Response res;
    impl_->handle(req, res);

    exchange.status = res.status;
    exchange.responseHeaders.assign(res.headers.begin(), res.headers.end());
    exchange.body = res.body;
    if (res.content_provider_) {
        // Streamed answers: collect what the provider writes until it stops or is done.
        bool more = true;
        httplib::DataSink sink;
        sink.write = [&](const char* data, std::size_t length) {
            exchange.body.append(data, length);
            return true;
        };
        sink.done = [&] { more = false; };
        sink.is_writable = [] { return true; };
        while (more) {
            const std::size_t before = exchange.body.size();
            const std::size_t left = res.content_length_ > before ? res.content_length_ - before : 0;
            if (!res.is_chunked_content_provider_ && left == 0)
                break;
            if (!res.content_provider_(before, left, sink) || exchange.body.size() == before)
                break;
        }
    }
    return true;
}

bool DemoServer::running() const
{
    return impl_->running;
}

int DemoServer::port() const
{
    return impl_->port;
}

std::string DemoServer::baseUrl() const
{
    std::string host = impl_->options.bindAddress == "0.0.0.0" ? "127.0.0.1" : impl_->options.bindAddress;
    if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    return "http://" + host + ":" + std::to_string(impl_->port);
}

std::string DemoServer::adRequestUrl() const
{
    return baseUrl() + "/ad_source.php";
}

void DemoServer::setFault(FaultSpec spec)
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults.clear();
    impl_->faults.push_back(std::move(spec));
}

void DemoServer::addFault(FaultSpec spec)
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults.push_back(std::move(spec));
}

void DemoServer::clearFaults()
{
    std::lock_guard lock(impl_->mutex);
    impl_->faults.clear();
}

std::vector<AdInfo> DemoServer::ads() const
{
    std::lock_guard lock(impl_->mutex);
    std::vector<AdInfo> out;
    if (impl_->inventory) {
        for (const auto& ad : impl_->inventory->ads)
            out.push_back(ad.info);
    } else {
        // Not started yet: read the inventory so that tests can choose an ad first.
        fs::path root = impl_->options.inventory.empty() ? defaultInventory() : impl_->options.inventory;
        if (auto inventory = Inventory::load(root, nullptr)) {
            for (const auto& ad : inventory->ads)
                out.push_back(ad.info);
        }
    }
    return out;
}

bool DemoServer::pinAd(const std::string& id)
{
    auto known = ads();
    if (std::none_of(known.begin(), known.end(), [&](const AdInfo& ad) { return ad.id == id; }))
        return false;
    std::lock_guard lock(impl_->mutex);
    impl_->pinned = id;
    return true;
}

void DemoServer::unpinAd()
{
    std::lock_guard lock(impl_->mutex);
    impl_->pinned.reset();
}

void DemoServer::resetRotation()
{
    std::lock_guard lock(impl_->mutex);
    impl_->nextLive = impl_->nextTest = 0;
}

std::vector<RequestRecord> DemoServer::requests() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

std::vector<RequestRecord> DemoServer::requests(FetchSet fetches) const
{
    std::lock_guard lock(impl_->mutex);
    std::vector<RequestRecord> out;
    for (const auto& record : impl_->log) {
        if (record.fetch & fetches)
            out.push_back(record);
    }
    return out;
}

std::size_t DemoServer::requestCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->log.size();
}

void DemoServer::clearRequests()
{
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

bool DemoServer::waitForRequests(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout, [&] { return impl_->log.size() >= count; });
}

} // namespace adnetdemo
