#pragma once

#include <iosfwd>

#include "app/HeadlessOptions.h"

namespace brimsey {

// Runs the whole application without a display on a virtual clock, as fast as it can:
// launch from the interface description, then the scripted accelerometer, taps, event log
// and snapshots of the options, for `runFor` seconds of game time. Messages go to `err`.
// Returns the process exit status: 0 when everything asked for was done, 1 when a snapshot
// or the event log could not be written or the launch failed, 2 for unusable input.
int runHeadless(const HeadlessOptions& options, std::ostream& err);

} // namespace brimsey
