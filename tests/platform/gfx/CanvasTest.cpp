#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace platform;

namespace {

std::uint8_t alphaAt(const Image& image, int x, int y)
{
    return std::uint8_t(image.pixelRGBA(x, y) & 0xFF);
}

std::uint8_t redAt(const Image& image, int x, int y)
{
    return std::uint8_t(image.pixelRGBA(x, y) >> 24);
}

// Pixels in a rectangle of device pixels with any ink at all.
int inkedPixels(const Image& image, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            n += alphaAt(image, x, y) != 0;
    return n;
}

} // namespace

TEST(Canvas, FillsInPointsAtAnyScale)
{
    for (double scale : {1.0, 2.0, 3.0}) {
        BitmapCanvas bitmap({20, 10}, scale);
        ASSERT_TRUE(bitmap.isValid());
        bitmap.canvas().setFillColor(Color::rgba(1, 0, 0));
        bitmap.canvas().fillRect({5, 2, 10, 6});
        auto image = bitmap.makeImage();
        EXPECT_EQ(image->pixelWidth(), int(20 * scale));
        EXPECT_EQ(image->size(), (Size{20, 10}));
        auto px = [&](double x, double y) { return image->pixelRGBA(int(x * scale), int(y * scale)); };
        EXPECT_EQ(px(5, 2), 0xFF0000FFu) << "top-left corner belongs to the rectangle";
        EXPECT_EQ(px(14.9, 7.9), 0xFF0000FFu);
        EXPECT_EQ(px(15, 5), 0u) << "right edge does not";
        EXPECT_EQ(px(4.9, 5), 0u);
        EXPECT_EQ(px(10, 8), 0u) << "bottom edge does not";
    }
}

TEST(Canvas, SaveRestoreCoversColoursAlphaClipAndTransform)
{
    BitmapCanvas bitmap({10, 10});
    Canvas& c = bitmap.canvas();
    c.setFillColor(Color::rgba(0, 0, 1));
    c.save();
    c.setFillColor(Color::rgba(1, 0, 0));
    c.setAlpha(0.5f);
    c.clipToRect({0, 0, 5, 10});
    c.translate(1, 0);
    c.restore();
    c.restore(); // unbalanced: ignored
    EXPECT_EQ(c.fillColor(), Color::rgba(0, 0, 1));
    EXPECT_EQ(c.alpha(), 1.0f);
    c.fillRect({0, 0, 10, 10});
    auto image = bitmap.makeImage();
    EXPECT_EQ(image->pixelRGBA(0, 0), 0x0000FFFFu) << "translation undone";
    EXPECT_EQ(image->pixelRGBA(9, 9), 0x0000FFFFu) << "clip undone";
}

TEST(Canvas, AlphaMultipliesIntoFillsAndImages)
{
    BitmapCanvas source({4, 4});
    source.canvas().setFillColor(Color::rgba(0, 1, 0));
    source.canvas().fillRect({0, 0, 4, 4});
    auto green = source.makeImage();

    BitmapCanvas bitmap({8, 4});
    bitmap.canvas().setAlpha(0.5f);
    bitmap.canvas().setFillColor(Color::rgba(1, 0, 0, 0.5f));
    bitmap.canvas().fillRect({0, 0, 4, 4});
    bitmap.canvas().drawImage(*green, Point{4, 0});
    auto image = bitmap.makeImage();
    EXPECT_NEAR(alphaAt(*image, 1, 1), 64, 1);
    EXPECT_NEAR(alphaAt(*image, 5, 1), 128, 1);
}

TEST(Canvas, ArcToPointRoundsCornersAndArcsFollowTheAngleDirection)
{
    BitmapCanvas bitmap({40, 40});
    Canvas& c = bitmap.canvas();
    c.setFillColor(Color::rgba(1, 0, 0));
    c.beginPath();
    c.addRoundedRect({0, 0, 40, 40}, 10);
    c.fillPath();
    auto image = bitmap.makeImage();
    EXPECT_EQ(alphaAt(*image, 0, 0), 0) << "corner cut away";
    EXPECT_EQ(alphaAt(*image, 39, 39), 0);
    EXPECT_EQ(alphaAt(*image, 1, 20), 255) << "edge midpoint filled";
    EXPECT_EQ(alphaAt(*image, 20, 0), 255);
    // A point just inside the arc of the top-left corner, centre (10, 10) radius 10.
    EXPECT_EQ(alphaAt(*image, 4, 4), 255);

    // From angle 3pi/2 (straight up) growing to 2pi (pointing right): the arc lies in the
    // top-right quadrant in y-down coordinates.
    BitmapCanvas arc({40, 40});
    arc.canvas().setStrokeColor(Color::rgba(0, 0, 1));
    arc.canvas().setLineWidth(3);
    arc.canvas().beginPath();
    arc.canvas().addArc(20, 20, 12, Float(3 * std::numbers::pi / 2), Float(2 * std::numbers::pi), false);
    arc.canvas().strokePath();
    auto arcImage = arc.makeImage();
    double a = 7 * std::numbers::pi / 4;
    EXPECT_GT(alphaAt(*arcImage, int(20 + 12 * std::cos(a)), int(20 + 12 * std::sin(a))), 100);
    EXPECT_EQ(inkedPixels(*arcImage, 0, 0, 18, 40), 0) << "nothing on the left half";
    EXPECT_EQ(inkedPixels(*arcImage, 0, 22, 40, 40), 0) << "nothing on the bottom half";
}

