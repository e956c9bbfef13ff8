#pragma once

#include <any>
#include <memory>
#include <string>

#include "adnet/AdNetDelegate.h"
#include "platform/ui/View.h"

namespace platform {
class Timer;
}

namespace adnet {

class AdNetModalBackground;

// The full-screen modal both landing screens are shown in. A dark backdrop grows out of the
// tapped banner to the application frame (0.5 s), the content fades in on it (0.2 s); on
// dismissal the content fades out (0.2 s), the backdrop shrinks back into the banner's old
// rectangle (0.5 s) and leaves the window, and only then does the host hear of it.
//
// A dismissal asked for while the presentation still animates waits for it to finish and
// runs 0.5 s later, once, however often it was asked for. Once the fade-out has begun,
// further requests do nothing.
//
// A dismissal once under way runs to its end: the deferred dismissal's timer and the
// fade-out and shrink animations keep the controller alive until they are over. A controller
// let go at any other time (its owner opened the next landing screen, or went away) takes
// its backdrop off the window at once and tells the host (on the next turn of the run loop)
// that it was dismissed: nothing of it stays on screen, and every will-present notice has
// its did-dismiss.
class AdNetModalController : public std::enable_shared_from_this<AdNetModalController> {
public:
    static constexpr double kDismissalDelay = 0.5;

    enum class Phase { Idle, Expanding, FadingIn, Presented, FadingOut, Shrinking, Dismissed };

    virtual ~AdNetModalController();
    AdNetModalController(const AdNetModalController&) = delete;
    AdNetModalController& operator=(const AdNetModalController&) = delete;

    std::shared_ptr<AdNetDelegate> adNetDelegate() const { return m_adNetDelegate.lock(); }
    void setAdNetDelegate(std::weak_ptr<AdNetDelegate> delegate) { m_adNetDelegate = std::move(delegate); }

    // Presents the content (set by the subclass) out of `adView`, which must be in a window
    // (or there must be a key window). A controller is presented once.
    void presentModalFromView(std::shared_ptr<platform::View> adView);
    // The one way to close the modal: backdrop taps, the deferred timer, the subclasses.
    void dismissModal();

    // Completion handlers of the four animations.
    void backgroundExpandAnimationDidStop(const std::string& animationId, bool finished, const std::any& context);
    void modalViewDidFadeIn(const std::string& animationId, bool finished, const std::any& context);
    void modalViewDidFadeOut(const std::string& animationId, bool finished, const std::any& context);
    void backgroundShrinkAnimationDidStop(const std::string& animationId, bool finished, const std::any& context);

    Phase phase() const { return m_phase; }
    bool dismissalRequested() const { return m_dismissalRequested; }
    std::shared_ptr<AdNetModalBackground> background() const { return m_background.lock(); }
    const std::shared_ptr<platform::View>& modalView() const { return m_modalView; }
    // The view the modal was opened from, until the end of the dismissal.
    std::shared_ptr<platform::View> adView() const { return m_adView.lock(); }

protected:
    using Notice = void (AdNetDelegate::*)();

    AdNetModalController() = default;
    void setModalView(std::shared_ptr<platform::View> view) { m_modalView = std::move(view); }

    Notice m_willPresentSelector{nullptr};
    Notice m_didDismissSelector{nullptr};

private:
    using DidStop = void (AdNetModalController::*)(const std::string&, bool, const std::any&);
    void fadeModalView(const char* animationId, platform::Float alpha, DidStop didStop, bool holdSelf);
    void performDismissal();
    void cancelDismissalTimer();
    void notifyHost(Notice notice) const;

    // The window keeps the backdrop alive; the controller only points at it.
    std::weak_ptr<AdNetModalBackground> m_background;
    bool m_presentationAnimationInProgress{false};
    bool m_dismissalRequested{false};
    std::weak_ptr<AdNetDelegate> m_adNetDelegate;
    std::shared_ptr<platform::View> m_modalView;
    // Held weakly: the ad view owns the ad controller, which owns this controller, so a
    // strong hold would keep all three alive for as long as the modal is shown. A host that
    // lets its ad view go ends the landing screen with it.
    std::weak_ptr<platform::View> m_adView;
    // The run loop owns a scheduled timer, and the timer owns this controller until it fires.
    std::weak_ptr<platform::Timer> m_dismissalDelayTimer;
    Phase m_phase{Phase::Idle};
};

} // namespace adnet
