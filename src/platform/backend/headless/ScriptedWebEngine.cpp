#include "platform/backend/headless/ScriptedWebEngine.h"

#include <algorithm>
#include <cctype>

#include "platform/backend/headless/ScriptedWeb.h"
#include "platform/core/URL.h"
#include "platform/net/URLConnection.h"

namespace platform {

namespace {

constexpr std::size_t kMaxHistory = 100;
constexpr double kDefaultTimeout = 60;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

std::string_view trimmed(std::string_view s)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && (space(s.back()) || s.back() == ';'))
        s.remove_suffix(1);
    return s;
}

bool isName(std::string_view s)
{
    if (s.empty() || std::isdigit(static_cast<unsigned char>(s.front())))
        return false;
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$'; });
}

// The scheme as written ("ADNET" in "ADNET://x"), or "" when the text does not start with one.
std::string_view schemeOf(std::string_view url)
{
    std::size_t colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !std::isalpha(static_cast<unsigned char>(url[0])))
        return {};
    for (char c : url.substr(0, colon))
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.')
            return {};
    return url.substr(0, colon);
}

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::shared_ptr<ScriptedWebEngine> ScriptedWebEngine::create(std::weak_ptr<ScriptedWeb> web)
{
    return std::shared_ptr<ScriptedWebEngine>(new ScriptedWebEngine(std::move(web)));
}

ScriptedWebEngine::ScriptedWebEngine(std::weak_ptr<ScriptedWeb> web) : m_web(std::move(web))
{
}

ScriptedWebEngine::~ScriptedWebEngine()
{
    cancelPageNavigations();
    if (m_load && m_load->connection)
        m_load->connection->cancel();
    if (m_load && m_load->event)
        RunLoop::main().cancel(m_load->event);
}

// ---- navigation requests ----------------------------------------------------------------

void ScriptedWebEngine::load(const URLRequest& request)
{
    m_requested = request;
    schedule({request, WebViewNavigationType::Other, Into::NewEntry, -1});
}

void ScriptedWebEngine::goBack()
{
    if (!canGoBack())
        return;
    URLRequest request = m_history[std::size_t(m_index - 1)].request;
    request.cachePolicy = URLRequestCachePolicy::ReturnCacheDataElseLoad;
    schedule({request, WebViewNavigationType::BackForward, Into::HistoryIndex, m_index - 1});
}

void ScriptedWebEngine::goForward()
{
    if (!canGoForward())
        return;
    URLRequest request = m_history[std::size_t(m_index + 1)].request;
    request.cachePolicy = URLRequestCachePolicy::ReturnCacheDataElseLoad;
    schedule({request, WebViewNavigationType::BackForward, Into::HistoryIndex, m_index + 1});
}

void ScriptedWebEngine::reload()
{
    // The page shown; before any page was shown, the last one asked for (a failed load).
    std::optional<URLRequest> target =
        m_index >= 0 ? std::optional(m_history[std::size_t(m_index)].request) : m_requested;
    if (!target)
        return;
    if (target->cachePolicy == URLRequestCachePolicy::ReturnCacheDataElseLoad ||
        target->cachePolicy == URLRequestCachePolicy::ReturnCacheDataDontLoad)
        target->cachePolicy = URLRequestCachePolicy::ReloadIgnoringLocalCacheData;
    schedule({*target, WebViewNavigationType::Reload, m_index >= 0 ? Into::SameEntry : Into::NewEntry, -1});
}

void ScriptedWebEngine::followLink(const std::string& href)
{
    pageNavigation(href, WebViewNavigationType::LinkClicked);
}

void ScriptedWebEngine::submitForm(const std::string& action)
{
    pageNavigation(action, WebViewNavigationType::FormSubmitted);
}

void ScriptedWebEngine::navigate(const std::string& url)
{
    pageNavigation(url, WebViewNavigationType::Other);
}

void ScriptedWebEngine::pageNavigation(const std::string& href, WebViewNavigationType type)
{
    // An absolute URL goes to the policy question as written (its scheme's spelling
    // included); a relative one is resolved against the page shown.
    std::string url = href;
    if (schemeOf(href).empty() && m_index >= 0)
        if (auto base = URL::parse(m_history[std::size_t(m_index)].request.url))
            if (auto resolved = URL::resolve(*base, href))
                url = resolved->string();
    schedule({URLRequest{url}, type, Into::NewEntry, -1});
}

void ScriptedWebEngine::schedule(Navigation navigation)
{
    ++m_pending;
    std::weak_ptr<ScriptedWebEngine> weak = weak_from_this();
    RunLoop::main().post([weak, navigation = std::move(navigation), stop = m_stopSerial]() mutable {
        auto self = weak.lock();
        if (!self || stop != self->m_stopSerial)
            return;
        --self->m_pending;
        self->begin(std::move(navigation));
    });
}

