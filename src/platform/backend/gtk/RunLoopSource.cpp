#include "platform/backend/gtk/RunLoopSource.h"

#include <glib.h>

#include <vector>

namespace platform::gtk {

struct RunLoopSource::State {
    RunLoop* loop{nullptr};
    std::vector<pollfd> fds;
    // GLib keeps pointers to these between prepare and dispatch, so the vector is only
    // rebuilt (and re-registered) when the descriptor set changes.
    std::vector<GPollFD> polls;
    gint64 deadline{-1}; // monotonic microseconds; -1: none
    unsigned long dispatches{0};
};

namespace {

struct Source {
    GSource base;
    RunLoopSource::State* state;
};

gushort toGlib(short events)
{
    gushort mask = 0;
    if (events & POLLIN)
        mask |= G_IO_IN;
    if (events & POLLPRI)
        mask |= G_IO_PRI;
    if (events & POLLOUT)
        mask |= G_IO_OUT;
    return mask;
}

short fromGlib(gushort revents)
{
    short mask = 0;
    if (revents & G_IO_IN)
        mask |= POLLIN;
    if (revents & G_IO_PRI)
        mask |= POLLPRI;
    if (revents & G_IO_OUT)
        mask |= POLLOUT;
    if (revents & G_IO_ERR)
        mask |= POLLERR;
    if (revents & G_IO_HUP)
        mask |= POLLHUP;
    if (revents & G_IO_NVAL)
        mask |= POLLNVAL;
    return mask;
}

void syncPolls(GSource* source, RunLoopSource::State& s)
{
    bool same = s.polls.size() == s.fds.size();
    for (std::size_t i = 0; same && i < s.fds.size(); ++i)
        same = s.polls[i].fd == s.fds[i].fd && s.polls[i].events == toGlib(s.fds[i].events);
    if (same) {
        for (auto& p : s.polls)
            p.revents = 0;
        return;
    }
    for (auto& p : s.polls)
        g_source_remove_poll(source, &p);
    s.polls.clear();
    s.polls.reserve(s.fds.size());
    for (const auto& f : s.fds)
        s.polls.push_back(GPollFD{f.fd, toGlib(f.events), 0});
    for (auto& p : s.polls)
        g_source_add_poll(source, &p);
}

gboolean prepare(GSource* source, gint* timeout)
{
    auto& s = *reinterpret_cast<Source*>(source)->state;
    int ms = s.loop->prepare(s.fds);
    syncPolls(source, s);
    s.deadline = ms < 0 ? -1 : g_get_monotonic_time() + gint64{ms} * 1000;
    *timeout = ms;
    return ms == 0;
}

gboolean check(GSource* source)
{
    auto& s = *reinterpret_cast<Source*>(source)->state;
    for (const auto& p : s.polls) {
        if (p.revents)
            return TRUE;
    }
    return s.deadline >= 0 && g_get_monotonic_time() >= s.deadline;
}

gboolean dispatch(GSource* source, GSourceFunc, gpointer)
{
    auto& s = *reinterpret_cast<Source*>(source)->state;
    // syncPolls() keeps polls parallel to fds, in the order prepare() gave them, which
    // is the order dispatch() expects.
    for (std::size_t i = 0; i < s.fds.size(); ++i)
        s.fds[i].revents = fromGlib(s.polls[i].revents);
    ++s.dispatches;
    s.loop->dispatch(s.fds);
    for (auto& p : s.polls)
        p.revents = 0;
    return G_SOURCE_CONTINUE;
}

GSourceFuncs kFuncs = {prepare, check, dispatch, nullptr, nullptr, nullptr};

} // namespace

RunLoopSource::RunLoopSource(std::shared_ptr<RunLoop> loop, _GMainContext* context) : m_loop(std::move(loop))
{
    m_source = g_source_new(&kFuncs, sizeof(Source));
    auto* state = new State;
    state->loop = m_loop.get();
    reinterpret_cast<Source*>(m_source)->state = state;
    g_source_set_name(m_source, "brimsey RunLoop");
    g_source_set_can_recurse(m_source, FALSE);
    g_source_attach(m_source, context);
}

RunLoopSource::~RunLoopSource()
{
    auto* state = reinterpret_cast<Source*>(m_source)->state;
    g_source_destroy(m_source);
    g_source_unref(m_source);
    delete state;
}

unsigned long RunLoopSource::dispatchCount() const
{
    return reinterpret_cast<Source*>(m_source)->state->dispatches;
}

} // namespace platform::gtk
