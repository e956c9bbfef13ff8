#pragma once

#include <memory>

namespace platform {
class Timer;
}

namespace brimsey {

// Lets the sound output rest while nothing sounds, so an idle window wakes the machine for
// nothing: every few seconds while the output is awake it asks the sound engine to rest;
// once it rests nothing is checked until an effect start wakes the output again.
class SoundRest final {
public:
    static constexpr double kCheckInterval = 2.0;

    SoundRest();
    ~SoundRest();
    SoundRest(const SoundRest&) = delete;
    SoundRest& operator=(const SoundRest&) = delete;

    bool isChecking() const;

private:
    void watch();
    void check();

    std::shared_ptr<platform::Timer> m_timer;
};

} // namespace brimsey
