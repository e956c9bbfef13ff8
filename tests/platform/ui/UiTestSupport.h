#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/RunLoop.h"
#include "platform/gfx/Canvas.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

// Every UI test runs on its own virtual main loop, starting at a realistic absolute time.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        loop = platform::RunLoop::createVirtual(7.5e8);
        platform::RunLoop::setMain(loop);
        platform::Application::shared().reset();
        platform::Screen::main().setScale(1.0);
    }
    void TearDown() override
    {
        platform::Application::shared().reset();
        platform::RunLoop::setMain(nullptr);
    }
    double now() const { return loop->now(); }

    std::shared_ptr<platform::RunLoop> loop;
};

inline std::filesystem::path scratchDirectory(const std::string& name)
{
    auto dir = std::filesystem::path(BRIMSEY_BINARY_DIR) / "test-scratch" / name;
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

// A solid image of a size in points at a scale.
inline std::shared_ptr<platform::Image> solidImage(platform::Size points, platform::Color color, double scale = 1.0)
{
    platform::BitmapCanvas bitmap(points, scale);
    bitmap.canvas().setFillColor(color);
    bitmap.canvas().fillRect({{0, 0}, points});
    return bitmap.makeImage();
}

// 0xRRGGBBAA at a point of an image drawn at `scale`.
inline std::uint32_t pixelAt(const platform::Image& image, double x, double y)
{
    return image.pixelRGBA(int(x * image.scale()), int(y * image.scale()));
}
