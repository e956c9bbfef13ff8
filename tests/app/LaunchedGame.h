#pragma once
// The application launched from its interface description on a virtual clock, with a
// hand on the accelerometer and a frame driver drawing as a display would.
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

namespace brimsey::test {

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

} // namespace brimsey::test
