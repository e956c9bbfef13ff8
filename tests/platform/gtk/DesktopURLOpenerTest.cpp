#include <gtest/gtest.h>

#include <glib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/backend/gtk/DesktopURLOpener.h"

namespace {

struct Outcome {
    std::string url;
    bool opened;
    std::string error;
};

} // namespace

// openURL never waits for the handler: a refusal of what is no URL comes at once, the
// failure of a launch later, from the GLib main loop, and both go to standard error.
TEST(DesktopURLOpener, ReturnsAtOnceAndTellsOfFailuresOnStandardError)
{
    platform::gtk::DesktopURLOpener opener;
    std::vector<Outcome> outcomes;
    opener.setOutcomeObserver([&](const std::string& url, bool opened, const std::string& error) {
        outcomes.push_back({url, opened, error});
    });
    testing::internal::CaptureStderr();

    EXPECT_FALSE(opener.openURL("no url at all"));
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].opened);

    const std::string unhandled = "brimsey-test-no-handler:nothing";
    EXPECT_TRUE(opener.openURL(unhandled));
    EXPECT_EQ(outcomes.size(), 1u) << "the launch ends later, on the main loop";
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (outcomes.size() < 2 && std::chrono::steady_clock::now() < deadline)
        if (!g_main_context_iteration(nullptr, FALSE))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[1].url, unhandled);
    EXPECT_FALSE(outcomes[1].opened);
    EXPECT_NE(err.find("brimsey: cannot open no url at all: not a URL"), std::string::npos) << err;
    EXPECT_NE(err.find("brimsey: cannot open " + unhandled + ": "), std::string::npos) << err;
}
