#include "platform/device/DeferredWebEngine.h"

#include <utility>

namespace platform {

std::shared_ptr<DeferredWebEngine> DeferredWebEngine::create(Ready ready, Make make, bool native)
{
    std::shared_ptr<DeferredWebEngine> engine(new DeferredWebEngine(std::move(ready), std::move(make), native));
    engine->watch();
    return engine;
}

DeferredWebEngine::DeferredWebEngine(Ready ready, Make make, bool native)
    : m_ready(std::move(ready)),
      m_make(std::move(make)),
      m_native(native)
{
}

DeferredWebEngine::~DeferredWebEngine()
{
    if (auto loop = m_loop.lock(); loop && m_watch)
        loop->cancel(m_watch);
}

void DeferredWebEngine::watch()
{
    auto loop = RunLoop::mainShared();
    m_loop = loop;
    m_watch = loop->scheduleAfter(kPollSeconds, [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self)
            return;
        self->m_watch = 0;
        if (self->m_ready())
            self->takeOver();
        else
            self->watch();
    });
}

void DeferredWebEngine::takeOver()
{
    std::string why;
    m_real = m_make(&why);
    auto calls = std::exchange(m_calls, {});
    auto loads = std::exchange(m_loads, {});
    auto scripts = std::exchange(m_scripts, {});
    if (!m_real) {
        m_failure = why.empty() ? std::string("no web engine is installed") : why;
        for (auto& url : loads)
            failLater(std::move(url));
        for (auto& done : scripts)
            if (done)
                RunLoop::main().post([done = std::move(done)] { done(std::nullopt); });
        return;
    }
    if (m_client)
        m_real->setClient(m_client);
    for (auto& call : calls)
        call(*m_real);
    // The view may have come to its place meanwhile, or finished moving before the hand-over.
    m_real->placementChanged();
}

void DeferredWebEngine::pass(std::function<void(WebEngine&)> call)
{
    if (m_real)
        call(*m_real);
    else if (!m_failure)
        m_calls.push_back(std::move(call));
}

// Each load reports its start and failure on the loop, never inside the view's call.
void DeferredWebEngine::failLater(std::string url)
{
    RunLoop::main().post([weak = weak_from_this(), url = std::move(url)] {
        auto self = weak.lock();
        if (!self || !self->m_client)
            return;
        self->m_client->engineDidStartLoad();
        self->m_client->engineDidFailLoad({urlerror::unknown, urlerror::domain, *self->m_failure, url});
    });
}

void DeferredWebEngine::setClient(WebEngineClient* client)
{
    m_client = client;
    if (m_real)
        m_real->setClient(client);
}

void DeferredWebEngine::load(const URLRequest& request)
{
    if (m_failure)
        return failLater(request.url);
    if (!m_real)
        m_loads.push_back(request.url);
    pass([request](WebEngine& e) { e.load(request); });
}

void DeferredWebEngine::goBack()
{
    pass([](WebEngine& e) { e.goBack(); });
}

void DeferredWebEngine::goForward()
{
    pass([](WebEngine& e) { e.goForward(); });
}

void DeferredWebEngine::reload()
{
    pass([](WebEngine& e) { e.reload(); });
}

void DeferredWebEngine::stopLoading()
{
    pass([](WebEngine& e) { e.stopLoading(); });
}

bool DeferredWebEngine::isLoading() const
{
    return m_real ? m_real->isLoading() : !m_loads.empty();
}

bool DeferredWebEngine::canGoBack() const
{
    return m_real && m_real->canGoBack();
}

bool DeferredWebEngine::canGoForward() const
{
    return m_real && m_real->canGoForward();
}

std::optional<URLRequest> DeferredWebEngine::request() const
{
    if (m_real)
        return m_real->request();
    if (m_loads.empty())
        return std::nullopt;
    // The URL is what the view shows meanwhile; the rest of the request goes with the call.
    return URLRequest{m_loads.back()};
}

std::string DeferredWebEngine::title() const
{
    return m_real ? m_real->title() : std::string();
}

void DeferredWebEngine::setScalesPageToFit(bool scales)
{
    pass([scales](WebEngine& e) { e.setScalesPageToFit(scales); });
}

void DeferredWebEngine::evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done)
{
    if (m_real)
        return m_real->evaluateJavaScript(std::move(script), std::move(done));
    if (m_failure) {
        if (done)
            RunLoop::main().post([done = std::move(done)] { done(std::nullopt); });
        return;
    }
    // Kept twice: the call answers through the real engine, the copy only if there is none.
    m_scripts.push_back(done);
    m_calls.push_back([script = std::move(script), done = std::move(done)](WebEngine& e) mutable {
        e.evaluateJavaScript(std::move(script), std::move(done));
    });
}

bool DeferredWebEngine::rendersNatively() const
{
    return m_real ? m_real->rendersNatively() : m_native && !m_failure;
}

void DeferredWebEngine::placementChanged()
{
    if (m_real)
        m_real->placementChanged();
}

} // namespace platform
