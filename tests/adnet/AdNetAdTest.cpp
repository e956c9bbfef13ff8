#include "TestSupport.h"

#include "LoopbackServer.h"
#include "adnet/AdNetURLDownload.h"
#include "adnetdemo/DemoServer.h"
#include "platform/net/URLConnection.h"

#include <algorithm>
#include <map>

using adnet::AdNetAd;
using adnetdemo::Fault;
using adnetdemo::FaultSpec;
namespace fetch = adnetdemo::fetch;
using namespace adnettest;

namespace {

// Whole ads against the demo ad network on 127.0.0.1, started by the test.
class AdNetAdTest : public AdNetTest {
protected:
    void SetUp() override
    {
        AdNetTest::SetUp();
        std::string error;
        ASSERT_TRUE(server.start(&error)) << error;
        adnet::AdNetConfiguration config;
        config.requestEndpoint = server.adRequestUrl();
        config.mediaHost = server.baseUrl();
        config.requestTimeout = 5;
        adnet::setConfiguration(config);
        host = std::make_shared<Host>();
    }
    void TearDown() override
    {
        loop->runFor(0.05);
        EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
        EXPECT_EQ(loop->realTimeHolds(), 0);
        // Idle keep-alive connections would hold the server's workers until they time out.
        platform::URLConnection::closeIdleConnections(*loop);
        server.stop();
        AdNetTest::TearDown();
    }

    struct Run {
        std::shared_ptr<AdNetAd> ad;
        std::shared_ptr<Owner> owner;
        std::vector<AdNetAd::FetchEvent> events;
        bool ready() const { return owner->successes == 1 && owner->failures == 0; }
        bool failed() const { return owner->failures == 1 && owner->successes == 0; }
        std::vector<std::string> started() const
        {
            std::vector<std::string> ids;
            for (const auto& e : events)
                if (e.kind == AdNetAd::FetchEvent::Started)
                    ids.push_back(e.identifier.value_or("request"));
            return ids;
        }
    };

    // Requests one ad and runs the loop until it reports (and a little after).
    std::unique_ptr<Run> runAd(double seconds = 15)
    {
        auto run = std::make_unique<Run>();
        run->ad = AdNetAd::create();
        run->owner = std::make_shared<Owner>();
        run->owner->attach(*run->ad, run->owner);
        run->ad->setDataSource(host);
        auto* events = &run->events;
        run->ad->setFetchObserver([events](const AdNetAd::FetchEvent& e) { events->push_back(e); });
        run->ad->request();
        auto* owner = run->owner.get();
        loop->runUntil([owner] { return owner->ended(); }, seconds);
        loop->runFor(0.1); // nothing more may arrive
        return run;
    }

    std::string pickAd(bool banner, bool pixel)
    {
        for (const auto& ad : server.ads())
            if (!ad.testAd && ad.banner == banner && (!banner || ad.pixel == pixel))
                return ad.id;
        ADD_FAILURE() << "no demo ad with banner=" << banner << " pixel=" << pixel;
        return {};
    }

    void cacheBrowserIcons()
    {
        for (const auto& name : AdNetAd::browserIcons())
            adnet::AdNetImageCache::sharedCache().storeImage(*solidImage(2, 2, 0x808080ffu), name);
    }

    adnetdemo::DemoServer server;
    std::shared_ptr<Host> host;
};

} // namespace

// ---- The way to a ready ad -------------------------------------------------------------------

