#pragma once

#include <memory>

namespace platform::gtk {
class RunLoopSource;
class WebViewStack;
} // namespace platform::gtk

namespace adnet::gtk {

// What every banner of the process shares: the main RunLoop driven from GLib's default
// context, the device services the ad client uses, and the stack that shows web pages.
struct Runtime {
    Runtime();
    ~Runtime();

    // Dispatches RunLoop::main() from GLib's default context.
    std::unique_ptr<platform::gtk::RunLoopSource> source;
    // The pages of landing screens; attached to the stage of the banner presenting one.
    // Null when the host application installed services of its own before the first banner.
    std::shared_ptr<platform::gtk::WebViewStack> webStack;
};

// Sets the runtime up on first use (main thread, GTK initialised): makes sure
// platform::RunLoop::main() exists and runs inside GLib's default main context, and installs
// the desktop's services (URL opener, GeoClue location, WebKit pages) unless the host has
// installed some. A host calls nothing else; every banner calls this.
Runtime& ensureRuntime();

} // namespace adnet::gtk
