#include "AdNetModalController.h"

#include "AdNetModalBackground.h"
#include "adnet/AdNetEvents.h"
#include "platform/core/Timer.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace adnet {

AdNetModalController::~AdNetModalController()
{
    cancelDismissalTimer();
    // Released mid-way (the next landing screen opened, or the ad view went away): the
    // animations that would finish the job only hold this controller weakly, so finish it
    // here rather than leave a backdrop nobody answers for.
    auto background = m_background.lock();
    if (!background || !background->superview())
        return;
    background->removeFromSuperview();
    m_phase = Phase::Dismissed;
    reportAdNetEvent("modal dismissed");
    // Not from inside a destructor: the host may well release the ad view in its notice.
    if (m_didDismissSelector)
        platform::RunLoop::main().post([delegate = m_adNetDelegate, notice = m_didDismissSelector] {
            if (auto host = delegate.lock())
                ((*host).*notice)();
        });
}

void AdNetModalController::presentModalFromView(std::shared_ptr<platform::View> adView)
{
    if (m_phase != Phase::Idle || !adView)
        return;
    platform::Window* window = adView->window();
    auto keyWindow = platform::Application::shared().keyWindow();
    if (!window)
        window = keyWindow.get();
    if (!window)
        return;
    auto self = shared_from_this();

    m_adView = adView;
    reportAdNetEvent("modal will present");
    notifyHost(m_willPresentSelector);

    platform::Rect start = adView->frame();
    if (auto superview = adView->superview(); superview && adView->window())
        start = superview->convertRectToView(adView->frame(), nullptr);

    auto background = AdNetModalBackground::create(start);
    background->setController(weak_from_this());
    background->setDismissSelector(&AdNetModalController::dismissModal);
    background->setDidExpandSelector(&AdNetModalController::backgroundExpandAnimationDidStop);
    background->setDidShrinkSelector(&AdNetModalController::backgroundShrinkAnimationDidStop);
    window->addSubview(background);
    m_background = background;

    m_presentationAnimationInProgress = true;
    m_phase = Phase::Expanding;
    background->expand();
}

void AdNetModalController::backgroundExpandAnimationDidStop(const std::string&, bool, const std::any&)
{
    auto background = m_background.lock();
    if (m_phase != Phase::Expanding || !background)
        return;
    m_phase = Phase::FadingIn;
    if (!m_modalView) {
        modalViewDidFadeIn({}, true, {});
        return;
    }
    m_modalView->setAlpha(0);
    background->addSubview(m_modalView);
    fadeModalView("fadeInModalView", 1, &AdNetModalController::modalViewDidFadeIn, false);
}

void AdNetModalController::modalViewDidFadeIn(const std::string&, bool, const std::any&)
{
    if (m_phase != Phase::FadingIn)
        return;
    m_presentationAnimationInProgress = false;
    m_phase = Phase::Presented;
    reportAdNetEvent("modal presented");
    if (!m_dismissalRequested)
        return;
    cancelDismissalTimer();
    // The timer holds the controller: a deferred dismissal happens even if the owner has
    // let go meanwhile.
    auto self = shared_from_this();
    m_dismissalDelayTimer =
        platform::Timer::schedule(kDismissalDelay, false, [self](platform::Timer&) { self->performDismissal(); });
}

void AdNetModalController::dismissModal()
{
    if (m_phase == Phase::Idle || m_phase == Phase::FadingOut || m_phase == Phase::Shrinking ||
        m_phase == Phase::Dismissed)
        return;
    reportAdNetEvent("modal dismiss requested");
    performDismissal();
}

void AdNetModalController::performDismissal()
{
    // Dropping the timer below may drop the last other reference to this controller.
    auto self = shared_from_this();
    if (m_presentationAnimationInProgress) {
        m_dismissalRequested = true;
        return;
    }
    if (m_phase != Phase::Presented)
        return;
    cancelDismissalTimer();
    m_phase = Phase::FadingOut;
    if (!m_modalView) {
        modalViewDidFadeOut({}, true, {});
        return;
    }
    fadeModalView("fadeOutModalView", 0, &AdNetModalController::modalViewDidFadeOut, true);
}

void AdNetModalController::fadeModalView(const char* animationId, platform::Float alpha, DidStop didStop, bool holdSelf)
{
    // No duration: the platform's default.
    platform::ViewAnimation::begin(animationId);
    if (holdSelf)
        platform::ViewAnimation::setDidStop(
            [self = shared_from_this(), didStop](const std::string& id, bool finished, const std::any& context) {
                ((*self).*didStop)(id, finished, context);
            });
    else
        platform::ViewAnimation::setDelegate(shared_from_this(), didStop);
    m_modalView->setAlpha(alpha);
    platform::ViewAnimation::commit();
}

void AdNetModalController::modalViewDidFadeOut(const std::string&, bool, const std::any&)
{
    if (m_phase != Phase::FadingOut)
        return;
    if (m_modalView) {
        m_modalView->removeFromSuperview();
        m_modalView.reset();
    }
    m_phase = Phase::Shrinking;
    if (auto background = m_background.lock())
        background->shrink();
    else
        backgroundShrinkAnimationDidStop({}, true, {});
}

void AdNetModalController::backgroundShrinkAnimationDidStop(const std::string&, bool, const std::any&)
{
    if (m_phase != Phase::Shrinking)
        return;
    auto self = shared_from_this();
    if (auto background = m_background.lock())
        background->removeFromSuperview();
    m_phase = Phase::Dismissed;
    reportAdNetEvent("modal dismissed");
    notifyHost(m_didDismissSelector);
    m_adView.reset();
}

void AdNetModalController::cancelDismissalTimer()
{
    if (auto timer = m_dismissalDelayTimer.lock())
        timer->invalidate();
    m_dismissalDelayTimer.reset();
}

void AdNetModalController::notifyHost(Notice notice) const
{
    if (!notice)
        return;
    if (auto delegate = m_adNetDelegate.lock())
        ((*delegate).*notice)();
}

} // namespace adnet
