#pragma once

#include <iosfwd>
#include <memory>

#include "app/HeadlessOptions.h"

namespace platform {
class HeadlessRunner;
}

namespace brimsey {

class ScriptedRun;

// The whole application without a display on a virtual clock, as fast as it can: launch
// from the interface description (with the ad banner when `ads` is set), then the
// scripted accelerometer, touches, event log and snapshots of the options, for `runFor`
// seconds of game time. Messages go to `err`.
//
//   HeadlessGame game(options, std::cerr);
//   if (int status = game.launch()) return status;
//   game.runner().at(600, [] { ... });   // tests and benchmarks may add to the script
//   return game.run();
class HeadlessGame final {
public:
    HeadlessGame(const HeadlessOptions& options, std::ostream& err);
    ~HeadlessGame();
    HeadlessGame(const HeadlessGame&) = delete;
    HeadlessGame& operator=(const HeadlessGame&) = delete;

    // Checks the input and launches. 0 when launched, 2 for unusable input, 1 when the
    // launch failed.
    int launch();
    platform::HeadlessRunner& runner() { return *m_runner; }
    // Runs for `runFor` seconds and ends the run. The exit status: 0 when everything asked
    // for was done, 1 when a snapshot or the event log could not be written.
    int run();

private:
    const HeadlessOptions& m_options;
    std::ostream& m_err;
    std::unique_ptr<platform::HeadlessRunner> m_runner;
    std::unique_ptr<ScriptedRun> m_script;
};

// launch() and run() in one, for main().
int runHeadless(const HeadlessOptions& options, std::ostream& err);

} // namespace brimsey
