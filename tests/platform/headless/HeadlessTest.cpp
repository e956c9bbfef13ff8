#include "platform/backend/headless/HeadlessRunner.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/InterfaceRegistry.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

using namespace platform;

namespace {

std::filesystem::path scratch(const std::string& name)
{
    auto dir = std::filesystem::path(BRIMSEY_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

void writeSolidPNG(const std::filesystem::path& path, Size size, Color color)
{
    BitmapCanvas bitmap(size);
    bitmap.canvas().setFillColor(color);
    bitmap.canvas().fillRect({{0, 0}, size});
    ASSERT_TRUE(bitmap.makeImage()->writePNG(path));
}

// A miniature shake game: each sample above 2 g raises the bar; a tap starts it.
class ShakeView : public View, public AccelerometerDelegate {
public:
    ShakeView() : View(Rect{}) { }
    void setBar(std::shared_ptr<ImageView> v) { bar = std::move(v); }
    void setGo(std::shared_ptr<Button> b) { go = std::move(b); }
    void awakeFromNib() override
    {
        Accelerometer::shared().setUpdateInterval(0.04);
        Accelerometer::shared().setDelegate(sharedAs<ShakeView>());
        go->setAlpha(0);
        ViewAnimation::begin();
        ViewAnimation::setDuration(1.0);
        go->setAlpha(1);
        ViewAnimation::commit();
    }
    void start()
    {
        running = true;
        ++starts;
    }
    void accelerometerDidAccelerate(Accelerometer&, const Acceleration& a) override
    {
        samples.push_back(a);
        if (running && a.x > 2.0) {
            bar->setCenter({bar->center().x, bar->center().y - 10});
            playSystemSound(kSystemSoundVibrate);
        }
    }
    std::shared_ptr<ImageView> bar;
    std::shared_ptr<Button> go;
    bool running = false;
    int starts = 0;
    std::vector<Acceleration> samples;
};

class Delegate : public ApplicationDelegate {
public:
    void setWindow(std::shared_ptr<Window> w) { window = std::move(w); }
    void applicationDidFinishLaunching(Application&) override { window->makeKeyAndVisible(); }
    std::shared_ptr<Window> window;
};

class Runner : public ::testing::Test {
protected:
    void SetUp() override
    {
        InterfaceRegistry::shared()
            .registerClass<ShakeView>("ShakeView", "View")
            .outlet("bar", &ShakeView::setBar)
            .outlet("go", &ShakeView::setGo)
            .action("start", &ShakeView::start);
        InterfaceRegistry::shared().registerClass<Delegate>("ShakeDelegate").outlet("window", &Delegate::setWindow);
        dir = scratch(::testing::UnitTest::GetInstance()->current_test_info()->name());
        writeSolidPNG(dir / "bar.png", {20, 40}, Color::rgba(0, 1, 0));
        writeSolidPNG(dir / "go.png", {80, 40}, Color::rgba(1, 0, 0));
        std::ofstream(dir / "Main.json") << R"({
          "delegate": "delegate",
          "objects": [
            { "id": "delegate", "class": "ShakeDelegate", "outlets": { "window": "window" } },
            { "id": "window", "class": "Window", "frame": [0, 0, 100, 200],
              "backgroundColor": [1, 1, 1],
              "subviews": [
                { "id": "game", "class": "ShakeView", "frame": [0, 0, 100, 200],
                  "outlets": { "bar": "bar", "go": "butgo" },
                  "subviews": [
                    { "id": "bar", "class": "ImageView", "frame": [40, 150, 20, 40], "image": "bar.png" },
                    { "id": "butgo", "class": "Button", "frame": [10, 10, 80, 40], "image": "go.png",
                      "actions": [ { "target": "game", "action": "start" } ] } ] } ] } ] })";
        std::ofstream(dir / "shake.txt") << "# t x y z\n0.0 0 0 -1\n0.1 3 0 -1\n0.2 0 0 -1\n";
    }
    std::filesystem::path dir;
};

} // namespace

TEST(ScriptedAcceleration, ReadsTheLastLineAtOrBeforeEachSampleTime)
{
    ScriptedAccelerationSource s;
    s.setOrigin(7.5e8);
    ASSERT_TRUE(s.parse("0.08 1 2 3\n\n# comment\n0.12 4 5 6\r\n0.12 7 8 9\n1e0 -1 -2 -3"));
    auto at = [&](double t) { return s.read(7.5e8 + t); };
    EXPECT_EQ(at(0.04).z, -1.0) << "before the first line: at rest";
    EXPECT_EQ(at(0.04).x, 0.0);
    EXPECT_EQ(at(0.08).x, 1.0) << "a line counts from its own time";
    // k x 0.04 on an absolute clock comes out a hair early; it still counts.
    EXPECT_EQ(s.read(7.5e8 + 0.12 - 2e-7).x, 7.0) << "the last of equal times";
    EXPECT_EQ(at(0.999).x, 7.0);
    EXPECT_EQ(at(5.0).x, -1.0);
    EXPECT_EQ(at(5.0).timestamp, 7.5e8 + 5.0);

    std::string error;
    EXPECT_FALSE(s.parse("0.1 1 2\n", &error));
    EXPECT_EQ(error.rfind("line 1:", 0), 0u) << error;
    EXPECT_FALSE(s.parse("0.1 1 2 3\n0.2 1 2 3 4\n", &error));
    EXPECT_EQ(error.rfind("line 2:", 0), 0u) << error;
    EXPECT_FALSE(s.parse("0.1 1 2 x\n", &error));
    EXPECT_FALSE(s.parse("0.1 1 2 nan\n", &error));
    // Numbers stand apart: these are not four numbers each.
    for (const char* glued : {"0 1-2 3\n", "0 1.5.5 3\n", "+-0 1 2 3\n", "0 1 2 3e\n"})
        EXPECT_FALSE(s.parse(glued)) << glued;
    EXPECT_FALSE(s.parse("0.5 1 2 3\n0.4 1 2 3\n", &error));
    EXPECT_NE(error.find("before the previous"), std::string::npos) << error;
    EXPECT_EQ(s.lines().size(), 4u) << "a failed parse keeps the old script";
    EXPECT_TRUE(s.parse(""));
    EXPECT_EQ(at(1.0).z, -1.0);
    EXPECT_FALSE(s.loadFile("/nonexistent/trace.txt", &error));
    EXPECT_NE(error.find("/nonexistent/trace.txt"), std::string::npos);
}

