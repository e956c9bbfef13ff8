#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class ScriptedWebEngine;
class WebEngine;

// The web as headless runs see it: the factory of their web engines (Services::webEngine)
// and what tests add to what pages declare. Pages really come over HTTP; scripts are not
// run but answered:
//
//  1. an answer registered with answerScript() for that script (exact text) and page;
//  2. `typeof(NAME)` / `typeof NAME`: what the page declares (PageFacts), "undefined"
//     for anything else;
//  3. `document.title`: the page's title; `location.href`, `window.location.href`,
//     `document.URL`: the page's URL;
//  4. a call `NAME(...)` of a function the page declares: "" (it ran and returned nothing);
//  5. anything else throws: nullopt.
//
// Navigations a page would make by itself come from its <meta http-equiv="refresh"> and
// from rules registered here (after a load, or when a script is evaluated).
class ScriptedWeb final : public std::enable_shared_from_this<ScriptedWeb> {
public:
    static std::shared_ptr<ScriptedWeb> create();

    // The engine for one new web view.
    std::shared_ptr<WebEngine> makeEngine();
    // Engines alive now, oldest first.
    std::vector<std::shared_ptr<ScriptedWebEngine>> engines() const;

    // Rules apply to pages whose URL starts with `pagePrefix` ("" matches every page).
    //
    // Evaluating exactly `script` in such a page answers `answer` (nullopt: it throws).
    void answerScript(std::string pagePrefix, std::string script, std::optional<std::string> answer);
    // Such a page navigates to `url` `delay` seconds after it finished loading.
    void navigateAfterLoad(std::string pagePrefix, std::string url, double delay = 0);
    // Such a page navigates to `url` `delay` seconds after a script containing `fragment` was
    // evaluated in it.
    void navigateOnScript(std::string pagePrefix, std::string fragment, std::string url, double delay = 0);
    void clearRules();

    // Every script evaluated so far, in order.
    struct Evaluation {
        std::string pageURL;
        std::string script;
        std::optional<std::string> result;
    };
    const std::vector<Evaluation>& evaluations() const { return m_evaluations; }

    // -- for the engines
    struct Navigation {
        std::string url;
        double delay{0};
    };
    std::optional<std::optional<std::string>> registeredAnswer(const std::string& pageURL,
                                                               const std::string& script) const;
    std::vector<Navigation> navigationsAfterLoad(const std::string& pageURL) const;
    std::vector<Navigation> navigationsOnScript(const std::string& pageURL, const std::string& script) const;
    void recordEvaluation(Evaluation evaluation) { m_evaluations.push_back(std::move(evaluation)); }

    // Bodies of pages loaded so far, by URL: what the cache policies that read a local copy
    // get. Bounded: the oldest go first.
    struct CachedPage {
        std::string body;
        std::string finalURL;
    };
    const CachedPage* cachedPage(const std::string& url) const;
    void storePage(const std::string& url, CachedPage page);
    void clearCache() { m_cache.clear(); }

private:
    ScriptedWeb() = default;

    struct Rule {
        enum class Kind { Answer, AfterLoad, OnScript } kind;
        std::string pagePrefix;
        std::string script; // Answer: the exact script; OnScript: the fragment
        std::optional<std::string> answer;
        Navigation navigation;
    };
    std::vector<Rule> m_rules;
    std::vector<Evaluation> m_evaluations;
    std::vector<std::weak_ptr<ScriptedWebEngine>> m_engines;
    std::map<std::string, CachedPage> m_cache;
    std::vector<std::string> m_cacheOrder;
};

} // namespace platform
