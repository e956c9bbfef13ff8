#include "app/MainView.h"

#include <algorithm>
#include <cmath>

#include "adnet/AdNetLocalization.h"
#include "app/MainViewObserver.h"
#include "platform/core/Bundle.h"
#include "platform/device/Haptics.h"
#include "platform/ui/Animation.h"

namespace brimsey {

namespace {

constexpr std::array<std::string_view, MainView::EffectCount> kEffectNames{"countdown", "v1",      "v3",     "v4",
                                                                           "v5",        "endloop", "warning"};

} // namespace

std::shared_ptr<MainView> MainView::create()
{
    return std::shared_ptr<MainView>(new MainView());
}

MainView::MainView() : platform::View(platform::Rect{})
{
}

MainView::~MainView()
{
    if (auto timer = m_timer.lock())
        timer->invalidate();
    if (auto timer = m_timer2.lock())
        timer->invalidate();
}

std::string_view MainView::effectName(Effect effect)
{
    return kEffectNames[effect];
}

bool MainView::timerRunning() const
{
    auto timer = m_timer.lock();
    return timer && timer->isValid();
}

bool MainView::timer2Running() const
{
    auto timer = m_timer2.lock();
    return timer && timer->isValid();
}

double MainView::now() const
{
    return platform::RunLoop::main().now();
}

void MainView::startEffect(Effect effect)
{
    // The game goes on whatever the engine answers (an effect that failed to load has id 0
    // and is simply not heard).
    (void)SoundEngine_StartEffect(m_sounds[effect]);
    if (auto observer = m_observer.lock())
        observer->effectStarted(kEffectNames[effect]);
}

void MainView::vibrate()
{
    platform::playSystemSound(kVibrateSystemSound);
    if (auto observer = m_observer.lock())
        observer->vibrated();
}

void MainView::setHintAlpha(platform::Float alpha)
{
    bool changed = m_keepshaking && m_keepshaking->alpha() != alpha;
    if (m_keepshaking)
        m_keepshaking->setAlpha(alpha);
    if (changed) {
        if (auto observer = m_observer.lock())
            observer->hintChanged(alpha != 0);
    }
}

namespace {

// What the pictures say, for screen readers; the result buttons by the result each shows.
void describeViews(MainView& view)
{
    using adnet::localizedString;
    using platform::AccessibleRole;
    auto button = [](const std::shared_ptr<platform::Button>& b, std::string label) {
        if (b)
            b->setAccessibility({AccessibleRole::Button, std::move(label)});
    };
    button(view.butstart(), localizedString("Start"));
    const std::string again = localizedString("Tap to play again");
    button(view.butd1(), localizedString("Weak... Is that all? Shake harder!") + " " + again);
    button(view.butd2(), localizedString("Good! Nice shaking. Can you go higher?") + " " + again);
    button(view.butd3(), localizedString("Great! Almost at the top!") + " " + again);
    button(view.butd4(), localizedString("Super! You are a shake master!") + " " + again);
    if (auto hint = view.keepshaking())
        hint->setAccessibility({AccessibleRole::Status, localizedString("Keep shaking!")});
}

} // namespace

void MainView::setMeterY(double y)
{
    if (!m_meter)
        return;
    auto center = m_meter->center();
    // As a level: 0 at the start line, 100 at the top.
    const double level = std::clamp((kMeterStart - y) / (kMeterStart - kMeterTop) * 100.0, 0.0, 100.0);
    platform::Accessibility meter{platform::AccessibleRole::Meter, adnet::localizedString("Shake meter")};
    meter.value = std::round(level);
    m_meter->setAccessibility(std::move(meter));
    // Computed in double, stored as a single-precision coordinate.
    auto stored = static_cast<platform::Float>(y);
    bool changed = center.y != stored;
    m_meter->setCenter({center.x, stored});
    if (changed) {
        if (auto observer = m_observer.lock())
            observer->meterMoved(stored);
    }
}

void MainView::setResultButtonsEnabled(bool enabled)
{
    for (auto* button : {&m_butd1, &m_butd2, &m_butd3, &m_butd4})
        if (*button)
            (*button)->setEnabled(enabled);
    if (auto observer = m_observer.lock())
        observer->resultButtonsEnabled(enabled);
}

void MainView::awakeFromNib()
{
    platform::View::awakeFromNib();
    for (auto* button : {&m_butd1, &m_butd2, &m_butd3, &m_butd4, &m_butstart})
        if (*button)
            (*button)->setAlpha(0.0f);
    setHintAlpha(0.0f);
    describeViews(*this);

    m_startgame = 0;
    m_sounds.fill(0);

    auto& accelerometer = platform::Accelerometer::shared();
    accelerometer.setUpdateInterval(kUpdateInterval);
    accelerometer.setDelegate(sharedAs<MainView>());

    setMeterY(kMeterStart);

    platform::ViewAnimation::begin();
    platform::ViewAnimation::setDuration(kFadeDuration);
    if (m_butstart)
        m_butstart->setAlpha(1.0f);
    platform::ViewAnimation::commit();

    (void)SoundEngine_Initialize(kMixerRate);
    (void)SoundEngine_SetListenerPosition(0.0f, 0.0f, 1.0f);
    for (int effect = 0; effect < EffectCount; ++effect) {
        // A missing file still gets its path: the engine refuses it and the id stays 0.
        std::string path = platform::Bundle::main().pathFor(std::string(kEffectNames[effect]) + ".wav").string();
        (void)SoundEngine_LoadEffect(path.c_str(), &m_sounds[effect]);
    }
}

void MainView::startGame()
{
    m_startgame = 1;
    m_count = 0;
    onTimer();
    std::weak_ptr<MainView> weak = sharedAs<MainView>();
    m_timer = platform::Timer::schedule(kTickInterval, true, [weak](platform::Timer&) {
        if (auto self = weak.lock())
            self->onTimer();
    });
}

void MainView::clickstart()
{
    auto self = sharedAs<MainView>();
    startEffect(K7);
    m_lastTime3 = now();
    platform::ViewAnimation::begin();
    platform::ViewAnimation::setDuration(kFadeDuration);
    if (m_butstart)
        m_butstart->setAlpha(0.0f);
    platform::ViewAnimation::commit();
    startGame();
}

void MainView::clickdone()
{
    auto self = sharedAs<MainView>();
    startEffect(K7);
    m_lastTime3 = now();
    setMeterY(kMeterStart);
    platform::ViewAnimation::begin();
    platform::ViewAnimation::setDuration(kFadeDuration);
    for (auto* button : {&m_butd1, &m_butd2, &m_butd3, &m_butd4})
        if (*button)
            (*button)->setAlpha(0.0f);
    platform::ViewAnimation::commit();
    startGame();
}

void MainView::clickdone2()
{
    clickdone();
}
void MainView::clickdone3()
{
    clickdone();
}
void MainView::clickdone4()
{
    clickdone();
}

void MainView::onTimer()
{
    auto self = sharedAs<MainView>();
    m_count += 1;
    if (auto observer = m_observer.lock())
        observer->tick(m_count);

    if (m_count == kWarningTick) {
        startEffect(Warning);
        onTimer2();
        std::weak_ptr<MainView> weak = sharedAs<MainView>();
        m_timer2 = platform::Timer::schedule(kVibrationInterval, true, [weak](platform::Timer&) {
            if (auto self = weak.lock())
                self->onTimer2();
        });
    }
    if (m_count == kLastTick) {
        setResultButtonsEnabled(false);
        startEffect(Endloop);

        // First matching row: the higher the meter (the smaller y), the better the band.
        double y = m_meter ? m_meter->center().y : kMeterStart;
        std::shared_ptr<platform::Button> shown;
        Effect voice;
        std::string_view name;
        if (y < kCheerLine) {
            shown = m_butd4, voice = V5, name = "butd4";
        } else if (y < kBandGreat) {
            shown = m_butd3, voice = V3, name = "butd3";
        } else if (y < kBandGood) {
            shown = m_butd2, voice = V3, name = "butd2";
        } else {
            shown = m_butd1, voice = V1, name = "butd1";
        }
        if (auto observer = m_observer.lock())
            observer->result(name, kEffectNames[voice]);
        startEffect(voice);
        platform::ViewAnimation::begin();
        platform::ViewAnimation::setDuration(kFadeDuration);
        for (auto* button : {&m_butd1, &m_butd2, &m_butd3, &m_butd4})
            if (*button)
                (*button)->setAlpha(*button == shown ? 1.0f : 0.0f);
        platform::ViewAnimation::commit();

        vibrate();
        m_startgame = 0;
        setHintAlpha(0.0f);
        if (auto timer = m_timer.lock())
            timer->invalidate();
    }
}

void MainView::onTimer2()
{
    m_count2 += 1;
    if (auto observer = m_observer.lock())
        observer->vibrationTick(m_count2);
    vibrate();
    if (m_count2 == kEnableVibrationTick)
        setResultButtonsEnabled(true);
    if (m_count2 == kLastVibrationTick) {
        m_count2 = 0;
        if (auto timer = m_timer2.lock())
            timer->invalidate();
    }
}

void MainView::accelerometerDidAccelerate(platform::Accelerometer&, const platform::Acceleration& acceleration)
{
    const double a = acceleration.x, b = acceleration.y, c = acceleration.z;
    auto& m = m_myAccelerometer;
    m[0] = a * kNewWeight + m[0] * kOldWeight;
    m[1] = b * kNewWeight + m[1] * kOldWeight;
    m[2] = c * kNewWeight + m[2] * kOldWeight;
    const double s = std::sqrt((a - m[0]) * (a - m[0]) + (b - m[1]) * (b - m[1]) + (c - m[2]) * (c - m[2]));
    if (m_startgame != 1)
        return;

    // Every sample above the threshold moves the meter, with no spacing and no clamping.
    if (s > kShakeThreshold && m_meter && m_meter->center().y > kMeterTop) {
        setMeterY(m_meter->center().y - kMeterStep * s * s);
        vibrate();
    }
    if (s > kShakeThreshold && now() > m_lastTime + kShakeSpacing) {
        m_lastTime = now();
        m_lastTime3 = now();
        setHintAlpha(0.0f);
    }
    if (m_meter && m_meter->center().y < kCheerLine && now() > m_lastTime2 + kCheerSpacing) {
        m_lastTime2 = now();
        startEffect(V4);
    }
    if (now() > m_lastTime3 + kHintDelay)
        setHintAlpha(1.0f);
}

} // namespace brimsey
