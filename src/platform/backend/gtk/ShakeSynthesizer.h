#pragma once

#include <optional>

namespace platform::gtk {

// Acceleration in g on the phone's axes: x to the right, y up the screen, z out of the
// screen; a device lying face up at rest reads (0, 0, -1).
struct GVector {
    double x{0};
    double y{0};
    double z{0};
};

// Turns pointer motion into the acceleration a hand would feel moving a phone the same
// way. Each sample takes the pointer's mean velocity since the previous sample (from the
// motion events' own times, so the sampling grid and the event rate do not add noise) and
// differentiates it again. Brisk back-and-forth shaking reverses the velocity between
// samples and crosses the game's 2.3 g threshold; steady drags and slow waving do not.
class PointerShake final {
public:
    // One g per this many points per second squared.
    static constexpr double kPointsPerSecond2PerG = 2500.0;
    // Spans shorter than this carry too little motion to measure a velocity.
    static constexpr double kMinSpan = 0.008;

    // Pointer position in window points at time t (seconds, the RunLoop's clock).
    void moved(double t, double x, double y);
    // The pointer left the window (or it lost focus): whatever it does next starts afresh,
    // so re-entering elsewhere is not a jump.
    void lost();
    // Acceleration of the pointer over the period that ends at t, in g on the phone's
    // x and y axes (screen y grows downwards, the phone's y upwards). z stays 0.
    GVector sample(double t);

private:
    struct Point {
        double t;
        double x;
        double y;
    };
    std::optional<Point> m_latest; // the newest motion event
    std::optional<Point> m_anchor; // where the previous velocity span ended
    bool m_movedSinceSample{false};
    double m_vx{0};
    double m_vy{0};
    double m_vMid{0}; // middle of the previous velocity span
    bool m_haveVelocity{false};
};

// Holding a key shakes: a steady 5 Hz swing, mostly along x, strong enough that most of
// its samples cross the game's threshold.
class KeyShake final {
public:
    static constexpr double kFrequency = 5.0;
    static constexpr double kAmplitudeX = 3.6;
    static constexpr double kAmplitudeY = 1.2;

    // Auto-repeat sends more presses while the key is held; they keep the swing's phase.
    void pressed(double t);
    void released();
    bool held() const { return m_held; }
    GVector sample(double t) const;

private:
    bool m_held{false};
    double m_since{0};
};

// The desktop's accelerometer: the device's own reading (or a phone at rest face up) plus
// the pointer's and the keyboard's shaking, limited to a phone sensor's range.
class ShakeSynthesizer final {
public:
    static constexpr double kRangeG = 4.0;

    PointerShake& pointer() { return m_pointer; }
    KeyShake& key() { return m_key; }
    const KeyShake& key() const { return m_key; }
    // Focus moved elsewhere: a key release or pointer motion may never arrive.
    void focusLost();

    GVector sample(double t, GVector device = {0, 0, -1});

private:
    PointerShake m_pointer;
    KeyShake m_key;
};

} // namespace platform::gtk
