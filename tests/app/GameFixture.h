#pragma once
// A game on the virtual clock: the nine outlets laid out as in the interface description,
// a MainView set up with them, and a recorder of what the game does.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/MainView.h"
#include "app/MainViewObserver.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/InterfaceLoader.h"

namespace brimsey::test {

// Every observed event as "%.3f event" relative to the fixture's start, like the event log.
class Recorder final : public MainViewObserver {
public:
    explicit Recorder(std::function<double()> clock) : m_clock(std::move(clock)) { }

    void effectStarted(std::string_view name) override { add("effect " + std::string(name)); }
    void vibrated() override { add("vibrate"); }
    void meterMoved(double y) override
    {
        char text[48];
        std::snprintf(text, sizeof text, "meter %.3f", y);
        add(text);
    }
    void hintChanged(bool shown) override { add(shown ? "hint show" : "hint hide"); }
    void tick(int count) override { add("tick " + std::to_string(count)); }
    void vibrationTick(int count2) override { add("vtick " + std::to_string(count2)); }
    void resultButtonsEnabled(bool enabled) override { add(enabled ? "buttons enabled" : "buttons disabled"); }
    void result(std::string_view button, std::string_view voice) override
    {
        add("result " + std::string(button) + " " + std::string(voice));
    }

    std::vector<std::string> lines;
    // Events whose text starts with `prefix`.
    std::vector<std::string> matching(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& line : lines) {
            auto space = line.find(' ');
            if (line.compare(space + 1, prefix.size(), prefix) == 0)
                out.push_back(line);
        }
        return out;
    }
    std::size_t countOf(const std::string& event) const
    {
        std::size_t n = 0;
        for (const auto& line : lines)
            if (line.substr(line.find(' ') + 1) == event)
                ++n;
        return n;
    }

private:
    void add(const std::string& event)
    {
        char stamp[32];
        std::snprintf(stamp, sizeof stamp, "%.3f ", m_clock());
        lines.push_back(stamp + event);
    }
    std::function<double()> m_clock;
};

class GameFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Seconds since the fixture started (the game was set up at 0).
    double elapsed() const { return loop->now() - start; }
    // Runs the loop until `t` seconds after the start (events at t included).
    void runTo(double t);
    // Schedules `task` at `t` seconds after the start.
    void at(double t, std::function<void()> task) { loop->scheduleAt(start + t, std::move(task)); }
    // Delivers one accelerometer sample to the game at `t`.
    void sampleAt(double t, double x, double y, double z);
    void sampleNow(double x, double y, double z);
    // Puts the meter's centre at y (keeping x), as if shaking had brought it there.
    void putMeterAt(double y);
    double meterY() const;

    // Whether the shared accelerometer keeps delivering its own samples to the game.
    virtual bool liveAccelerometer() const { return false; }

    std::shared_ptr<platform::RunLoop> loop;
    std::shared_ptr<platform::Interface> interface;
    double start{0};
    std::shared_ptr<MainView> view;
    std::shared_ptr<Recorder> recorder;
};

} // namespace brimsey::test