TEST_F(Runner, RunsTheDescribedAppOnTheVirtualClockWithScriptedInput)
{
    HeadlessRunner runner;
    std::string error;
    ASSERT_TRUE(runner.launch({dir / "Main.json", {}, 2.0, dir / "shake.txt"}, &error)) << error;
    auto game = std::dynamic_pointer_cast<ShakeView>(Application::shared().objectNamed("game"));
    ASSERT_TRUE(game);

    // Samples at exactly k x 0.04 s; the 3 g line covers 0.1 <= t < 0.2: samples 3 and 4.
    ASSERT_TRUE(runner.tapAt(0.05, "butgo", &error)) << error;
    runner.snapshotAt(0.5, dir / "half.png");
    runner.runFor(1.0);
    ASSERT_EQ(game->samples.size(), 25u);
    EXPECT_NEAR(game->samples[0].timestamp - runner.startTime(), 0.04, 1e-6);
    EXPECT_EQ(game->samples[2].x, 3.0);
    EXPECT_EQ(game->samples[3].x, 3.0);
    EXPECT_EQ(game->samples[4].x, 0.0);
    EXPECT_EQ(game->starts, 1) << "the button takes the tap while still fading in";
    EXPECT_EQ(game->bar->center().y, 150.0f);
    EXPECT_EQ(runner.haptics().count(), 2u);
    EXPECT_NEAR(runner.haptics().times()[0] - runner.startTime(), 0.12, 1e-6);

    // The snapshot shows the button half faded in, at 2x.
    auto half = Image::loadFile(dir / "half.png");
    ASSERT_TRUE(half);
    EXPECT_EQ(half->pixelWidth(), 200);
    std::uint32_t p = half->pixelRGBA(100, 60);
    EXPECT_GT(p >> 24, 0xF0u) << "red over white";
    EXPECT_GT((p >> 16) & 0xFF, 0x20u) << "but not fully opaque yet";
    EXPECT_LT((p >> 16) & 0xFF, 0xE0u);

    // Taps where nothing takes touches, unknown ids, objects that are no views.
    EXPECT_FALSE(runner.tapAt(2.0, "nothing", &error));
    EXPECT_NE(error.find("nothing"), std::string::npos);
    EXPECT_FALSE(runner.tapAt(2.0, "delegate", &error));
    runner.tapAt(2.0, Point{50, 170}); // on the bar: image views take no touches
    runner.runFor(2.0);
    EXPECT_EQ(game->starts, 1);
}

TEST_F(Runner, AnIdleAppDrawsNoFramesAndARunningOneOnlyWhileSomethingChanges)
{
    HeadlessRunner runner;
    std::string error;
    ASSERT_TRUE(runner.launch({dir / "Main.json", {}, 1.0, {}}, &error)) << error;
    runner.startFrameDriver(60.0);
    runner.runFor(1.5); // the start button's one-second fade-in
    auto afterFade = runner.framesDrawn();
    EXPECT_GE(afterFade, 60u);
    EXPECT_LE(afterFade, 63u);
    runner.runFor(30.0); // samples keep coming, nothing changes
    EXPECT_EQ(runner.framesDrawn(), afterFade);

    // Shaking during a game: one frame for the tap (the button's highlight comes and
    // goes at once) and one for each step of the bar, no more. Each 3 g window is 0.03 s
    // long, so it holds exactly one sample.
    double t = runner.elapsed();
    runner.tapAt(t, "butgo");
    std::vector<ScriptedAccelerationSource::Line> lines;
    for (int k = 0; k < 5; ++k) {
        lines.push_back({t + 0.1 + 0.2 * k, 3, 0, -1});
        lines.push_back({t + 0.13 + 0.2 * k, 0, 0, -1});
    }
    ASSERT_TRUE(runner.accelerometerSource().setLines(lines));
    runner.runFor(3.0);
    EXPECT_EQ(runner.haptics().count(), 5u);
    EXPECT_EQ(runner.framesDrawn() - afterFade, 1u + 5u);
}

TEST_F(Runner, LaunchFailuresSayWhy)
{
    HeadlessRunner runner;
    std::string error;
    std::ofstream(dir / "bad.txt") << "0.1 one 2 3\n";
    EXPECT_FALSE(runner.launch({dir / "Main.json", {}, 1.0, dir / "bad.txt"}, &error));
    EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    EXPECT_FALSE(runner.launch({dir / "Main.json", {}, 0.0, {}}, &error));
    EXPECT_NE(error.find("scale"), std::string::npos) << error;
    EXPECT_FALSE(runner.launch({dir / "Missing.json", {}, 1.0, {}}, &error));
    EXPECT_NE(error.find("Missing.json"), std::string::npos) << error;
}
