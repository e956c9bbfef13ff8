#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/core/RunLoop.h"

namespace platform {

// A one-shot or repeating timer on a RunLoop. The first tick comes one interval after
// scheduling; a repeating timer keeps its phase (tick k at start + k x interval), and on a
// late real clock it fires once and resumes on its grid. The loop keeps a scheduled timer
// alive until it is invalidated (or, one-shot, has fired); invalidate() is final.
class Timer final : public RunLoop::Event, public std::enable_shared_from_this<Timer> {
public:
    using Callback = std::function<void(Timer&)>;

    static std::shared_ptr<Timer> schedule(double interval, bool repeats, Callback onTimeout,
                                           RunLoop& loop = RunLoop::main());

    void invalidate();
    bool isValid() const { return m_valid; }
    bool repeats() const { return m_repeats; }
    double interval() const { return m_interval; }
    double fireTime() const { return m_fireTime; }

    Timer(double interval, bool repeats, Callback onTimeout, RunLoop& loop);
    Timer(const Timer&) = delete;
    Timer& operator=(const Timer&) = delete;

private:
    void arm();
    void fire() override;

    std::weak_ptr<RunLoop> m_loop;
    double m_interval;
    bool m_repeats;
    Callback m_onTimeout;
    double m_start{0};
    std::uint64_t m_ticks{0};
    double m_fireTime{0};
    RunLoop::EventId m_event{0};
    bool m_valid{true};
};

} // namespace platform
