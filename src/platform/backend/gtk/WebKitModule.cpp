#include "platform/backend/gtk/WebKitModule.h"

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/core/RunLoop.h"
#include "platform/device/WebEngine.h"
#include "platform/gfx/Font.h"

namespace platform::gtk {

namespace {

// Written by the module's start-up, which may run on the loading thread: the main thread
// reads it only when no load is under way or after joining the one that was (see
// loadModule()), and the join orders the write before the read.
WebKitEngineMaker& registered()
{
    static WebKitEngineMaker maker{nullptr};
    return maker;
}

std::filesystem::path modulePath()
{
    std::error_code ec;
    auto program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return program.parent_path().parent_path() / BRIMSEY_MODULE_DIR / "libbrimsey-webkit.so";
}

// The one load of the module. Its fields other than `loader` belong to whichever thread
// runs the load, and to the main thread once that is over (joined).
struct ModuleLoad {
    bool started{false};
    bool settled{false};
    std::atomic<bool> done{false}; // the loading thread is over: joining it will not wait
    std::thread loader;
    std::filesystem::path path;
    void* module{nullptr};
    std::string error;
    std::string failure;

    ~ModuleLoad()
    {
        // A load still running at exit finishes first: its constructors must not race the
        // process's teardown.
        if (loader.joinable())
            loader.join();
    }

    void run()
    {
        traceWeb("module loading");
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            const char* why = dlerror();
            error = why ? why : "unknown error";
        }
        traceWeb("module loaded");
        done.store(true, std::memory_order_release);
    }
};

ModuleLoad& moduleLoad()
{
    static ModuleLoad load;
    return load;
}

// Loads the module once, waiting for a load prepareWebKitEngine() started; its start-up
// registers the maker. The module stays loaded for the rest of the run: WebKit does not
// expect to be unloaded.
bool loadModule(std::string* why)
{
    ModuleLoad& load = moduleLoad();
    if (!load.started) {
        load.started = true;
        load.path = modulePath();
        load.run();
    } else if (load.loader.joinable()) {
        load.loader.join();
    }
    if (!load.settled) {
        load.settled = true;
        if (!load.module) {
            load.failure = "cannot load the web view module " + load.path.string() + ": " + load.error;
            std::fprintf(stderr, "brimsey: %s\n", load.failure.c_str());
        } else if (!registered()) {
            load.failure = "the web view module " + load.path.string() + " registered no engine";
        }
    }
    if (why && !load.failure.empty())
        *why = load.failure;
    return registered() != nullptr;
}

} // namespace

void traceWeb(const char* what)
{
    static std::FILE* const file = [] {
        const char* path = std::getenv("BRIMSEY_WEB_TRACE");
        return path && *path ? std::fopen(path, "a") : nullptr;
    }();
    if (!file)
        return;
    const double now = std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    // The module's loading thread traces too: one line at a time, whole.
    ::flockfile(file);
    std::fprintf(file, "%.6f %s\n", now, what);
    std::fflush(file);
    ::funlockfile(file);
}

void registerWebKitEngineMaker(WebKitEngineMaker maker)
{
    registered() = maker;
}

