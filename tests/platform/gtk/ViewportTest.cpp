#include "platform/backend/gtk/Viewport.h"

#include <gtest/gtest.h>

#include <cmath>

using platform::gtk::comfortableWindowSize;
using platform::gtk::Viewport;

TEST(Viewport, FitsTheScreenUniformlyAndCentresIt)
{
    Viewport exact{320, 480, 320, 480};
    EXPECT_DOUBLE_EQ(exact.scale(), 1.0);
    EXPECT_DOUBLE_EQ(exact.originX(), 0.0);

    Viewport wide{320, 480, 1000, 960}; // limited by height: 2x, centred horizontally
    EXPECT_DOUBLE_EQ(wide.scale(), 2.0);
    EXPECT_DOUBLE_EQ(wide.originX(), (1000 - 640) / 2.0);
    EXPECT_DOUBLE_EQ(wide.originY(), 0.0);

    Viewport tall{320, 480, 400, 1000}; // limited by width
    EXPECT_DOUBLE_EQ(tall.scale(), 1.25);
    EXPECT_DOUBLE_EQ(tall.originX(), 0.0);
    EXPECT_DOUBLE_EQ(tall.originY(), (1000 - 600) / 2.0);
}

TEST(Viewport, PointsAndPixelsConvertBothWays)
{
    Viewport vp{320, 480, 1000, 960};
    auto p = vp.toContent(vp.originX() + 320, 480);
    EXPECT_DOUBLE_EQ(p.x, 160);
    EXPECT_DOUBLE_EQ(p.y, 240);
    auto a = vp.toArea(160, 240);
    EXPECT_DOUBLE_EQ(a.x, vp.originX() + 320);
    EXPECT_DOUBLE_EQ(a.y, 480);
    // The border is outside the screen; its far edges are exclusive.
    EXPECT_FALSE(vp.containsArea(vp.originX() - 1, 10));
    EXPECT_TRUE(vp.containsArea(vp.originX(), 0));
    EXPECT_FALSE(vp.containsArea(vp.originX() + 640, 10));
    EXPECT_FALSE(vp.containsArea(500, 960));
    EXPECT_TRUE(vp.containsArea(500, 959.9));
}

TEST(Viewport, DegenerateAreasDoNotDivideByZero)
{
    Viewport collapsed{320, 480, 0, 0};
    EXPECT_DOUBLE_EQ(collapsed.scale(), 1.0);
    auto p = collapsed.toContent(10, 10);
    EXPECT_TRUE(std::isfinite(p.x));
    EXPECT_TRUE(std::isfinite(p.y));
}

TEST(Viewport, WindowSizeSuitsTheMonitor)
{
    // Small or unknown monitors still get the full 1x screen.
    EXPECT_EQ(comfortableWindowSize(320, 480, 0, 0).height, 480);
    EXPECT_EQ(comfortableWindowSize(320, 480, 800, 480).height, 480);
    // 1024 x 768: 0.85 x 768 / 480 = 1.36, so 1.25x.
    auto xga = comfortableWindowSize(320, 480, 1024, 768);
    EXPECT_EQ(xga.width, 400);
    EXPECT_EQ(xga.height, 600);
    // 4K: limited to what fits, in quarter steps, aspect kept.
    auto uhd = comfortableWindowSize(320, 480, 3840, 2160);
    EXPECT_EQ(uhd.height, 1800);
    EXPECT_EQ(uhd.width, 1200);
    EXPECT_LE(uhd.height, 0.85 * 2160);
}