void ScriptedWebEngine::stopLoading()
{
    // Navigations not yet decided are dropped without a word; a load that started fails.
    ++m_stopSerial;
    m_pending = 0;
    if (!m_load)
        return;
    std::string url = m_load->navigation.request.url;
    cancelLoad();
    std::weak_ptr<ScriptedWebEngine> weak = weak_from_this();
    RunLoop::main().post([weak, url] {
        auto self = weak.lock();
        if (self && self->m_client)
            self->m_client->engineDidFailLoad({urlerror::cancelled, urlerror::domain, "the load was stopped", url});
    });
}

void ScriptedWebEngine::crash()
{
    auto keep = shared_from_this();
    ++m_stopSerial;
    m_pending = 0;
    cancelPageNavigations();
    m_pageLost = true;
    std::string url = m_load ? m_load->navigation.request.url : request().value_or(URLRequest{}).url;
    cancelLoad();
    if (m_client)
        m_client->engineDidFailLoad({urlerror::unknown, urlerror::domain, "the web process ended", url});
}

// ---- one load ---------------------------------------------------------------------------

void ScriptedWebEngine::begin(Navigation navigation)
{
    auto keep = shared_from_this();
    if (!m_client)
        return;
    const std::uint64_t stop = m_stopSerial;
    const bool allowed = m_client->engineShouldStartLoad(navigation.request, navigation.type);
    if (!m_client || !allowed || stop != m_stopSerial)
        return;
    if (m_load) {
        // Replaced before it finished.
        std::string url = m_load->navigation.request.url;
        cancelLoad();
        m_client->engineDidFailLoad({urlerror::cancelled, urlerror::domain, "a new navigation replaced the load", url});
        if (!m_client || stop != m_stopSerial || m_load)
            return;
    }
    Load load;
    load.id = ++m_loadSerial;
    load.firstURL = navigation.request.url;
    const double timeout =
        navigation.request.timeoutInterval > 0 ? navigation.request.timeoutInterval : kDefaultTimeout;
    load.deadline = RunLoop::main().now() + timeout;
    load.navigation = std::move(navigation);
    m_load = std::move(load);
    const std::uint64_t id = m_load->id;
    m_client->engineDidStartLoad();
    if (!m_client || !m_load || m_load->id != id)
        return;
    fetch();
}

void ScriptedWebEngine::fetch()
{
    const URLRequest& request = m_load->navigation.request;
    const std::uint64_t id = m_load->id;
    std::weak_ptr<ScriptedWebEngine> weak = weak_from_this();
    auto later = [&](std::string body, std::string finalURL) {
        m_load->event = RunLoop::main().post([weak, id, body = std::move(body), finalURL = std::move(finalURL)] {
            auto self = weak.lock();
            if (!self || !self->m_load || self->m_load->id != id)
                return;
            self->m_load->event = 0;
            self->m_load->navigation.request.url = finalURL;
            self->finish(body);
        });
    };

    const std::string_view scheme = schemeOf(request.url);
    if (equalsNoCase(scheme, "about")) {
        later({}, request.url);
        return;
    }
    if (scheme.empty()) {
        fail(urlerror::badURL, "not a URL");
        return;
    }
    if (!equalsNoCase(scheme, "http") && !equalsNoCase(scheme, "https")) {
        fail(urlerror::unsupportedURL, "the headless web view shows only http, https and about pages");
        return;
    }
    if (!URL::parse(request.url)) {
        fail(urlerror::badURL, "not a URL");
        return;
    }

    auto web = m_web.lock();
    const auto policy = request.cachePolicy;
    if (policy == URLRequestCachePolicy::ReturnCacheDataElseLoad ||
        policy == URLRequestCachePolicy::ReturnCacheDataDontLoad) {
        if (const auto* cached = web ? web->cachedPage(request.url) : nullptr) {
            later(cached->body, cached->finalURL);
            return;
        }
        if (policy == URLRequestCachePolicy::ReturnCacheDataDontLoad) {
            fail(urlerror::resourceUnavailable, "no cached copy of the page");
            return;
        }
    }

    std::vector<URLConnection::Header> headers{{"User-Agent", "brimsey headless web view"}};
    if (policy == URLRequestCachePolicy::ReloadIgnoringLocalAndRemoteCacheData) {
        headers.emplace_back("Cache-Control", "no-cache");
        headers.emplace_back("Pragma", "no-cache");
    }
    const double remaining = m_load->deadline - RunLoop::main().now();
    if (remaining <= 0) {
        fail(urlerror::timedOut, "the request timed out");
        return;
    }
    URLConnection::Request http(request.url, std::move(headers));
    http.timeout = remaining;
    http.maxRedirects = 0; // each redirect is a navigation of its own to ask about
    http.maxBodyBytes = kMaxPageBytes;

    auto current = [weak, id]() -> std::shared_ptr<ScriptedWebEngine> {
        auto self = weak.lock();
        return self && self->m_load && self->m_load->id == id ? self : nullptr;
    };
    URLConnection::Callbacks callbacks;
    callbacks.onResponse = [current](URLConnection&, const URLConnection::Response& response) {
        auto self = current();
        if (!self)
            return;
        self->m_load->status = response.statusCode;
        self->m_load->location.clear();
        self->m_load->body.clear();
        for (const auto& [name, value] : response.headers)
            if (equalsNoCase(name, "location"))
                self->m_load->location = value;
    };
    callbacks.onData = [current](URLConnection&, const std::uint8_t* data, std::size_t size) {
        if (auto self = current())
            self->m_load->body.append(reinterpret_cast<const char*>(data), size);
    };
    callbacks.onFinish = [current](URLConnection&) {
        auto self = current();
        if (!self)
            return;
        self->m_load->connection.reset();
        if (isRedirect(self->m_load->status) && !self->m_load->location.empty())
            self->redirect();
        else
            self->onDocument(std::move(self->m_load->body), self->m_load->navigation.request.url);
    };
    callbacks.onFail = [current](URLConnection&, const URLConnection::Error& error) {
        if (auto self = current())
            self->fail(error.code, error.message);
    };
    auto connection = URLConnection::start(std::move(http), std::move(callbacks));
    if (!connection) {
        fail(urlerror::badURL, "no connection can be made for the URL");
        return;
    }
    m_load->connection = std::move(connection);
}

