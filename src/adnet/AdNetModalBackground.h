#pragma once

#include <any>
#include <memory>
#include <string>

#include "platform/ui/View.h"

namespace adnet {

class AdNetModalController;

// The dark backdrop a landing screen sits on. It is created exactly over the tapped banner,
// grows to the application frame and later shrinks back to where it started. A tap that
// begins on the backdrop itself (not on the content above it) asks its controller to
// dismiss. The backdrop holds its controller weakly; the shrink, being part of a dismissal
// already under way, keeps it alive until it ends.
class AdNetModalBackground final : public platform::View {
public:
    using Selector = void (AdNetModalController::*)();
    using DidStopSelector = void (AdNetModalController::*)(const std::string& animationId, bool finished,
                                                           const std::any& context);

    static constexpr double kExpandDuration = 0.5;
    static constexpr double kShrinkDuration = 0.5;
    static constexpr platform::Color kColor = platform::Color::white(0.2f, 0.9f);

    static std::shared_ptr<AdNetModalBackground> create(const platform::Rect& frame);

    // Grows to the main screen's application frame; the controller hears didExpandSelector.
    void expand();
    // Goes back to the frame it was created with; the controller hears didShrinkSelector.
    void shrink();

    std::shared_ptr<AdNetModalController> controller() const { return m_controller.lock(); }
    void setController(std::weak_ptr<AdNetModalController> controller) { m_controller = std::move(controller); }
    Selector dismissSelector() const { return m_dismissSelector; }
    void setDismissSelector(Selector selector) { m_dismissSelector = selector; }
    DidStopSelector didExpandSelector() const { return m_didExpandSelector; }
    void setDidExpandSelector(DidStopSelector selector) { m_didExpandSelector = selector; }
    DidStopSelector didShrinkSelector() const { return m_didShrinkSelector; }
    void setDidShrinkSelector(DidStopSelector selector) { m_didShrinkSelector = selector; }

    void touchesEnded(const platform::TouchSet& touches, const platform::TouchEvent& event) override;
    // The landing screen as a dialog that keeps the keyboard inside; Escape is a tap on the
    // backdrop.
    platform::Accessibility accessibility() const override;
    bool handleEscape() override;

private:
    explicit AdNetModalBackground(const platform::Rect& frame);
    void animateFrame(const char* animationId, double duration, const platform::Rect& to, DidStopSelector didStop,
                      bool holdController);

    std::weak_ptr<AdNetModalController> m_controller;
    Selector m_dismissSelector{nullptr};
    DidStopSelector m_didExpandSelector{nullptr};
    DidStopSelector m_didShrinkSelector{nullptr};
    platform::Rect m_initialFrame;
};

} // namespace adnet
