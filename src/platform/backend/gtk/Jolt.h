#pragma once

namespace platform::gtk {

// The visible stand-in for a vibration on machines that cannot vibrate: the game's picture
// swings sideways a few points and settles within a fifth of a second. A vibration during
// a jolt extends it without restarting the swing, so rapid vibrations read as one shudder.
class Jolt final {
public:
    static constexpr double kDuration = 0.2;   // seconds
    static constexpr double kAmplitude = 5.0;  // points
    static constexpr double kFrequency = 18.0; // swings per second

    void start(double now);
    bool running(double t) const { return m_active && t < m_end; }
    // Horizontal offset of the picture in points at time t; 0 when not running.
    double offset(double t) const;
    unsigned long count() const { return m_count; }

private:
    bool m_active{false};
    double m_begin{0};
    double m_end{0};
    unsigned long m_count{0};
};

} // namespace platform::gtk
