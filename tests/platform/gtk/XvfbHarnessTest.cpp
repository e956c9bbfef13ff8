#include "XvfbSession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

using brimsey::testing::imageStats;
using brimsey::testing::XvfbSession;

TEST(XvfbHarness, TwoSessionsGetTheirOwnDisplaysAndCleanUp)
{
    if (!XvfbSession::available())
        GTEST_SKIP() << "Xvfb is not installed";
    XvfbSession a;
    XvfbSession b;
    ASSERT_TRUE(a.start(640, 480));
    ASSERT_TRUE(b.start(320, 200));
    EXPECT_NE(a.display(), b.display());
    std::string socket = "/tmp/.X11-unix/X" + b.display().substr(1);
    EXPECT_EQ(access(socket.c_str(), F_OK), 0);

    std::string shot = std::string(BRIMSEY_BINARY_DIR) + "/xvfb-harness.png";
    ASSERT_TRUE(b.screenshot(shot));
    auto stats = imageStats(shot);
    ASSERT_TRUE(stats);
    EXPECT_EQ(stats->width, 320);
    EXPECT_EQ(stats->height, 200);
    EXPECT_EQ(stats->distinctColours, 1); // nothing on it yet
    unlink(shot.c_str());

    b.stop();
    EXPECT_NE(access(socket.c_str(), F_OK), 0);
}
