#include "Runtime.h"

#include <glib.h>

#include <string>

#include "platform/backend/gtk/DesktopURLOpener.h"
#include "platform/backend/gtk/GeoClueLocationManager.h"
#include "platform/backend/gtk/RunLoopSource.h"
#include "platform/backend/gtk/WebKitModule.h"
#include "platform/backend/gtk/WebViewStack.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"

namespace adnet::gtk {

namespace {

bool servicesInstalled()
{
    const auto& installed = platform::services();
    return installed.acceleration || installed.haptics || installed.location || installed.urlOpener ||
           installed.webEngine || installed.prepareWebEngine;
}

} // namespace

Runtime::Runtime() = default;
Runtime::~Runtime() = default;

Runtime& ensureRuntime()
{
    // Lives as long as the process: banners come and go, the loop and the services stay.
    static Runtime* runtime = [] {
        auto* made = new Runtime();
        // One loop in charge: the RunLoop is dispatched from GLib's default context, which
        // the host's GTK main loop iterates.
        made->source = std::make_unique<platform::gtk::RunLoopSource>(platform::RunLoop::mainShared());
        if (!servicesInstalled()) {
            made->webStack = platform::gtk::WebViewStack::create();
            platform::Services desktop;
            // GeoClue asks for the desktop file's name; GLib's program name is the host's
            // application id when it set one.
            const char* name = g_get_prgname();
            desktop.location = platform::gtk::geoClueLocationService(name ? name : "adnet");
            desktop.urlOpener = std::make_shared<platform::gtk::DesktopURLOpener>();
            desktop.webEngine = [stack = made->webStack] { return stack->makeEngine(); };
            // A no-op where the engine is linked in, as here; kept for a build that loads it.
            desktop.prepareWebEngine = platform::gtk::prepareWebKitEngine;
            platform::installServices(std::move(desktop));
        }
        return made;
    }();
    return *runtime;
}

} // namespace adnet::gtk
