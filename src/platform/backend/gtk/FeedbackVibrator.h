#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform::gtk {

// One short vibration through feedbackd, the haptics service of Linux phones, where it
// runs. libfeedback aborts the process when an event is triggered after its set-up failed,
// so every trigger is guarded: no bus, no service owner, no trigger.
class FeedbackVibrator final {
public:
    static constexpr const char* kAppId = "org.brimsey.Brimsey";
    // feedbackd's themes give this event a short buzz.
    static constexpr const char* kEvent = "button-pressed";

    // Connects to the session bus only when one is reachable without starting one (GIO
    // would otherwise try to launch a bus daemon that outlives the game).
    FeedbackVibrator();
    ~FeedbackVibrator();
    FeedbackVibrator(const FeedbackVibrator&) = delete;
    FeedbackVibrator& operator=(const FeedbackVibrator&) = delete;

    // True while feedbackd is running: set-up succeeded and its bus name has an owner.
    bool available() const;
    // Why not available (for the one line the application prints).
    std::string status() const;

    // Asks feedbackd for one vibration. Returns false, sending nothing, when it is not
    // available. onRejected runs later on the main loop if the service answers with an
    // error (the caller shows its fallback then).
    bool vibrate(std::function<void()> onRejected = {});

    // Triggers sent so far (accepted or not); for tests and the log.
    unsigned long sent() const { return m_sent; }

private:
    bool m_initted{false};
    std::string m_initError;
    unsigned long m_sent{0};
    // Outstanding asynchronous answers check this before touching the vibrator.
    std::shared_ptr<bool> m_alive{std::make_shared<bool>(true)};
};

} // namespace platform::gtk
