// The launched application draws only when its picture changes: nothing while idle, a
// frame per change while a game runs, frames for the length of a fade.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "app/GameClasses.h"
#include "app/MainView.h"
#include "app/brimseyAppDelegate.h"
#include "platform/core/Bundle.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Accelerometer.h"
#include "platform/device/Haptics.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

using namespace brimsey;

namespace {

// A hand that shakes hard while `shaking` is set, and otherwise a device lying still.
class HandSource final : public platform::AccelerationSource {
public:
    platform::Acceleration read(double now) override
    {
        flip = !flip;
        if (!shaking)
            return {0, 0, -1, now};
        return {flip ? 3.0 : -3.0, 0, -1, now};
    }
    bool shaking{false};
    bool flip{false};
};

class LaunchedGame : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("ALSOFT_DRIVERS", "null", 0);
        loop = platform::RunLoop::createVirtual();
        platform::RunLoop::setMain(loop);
        platform::Bundle::main().setResourceDirectory(BRIMSEY_SOURCE_DIR "/resources");
        platform::Accelerometer::shared().reset();
        platform::Haptics::shared().reset();
        hand = std::make_shared<HandSource>();
        platform::Accelerometer::shared().setSource(hand);
        registerGameClasses();
        auto& app = platform::Application::shared();
        app.reset();
        std::string error;
        ASSERT_TRUE(app.launch(BRIMSEY_SOURCE_DIR "/resources/MainWindow.json", &error)) << error;
        view = std::dynamic_pointer_cast<MainView>(app.objectNamed("gameView"));
        ASSERT_TRUE(view);
        auto delegate = std::dynamic_pointer_cast<brimseyAppDelegate>(app.delegate());
        ASSERT_TRUE(delegate);
        window = delegate->window();
        ASSERT_TRUE(window);
        start = loop->now();
        compositor = std::make_unique<platform::Compositor>(window);
        driver = std::make_unique<platform::FrameDriver>(
            *compositor, [this] { last = compositor->renderImage(1.0); }, 60.0, *loop);
        driver->schedule();
    }
    void TearDown() override
    {
        driver.reset();
        compositor.reset();
        platform::Accelerometer::shared().reset();
        platform::Application::shared().reset();
    }
    void runTo(double t) { loop->runUntilTime(start + t + 1e-6); }
    std::uint64_t frames() const { return driver->framesDrawn(); }
    void tap(const std::shared_ptr<platform::View>& button)
    {
        auto p = button->convertPointToView(button->bounds().center(), nullptr);
        window->touchBegan(1, p);
        window->touchEnded(1, p);
    }

    std::shared_ptr<platform::RunLoop> loop;
    std::shared_ptr<HandSource> hand;
    std::shared_ptr<MainView> view;
    std::shared_ptr<platform::Window> window;
    std::unique_ptr<platform::Compositor> compositor;
    std::unique_ptr<platform::FrameDriver> driver;
    std::shared_ptr<platform::Image> last;
    double start{0};
};

} // namespace

TEST_F(LaunchedGame, IdleGameDrawsNothing)
{
    // The start button fades in over the first second: frames only while it does.
    runTo(1.1);
    auto afterFade = frames();
    EXPECT_GE(afterFade, 30u);
    EXPECT_LE(afterFade, 62u);
    // Then ten seconds of a still device: samples keep coming, nothing is drawn.
    runTo(11.1);
    EXPECT_EQ(frames(), afterFade);
    EXPECT_FALSE(compositor->needsFrame());
    // Even a hard shake outside a game changes nothing on screen.
    hand->shaking = true;
    runTo(13.1);
    EXPECT_EQ(frames(), afterFade);
}

TEST_F(LaunchedGame, RunningGameDrawsOnlyWhileSomethingChanges)
{
    runTo(2.0);
    auto before = frames();
    tap(view->butstart());
    ASSERT_TRUE(view->isRunning());
    // The start button fades out for a second.
    runTo(3.1);
    auto fade = frames() - before;
    EXPECT_GE(fade, 30u);
    EXPECT_LE(fade, 62u);
    // Still device: ticks make no picture; the hint appears once (one frame), then nothing.
    runTo(8.0);
    EXPECT_EQ(frames() - before - fade, 1u);
    // Shaking: every sample moves the meter, at most one frame per sample.
    auto beforeShake = frames();
    auto movesBefore = platform::Haptics::shared().vibrationCount();
    hand->shaking = true;
    runTo(9.0);
    hand->shaking = false;
    auto shakeFrames = frames() - beforeShake;
    auto moves = platform::Haptics::shared().vibrationCount() - movesBefore;
    EXPECT_GT(shakeFrames, 10u);
    EXPECT_LE(shakeFrames, 26u); // 25 samples in that second, and the hint going away
    EXPECT_GT(moves, 10u);
    // The result fades in at 11; then the buttons are enabled at 13.2; then nothing.
    runTo(13.5);
    auto settled = frames();
    runTo(20.0);
    EXPECT_EQ(frames(), settled);
    EXPECT_FALSE(compositor->needsFrame());
}
