#pragma once

#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetEvents.h"
#include "platform/core/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace landingtest {

// A host that notes the landing-screen notices, with how many views the window held then.
class NoticeHost : public adnet::AdNetDelegate {
public:
    std::vector<std::string> notices;
    std::shared_ptr<platform::Window> window;

    std::string publisherId() override { return "pub-landing"; }
    void willPresentModalCanvas() override { note("willPresentModalCanvas"); }
    void didDismissModalCanvas() override { note("didDismissModalCanvas"); }
    void willPresentWebView() override { note("willPresentWebView"); }
    void didDismissWebView() override { note("didDismissWebView"); }

private:
    void note(const char* what)
    {
        notices.push_back(std::string(what) + " " + std::to_string(window ? window->subviews().size() : 0));
    }
};

// A 320 x 480 window with a game view and, 20 points down inside it, the 320 x 48 banner
// the landing screens grow out of. Every test runs on a virtual main loop and records the
// ad client's events.
class LandingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        loop = platform::RunLoop::createVirtual(7.5e8);
        platform::RunLoop::setMain(loop);
        platform::Application::shared().reset();
        platform::Screen::main().setBounds({0, 0, 320, 480});
        window = platform::Window::create();
        window->makeKeyAndVisible();
        gameView = platform::View::create({0, 20, 320, 460});
        window->addSubview(gameView);
        adView = platform::View::create({0, 0, 320, 48});
        gameView->addSubview(adView);
        host = std::make_shared<NoticeHost>();
        host->window = window;
        adnet::setAdNetEventListener([this](std::string_view e) { events.emplace_back(e); });
    }
    void TearDown() override
    {
        adnet::setAdNetEventListener({});
        loop->runFor(1);
        platform::Application::shared().reset();
        platform::RunLoop::setMain(nullptr);
    }

    double now() const { return loop->now(); }
    // Runs the loop to `t` seconds after `start` (and a hair beyond: absolute times near
    // 7.5e8 carry about 1e-7 s of rounding).
    void runTo(double start, double t) { loop->runUntilTime(start + t + 1e-6); }
    // Where a view is drawn now, which an animation may not have moved yet.
    static platform::Rect shownFrame(const platform::View& view, double at)
    {
        auto bounds = view.presentationBounds(at);
        auto center = view.presentationCenter(at);
        return {center.x - bounds.width() / 2, center.y - bounds.height() / 2, bounds.width(), bounds.height()};
    }
    void tap(platform::Point at)
    {
        window->touchBegan(++touchId, at);
        window->touchEnded(touchId, at);
    }

    std::shared_ptr<platform::RunLoop> loop;
    std::shared_ptr<platform::Window> window;
    std::shared_ptr<platform::View> gameView;
    std::shared_ptr<platform::View> adView;
    std::shared_ptr<NoticeHost> host;
    std::vector<std::string> events;
    platform::Touch::Id touchId{0};
};

} // namespace landingtest