TEST_F(AdNetAdTest, AColdTextAdFetchesIconsThenTheRequestThenItsImages)
{
    server.pinAd(pickAd(false, false));
    auto run = runAd();
    ASSERT_TRUE(run->ready());
    EXPECT_EQ(run->ad->state(), AdNetAd::Ready);
    EXPECT_TRUE(run->ad->readyForDisplay());
    EXPECT_EQ(run->started(), (std::vector<std::string>{"back", "back_disable", "forward", "forward_disable", "request",
                                                        "userImage", "actionIcon"}));
    EXPECT_EQ(run->ad->medium(), AdNetAd::TextAd);
    EXPECT_TRUE(run->ad->text() && !run->ad->text()->empty());
    ASSERT_TRUE(run->ad->userImage());
    ASSERT_TRUE(run->ad->actionImage());

    // Each of the six pictures is reported decoded after it arrived, and the browser icons'
    // cache writes (after the request went out) as work of their own.
    std::vector<std::string> arrived, decoded;
    int writes = 0;
    for (const auto& e : run->events) {
        if (e.kind == AdNetAd::FetchEvent::Succeeded)
            arrived.push_back(e.url);
        if (e.kind != AdNetAd::FetchEvent::Decoded)
            continue;
        EXPECT_GE(e.workSeconds, 0);
        if (e.url.empty()) {
            ++writes;
            continue;
        }
        EXPECT_NE(std::find(arrived.begin(), arrived.end(), e.url), arrived.end()) << e.url;
        decoded.push_back(e.url);
    }
    EXPECT_EQ(decoded.size(), 6u);
    EXPECT_EQ(writes, 1);

    // Browser icons under their bare names, the action icon under the action name.
    auto& cache = adnet::AdNetImageCache::sharedCache();
    for (const auto& name : AdNetAd::browserIcons())
        EXPECT_TRUE(cache.imageIsInCache(name)) << name;
    EXPECT_TRUE(cache.imageIsInCache(*run->ad->action()));
    EXPECT_FALSE(cache.imageIsInCache(*run->ad->action() + ".png"));

    // What the server saw: the query and both headers on every fetch.
    auto requests = server.requests(fetch::adRequest);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].param("s"), "pub-1234");
    EXPECT_EQ(requests[0].param("v"), "20090203-SDK-3f1986e5ead93fcd");
    EXPECT_FALSE(requests[0].hasParam("m"));
    for (const auto& record : server.requests()) {
        EXPECT_EQ(record.header("USER-AGENT"), adnet::AdNetURLDownload::userAgent()) << record.target;
        EXPECT_EQ(record.header("X-ADNET-ISU"), kDevice.uniqueIdentifier) << record.target;
    }
    EXPECT_EQ(server.requests(fetch::pixel).size(), 0u); // text ads never count a pixel
}

TEST_F(AdNetAdTest, WithEveryIconFreshTheRequestGoesOutAtOnce)
{
    cacheBrowserIcons();
    auto run = runAd();
    ASSERT_TRUE(run->ready());
    ASSERT_FALSE(run->started().empty());
    EXPECT_EQ(run->started().front(), "request");
    EXPECT_EQ(server.requests(fetch::browserIcon).size(), 0u);
}

TEST_F(AdNetAdTest, OnlyStaleOrMissingIconsAreFetched)
{
    cacheBrowserIcons();
    const std::string dir = adnet::AdNetImageCache::imageCacheDirectory();
    platform::fs::setModificationTime(dir + "/forward", loop->now() - 3141593);
    platform::fs::removeTree(dir + "/back_disable");
    auto run = runAd();
    ASSERT_TRUE(run->ready());
    EXPECT_EQ(run->started().at(0), "back_disable");
    EXPECT_EQ(run->started().at(1), "forward");
    EXPECT_EQ(run->started().at(2), "request");
}

TEST_F(AdNetAdTest, AHostThatRefusesTheEmbeddedBrowserNeverFetchesItsIcons)
{
    host->embedded = false;
    auto run = runAd();
    ASSERT_TRUE(run->ready());
    EXPECT_EQ(server.requests(fetch::browserIcon).size(), 0u);
    host->embedded = true;
    EXPECT_TRUE(runAd()->ready());
    EXPECT_EQ(server.requests(fetch::browserIcon).size(), 4u);
}

