#include "platform/backend/gtk/FeedbackVibrator.h"
#include "platform/backend/gtk/Jolt.h"

#define LIBFEEDBACK_USE_UNSTABLE_API
#include <gio/gio.h>
#include <gtest/gtest.h>
#include <libfeedback.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using platform::gtk::FeedbackVibrator;
using platform::gtk::Jolt;

TEST(Jolt, SwingsWithinItsAmplitudeAndSettles)
{
    Jolt jolt;
    EXPECT_EQ(jolt.offset(10.0), 0);
    jolt.start(10.0);
    double biggest = 0;
    for (double t = 10.0; t < 10.0 + Jolt::kDuration; t += 0.001) {
        EXPECT_LE(std::abs(jolt.offset(t)), Jolt::kAmplitude + 1e-9) << t;
        biggest = std::max(biggest, std::abs(jolt.offset(t)));
    }
    EXPECT_GT(biggest, Jolt::kAmplitude / 2); // visible, not a twitch
    EXPECT_FALSE(jolt.running(10.0 + Jolt::kDuration));
    EXPECT_EQ(jolt.offset(10.0 + Jolt::kDuration), 0);
    EXPECT_EQ(jolt.offset(9.99), 0);
    EXPECT_EQ(jolt.count(), 1u);
}

TEST(Jolt, VibrationsDuringAJoltExtendItWithoutRestartingTheSwing)
{
    Jolt a;
    Jolt b;
    a.start(0.0);
    b.start(0.0);
    b.start(0.1); // a second vibration halfway
    EXPECT_EQ(b.count(), 2u);
    // Same phase as the single jolt: the swing was not restarted.
    for (double t : {0.11, 0.13, 0.17}) {
        if (std::abs(a.offset(t)) > 1e-6) {
            EXPECT_EQ(std::signbit(a.offset(t)), std::signbit(b.offset(t))) << t;
        }
    }
    EXPECT_FALSE(a.running(0.25));
    EXPECT_TRUE(b.running(0.25));
    EXPECT_FALSE(b.running(0.31));
    // Vibrating 25 times a second keeps the picture moving the whole time.
    Jolt c;
    for (int k = 0; k < 25; ++k)
        c.start(k * 0.04);
    for (double t = 0.0; t < 1.0; t += 0.01)
        EXPECT_TRUE(c.running(t)) << t;
}

namespace {

// A private session bus for the whole test program, started once. GLib's test bus stops
// its daemon when this program exits, however it exits; it is not stopped earlier because
// GIO ends a process whose session bus goes away.
std::string privateBusAddress()
{
    static std::string address = [] {
        gchar* daemon = g_find_program_in_path("dbus-daemon");
        if (!daemon)
            return std::string();
        g_free(daemon);
        GTestDBus* bus = g_test_dbus_new(G_TEST_DBUS_NONE);
        g_test_dbus_up(bus);
        const gchar* a = g_test_dbus_get_bus_address(bus);
        return std::string(a ? a : "");
    }();
    return address;
}

// The default limit only catches a hang; a busy bus answers well within it.
bool iterateUntil(const std::function<bool()>& done, double seconds = 20.0)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < end)
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(2000);
    return done();
}

// Stands in for feedbackd on the private bus and records what it is asked. It serves from
// a thread of its own: libfeedback's set-up waits synchronously for the service's answers.
class FakeFeedbackd {
public:
    explicit FakeFeedbackd(bool reject = false) : m_reject(reject)
    {
        m_thread = std::thread([this] { serve(); });
        std::unique_lock lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::seconds(20), [this] { return m_owned || m_failed; });
    }
    ~FakeFeedbackd()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        if (m_context)
            g_main_context_wakeup(m_context);
        m_thread.join();
    }
    // Gives up the bus name, as a service does when it exits.
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_releaseAsked = true;
        g_main_context_wakeup(m_context);
    }
    bool owned() const
    {
        std::lock_guard lock(m_mutex);
        return m_owned;
    }

    struct Call {
        std::string appId;
        std::string event;
    };
    std::vector<Call> calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

