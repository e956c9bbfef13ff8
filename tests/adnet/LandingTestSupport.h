#pragma once

#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetImageCache.h"
#include "adnetdemo/DemoServer.h"
#include "platform/backend/headless/RecordingURLOpener.h"
#include "platform/backend/headless/ScriptedWeb.h"
#include "platform/backend/headless/ScriptedWebEngine.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/Application.h"
#include "platform/ui/WebView.h"
#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <functional>
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

// The landing screens against real pages: the demo ad network on 127.0.0.1 as ad media
// host, the headless web engine, a recording URL opener and a fresh image cache.
class WebLandingTest : public LandingTest {
protected:
    void SetUp() override
    {
        LandingTest::SetUp();
        documents = *platform::fs::makeTemporaryDirectory("brimsey-landing-test");
        platform::setDocumentsDirectory(documents);
        adnet::AdNetImageCache::resetForTesting();
        platform::Services set;
        set.webEngine = [web = web] { return web->makeEngine(); };
        set.urlOpener = opener;
        platform::installServices(std::move(set));
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        base = server.baseUrl();
        adnet::AdNetConfiguration config;
        config.mediaHost = base;
        config.requestEndpoint = server.adRequestUrl();
        adnet::setConfiguration(config);
    }
    void TearDown() override
    {
        LandingTest::TearDown();
        platform::URLConnection::closeIdleConnections(*loop);
        server.stop();
        platform::resetServices();
        adnet::setConfiguration(adnet::AdNetConfiguration{});
        adnet::AdNetImageCache::resetForTesting();
        platform::setDocumentsDirectory(std::nullopt);
        platform::fs::removeTree(documents);
    }

    // Runs until `done` or 10 s on the loop's clock.
    bool runUntil(const std::function<bool()>& done, double seconds = 10) { return loop->runUntil(done, seconds); }
    bool sawEvent(const std::string& prefix) const
    {
        for (const auto& e : events)
            if (e.starts_with(prefix))
                return true;
        return false;
    }
    static platform::ScriptedWebEngine& engineOf(platform::WebView& view)
    {
        return dynamic_cast<platform::ScriptedWebEngine&>(*view.engine());
    }

    std::string documents;
    std::shared_ptr<platform::ScriptedWeb> web = platform::ScriptedWeb::create();
    std::shared_ptr<platform::RecordingURLOpener> opener = std::make_shared<platform::RecordingURLOpener>();
    adnetdemo::DemoServer server;
    std::string base;
};

} // namespace landingtest