TEST_F(AdNetAdTest, ATextAdWithItsActionIconCachedNeedsOnlyItsOwnImage)
{
    cacheBrowserIcons();
    server.pinAd(pickAd(false, false));
    auto first = runAd();
    ASSERT_TRUE(first->ready());
    auto second = runAd();
    ASSERT_TRUE(second->ready());
    EXPECT_EQ(second->started(), (std::vector<std::string>{"request", "userImage"}));
    ASSERT_TRUE(second->ad->actionImage());
    EXPECT_EQ(second->ad->actionImage()->pixelWidth(), first->ad->actionImage()->pixelWidth());
}

TEST_F(AdNetAdTest, AnAdLetGoAsSoonAsItIsReadyLeavesItsIconsCached)
{
    server.pinAd(pickAd(false, false));
    {
        auto ad = AdNetAd::create();
        auto owner = std::make_shared<Owner>();
        owner->attach(*ad, owner);
        ad->setDataSource(host);
        ad->request();
        loop->runUntil([&] { return owner->ended(); }, 15);
        ASSERT_EQ(owner->successes, 1);
    } // gone before the loop turns again
    auto next = runAd();
    ASSERT_TRUE(next->ready());
    EXPECT_EQ(next->started(), (std::vector<std::string>{"request", "userImage"}));
}

TEST_F(AdNetAdTest, ABannerAdCountsItsPixelAndItsMissingTextIsFine)
{
    cacheBrowserIcons();
    server.pinAd(pickAd(true, true));
    auto run = runAd();
    ASSERT_TRUE(run->ready());
    EXPECT_EQ(run->ad->medium(), AdNetAd::BannerAd);
    EXPECT_EQ(run->started(), (std::vector<std::string>{"request", "userImage", "actionIcon", "accountingPixel"}));
    EXPECT_EQ(server.requests(fetch::pixel).size(), 1u);
    ASSERT_TRUE(run->ad->userImage());
}

TEST_F(AdNetAdTest, TestAdsAreAskedForWithM)
{
    host->testAd = true;
    auto run = runAd();
    ASSERT_TRUE(run->ready());
    auto requests = server.requests(fetch::adRequest);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].param("m"), "test");
    EXPECT_TRUE(requests[0].testMode);
}

TEST_F(AdNetAdTest, TheHostsEndpointIsUsedAndANilOneGetsNoAd)
{
    cacheBrowserIcons();
    host->endpoint = server.baseUrl() + "/ad_source.php";
    EXPECT_TRUE(runAd()->ready());
    const auto before = server.requestCount();
    host->endpoint = std::nullopt;
    auto run = runAd();
    EXPECT_TRUE(run->failed());
    EXPECT_EQ(server.requestCount(), before);
    EXPECT_EQ(run->ad->state(), AdNetAd::Failed);
    EXPECT_EQ(run->ad->failureReason(), "no address to fetch");
    host->endpoint = std::string("http://127.0.0.1:1/ad_source.php");
    run = runAd();
    EXPECT_TRUE(run->failed());
    EXPECT_TRUE(run->ad->failureReason().starts_with("http://127.0.0.1:1/ad_source.php?")) << run->ad->failureReason();
    EXPECT_NE(run->ad->failureReason().find("onnect"), std::string::npos) << "curl's own words";
}

// ---- Every fault: the ad fails, nothing breaks, the next ad works ----------------------------

