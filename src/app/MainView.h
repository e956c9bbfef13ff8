#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/core/Timer.h"
#include "platform/device/Accelerometer.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/View.h"
#include "sound/SoundEngine.h"

namespace brimsey {

class MainViewObserver;

// The game screen: a timed shake game. Tap start, shake for nine seconds; every strong
// shake pushes the meter up and vibrates; at the end the meter's height picks one of four
// result buttons and a voice, and tapping the shown result starts the next game.
//
// The nine outlets come from the interface description; the view never creates them.
class MainView final : public platform::View, public platform::AccelerometerDelegate {
public:
    // Game constants.
    static constexpr double kUpdateInterval = 0.04;
    static constexpr double kNewWeight = 0.1;
    static constexpr double kOldWeight = 0.9;
    static constexpr double kShakeThreshold = 2.3;
    static constexpr double kMeterTop = 250.0;
    static constexpr double kMeterStep = 0.15;
    static constexpr double kMeterStart = 720.0;
    static constexpr double kShakeSpacing = 0.15;
    static constexpr double kHintDelay = 1.5;
    static constexpr double kCheerLine = 350.0;
    static constexpr double kCheerSpacing = 5.5;
    static constexpr double kBandGreat = 450.0;
    static constexpr double kBandGood = 600.0;
    static constexpr double kTickInterval = 1.0;
    static constexpr double kFadeDuration = 1.0;
    static constexpr double kVibrationInterval = 0.3;
    static constexpr int kWarningTick = 8;
    static constexpr int kLastTick = 10;
    static constexpr int kEnableVibrationTick = 15;
    static constexpr int kLastVibrationTick = 25;
    static constexpr std::uint32_t kVibrateSystemSound = 4095;
    static constexpr float kMixerRate = 44100.0f;

    static std::shared_ptr<MainView> create();
    ~MainView() override;

    // Outlets: plain retaining accessors.
    std::shared_ptr<platform::ImageView> bghome() const { return m_bghome; }
    std::shared_ptr<platform::Button> butd1() const { return m_butd1; }
    std::shared_ptr<platform::Button> butd2() const { return m_butd2; }
    std::shared_ptr<platform::Button> butd3() const { return m_butd3; }
    std::shared_ptr<platform::Button> butd4() const { return m_butd4; }
    std::shared_ptr<platform::Button> butstart() const { return m_butstart; }
    std::shared_ptr<platform::ImageView> meter() const { return m_meter; }
    std::shared_ptr<platform::ImageView> metercover() const { return m_metercover; }
    std::shared_ptr<platform::ImageView> keepshaking() const { return m_keepshaking; }
    void setBghome(std::shared_ptr<platform::ImageView> v) { m_bghome = std::move(v); }
    void setButd1(std::shared_ptr<platform::Button> v) { m_butd1 = std::move(v); }
    void setButd2(std::shared_ptr<platform::Button> v) { m_butd2 = std::move(v); }
    void setButd3(std::shared_ptr<platform::Button> v) { m_butd3 = std::move(v); }
    void setButd4(std::shared_ptr<platform::Button> v) { m_butd4 = std::move(v); }
    void setButstart(std::shared_ptr<platform::Button> v) { m_butstart = std::move(v); }
    void setMeter(std::shared_ptr<platform::ImageView> v) { m_meter = std::move(v); }
    void setMetercover(std::shared_ptr<platform::ImageView> v) { m_metercover = std::move(v); }
    void setKeepshaking(std::shared_ptr<platform::ImageView> v) { m_keepshaking = std::move(v); }

    // Set-up once the outlets are connected: hides the buttons and the hint, takes the
    // accelerometer, puts the meter at 720, fades the start button in, loads the sounds.
    void awakeFromNib() override;

    // Actions: the start button's, and the four result buttons' (all four alike).
    void clickstart();
    void clickdone();
    void clickdone2();
    void clickdone3();
    void clickdone4();

    // The one-second game tick and the 0.3-second vibration tick.
    void onTimer();
    void onTimer2();

    void accelerometerDidAccelerate(platform::Accelerometer& accelerometer,
                                    const platform::Acceleration& acceleration) override;

    // Not retained: an observer that has gone away is simply not told.
    void setObserver(std::weak_ptr<MainViewObserver> observer) { m_observer = std::move(observer); }

    // Read-only state, for tests and the event log.
    bool isRunning() const { return m_startgame == 1; }
    int count() const { return m_count; }
    int count2() const { return m_count2; }
    double lastTime() const { return m_lastTime; }
    double lastTime2() const { return m_lastTime2; }
    double lastTime3() const { return m_lastTime3; }
    std::array<double, 3> runningAverage() const { return m_myAccelerometer; }
    bool timerRunning() const;
    bool timer2Running() const;

    enum Effect : int { K7, V1, V3, V4, V5, Endloop, Warning, EffectCount };
    SoundEngineEffectID effectId(Effect effect) const { return m_sounds[effect]; }
    static std::string_view effectName(Effect effect);

    // Public for the interface registry; use create().
    MainView();

private:
    void startEffect(Effect effect);
    void vibrate();
    void startGame();
    void setHintAlpha(platform::Float alpha);
    void setMeterY(double y);
    void setResultButtonsEnabled(bool enabled);
    double now() const;

    std::shared_ptr<platform::ImageView> m_bghome;
    std::shared_ptr<platform::Button> m_butd1;
    std::shared_ptr<platform::Button> m_butd2;
    std::shared_ptr<platform::Button> m_butd3;
    std::shared_ptr<platform::Button> m_butd4;
    std::shared_ptr<platform::Button> m_butstart;
    std::shared_ptr<platform::ImageView> m_meter;
    std::shared_ptr<platform::ImageView> m_metercover;
    std::shared_ptr<platform::ImageView> m_keepshaking;

    std::array<double, 3> m_myAccelerometer{0, 0, 0};
    double m_lastTime{0};
    double m_lastTime2{0};
    double m_lastTime3{0};
    std::array<SoundEngineEffectID, EffectCount> m_sounds{};
    int m_startgame{0};
    int m_count{0};
    int m_count2{0};
    // The run loop keeps scheduled timers alive; the game only points at them.
    std::weak_ptr<platform::Timer> m_timer;
    std::weak_ptr<platform::Timer> m_timer2;

    std::weak_ptr<MainViewObserver> m_observer;
};

} // namespace brimsey