TEST(Canvas, ArcToPointDegenerateCasesDrawStraightLines)
{
    BitmapCanvas bitmap({20, 20});
    Canvas& c = bitmap.canvas();
    c.setStrokeColor(Color::rgba(0, 0, 0));
    c.setLineWidth(2);
    c.beginPath();
    c.addArcToPoint(5, 5, 10, 10, 3);   // no current point: just moves
    c.addArcToPoint(15, 15, 18, 18, 3); // collinear: a line to the corner
    c.addArcToPoint(15, 5, 15, 5, 0);   // zero radius: a line to the corner
    c.strokePath();
    auto image = bitmap.makeImage();
    EXPECT_GT(alphaAt(*image, 10, 10), 0);
    EXPECT_GT(alphaAt(*image, 15, 10), 0);
    EXPECT_EQ(alphaAt(*image, 17, 17), 0) << "nothing past the corner";
}

TEST(Canvas, LinearGradientStopsAtEndUnlessExtended)
{
    Gradient g{{Color::rgba(1, 0, 0), Color::rgba(0, 0, 1)}, {0, 1}};
    BitmapCanvas plain({10, 40});
    plain.canvas().drawLinearGradient(g, {5, 10}, {5, 20});
    auto p = plain.makeImage();
    EXPECT_EQ(alphaAt(*p, 5, 5), 0) << "nothing before the start";
    EXPECT_EQ(alphaAt(*p, 5, 30), 0) << "nothing after the end";
    EXPECT_GT(redAt(*p, 5, 10), 230);
    EXPECT_LT(redAt(*p, 5, 19), 30);

    BitmapCanvas after({10, 40});
    after.canvas().drawLinearGradient(g, {5, 10}, {5, 20}, DrawsAfterEndLocation);
    auto a = after.makeImage();
    EXPECT_EQ(alphaAt(*a, 5, 5), 0) << "the start colour is not extended";
    EXPECT_EQ(a->pixelRGBA(5, 35), 0x0000FFFFu) << "the end colour is";
}

TEST(Text, MeasuresInAbsolutePointsWrapsAndLeavesOutLinesBelowTheBox)
{
    Font bold = Font::named("Helvetica-Bold", 13);
    EXPECT_TRUE(bold.bold());
    EXPECT_EQ(bold.family(), "Helvetica");
    Font regular = Font::named("Helvetica", 13);
    EXPECT_FALSE(regular.bold());

    Size one = bold.measure("Shake it");
    // 13 points at 1 point per pixel: a line is about 15-17 points high, never the
    // 20-odd a 96 dpi resolution would give.
    EXPECT_GE(one.height, 13);
    EXPECT_LE(one.height, 18);
    EXPECT_GT(one.width, regular.measure("Shake it").width) << "bold is wider";
    EXPECT_EQ(bold.measure(""), (Size{0, 0}));

    const char* text = "Win a holiday for two in the sunshine of the south";
    Size wide = bold.measure(text, {1000, 48});
    EXPECT_EQ(wide.height, one.height);
    Size narrow = bold.measure(text, {120, 1000});
    EXPECT_LE(narrow.width, 120);
    EXPECT_GE(narrow.height, 3 * one.height - 1);
    Size clipped = bold.measure(text, {120, 2 * one.height + 1});
    EXPECT_LE(clipped.height, 2 * one.height + 1) << "lines below the box are left out";
    EXPECT_GE(clipped.height, 2 * one.height - 1);
    Size tiny = bold.measure(text, {120, 1});
    EXPECT_EQ(tiny.height, one.height) << "the first line always counts";
}

TEST(Text, DrawsOnlyInsideItsBoxAndTheSameAtEveryScale)
{
    Font font = Font::boldSystem(13);
    const char* text = "Ads by AdNet and some more words to wrap";
    Size measured = font.measure(text, {100, 20});
    for (double scale : {1.0, 2.0}) {
        BitmapCanvas bitmap({200, 60}, scale);
        bitmap.canvas().setFillColor(Color::rgba(0, 0, 0));
        Size drawn = bitmap.canvas().drawText(text, Rect{50, 10, 100, 20}, font);
        EXPECT_EQ(drawn, measured) << "drawing and measuring agree at scale " << scale;
        auto image = bitmap.makeImage();
        int s = int(scale);
        EXPECT_GT(inkedPixels(*image, 50 * s, 10 * s, 150 * s, 30 * s), 20);
        EXPECT_EQ(inkedPixels(*image, 0, 0, 200 * s, 9 * s), 0) << "nothing above";
        EXPECT_EQ(inkedPixels(*image, 0, 31 * s, 200 * s, 60 * s), 0) << "second line left out";
        EXPECT_EQ(inkedPixels(*image, 0, 0, 49 * s, 60 * s), 0) << "nothing left of the box";
    }
}

TEST(Text, RightAlignmentEndsAtTheBoxEdge)
{
    Font font = Font::system(10);
    BitmapCanvas bitmap({100, 20});
    bitmap.canvas().setFillColor(Color::rgba(0, 0, 0));
    bitmap.canvas().drawText("Ok", Rect{0, 0, 100, 20}, font, TextAlignment::Right);
    auto image = bitmap.makeImage();
    EXPECT_EQ(inkedPixels(*image, 0, 0, 70, 20), 0);
    EXPECT_GT(inkedPixels(*image, 80, 0, 100, 20), 5);
}
