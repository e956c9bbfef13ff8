#include "AdNetCanvasController.h"

#include "AdNetCanvasWebView.h"
#include "adnet/AdNetLocalization.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Control.h"
#include "platform/ui/Window.h"

namespace adnet {

namespace {

// The canvas page closes from inside the page or by a tap on the backdrop; a keyboard user
// gets a control of its own. It shows, and takes presses, only while the keyboard focus is
// on it, so the page looks and works as before for everyone else.
class KeyboardCloseControl final : public platform::Control {
public:
    static std::shared_ptr<KeyboardCloseControl> create(const platform::Rect& frame)
    {
        return std::shared_ptr<KeyboardCloseControl>(new KeyboardCloseControl(frame));
    }
    bool pointInside(platform::Point point) const override { return focused() && Control::pointInside(point); }
    void draw(platform::Canvas& canvas, const platform::Rect&) override
    {
        if (!focused())
            return;
        const platform::Rect b = bounds();
        canvas.setFillColor(platform::Color::white(0.1f, 0.85f));
        canvas.beginPath();
        canvas.addRoundedRect(b, 6);
        canvas.fillPath();
        static const platform::Font font = platform::Font::boldSystem(14);
        const std::string title = localizedString("Close");
        const platform::Size size = font.measure(title);
        canvas.setFillColor(platform::Color::white(1));
        canvas.drawText(title, {b.x(), b.midY() - size.height / 2, b.width(), size.height}, font,
                        platform::TextAlignment::Center);
    }
    platform::Accessibility accessibility() const override
    {
        platform::Accessibility a = Control::accessibility();
        a.role = platform::AccessibleRole::Button;
        a.label = localizedString("Close");
        return a;
    }

private:
    explicit KeyboardCloseControl(const platform::Rect& frame) : Control(frame) { setOpaque(false); }
    bool focused() const
    {
        auto* w = window();
        return w && w->isFocusVisible() && w->focusedView().get() == this;
    }
};

} // namespace

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
    auto close = KeyboardCloseControl::create({kCanvasSize.width - 76, 6, 70, 30});
    std::weak_ptr<AdNetModalController> weak = weak_from_this();
    close->addAction(
        [weak](platform::Control&) {
            if (auto controller = weak.lock())
                controller->dismissModal();
        },
        platform::TouchUpInside);
    canvas->addSubview(close);
    presentModalFromView(std::move(adView));
}

std::shared_ptr<AdNetCanvasWebView> AdNetCanvasController::canvasWebView() const
{
    return std::dynamic_pointer_cast<AdNetCanvasWebView>(modalView());
}

} // namespace adnet