void ScriptedWebEngine::redirect()
{
    auto keep = shared_from_this();
    Load& load = *m_load;
    const std::uint64_t id = load.id;
    if (++load.redirects > kMaxRedirects) {
        fail(urlerror::httpTooManyRedirects, "too many redirects");
        return;
    }
    std::optional<URL> next;
    if (auto base = URL::parse(load.navigation.request.url))
        next = URL::resolve(*base, load.location);
    if (!next) {
        fail(urlerror::badURL, "the redirect leads to no URL");
        return;
    }
    URLRequest request = load.navigation.request;
    request.url = next->string();
    const bool allowed = m_client && m_client->engineShouldStartLoad(request, WebViewNavigationType::Other);
    if (!m_client || !m_load || m_load->id != id)
        return;
    if (!allowed) {
        fail(urlerror::cancelled, "the redirect was refused");
        return;
    }
    m_load->navigation.request = std::move(request);
    fetch();
}

void ScriptedWebEngine::onDocument(std::string body, std::string finalURL)
{
    if (auto web = m_web.lock()) {
        web->storePage(m_load->firstURL, {body, finalURL});
        if (finalURL != m_load->firstURL)
            web->storePage(finalURL, {body, finalURL});
    }
    finish(std::move(body));
}

void ScriptedWebEngine::finish(std::string body)
{
    auto keep = shared_from_this();
    Navigation navigation = std::move(m_load->navigation);
    m_load.reset();
    HistoryItem item{std::move(navigation.request), PageFacts::scan(body)};
    if (navigation.into == Into::HistoryIndex && navigation.historyIndex >= 0 &&
        navigation.historyIndex < int(m_history.size())) {
        m_index = navigation.historyIndex;
        m_history[std::size_t(m_index)] = std::move(item);
    } else if (navigation.into == Into::SameEntry && m_index >= 0) {
        m_history[std::size_t(m_index)] = std::move(item);
    } else {
        m_history.resize(std::size_t(m_index + 1));
        m_history.push_back(std::move(item));
        if (m_history.size() > kMaxHistory)
            m_history.erase(m_history.begin());
        m_index = int(m_history.size()) - 1;
    }
    m_pageLost = false;
    cancelPageNavigations();
    if (!m_client)
        return;
    m_client->engineDidFinishLoad();
    if (m_client)
        schedulePageNavigations();
}

void ScriptedWebEngine::fail(long code, std::string description)
{
    if (!m_load)
        return;
    auto keep = shared_from_this();
    std::string url = m_load->navigation.request.url;
    cancelLoad();
    if (m_client)
        m_client->engineDidFailLoad({code, urlerror::domain, std::move(description), std::move(url)});
}

