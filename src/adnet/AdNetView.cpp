#include "adnet/AdNetView.h"

#include "adnet/AdNetController.h"
#include "adnet/AdNetViewInternal.h"

namespace adnet {

namespace {
constexpr platform::Rect kAdViewFrame{0, 0, 320, 48};
}

std::shared_ptr<AdNetView> AdNetView::requestAdWithDelegate(std::weak_ptr<AdNetDelegate> host)
{
    auto view = AdNetViewInternal::create(kAdViewFrame);
    // The banner keeps its size whatever its superview does.
    view->setAutoresizingMask(view->autoresizingMask() & ~unsigned(platform::FlexibleWidth | platform::FlexibleHeight));
    view->setBackgroundColor(platform::Color::clear());
    auto controller = AdNetController::create();
    controller->setView(view);
    controller->setDelegate(std::move(host));
    view->setController(controller);
    controller->startFirstAdRequest();
    return view;
}

void AdNetView::requestFreshAd()
{
    auto* internal = dynamic_cast<AdNetViewInternal*>(this);
    if (internal && internal->controller())
        internal->controller()->requestFreshAd();
}

} // namespace adnet
