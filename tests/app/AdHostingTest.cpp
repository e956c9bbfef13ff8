// The game hosting the ad banner, launched from its interface description against the demo
// ad network on 127.0.0.1.
#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetEvents.h"
#include "adnet/AdNetImageCache.h"
#include "adnet/AdNetView.h"
#include "adnet/AdNetViewAccess.h"
#include "adnetdemo/DemoServer.h"
#include "app/AdHosting.h"
#include "app/GameClasses.h"
#include "app/brimseyAppDelegate.h"
#include "platform/core/Bundle.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"
#include "platform/core/RunLoop.h"
#include "platform/net/URLConnection.h"
#include "platform/ui/Application.h"

namespace {

const std::string kResources = BRIMSEY_SOURCE_DIR "/resources";

class AdHosting : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("ALSOFT_DRIVERS", "null", 0);
        loop = platform::RunLoop::createVirtual();
        platform::RunLoop::setMain(loop);
        documents = *platform::fs::makeTemporaryDirectory("brimsey-hosting-test");
        platform::setDocumentsDirectory(documents);
        adnet::AdNetImageCache::resetForTesting();
        platform::Bundle::main().setResourceDirectory(kResources);
        platform::Application::shared().reset();
        brimsey::registerGameClasses();
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        adnet::AdNetConfiguration config;
        config.requestEndpoint = server.adRequestUrl();
        config.mediaHost = server.baseUrl();
        adnet::setConfiguration(config);
        adnet::setAdNetEventListener([this](std::string_view e) { events.push_back({loop->now(), std::string(e)}); });
        brimsey::setAdsEnabled(true);
    }
    void TearDown() override
    {
        brimsey::setAdsEnabled(false);
        adnet::setAdNetEventListener({});
        delegate.reset();
        platform::Application::shared().reset();
        loop->runFor(0.05);
        platform::URLConnection::closeIdleConnections(*loop);
        server.stop();
        adnet::AdNetImageCache::resetForTesting();
        platform::setDocumentsDirectory(std::nullopt);
        platform::RunLoop::setMain(nullptr);
        platform::fs::removeTree(documents);
    }

    void launch()
    {
        std::string error;
        ASSERT_TRUE(platform::Application::shared().launch(kResources + "/MainWindow.json", &error)) << error;
        delegate = std::dynamic_pointer_cast<brimsey::brimseyAppDelegate>(platform::Application::shared().delegate());
        ASSERT_TRUE(delegate);
    }
    std::size_t count(const std::string& event) const
    {
        return std::size_t(
            std::count_if(events.begin(), events.end(), [&](const auto& e) { return e.second == event; }));
    }
    double timeOf(const std::string& event) const
    {
        for (const auto& e : events)
            if (e.second == event)
                return e.first;
        return -1;
    }

    std::shared_ptr<platform::RunLoop> loop;
    std::string documents;
    adnetdemo::DemoServer server;
    std::vector<std::pair<double, std::string>> events;
    std::shared_ptr<brimsey::brimseyAppDelegate> delegate;
};

// Whether a line of `err` is "yyyy-MM-dd HH:mm:ss.SSS name[pid:tid] " followed by `text`.
bool logged(const std::string& err, const std::string& text)
{
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);) {
        const std::string stamp = "####-##-## ##:##:##.### ";
        if (line.size() < stamp.size() + text.size() || line.compare(line.size() - text.size(), text.size(), text))
            continue;
        bool ok = true;
        for (std::size_t i = 0; i < stamp.size() && ok; ++i)
            ok = stamp[i] == '#' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0 : line[i] == stamp[i];
        // name[pid:tid] and one space before the text
        const auto open = line.find('[', stamp.size()), colon = line.find(':', open), close = line.find("] ", colon);
        ok = ok && open != std::string::npos && open > stamp.size() && colon != std::string::npos &&
             close == line.size() - text.size() - 2;
        for (std::size_t i = open + 1; ok && i < close; ++i)
            ok = i == colon || std::isdigit(static_cast<unsigned char>(line[i]));
        if (ok)
            return true;
    }
    return false;
}

} // namespace

TEST_F(AdHosting, TheFirstAdPutsTheBannerOverTheGameAndRefreshesEveryMinute)
{
    // Text ads only: a banner-image ad would stay for good and stop the refreshes.
    for (const auto& ad : server.ads())
        if (!ad.banner && !ad.testAd) {
            server.pinAd(ad.id);
            break;
        }
    testing::internal::CaptureStderr();
    launch();
    auto window = delegate->window();
    ASSERT_TRUE(delegate->adNetAd());
    EXPECT_EQ(window->subviews().size(), 1u) << "not in the window before its first ad";
    ASSERT_TRUE(loop->runUntil([&] { return count("ad received") == 1; }, 10));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(err, "AdNet: Did receive ad")) << err;

    ASSERT_EQ(window->subviews().size(), 2u);
    EXPECT_EQ(window->subviews().back(), adnet::platformView(*delegate->adNetAd())) << "above the game";
    EXPECT_EQ(window->subviews().back()->frame(), platform::Rect(0, 0, 320, 48));

    // requestFreshAd every 60 s from the first ad on: the first 60 s after it.
    const double received = timeOf("ad received");
    loop->runUntilTime(received + 59.9);
    EXPECT_EQ(count("ad request"), 1u);
    loop->runUntilTime(received + 60.05);
    EXPECT_EQ(count("ad request"), 2u);
    ASSERT_TRUE(loop->runUntil([&] { return count("flip end") == 1; }, 10));
    loop->runUntilTime(received + 120.05);
    EXPECT_EQ(count("ad request"), 3u);
    EXPECT_EQ(count("ad received"), 1u);

    // The host's answers: its publisher id goes out with every request.
    for (const auto& request : server.requests(adnetdemo::fetch::adRequest))
        EXPECT_EQ(request.param("s"), "c3e8b0f47d92a16");
}

TEST_F(AdHosting, AFailedFirstAdLeavesTheGameWithoutABannerForGood)
{
    adnetdemo::FaultSpec fault;
    fault.fault = adnetdemo::Fault::status500;
    fault.fetches = adnetdemo::fetch::adRequest;
    server.setFault(fault);
    testing::internal::CaptureStderr();
    launch();
    ASSERT_TRUE(loop->runUntil([&] { return count("ad failed") == 1; }, 10));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(logged(err, "AdNet: Did fail to receive ad")) << err;
    EXPECT_FALSE(delegate->adNetAd());
    loop->runFor(200);
    EXPECT_EQ(count("ad request"), 1u) << "no retry, no refresh";
    EXPECT_EQ(delegate->window()->subviews().size(), 1u);
}

TEST_F(AdHosting, WithoutAdsThereIsNoAdClientAtAll)
{
    brimsey::setAdsEnabled(false);
    launch();
    loop->runFor(120);
    EXPECT_FALSE(delegate->adNetAd());
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(server.requestCount(), 0u);
}
