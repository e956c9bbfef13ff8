#include "Internals.h"

#include "AdNetBrowserController.h"
#include "AdNetCanvasController.h"
#include "adnet/AdNetAd.h"
#include "adnet/AdNetController.h"
#include "adnet/AdNetViewAccess.h"
#include "adnet/AdNetViewInternal.h"

namespace adnet::gtk {

namespace {

AdNetController* controllerOf(AdNetView& view)
{
    auto* internal = dynamic_cast<AdNetViewInternal*>(platformView(view).get());
    return internal ? internal->controller().get() : nullptr;
}

} // namespace

platform::View& platformViewOf(AdNetView& view)
{
    return *platformView(view);
}

std::string failureReasonOf(AdNetView& view)
{
    auto* controller = controllerOf(view);
    if (!controller || !controller->currentlyDisplayedAd())
        return {};
    return controller->currentlyDisplayedAd()->failureReason();
}

void dismissLandingScreensOf(AdNetView& view)
{
    auto* controller = controllerOf(view);
    if (!controller)
        return;
    using Phase = AdNetModalController::Phase;
    auto open = [](const AdNetModalController& modal) {
        return modal.phase() != Phase::Idle && modal.phase() != Phase::Dismissed;
    };
    if (const auto& canvas = controller->canvasController(); canvas && open(*canvas))
        canvas->dismissModal();
    if (const auto& browser = controller->browserController(); browser && open(*browser))
        browser->dismissModal();
}

} // namespace adnet::gtk
