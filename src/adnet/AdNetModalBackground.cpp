#include "AdNetModalBackground.h"

#include "AdNetModalController.h"
#include "adnet/AdNetLocalization.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Window.h"

namespace adnet {

std::shared_ptr<AdNetModalBackground> AdNetModalBackground::create(const platform::Rect& frame)
{
    return std::shared_ptr<AdNetModalBackground>(new AdNetModalBackground(frame));
}

AdNetModalBackground::AdNetModalBackground(const platform::Rect& frame) : View(frame), m_initialFrame(frame)
{
    setBackgroundColor(kColor);
    setOpaque(false);
}

void AdNetModalBackground::expand()
{
    animateFrame("AdNetModalBackgroundExpand", kExpandDuration, platform::Screen::main().applicationFrame(),
                 m_didExpandSelector, false);
}

void AdNetModalBackground::shrink()
{
    animateFrame("AdNetModalBackgroundShrink", kShrinkDuration, m_initialFrame, m_didShrinkSelector, true);
}

void AdNetModalBackground::animateFrame(const char* animationId, double duration, const platform::Rect& to,
                                        DidStopSelector didStop, bool holdController)
{
    platform::ViewAnimation::begin(animationId);
    platform::ViewAnimation::setDuration(duration);
    if (auto controller = m_controller.lock(); controller && didStop) {
        if (holdController)
            platform::ViewAnimation::setDidStop(
                [controller, didStop](const std::string& id, bool finished, const std::any& context) {
                    ((*controller).*didStop)(id, finished, context);
                });
        else
            platform::ViewAnimation::setDelegate(controller, didStop);
    }
    setFrame(to);
    platform::ViewAnimation::commit();
}

void AdNetModalBackground::touchesEnded(const platform::TouchSet& touches, const platform::TouchEvent&)
{
    // Only a touch that began on the dimmed area itself: touches on the content (which the
    // responder chain passes up to here) never dismiss.
    auto* touch = touches.anyObject();
    if (!touch || touch->view().get() != this)
        return;
    auto controller = m_controller.lock();
    if (controller && m_dismissSelector)
        ((*controller).*m_dismissSelector)();
}

platform::Accessibility AdNetModalBackground::accessibility() const
{
    platform::Accessibility a;
    a.role = platform::AccessibleRole::Dialog;
    a.label = localizedString("Advertisement");
    a.modal = true;
    return a;
}

bool AdNetModalBackground::handleEscape()
{
    auto controller = m_controller.lock();
    if (!controller || !m_dismissSelector)
        return false;
    ((*controller).*m_dismissSelector)();
    return true;
}

} // namespace adnet