TEST_F(AdNetAdTest, EachFaultFailsTheAdAndTheNextAdWorks)
{
    struct Case {
        const char* name;
        FaultSpec spec;
        bool iconsCached;
        const char* reason; // a part of the ad's failure reason
    };
    auto spec = [](Fault f, adnetdemo::FetchSet where) {
        FaultSpec s;
        s.fault = f;
        s.fetches = where;
        return s;
    };
    FaultSpec missingUrl = spec(Fault::missingKey, fetch::adRequest);
    missingUrl.key = "url";
    FaultSpec missingAction = spec(Fault::missingKey, fetch::adRequest);
    missingAction.key = "6";
    FaultSpec chunked = spec(Fault::oversized, fetch::adRequest);
    chunked.chunked = true;
    const std::vector<Case> cases{
        {"500 on the request", spec(Fault::status500, fetch::adRequest), true, ": HTTP status 500"},
        {"500 on a browser icon", spec(Fault::status500, fetch::browserIcon), false, "HTTP status 500"},
        {"500 on the ad's icon", spec(Fault::status500, fetch::adIcon), true, "HTTP status 500"},
        {"500 on the action icon", spec(Fault::status500, fetch::actionIcon), true, "HTTP status 500"},
        {"truncated request", spec(Fault::truncated, fetch::adRequest), true, "transfer closed"},
        {"truncated image", spec(Fault::truncated, fetch::adIcon), true, "transfer closed"},
        {"oversized request", spec(Fault::oversized, fetch::adRequest), true, "larger than allowed"},
        {"oversized chunked request", chunked, true, "larger than allowed"},
        {"oversized image", spec(Fault::oversized, fetch::adIcon), true, "larger than allowed"},
        {"JSON that does not parse", spec(Fault::badJson, fetch::adRequest), true, "not a JSON object"},
        {"no url", missingUrl, true, "lacks a key"},
        {"no action", missingAction, true, "lacks a key"},
        {"icon that is no image", spec(Fault::notAnImage, fetch::adIcon), true, "would not load"},
        {"action icon that is no image", spec(Fault::notAnImage, fetch::actionIcon), true, "would not load"},
        {"browser icon that is no image", spec(Fault::notAnImage, fetch::browserIcon), false, "would not load"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        adnet::AdNetImageCache::resetForTesting();
        platform::fs::removeTree(documents + "/adnet/image_cache");
        adnet::AdNetImageCache::sharedCache();
        if (c.iconsCached)
            cacheBrowserIcons();
        server.pinAd(pickAd(false, false));
        server.setFault(c.spec);
        auto failed = runAd();
        EXPECT_TRUE(failed->failed());
        EXPECT_EQ(failed->ad->state(), AdNetAd::Failed);
        EXPECT_NE(failed->ad->failureReason().find(c.reason), std::string::npos) << failed->ad->failureReason();
        EXPECT_FALSE(failed->ad->readyForDisplay());
        EXPECT_EQ(failed->ad->activeDownloadCount(), 0u);
        EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
        server.clearFaults();
        EXPECT_TRUE(runAd()->ready());
    }
}

TEST_F(AdNetAdTest, ASlowAnswerFailsAtTheTimeOut)
{
    cacheBrowserIcons();
    auto config = adnet::configuration();
    config.requestTimeout = 0.5;
    adnet::setConfiguration(config);
    FaultSpec slow;
    slow.fault = Fault::slow;
    slow.fetches = fetch::adRequest;
    slow.delay = std::chrono::milliseconds(3000);
    server.setFault(slow);
    const double start = loop->now();
    auto run = runAd();
    EXPECT_TRUE(run->failed());
    EXPECT_NEAR(loop->now() - start, 0.6, 0.05); // the time-out and the little wait after it
    server.clearFaults();
    EXPECT_TRUE(runAd()->ready());
}

TEST_F(AdNetAdTest, AFailingPixelNeverFailsTheAd)
{
    cacheBrowserIcons();
    server.pinAd(pickAd(true, true));
    for (Fault f : {Fault::status500, Fault::truncated, Fault::slow}) {
        FaultSpec s;
        s.fault = f;
        s.fetches = fetch::pixel;
        s.delay = std::chrono::milliseconds(10000);
        server.setFault(s);
        auto config = adnet::configuration();
        config.requestTimeout = 1;
        adnet::setConfiguration(config);
        auto run = runAd();
        EXPECT_TRUE(run->ready()) << adnetdemo::faultName(f);
        ASSERT_TRUE(run->ad->userImage());
    }
}

TEST_F(AdNetAdTest, AFailedImageCancelsTheOtherDownloads)
{
    cacheBrowserIcons();
    server.pinAd(pickAd(true, true));
    FaultSpec bad;
    bad.fault = Fault::status500;
    bad.fetches = fetch::bannerImage;
    FaultSpec slow;
    slow.fault = Fault::slow;
    slow.fetches = fetch::actionIcon | fetch::pixel;
    slow.delay = std::chrono::milliseconds(20000);
    server.setFault(bad);
    server.addFault(slow);
    const double start = loop->now();
    auto run = runAd();
    EXPECT_TRUE(run->failed());
    // While transfers run the clock keeps step with real time: half the slow answers'
    // delay means it waited for them, not that the machine was slow.
    EXPECT_LT(loop->now() - start, 10.0) << "waited for the slow downloads";
    EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
}

TEST_F(AdNetAdTest, LettingAnAdGoMidwayCancelsEverythingQuietly)
{
    FaultSpec slow;
    slow.fault = Fault::slow;
    slow.fetches = fetch::all;
    slow.delay = std::chrono::milliseconds(2000);
    server.setFault(slow);
    auto owner = std::make_shared<Owner>();
    {
        auto ad = AdNetAd::create();
        owner->attach(*ad, owner);
        ad->setDataSource(host);
        ad->request();
        loop->runFor(0.1);
        EXPECT_EQ(platform::URLConnection::liveTransferCount(), 4u);
    }
    EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
    loop->runFor(0.5);
    EXPECT_FALSE(owner->ended());
}

TEST_F(AdNetAdTest, ADroppedOwnerHearsNothingAndLateCompletionsChangeNothing)
{
    cacheBrowserIcons();
    auto ad = AdNetAd::create();
    {
        auto owner = std::make_shared<Owner>();
        owner->attach(*ad, owner);
    }
    ad->setDataSource(host);
    ad->request();
    loop->runUntil([&] { return ad->state() >= AdNetAd::Ready; }, 10);
    ASSERT_EQ(ad->state(), AdNetAd::Ready);

    // Completions that arrive after the ad is ready or failed do nothing.
    auto owner = std::make_shared<Owner>();
    owner->attach(*ad, owner);
    auto stray = adnet::AdNetURLDownload::create();
    stray->setIdentifier(std::string("userImage"));
    ad->downloadDidSucceed(*stray);
    ad->downloadDidFail(*stray);
    EXPECT_EQ(ad->state(), AdNetAd::Ready);
    EXPECT_FALSE(owner->ended());
    ad->request(); // requested once only
    loop->runFor(0.2);
    EXPECT_FALSE(owner->ended());
}

// ---- Answers the demo network does not give: a scripted ad server ---------------------------

namespace {

// Serves one JSON answer at /ad_source.php ("__BASE__" in it stands for the server's own
// address), a 404 at /nothing, and a small PNG everywhere else.
class ScriptedAdServer {
public:
    explicit ScriptedAdServer(std::string answer)
        : m_answer(std::move(answer)),
          m_server([this](const std::string& head) {
              if (head.rfind("GET /ad_source.php", 0) == 0) {
                  std::string body = m_answer;
                  for (auto at = body.find("__BASE__"); at != std::string::npos; at = body.find("__BASE__"))
                      body.replace(at, 8, base());
                  return LoopbackServer::plain(200, body, "Content-Type: application/json\r\n");
              }
              if (head.rfind("GET /nothing", 0) == 0)
                  return LoopbackServer::plain(404, "");
              return LoopbackServer::plain(200, pngBytes(3, 2, 0x336699ffu), "Content-Type: image/png\r\n");
          })
    {
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(m_server.port()); }
    int count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& head : m_server.requests())
            n += head.rfind("GET " + prefix, 0) == 0;
        return n;
    }
    void useAsAdNetwork() const
    {
        auto config = adnet::configuration();
        config.requestEndpoint = base() + "/ad_source.php";
        config.mediaHost = base();
        adnet::setConfiguration(config);
    }

private:
    const std::string m_answer;
    LoopbackServer m_server;
};

} // namespace

