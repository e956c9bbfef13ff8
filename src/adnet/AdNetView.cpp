#include "adnet/AdNetView.h"

#include "adnet/AdNetController.h"
#include "adnet/AdNetRuntime.h"
#include "adnet/AdNetViewAccess.h"
#include "adnet/AdNetViewInternal.h"

namespace adnet {

namespace {
constexpr platform::Rect kAdViewFrame{0, 0, 320, 48};
}

struct AdNetViewAccess {
    static const std::shared_ptr<AdNetViewInternal>& internal(const AdNetView& handle) { return handle.m_view; }
};

AdNetView::AdNetView(std::shared_ptr<AdNetViewInternal> view) : m_view(std::move(view))
{
}

// The view goes with the last of the handle and its parent view; with it the controller,
// which silences and releases its ads.
AdNetView::~AdNetView() = default;

std::shared_ptr<AdNetView> AdNetView::requestAdWithDelegate(std::weak_ptr<AdNetDelegate> host)
{
    startRuntimeIfNeeded();
    auto view = AdNetViewInternal::create(kAdViewFrame);
    // The banner keeps its size whatever its superview does.
    view->setAutoresizingMask(view->autoresizingMask() & ~unsigned(platform::FlexibleWidth | platform::FlexibleHeight));
    view->setBackgroundColor(platform::Color::clear());
    std::shared_ptr<AdNetView> handle(new AdNetView(view));
    view->setHandle(handle);
    auto controller = AdNetController::create();
    controller->setView(view);
    controller->setDelegate(std::move(host));
    view->setController(controller);
    controller->startFirstAdRequest();
    return handle;
}

void AdNetView::requestFreshAd()
{
    if (m_view->controller())
        m_view->controller()->requestFreshAd();
}

std::shared_ptr<platform::View> platformView(const AdNetView& handle)
{
    return AdNetViewAccess::internal(handle);
}

std::shared_ptr<AdNetView> handleOf(const platform::View& view)
{
    auto* internal = dynamic_cast<const AdNetViewInternal*>(&view);
    return internal ? internal->handle() : nullptr;
}

} // namespace adnet
