#pragma once

#include "TestSupport.h"

#include "LoopbackServer.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetView.h"
#include "adnetdemo/DemoServer.h"
#include "platform/backend/headless/RecordingURLOpener.h"
#include "platform/device/Services.h"
#include "platform/net/URLConnection.h"

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace adnettest {

// A host that also hears the first ad's outcome.
class BannerHost : public Host {
public:
    int received{0};
    int failed{0};
    bool presents{false}; // implements presentWebView
    std::vector<std::string> presented;
    std::function<void(adnet::AdNetView&)> onReceive;
    std::function<void(adnet::AdNetView&)> onFail;

    void didReceiveAd(adnet::AdNetView& view) override
    {
        ++received;
        if (onReceive)
            onReceive(view);
    }
    bool presentWebView(const std::string& url) override
    {
        if (presents)
            presented.push_back(url);
        return presents;
    }
    void didFailToReceiveAd(adnet::AdNetView& view) override
    {
        ++failed;
        if (onFail)
            onFail(view);
    }
};

inline adnetdemo::FaultSpec faultOn(adnetdemo::Fault fault, adnetdemo::FetchSet fetches, int times = -1)
{
    adnetdemo::FaultSpec spec;
    spec.fault = fault;
    spec.fetches = fetches;
    spec.times = times;
    return spec;
}

// Every ad client event in order.
struct EventRecorder {
    std::vector<std::string> events;
    EventRecorder()
    {
        adnet::setAdNetEventListener([this](std::string_view e) { events.emplace_back(e); });
    }
    ~EventRecorder() { adnet::setAdNetEventListener({}); }
    std::size_t count(const std::string& event) const
    {
        return std::size_t(std::count(events.begin(), events.end(), event));
    }
};

// URLs handed to the platform are recorded, not opened.
class RecordingTest : public AdNetTest {
protected:
    void SetUp() override
    {
        AdNetTest::SetUp();
        opener = std::make_shared<platform::RecordingURLOpener>();
        platform::Services services;
        services.urlOpener = opener;
        auto scripted = location;
        services.location = [scripted] { return scripted; };
        platform::installServices(services);
    }
    void TearDown() override
    {
        platform::resetServices();
        AdNetTest::TearDown();
    }
    std::shared_ptr<platform::RecordingURLOpener> opener;
};

// Fixture with the demo ad network on 127.0.0.1 and a host that refuses nothing.
class DemoNetworkTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        adnet::AdNetConfiguration config;
        config.requestEndpoint = server.adRequestUrl();
        config.mediaHost = server.baseUrl();
        config.requestTimeout = 5;
        adnet::setConfiguration(config);
        host = std::make_shared<BannerHost>();
    }
    void TearDown() override
    {
        loop->runFor(0.05);
        EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
        platform::URLConnection::closeIdleConnections(*loop);
        server.stop();
        RecordingTest::TearDown();
    }
    std::string pickAd(bool banner)
    {
        for (const auto& ad : server.ads())
            if (!ad.testAd && ad.banner == banner)
                return ad.id;
        return {};
    }
    bool runUntil(const std::function<bool()>& done, double seconds = 10) { return loop->runUntil(done, seconds); }

    adnetdemo::DemoServer server;
    std::shared_ptr<BannerHost> host;
};

// Fixture with a scripted HTTP server: each path answers what the test put in `routes`.
class ScriptedNetworkTest : public RecordingTest {
protected:
    void SetUp() override
    {
        RecordingTest::SetUp();
        server = std::make_unique<LoopbackServer>([this](const std::string& head) { return answer(head); });
        adnet::AdNetConfiguration config;
        config.requestEndpoint = server->url("/ad_source.php");
        config.mediaHost = server->url("");
        config.requestTimeout = 5;
        adnet::setConfiguration(config);
        host = std::make_shared<BannerHost>();
        host->embedded = false; // no browser icons to serve
    }
    void TearDown() override
    {
        loop->runFor(0.05);
        platform::URLConnection::closeIdleConnections(*loop);
        server.reset();
        RecordingTest::TearDown();
    }
    void route(const std::string& path, int status, const std::string& body)
    {
        std::lock_guard lock(mutex);
        routes[path] = {status, body};
    }
    // A text ad answer with a solid 38 x 38 icon and a solid 30 x 30 action icon.
    void serveTextAd(const std::string& text, const std::string& action = "url", std::uint32_t icon = 0xff0000ffu,
                     std::uint32_t actionIcon = 0x00ff00ffu)
    {
        route("/ad_source.php", 200,
              R"({"text":")" + text + R"(","6":")" + action + R"(","8":"Title","url":"http://x/","jsonp_url":")" +
                  server->url("/click") + R"(","204":"/icon.png"})");
        route("/icon.png", 200, pngBytes(38, 38, icon));
        route("/static/sdk/img/" + action + ".png", 200, pngBytes(30, 30, actionIcon));
    }
    // Requests one ad and runs until it is ready (or failed).
    std::shared_ptr<adnet::AdNetAd> loadAd()
    {
        auto ad = adnet::AdNetAd::create();
        auto owner = std::make_shared<Owner>();
        owner->attach(*ad, owner);
        ad->setDataSource(host);
        ad->request();
        loop->runUntil([&] { return owner->ended(); }, 10);
        ad->setDelegate({});
        return ad;
    }

    std::unique_ptr<LoopbackServer> server;
    std::shared_ptr<BannerHost> host;
    std::mutex mutex;
    std::map<std::string, std::pair<int, std::string>> routes;

private:
    LoopbackServer::Reply answer(const std::string& head)
    {
        // "GET /path?query HTTP/1.1"
        auto start = head.find(' ') + 1;
        auto end = head.find_first_of(" ?", start);
        std::string path = head.substr(start, end - start);
        std::lock_guard lock(mutex);
        auto it = routes.find(path);
        if (it == routes.end())
            return LoopbackServer::plain(404, "no such thing");
        return LoopbackServer::plain(it->second.first, it->second.second);
    }
};

} // namespace adnettest