TEST_F(AdNetAdTest, TheAcceptanceRuleOnScriptedAnswers)
{
    cacheBrowserIcons();
    struct Case {
        const char* answer;
        bool ready;
        int medium;
    };
    const std::vector<Case> cases{
        {R"({"text":"t","6":"url","url":"u","204":"/icon.png"})", true, 0},
        {R"({"6":"url","url":"u","banner":"__BASE__/banner.png"})", true, 1}, // banner without text
        {R"({"6":"url","url":"u","204":"/icon.png"})", false, 0},             // text ad without text
        {R"({"text":"t","6":"url","url":"u","banner":"__BASE__/b.png","204":"/nothing"})", true, 1}, // 204 ignored
        {R"({"text":"t","6":"url","204":"/icon.png"})", false, 0},                                   // no url
        {R"({"text":"t","url":"u","204":"/icon.png"})", false, 0},                                   // no action
        {R"({"text":"t","6":"url","url":"u"})", false, 0},                                           // no image at all
        {R"({"text":"t","6":7,"url":"u","204":"/icon.png"})", false, 0},      // action not a string
        {R"({"text":"t","6":"url","url":"u","204":"/nothing"})", false, 0},   // icon 404
        {R"( {"text":"t","6":"url","url":"u","204":"/icon.png"})", false, 0}, // brace not first
        {R"({"text":"t","6":"url","url":"u","204":"/icon.png"} trailing junk)", true, 0},
        {R"({"text":"t","6":"url","url":"u","banner":"::not a url::"})", false, 1}, // image cannot be fetched
        {"", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ScriptedAdServer scripted(c.answer);
        scripted.useAsAdNetwork();
        auto run = runAd();
        EXPECT_EQ(run->ready(), c.ready);
        EXPECT_EQ(run->failed(), !c.ready);
        if (c.ready) {
            EXPECT_EQ(int(run->ad->medium()), c.medium);
        }
    }
}

TEST_F(AdNetAdTest, PixelRulesOnScriptedAnswers)
{
    cacheBrowserIcons();
    struct Case {
        const char* answer;
        int pixelFetches;
    };
    // An empty pixel URL fetches nothing; one that cannot even be fetched must not leave the
    // ad waiting for ever; a lost pixel is ignored; a text ad never fetches its pixel.
    const std::vector<Case> cases{
        {R"({"6":"canvas","url":"u","banner":"__BASE__/b.png","cpm_url":""})", 0},
        {R"({"6":"canvas","url":"u","banner":"__BASE__/b.png","cpm_url":"__BASE__/px"})", 1},
        {R"({"6":"canvas","url":"u","banner":"__BASE__/b.png","cpm_url":"::not a url::"})", 0},
        {R"({"6":"canvas","url":"u","banner":"__BASE__/b.png","cpm_url":"__BASE__/nothing/px"})", 0},
        {R"({"text":"t","6":"canvas","url":"u","204":"/i.png","cpm_url":"__BASE__/px"})", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ScriptedAdServer scripted(c.answer);
        scripted.useAsAdNetwork();
        auto run = runAd();
        EXPECT_TRUE(run->ready());
        EXPECT_EQ(scripted.count("/px"), c.pixelFetches);
    }
}

TEST_F(AdNetAdTest, ImagesOverThePixelCapFailTheAdAndReadBackAsNothing)
{
    cacheBrowserIcons();
    ScriptedAdServer scripted(R"({"text":"t","6":"url","url":"u","204":"/icon.png"})"); // icons are 3 x 2
    scripted.useAsAdNetwork();
    auto config = adnet::configuration();
    config.maxImagePixels = 6;
    adnet::setConfiguration(config);
    EXPECT_TRUE(runAd()->ready());
    config.maxImagePixels = 5;
    adnet::setConfiguration(config);
    EXPECT_TRUE(runAd()->failed());
    // A cached file over the cap does not decode either.
    adnet::AdNetImageCache::sharedCache().storeImage(*solidImage(3, 2, 0xffffffffu), "big");
    EXPECT_FALSE(adnet::AdNetImageCache::sharedCache().fetchImageNamed("big"));
}
