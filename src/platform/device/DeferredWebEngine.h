#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/device/WebEngine.h"

namespace platform {

// The engine of a page made before the real one can be made without waiting (its library
// still loads on another thread): it keeps what the view asks, in order, and hands it to
// the real engine once `ready()` says so. The main loop asks every kPollSeconds; the other
// thread is never called back. If the real engine cannot be made, every kept load starts
// and fails and every kept script answers nothing, as for a view without an engine.
class DeferredWebEngine final : public WebEngine, public std::enable_shared_from_this<DeferredWebEngine> {
public:
    using Ready = std::function<bool()>;
    // The real engine, or null with why it could not be made.
    using Make = std::function<std::shared_ptr<WebEngine>(std::string* why)>;
    static constexpr double kPollSeconds = 0.005;

    // `native`: whether the real engine will show its pages natively, as the view is told
    // meanwhile (nothing is drawn in the page's place only to vanish).
    static std::shared_ptr<DeferredWebEngine> create(Ready ready, Make make, bool native);
    ~DeferredWebEngine() override;

    void setClient(WebEngineClient* client) override;
    void load(const URLRequest& request) override;
    void goBack() override;
    void goForward() override;
    void reload() override;
    void stopLoading() override;
    bool isLoading() const override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    std::optional<URLRequest> request() const override;
    std::string title() const override;
    void setScalesPageToFit(bool scales) override;
    void evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done) override;
    bool rendersNatively() const override;
    void placementChanged() override;

private:
    DeferredWebEngine(Ready ready, Make make, bool native);
    void watch();
    void takeOver();
    void pass(std::function<void(WebEngine&)> call);
    void failLater(std::string url);

    Ready m_ready;
    Make m_make;
    bool m_native;
    WebEngineClient* m_client{nullptr};
    std::shared_ptr<WebEngine> m_real;
    std::optional<std::string> m_failure; // why the real engine could not be made
    std::vector<std::function<void(WebEngine&)>> m_calls;
    std::vector<std::string> m_loads; // the kept loads' URLs, to fail if there is no engine
    std::vector<std::function<void(std::optional<std::string>)>> m_scripts; // likewise, to answer
    std::weak_ptr<RunLoop> m_loop; // the loop the watch is on, which may go first
    RunLoop::EventId m_watch{0};
};

} // namespace platform
