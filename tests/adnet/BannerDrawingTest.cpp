// The banner as drawn: rendered through the compositor to PNG and probed pixel by pixel.
#include "BannerSupport.h"

#include "adnet/AdNetSingleAdView.h"
#include "platform/gfx/Font.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Layer.h"
#include "platform/ui/Window.h"

#include <cmath>

using adnet::AdNetSingleAdView;
using namespace adnettest;

namespace {

constexpr std::uint32_t kRed = 0xff0000ffu, kGreen = 0x00ff00ffu, kBlue = 0x0000ffffu;
constexpr std::uint32_t kDark = 0x666666ffu, kLight = 0xefefefffu;

int channel(std::uint32_t rgba, int shift)
{
    return int((rgba >> shift) & 0xff);
}
int red(std::uint32_t rgba)
{
    return channel(rgba, 24);
}
int blue(std::uint32_t rgba)
{
    return channel(rgba, 8);
}

class BannerDrawing : public ScriptedNetworkTest {
protected:
    void SetUp() override
    {
        ScriptedNetworkTest::SetUp();
        host->background = adnet::Color{0, 0, 1, 1};
        host->textColour = adnet::Color{1, 1, 1, 1};
    }

    // The banner alone in a 320 x 48 window, as the compositor draws it, read back from PNG.
    std::shared_ptr<platform::Image> render(const std::shared_ptr<adnet::AdNetAd>& ad, double scale)
    {
        auto window = platform::Window::create({0, 0, 320, 48});
        banner = AdNetSingleAdView::create({0, 0, 320, 48});
        banner->setAd(ad);
        window->addSubview(banner);
        platform::Compositor compositor(window);
        auto png = compositor.renderImage(scale)->encodePNG();
        return platform::Image::decode(png, nullptr, {}, scale);
    }

    // Whether any pixel of a rectangle (points) is text-white: the shine never gets that pale.
    static bool inkIn(const platform::Image& image, platform::Rect r)
    {
        const double s = image.scale();
        for (int y = int(std::floor(r.minY() * s)); y < int(std::ceil(r.maxY() * s)); ++y)
            for (int x = int(std::floor(r.minX() * s)); x < int(std::ceil(r.maxX() * s)); ++x)
                if (red(image.pixelRGBA(x, y)) > 160)
                    return true;
        return false;
    }

    std::shared_ptr<AdNetSingleAdView> banner;
};

} // namespace

// 38 x 38 icon and 30 x 30 action icon in 320 x 48: the icon at (4.0, 4.5) clipped to the
// rounded rectangle (4.5, 5.0)-(42.5, 43.0), the action icon's layer at (286, 9, 30, 30), the
// shine ending 21 points down, the text from x = 51.
TEST_F(BannerDrawing, WorkedExampleAtOneAndTwoPixelsPerPoint)
{
    serveTextAd("Fresh bread daily");
    auto ad = loadAd();
    ASSERT_TRUE(ad->readyForDisplay());
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        auto image = render(ad, scale);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->pixelWidth(), int(320 * scale));
        auto at = [&](double x, double y) { return image->pixelRGBA(int(x * scale), int(y * scale)); };
        auto row = [&](int deviceRow) { return image->pixelRGBA(int(47 * scale), deviceRow); };

        ASSERT_TRUE(banner->actionIconLayer());
        EXPECT_EQ(banner->actionIconLayer()->frame(), platform::Rect(286, 9, 30, 30));
        EXPECT_EQ(at(301, 24), kGreen);
        EXPECT_EQ(at(286.25, 9.25), kGreen);
        EXPECT_EQ(at(315.75, 38.75), kGreen);
        EXPECT_NE(at(285.5, 24), kGreen);
        EXPECT_NE(at(316.5, 24), kGreen);
        EXPECT_NE(at(301, 8.5), kGreen);
        EXPECT_NE(at(301, 39.5), kGreen);

        EXPECT_EQ(at(23, 24), kRed) << "the icon";
        EXPECT_GT(blue(at(4.75, 5.25)), 200) << "the rounded corner leaves the background";
        EXPECT_GT(blue(at(41.75, 42.25)), 200);

        // Shine: half-transparent blue over white at the top, plain blue from 21 points down.
        const double topAlpha = 0.5 + 0.5 * (0.5 / scale) / 21; // the first row's centre
        EXPECT_NEAR(red(row(0)), 255 * (1 - topAlpha), 1.5);
        EXPECT_EQ(blue(row(0)), 255);
        EXPECT_GT(red(row(int(21 * scale) - 1)), 0) << "still shining just above 21";
        EXPECT_EQ(row(int(21 * scale)), kBlue) << "plain from 21 down";
        EXPECT_EQ(row(int(47 * scale)), kBlue);

        EXPECT_TRUE(inkIn(*image, {51, 0, 60, 48})) << "text starts at 51";
        EXPECT_FALSE(inkIn(*image, {44, 0, 6.5, 48})) << "nothing between icon and text";
    }
    // At 2x the half-point bevel covers whole pixels: dark up and left, light down and right.
    auto image = render(ad, 2.0);
    EXPECT_EQ(image->pixelRGBA(8, 48), kDark) << "left edge, x 4.0-4.5";
    EXPECT_EQ(image->pixelRGBA(46, 9), kDark) << "top edge, y 4.5-5.0";
    EXPECT_EQ(image->pixelRGBA(85, 48), kLight) << "right edge, x 42.5-43.0";
    EXPECT_EQ(image->pixelRGBA(46, 86), kLight) << "bottom edge, y 43.0-43.5";
    EXPECT_EQ(image->pixelRGBA(9, 48), kRed) << "the clip starts at 4.5";
    EXPECT_EQ(image->pixelRGBA(83, 48), kRed) << "the picture ends at 42.0";
    EXPECT_EQ(image->pixelRGBA(84, 48), kBlue) << "the clip half a point later";
}

