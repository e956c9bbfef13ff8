#include "adnet/AdNetRuntime.h"

#include "platform/core/RunLoop.h"

namespace adnet {

namespace {
// Main thread only, like the rest of the ad client.
RuntimeStarter g_starter{nullptr};
} // namespace

void setRuntimeStarter(RuntimeStarter starter)
{
    g_starter = starter;
}

void startRuntimeIfNeeded()
{
    // The starter installs the loop, so it runs once unless it fails to.
    if (g_starter && !platform::RunLoop::hasMain())
        g_starter();
}

} // namespace adnet
