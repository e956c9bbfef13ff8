#include "platform/backend/headless/ScriptedWeb.h"

#include <algorithm>

#include "platform/backend/headless/ScriptedWebEngine.h"

namespace platform {

namespace {

constexpr std::size_t kCachedPages = 64;

bool matches(const std::string& prefix, const std::string& url)
{
    return url.starts_with(prefix);
}

} // namespace

std::shared_ptr<ScriptedWeb> ScriptedWeb::create()
{
    return std::shared_ptr<ScriptedWeb>(new ScriptedWeb());
}

std::shared_ptr<WebEngine> ScriptedWeb::makeEngine()
{
    auto engine = ScriptedWebEngine::create(weak_from_this());
    std::erase_if(m_engines, [](const auto& weak) { return weak.expired(); });
    m_engines.push_back(engine);
    return engine;
}

std::vector<std::shared_ptr<ScriptedWebEngine>> ScriptedWeb::engines() const
{
    std::vector<std::shared_ptr<ScriptedWebEngine>> alive;
    for (const auto& weak : m_engines)
        if (auto engine = weak.lock())
            alive.push_back(std::move(engine));
    return alive;
}

void ScriptedWeb::answerScript(std::string pagePrefix, std::string script, std::optional<std::string> answer)
{
    m_rules.push_back({Rule::Kind::Answer, std::move(pagePrefix), std::move(script), std::move(answer), {}});
}

void ScriptedWeb::navigateAfterLoad(std::string pagePrefix, std::string url, double delay)
{
    m_rules.push_back({Rule::Kind::AfterLoad, std::move(pagePrefix), {}, {}, {std::move(url), delay}});
}

void ScriptedWeb::navigateOnScript(std::string pagePrefix, std::string fragment, std::string url, double delay)
{
    m_rules.push_back({Rule::Kind::OnScript, std::move(pagePrefix), std::move(fragment), {}, {std::move(url), delay}});
}

void ScriptedWeb::clearRules()
{
    m_rules.clear();
}

std::optional<std::optional<std::string>> ScriptedWeb::registeredAnswer(const std::string& pageURL,
                                                                        const std::string& script) const
{
    // The latest rule wins, so a test can override an earlier answer.
    for (auto it = m_rules.rbegin(); it != m_rules.rend(); ++it)
        if (it->kind == Rule::Kind::Answer && it->script == script && matches(it->pagePrefix, pageURL))
            return it->answer;
    return std::nullopt;
}

std::vector<ScriptedWeb::Navigation> ScriptedWeb::navigationsAfterLoad(const std::string& pageURL) const
{
    std::vector<Navigation> out;
    for (const auto& rule : m_rules)
        if (rule.kind == Rule::Kind::AfterLoad && matches(rule.pagePrefix, pageURL))
            out.push_back(rule.navigation);
    return out;
}

std::vector<ScriptedWeb::Navigation> ScriptedWeb::navigationsOnScript(const std::string& pageURL,
                                                                      const std::string& script) const
{
    std::vector<Navigation> out;
    for (const auto& rule : m_rules)
        if (rule.kind == Rule::Kind::OnScript && matches(rule.pagePrefix, pageURL) &&
            script.find(rule.script) != std::string::npos)
            out.push_back(rule.navigation);
    return out;
}

const ScriptedWeb::CachedPage* ScriptedWeb::cachedPage(const std::string& url) const
{
    auto it = m_cache.find(url);
    return it == m_cache.end() ? nullptr : &it->second;
}

void ScriptedWeb::storePage(const std::string& url, CachedPage page)
{
    if (!m_cache.contains(url)) {
        m_cacheOrder.push_back(url);
        if (m_cacheOrder.size() > kCachedPages) {
            m_cache.erase(m_cacheOrder.front());
            m_cacheOrder.erase(m_cacheOrder.begin());
        }
    }
    m_cache[url] = std::move(page);
}

} // namespace platform
