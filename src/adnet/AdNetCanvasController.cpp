#include "AdNetCanvasController.h"

#include "AdNetCanvasWebView.h"
#include "platform/ui/Window.h"

namespace adnet {

std::shared_ptr<AdNetCanvasController> AdNetCanvasController::create()
{
    return std::shared_ptr<AdNetCanvasController>(new AdNetCanvasController);
}

AdNetCanvasController::AdNetCanvasController()
{
    m_willPresentSelector = &AdNetDelegate::willPresentModalCanvas;
    m_didDismissSelector = &AdNetDelegate::didDismissModalCanvas;
}

void AdNetCanvasController::presentCanvasFromView(std::shared_ptr<platform::View> adView, const std::string& url,
                                                  const std::string& title)
{
    auto frame = platform::Screen::main().applicationFrame();
    auto canvas = AdNetCanvasWebView::create({(frame.width() - kCanvasSize.width) * platform::Float(0.5),
                                              (frame.height() - kCanvasSize.height) * platform::Float(0.5),
                                              kCanvasSize.width, kCanvasSize.height});
    setModalView(canvas);
    canvas->setController(weak_from_this());
    canvas->setDismissSelector(&AdNetModalController::dismissModal);
    canvas->setCanvasUrl(url);
    canvas->setCanvasTitle(title);
    canvas->startLoadingCanvas();
    presentModalFromView(std::move(adView));
}

std::shared_ptr<AdNetCanvasWebView> AdNetCanvasController::canvasWebView() const
{
    return std::dynamic_pointer_cast<AdNetCanvasWebView>(modalView());
}

} // namespace adnet