private:
    void serve()
    {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        {
            std::lock_guard lock(m_mutex);
            m_context = context;
        }
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        LfbGdbusFeedback* skeleton = lfb_gdbus_feedback_skeleton_new();
        g_signal_connect(skeleton, "handle-trigger-feedback", G_CALLBACK(onTrigger), this);
        guint owner = 0;
        if (bus && g_dbus_interface_skeleton_export(G_DBUS_INTERFACE_SKELETON(skeleton), bus, "/org/sigxcpu/Feedback",
                                                    nullptr)) {
            owner = g_bus_own_name_on_connection(
                bus, "org.sigxcpu.Feedback", G_BUS_NAME_OWNER_FLAGS_NONE,
                [](GDBusConnection*, const gchar*, gpointer self) {
                    auto* me = static_cast<FakeFeedbackd*>(self);
                    std::lock_guard lock(me->m_mutex);
                    me->m_owned = true;
                    me->m_changed.notify_all();
                },
                nullptr, this, nullptr);
        } else {
            std::lock_guard lock(m_mutex);
            m_failed = true;
            m_changed.notify_all();
        }
        for (;;) {
            {
                std::lock_guard lock(m_mutex);
                if (m_stop)
                    break;
                if (m_releaseAsked && owner) {
                    g_bus_unown_name(owner);
                    owner = 0;
                }
            }
            g_main_context_iteration(context, TRUE);
        }
        if (owner)
            g_bus_unown_name(owner);
        g_dbus_interface_skeleton_unexport(G_DBUS_INTERFACE_SKELETON(skeleton));
        g_object_unref(skeleton);
        if (bus)
            g_object_unref(bus);
        while (g_main_context_iteration(context, FALSE)) { }
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static gboolean onTrigger(LfbGdbusFeedback* object, GDBusMethodInvocation* invocation, const gchar* appId,
                              const gchar* event, GVariant*, gint, gpointer data)
    {
        auto* self = static_cast<FakeFeedbackd*>(data);
        unsigned id;
        {
            std::lock_guard lock(self->m_mutex);
            self->m_calls.push_back({appId, event});
            id = unsigned(self->m_calls.size());
        }
        if (self->m_reject)
            g_dbus_method_invocation_return_dbus_error(invocation, "org.sigxcpu.Feedback.Error.Busy", "busy");
        else
            lfb_gdbus_feedback_complete_trigger_feedback(object, invocation, id);
        return TRUE;
    }

    const bool m_reject;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_owned{false};
    bool m_failed{false};
    bool m_stop{false};
    bool m_releaseAsked{false};
    std::vector<Call> m_calls;
    GMainContext* m_context{nullptr};
    std::thread m_thread;
};

class FeedbackOnAPrivateBus : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (privateBusAddress().empty())
            GTEST_SKIP() << "dbus-daemon is not installed";
        setenv("DBUS_SESSION_BUS_ADDRESS", privateBusAddress().c_str(), 1);
    }
};

} // namespace

TEST(FeedbackWithoutABus, SaysSoAndNeverTriggers)
{
    // Triggering after a failed set-up would abort the whole program.
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    setenv("XDG_RUNTIME_DIR", "/nonexistent", 1);
    FeedbackVibrator vibrator;
    EXPECT_FALSE(vibrator.available());
    EXPECT_FALSE(vibrator.vibrate());
    EXPECT_FALSE(vibrator.vibrate([] { FAIL() << "nothing was sent"; }));
    EXPECT_EQ(vibrator.sent(), 0u);
    EXPECT_EQ(vibrator.status(), "feedbackd unavailable (no session bus)");
}

TEST_F(FeedbackOnAPrivateBus, WithoutTheServiceNothingIsSent)
{
    FeedbackVibrator vibrator;
    EXPECT_FALSE(vibrator.available());
    EXPECT_EQ(vibrator.status(), "feedbackd is not running");
    EXPECT_FALSE(vibrator.vibrate());
    EXPECT_EQ(vibrator.sent(), 0u);
}

TEST_F(FeedbackOnAPrivateBus, ARunningServiceIsAskedForEachVibration)
{
    FakeFeedbackd service;
    ASSERT_TRUE(service.owned());
    FeedbackVibrator vibrator;
    ASSERT_TRUE(iterateUntil([&] { return vibrator.available(); }));
    EXPECT_EQ(vibrator.status(), "feedbackd");
    bool rejected = false;
    EXPECT_TRUE(vibrator.vibrate([&] { rejected = true; }));
    EXPECT_TRUE(vibrator.vibrate([&] { rejected = true; }));
    ASSERT_TRUE(iterateUntil([&] { return service.calls().size() == 2; }));
    EXPECT_EQ(service.calls()[0].appId, FeedbackVibrator::kAppId);
    EXPECT_EQ(service.calls()[0].event, FeedbackVibrator::kEvent);
    iterateUntil([] { return false; }, 0.2);
    EXPECT_FALSE(rejected);
    EXPECT_EQ(vibrator.sent(), 2u);
}

TEST_F(FeedbackOnAPrivateBus, ARejectedVibrationIsReportedOnTheMainLoop)
{
    FakeFeedbackd service(/*reject=*/true);
    FeedbackVibrator vibrator;
    ASSERT_TRUE(iterateUntil([&] { return vibrator.available(); }));
    int rejected = 0;
    EXPECT_TRUE(vibrator.vibrate([&] { ++rejected; }));
    EXPECT_EQ(rejected, 0); // never from inside vibrate()
    EXPECT_TRUE(iterateUntil([&] { return rejected == 1; }));
}

TEST_F(FeedbackOnAPrivateBus, AServiceThatGoesAwayStopsTheTriggers)
{
    auto service = std::make_unique<FakeFeedbackd>();
    FeedbackVibrator vibrator;
    ASSERT_TRUE(iterateUntil([&] { return vibrator.available(); }));
    service->release();
    ASSERT_TRUE(iterateUntil([&] { return !vibrator.available(); }));
    EXPECT_FALSE(vibrator.vibrate());
    EXPECT_EQ(vibrator.sent(), 0u);
}

TEST_F(FeedbackOnAPrivateBus, AnAnswerArrivingAfterTheVibratorIsGoneIsIgnored)
{
    FakeFeedbackd service(/*reject=*/true);
    bool called = false;
    {
        FeedbackVibrator vibrator;
        ASSERT_TRUE(iterateUntil([&] { return vibrator.available(); }));
        EXPECT_TRUE(vibrator.vibrate([&] { called = true; }));
    }
    iterateUntil([&] { return !service.calls().empty(); });
    iterateUntil([] { return false; }, 0.2);
    EXPECT_FALSE(called);
}