void prepareWebKitEngine()
{
    ModuleLoad& load = moduleLoad();
    // Once started, the maker is not read here again before loadModule() joined the load.
    if (load.started || registered())
        return;
    load.started = true;
    load.path = modulePath();
    // Threads cannot start while the module loads (the loader holds the lock their start
    // needs), and Pango starts one to sort the fonts of each new face it is asked for: the
    // faces of the landing screens' bars are asked for now, or the first label measured
    // would wait for the whole load.
    for (Float size : {12, 20})
        Font::boldSystem(size).measure("Done");
    try {
        load.loader = std::thread([&load] { load.run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the first page loads the module itself, as without this.
        load.started = false;
    }
}

namespace {

// The engine of a page opened while the module still loads on its thread: it takes what the
// view asks and hands it to WebKit's engine once the load is over, so that the landing
// screen starts presenting without waiting for WebKit (its content shows only after the
// expand, long after the load). The load is watched from the loop, never from its thread.
class PendingWebEngine final : public WebEngine, public std::enable_shared_from_this<PendingWebEngine> {
public:
    static std::shared_ptr<PendingWebEngine> create(std::shared_ptr<WebViewStack> stack)
    {
        std::shared_ptr<PendingWebEngine> engine(new PendingWebEngine(std::move(stack)));
        engine->watch();
        return engine;
    }
    ~PendingWebEngine() override
    {
        if (m_watch)
            RunLoop::main().cancel(m_watch);
    }

    void setClient(WebEngineClient* client) override
    {
        m_client = client;
        if (m_real)
            m_real->setClient(client);
    }
    void load(const URLRequest& request) override
    {
        if (m_real)
            return m_real->load(request);
        if (m_failure) {
            // Reported on the loop, as a load of a view without an engine.
            RunLoop::main().post([weak = weak_from_this(), url = request.url] {
                if (auto self = weak.lock())
                    self->fail(url);
            });
            return;
        }
        m_request = request;
        m_calls.push_back([request](WebEngine& e) { e.load(request); });
    }
    void goBack() override
    {
        pass([](WebEngine& e) { e.goBack(); });
    }
    void goForward() override
    {
        pass([](WebEngine& e) { e.goForward(); });
    }
    void reload() override
    {
        pass([](WebEngine& e) { e.reload(); });
    }
    void stopLoading() override
    {
        pass([](WebEngine& e) { e.stopLoading(); });
    }
    bool isLoading() const override { return m_real ? m_real->isLoading() : m_request.has_value(); }
    bool canGoBack() const override { return m_real && m_real->canGoBack(); }
    bool canGoForward() const override { return m_real && m_real->canGoForward(); }
    std::optional<URLRequest> request() const override { return m_real ? m_real->request() : m_request; }
    std::string title() const override { return m_real ? m_real->title() : std::string(); }
    void setScalesPageToFit(bool scales) override
    {
        pass([scales](WebEngine& e) { e.setScalesPageToFit(scales); });
    }
    void evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done) override
    {
        if (m_real)
            return m_real->evaluateJavaScript(std::move(script), std::move(done));
        if (m_failure) {
            RunLoop::main().post([done = std::move(done)] {
                if (done)
                    done(std::nullopt);
            });
            return;
        }
        m_scripts.push_back(done);
        m_calls.push_back([script = std::move(script), done = std::move(done)](WebEngine& e) mutable {
            e.evaluateJavaScript(std::move(script), std::move(done));
        });
    }
    bool rendersNatively() const override { return m_real ? m_real->rendersNatively() : !m_failure; }
    void placementChanged() override
    {
        if (m_real)
            m_real->placementChanged();
    }

private:
    explicit PendingWebEngine(std::shared_ptr<WebViewStack> stack) : m_stack(std::move(stack)) { }

    void pass(std::function<void(WebEngine&)> call)
    {
        if (m_real)
            call(*m_real);
        else
            m_calls.push_back(std::move(call));
    }

    void watch()
    {
        m_watch = RunLoop::main().scheduleAfter(kWatchSeconds, [weak = weak_from_this()] {
            auto self = weak.lock();
            if (!self)
                return;
            self->m_watch = 0;
            if (moduleLoad().done.load(std::memory_order_acquire))
                self->takeOver();
            else
                self->watch();
        });
    }

    void fail(const std::string& url)
    {
        if (!m_client)
            return;
        m_client->engineDidStartLoad();
        m_client->engineDidFailLoad({urlerror::unknown, urlerror::domain, *m_failure, url});
    }

    void takeOver()
    {
        std::string why;
        m_real = makeWebKitEngine(m_stack, &why);
        auto calls = std::move(m_calls);
        auto scripts = std::move(m_scripts);
        if (!m_real) {
            // As a view without an engine: its loads start and fail, its scripts answer nothing.
            m_failure = why.empty() ? std::string("no web engine is installed") : why;
            if (auto request = std::exchange(m_request, std::nullopt))
                fail(request->url);
            for (auto& done : scripts)
                if (done)
                    done(std::nullopt);
            return;
        }
        if (m_client)
            m_real->setClient(m_client);
        for (auto& call : calls)
            call(*m_real);
        // The view may have come to its place meanwhile, or the expand ended before the load.
        m_real->placementChanged();
    }

    static constexpr double kWatchSeconds = 0.005;
    std::shared_ptr<WebViewStack> m_stack;
    WebEngineClient* m_client{nullptr};
    std::shared_ptr<WebEngine> m_real;
    std::optional<URLRequest> m_request;
    std::optional<std::string> m_failure; // why WebKit could not be had
    std::vector<std::function<void(WebEngine&)>> m_calls;
    std::vector<std::function<void(std::optional<std::string>)>> m_scripts; // to answer if WebKit fails
    RunLoop::EventId m_watch{0};
};

} // namespace

std::shared_ptr<WebEngine> makeWebKitEngine(std::shared_ptr<WebViewStack> stack, std::string* why)
{
    ModuleLoad& load = moduleLoad();
    // A page opened while the module loads on its thread does not wait for it.
    if (load.loader.joinable() && !load.done.load(std::memory_order_acquire) && RunLoop::hasMain())
        return PendingWebEngine::create(std::move(stack));
    // A load once started is asked (and joined) before the maker is read.
    if ((moduleLoad().started || !registered()) && !loadModule(why))
        return nullptr;
    return registered()(std::move(stack));
}

} // namespace platform::gtk
