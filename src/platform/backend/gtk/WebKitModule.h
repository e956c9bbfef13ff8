#pragma once

#include <memory>
#include <string>

namespace platform {
class WebEngine;
}

namespace platform::gtk {

class WebViewStack;

// WebKit is loaded only when a page is likely (a finger on the banner) or opens: linked into
// the program, WebKitGTK and the libraries it pulls in (JavaScriptCore, ICU, speech, media)
// would cost every run of the game tens of megabytes and a few threads, though most runs never
// open a page. The engine lives in a module beside the program (lib/brimsey/libbrimsey-webkit.so,
// or the multiarch library folder, below the folder that holds bin/) and registers its maker
// when loaded; code that links the engine in directly (tests, libadnet) registers it at
// start-up the same way.
using WebKitEngineMaker = std::shared_ptr<WebEngine> (*)(std::shared_ptr<WebViewStack> stack);

// Called by the module's start-up, on whichever thread loads it.
void registerWebKitEngineMaker(WebKitEngineMaker maker);

// Starts loading the module on a thread of its own unless it is linked in, loaded or
// loading, and returns at once: a page opened later waits only for the rest of the load.
// Only the loading runs there; GTK, engines and web processes stay on the main thread. Not
// at start-up: loaded, WebKit costs the process some 35 MiB. Main thread.
void prepareWebKitEngine();

// An engine for a page of `stack`, loading the module on first use (or waiting for the
// load prepareWebKitEngine() started). Null, with `why` set,
// when WebKit cannot be had.
std::shared_ptr<WebEngine> makeWebKitEngine(std::shared_ptr<WebViewStack> stack, std::string* why = nullptr);

// With BRIMSEY_WEB_TRACE naming a file, appends "<steady clock seconds> <what>" to it: when
// the module loaded, engines were made, web processes started and pages loaded, so that a
// benchmark can tell where the time from a tap to a shown page goes. Off (one check) when
// the variable is unset. Any thread.
void traceWeb(const char* what);

} // namespace platform::gtk
