#pragma once

#include <memory>

#include "platform/core/RunLoop.h"

struct _GMainContext;
struct _GSource;

namespace platform::gtk {

// Puts a real RunLoop under GLib's main loop, so that exactly one loop is in charge: every
// iteration of the GLib context waits on the RunLoop's descriptors and its next deadline,
// and dispatches what is due. The RunLoop itself is never run() while attached.
class RunLoopSource final {
public:
    // context: null means GLib's default context (the one GTK uses).
    explicit RunLoopSource(std::shared_ptr<RunLoop> loop, _GMainContext* context = nullptr);
    ~RunLoopSource();
    RunLoopSource(const RunLoopSource&) = delete;
    RunLoopSource& operator=(const RunLoopSource&) = delete;

    RunLoop& loop() { return *m_loop; }
    // Dispatches made so far; tests use it to show that an idle loop does not spin.
    unsigned long dispatchCount() const;

    struct State;

private:
    std::shared_ptr<RunLoop> m_loop;
    _GSource* m_source{nullptr};
};

} // namespace platform::gtk