void ScriptedWebEngine::cancelLoad()
{
    if (!m_load)
        return;
    if (m_load->connection)
        m_load->connection->cancel();
    if (m_load->event)
        RunLoop::main().cancel(m_load->event);
    m_load.reset();
}

// ---- what the page does by itself -------------------------------------------------------

void ScriptedWebEngine::schedulePageNavigations()
{
    const PageFacts* facts = page();
    if (!facts)
        return;
    const std::string url = m_history[std::size_t(m_index)].request.url;
    std::vector<ScriptedWeb::Navigation> navigations;
    if (facts->refresh)
        navigations.push_back({facts->refresh->url.empty() ? url : facts->refresh->url, facts->refresh->delay});
    if (auto web = m_web.lock())
        for (auto& n : web->navigationsAfterLoad(url))
            navigations.push_back(std::move(n));
    std::weak_ptr<ScriptedWebEngine> weak = weak_from_this();
    for (auto& n : navigations)
        m_pageEvents.push_back(RunLoop::main().scheduleAfter(n.delay, [weak, target = n.url] {
            if (auto self = weak.lock())
                self->navigate(target);
        }));
}

void ScriptedWebEngine::cancelPageNavigations()
{
    auto loop = RunLoop::mainShared();
    if (loop)
        for (auto id : m_pageEvents)
            loop->cancel(id);
    m_pageEvents.clear();
}

// ---- state ------------------------------------------------------------------------------

bool ScriptedWebEngine::isLoading() const
{
    return m_load.has_value() || m_pending > 0;
}

bool ScriptedWebEngine::canGoBack() const
{
    return m_index > 0;
}

bool ScriptedWebEngine::canGoForward() const
{
    return m_index >= 0 && m_index + 1 < int(m_history.size());
}

std::optional<URLRequest> ScriptedWebEngine::request() const
{
    if (m_load)
        return m_load->navigation.request;
    if (m_pending > 0 && m_requested)
        return m_requested;
    if (m_index >= 0)
        return m_history[std::size_t(m_index)].request;
    return std::nullopt;
}

std::string ScriptedWebEngine::title() const
{
    const PageFacts* facts = page();
    return facts ? facts->title : std::string();
}

const PageFacts* ScriptedWebEngine::page() const
{
    if (m_index < 0 || m_pageLost)
        return nullptr;
    return &m_history[std::size_t(m_index)].facts;
}

// ---- scripts ----------------------------------------------------------------------------

void ScriptedWebEngine::evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done)
{
    std::weak_ptr<ScriptedWebEngine> weak = weak_from_this();
    RunLoop::main().post([weak, script = std::move(script), done = std::move(done)] {
        auto self = weak.lock();
        std::optional<std::string> result;
        if (self && self->m_client) {
            const std::string pageURL =
                self->m_index >= 0 ? self->m_history[std::size_t(self->m_index)].request.url : std::string();
            result = self->answer(script);
            if (auto web = self->m_web.lock()) {
                web->recordEvaluation({pageURL, script, result});
                for (const auto& n : web->navigationsOnScript(pageURL, script))
                    self->m_pageEvents.push_back(RunLoop::main().scheduleAfter(n.delay, [weak, target = n.url] {
                        if (auto engine = weak.lock())
                            engine->navigate(target);
                    }));
            }
        }
        if (done)
            done(std::move(result));
    });
}

std::optional<std::string> ScriptedWebEngine::answer(const std::string& script) const
{
    const std::string pageURL = m_index >= 0 ? m_history[std::size_t(m_index)].request.url : std::string();
    if (auto web = m_web.lock())
        if (auto registered = web->registeredAnswer(pageURL, script))
            return *registered;
    if (m_pageLost)
        return std::nullopt;
    static const PageFacts blank;
    const PageFacts& facts = page() ? *page() : blank;
    std::string_view s = trimmed(script);

    if (s.starts_with("typeof")) {
        std::string_view operand = trimmed(s.substr(6));
        if (operand.size() >= 2 && operand.front() == '(' && operand.back() == ')')
            operand = trimmed(operand.substr(1, operand.size() - 2));
        if (isName(operand) && (s.size() > 6 && (s[6] == ' ' || s[6] == '(')))
            return facts.typeOf(operand);
    }
    if (s == "document.title")
        return facts.title;
    if (s == "location.href" || s == "window.location.href" || s == "document.URL" || s == "document.location.href")
        return pageURL;
    const std::size_t paren = s.find('(');
    if (paren != std::string_view::npos && s.back() == ')') {
        std::string_view name = trimmed(s.substr(0, paren));
        if (isName(name) && facts.typeOf(name) == "function")
            return std::string();
    }
    return std::nullopt;
}

} // namespace platform
