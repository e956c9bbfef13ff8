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

#include "platform/core/RunLoop.h"
#include "platform/device/DeferredWebEngine.h"
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

std::shared_ptr<WebEngine> makeWebKitEngine(std::shared_ptr<WebViewStack> stack, std::string* why)
{
    ModuleLoad& load = moduleLoad();
    // A page opened while the module loads on its thread does not wait for it.
    if (load.loader.joinable() && !load.done.load(std::memory_order_acquire) && RunLoop::hasMain())
        return DeferredWebEngine::create([&load] { return load.done.load(std::memory_order_acquire); },
                                         [stack](std::string* reason) { return makeWebKitEngine(stack, reason); },
                                         true);
    // A load once started is asked (and joined) before the maker is read.
    if ((load.started || !registered()) && !loadModule(why))
        return nullptr;
    return registered()(std::move(stack));
}

} // namespace platform::gtk