// The attribution shows under a text of at most 24 points, right-aligned to the text box;
// a taller text goes without it and is centred alone.
TEST_F(BannerDrawing, AttributionOnlyUnderALowText)
{
    const auto bold = platform::Font::named("Helvetica-Bold", 13);
    const auto small = platform::Font::named("Helvetica", 9.5f);
    const platform::Size a = small.measure("Ads by AdNet");

    const std::string shortText = "Fresh bread daily";
    platform::Size t = bold.measure(shortText, {227, 48});
    ASSERT_LE(t.height, 24);
    serveTextAd(shortText);
    auto image = render(loadAd(), 1.0);
    float top = (48 - (t.height + 4 + a.height)) / 2;
    EXPECT_TRUE(inkIn(*image, {278 - a.width, top + t.height + 4, a.width, a.height}));
    EXPECT_FALSE(inkIn(*image, {51, top + t.height + 4, 277 - a.width - 51, a.height})) << "right-aligned";
    EXPECT_FALSE(inkIn(*image, {51, 0, 227, top - 1})) << "the block is centred";

    const std::string longText = "Plenty of words here to wrap this text onto a second line of the banner";
    t = bold.measure(longText, {227, 48});
    ASSERT_GT(t.height, 24);
    serveTextAd(longText);
    image = render(loadAd(), 1.0);
    top = (48 - t.height) / 2;
    EXPECT_TRUE(inkIn(*image, {51, top, 227, t.height}));
    EXPECT_FALSE(inkIn(*image, {51, top + t.height + 1, 227, 48})) << "no attribution";
    EXPECT_FALSE(inkIn(*image, {51, 0, 227, top - 1})) << "centred alone";
}

// A banner-image ad is its picture with the action icon over it; an ad that is not ready
// draws nothing at all.
TEST_F(BannerDrawing, BannerImageAdsAndAdsNotReady)
{
    route("/ad_source.php", 200, R"({"banner":")" + server->url("/banner.png") + R"(","6":"app","url":"http://x/"})");
    route("/banner.png", 200, pngBytes(320, 48, 0xff00ffffu));
    route("/static/sdk/img/app.png", 200, pngBytes(30, 30, kGreen));
    auto image = render(loadAd(), 1.0);
    EXPECT_EQ(image->pixelRGBA(23, 24), 0xff00ffffu) << "no icon frame";
    EXPECT_EQ(image->pixelRGBA(160, 0), 0xff00ffffu) << "no shine";
    EXPECT_EQ(image->pixelRGBA(301, 24), kGreen) << "the action icon over it";

    serveTextAd("Never shown");
    route("/icon.png", 404, "gone");
    auto failed = loadAd();
    ASSERT_FALSE(failed->readyForDisplay());
    image = render(failed, 1.0);
    EXPECT_EQ(image->pixelRGBA(160, 24), 0x000000ffu);
    EXPECT_EQ(image->pixelRGBA(23, 24), 0x000000ffu);
}
