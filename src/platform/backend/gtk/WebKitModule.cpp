#include "platform/backend/gtk/WebKitModule.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/device/WebEngine.h"

namespace platform::gtk {

namespace {

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

// Loads the module once; its start-up registers the maker. The module stays loaded for the
// rest of the run: WebKit does not expect to be unloaded.
bool loadModule(std::string* why)
{
    static std::string failure;
    static bool tried = false;
    if (!tried) {
        tried = true;
        const auto path = modulePath();
        traceWeb("module loading");
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        traceWeb("module loaded");
        if (!module) {
            const char* error = dlerror();
            failure = "cannot load the web view module " + path.string() + ": " + (error ? error : "unknown error");
            std::fprintf(stderr, "brimsey: %s\n", failure.c_str());
        } else if (!registered()) {
            failure = "the web view module " + path.string() + " registered no engine";
        }
    }
    if (why && !failure.empty())
        *why = failure;
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
    std::fprintf(file, "%.6f %s\n", now, what);
    std::fflush(file);
}

void registerWebKitEngineMaker(WebKitEngineMaker maker)
{
    registered() = maker;
}

std::shared_ptr<WebEngine> makeWebKitEngine(std::shared_ptr<WebViewStack> stack, std::string* why)
{
    if (!registered() && !loadModule(why))
        return nullptr;
    return registered()(std::move(stack));
}

} // namespace platform::gtk
