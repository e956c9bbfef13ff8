// Every fault mode, over real HTTP: what the client receives, which fetches a fault
// strikes, how many answers it spoils, and that the server is well afterwards.
#include "Fixture.h"

#include <curl/curl.h>

#include <thread>

using namespace adservertest;
using adnetdemo::Fault;
using adnetdemo::FaultSpec;
namespace fetch = adnetdemo::fetch;

namespace {

FaultSpec fault(Fault kind, adnetdemo::FetchSet fetches = fetch::all, int times = -1)
{
    FaultSpec spec;
    spec.fault = kind;
    spec.fetches = fetches;
    spec.times = times;
    return spec;
}

} // namespace

TEST_F(DemoServerTest, Status500StrikesOnlyItsFetchesAndOnlyAsOftenAsAsked)
{
    server.setFault(fault(Fault::status500, fetch::adRequest, 2));
    EXPECT_EQ(get(base + "/static/sdk/browser/back.png").status, 200) << "not an ad request";
    Fetched first = fetchAd();
    EXPECT_EQ(first.status, 500);
    EXPECT_NE(first.body.find("Internal Server Error"), std::string::npos);
    EXPECT_EQ(fetchAd().status, 500);
    EXPECT_EQ(fetchAd().status, 200) << "two answers were spoiled, the third is whole";

    auto records = server.requests(fetch::adRequest);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].fault, Fault::status500);
    EXPECT_EQ(records[0].status, 500);
    EXPECT_EQ(records[2].fault, Fault::none);
    // A spoiled answer does not use up an ad: the whole answer is the first ad in rotation.
    EXPECT_EQ(records[2].adId, server.ads().front().id);
}

TEST_F(DemoServerTest, FirstFaultThatAppliesWinsAndClearingEndsThemAll)
{
    server.addFault(fault(Fault::notAnImage, fetch::all, 1)); // cannot spoil an ad answer
    server.addFault(fault(Fault::status500, fetch::adRequest | fetch::clickDocument));
    EXPECT_EQ(fetchAd().status, 500) << "notAnImage does not apply to the ad answer";
    Fetched image = get(base + "/static/sdk/img/url.png");
    EXPECT_EQ(image.status, 200);
    EXPECT_FALSE(pngSize(image.body)) << "the image fault was kept for the first image";
    EXPECT_TRUE(pngSize(get(base + "/static/sdk/img/url.png").body)) << "and used up by it";
    EXPECT_EQ(get(base + "/click/spring-sale").status, 500);
    server.clearFaults();
    EXPECT_EQ(fetchAd().status, 200);
    EXPECT_EQ(get(base + "/click/spring-sale").status, 200);
}

TEST_F(DemoServerTest, SlowAnswerComesLateButWhole)
{
    FaultSpec slow = fault(Fault::slow, fetch::clickDocument, 1);
    slow.delay = std::chrono::milliseconds(400);
    server.setFault(slow);
    Fetched fast = fetchAd();
    EXPECT_EQ(fast.status, 200);
    EXPECT_EQ(server.requests().back().fault, Fault::none) << "other fetches are not held back";
    Fetched late = get(base + "/click/spring-sale");
    EXPECT_EQ(late.status, 200);
    EXPECT_GE(late.seconds, 0.38);
    EXPECT_TRUE(parseFlatObject(late.body));
    auto record = server.requests().back();
    EXPECT_EQ(record.fault, Fault::slow);
    EXPECT_GE(record.answeredSeconds - record.receivedSeconds, 0.38);

    // A client that gives up sooner sees a time-out, and the server serves the next one.
    slow.delay = std::chrono::milliseconds(2000);
    slow.times = 1;
    server.setFault(slow);
    Fetched gaveUp = get(base + "/click/spring-sale", {}, 200);
    EXPECT_EQ(gaveUp.curlCode, CURLE_OPERATION_TIMEDOUT);
    EXPECT_EQ(get(base + "/click/spring-sale").status, 200);
}

TEST(DemoServerLifecycle, StopEndsSlowAnswersAtOnce)
{
    adnetdemo::DemoServer server;
    ASSERT_TRUE(server.start());
    FaultSpec slow;
    slow.fault = Fault::slow;
    slow.delay = std::chrono::seconds(30);
    server.setFault(slow);
    std::thread client([&] { get(server.baseUrl() + "/ad_source.php?s=p", {}, 40000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the request is being held
    auto started = std::chrono::steady_clock::now();
    server.stop();
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    client.join();
    EXPECT_LT(took, 5.0) << "stop waited for the slow answer's 30 seconds";
    EXPECT_FALSE(server.running());
}

TEST_F(DemoServerTest, TruncatedBodyAnnouncesMoreThanItSends)
{
    server.setFault(fault(Fault::truncated, fetch::adRequest | fetch::bannerImage, 2));
    Fetched answer = fetchAd();
    EXPECT_EQ(answer.curlCode, CURLE_PARTIAL_FILE);
    EXPECT_EQ(answer.status, 200);
    std::size_t announced = std::stoul(answer.header("Content-Length").value_or("0"));
    EXPECT_EQ(answer.body.size(), announced / 2);
    EXPECT_FALSE(parseFlatObject(answer.body));
    EXPECT_EQ(server.requests().back().bodyBytes, announced);

    Fetched picture = get(base + "/static/ads/banners/pocket-chef.png");
    EXPECT_EQ(picture.curlCode, CURLE_PARTIAL_FILE);
    Fetched whole = get(base + "/static/ads/banners/pocket-chef.png");
    EXPECT_TRUE(whole.ok);
    EXPECT_EQ(picture.body, whole.body.substr(0, whole.body.size() / 2));
}

TEST_F(DemoServerTest, OversizedBodiesPassTheCapsByOneByteAndStayWellFormed)
{
    server.setFault(fault(Fault::oversized, fetch::adRequest | fetch::images | fetch::clickDocument));
    Fetched answer = fetchAd();
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.body.size(), adnetdemo::documentCap + 1);
    EXPECT_EQ(answer.header("Content-Length"), std::to_string(adnetdemo::documentCap + 1));
    // Only the size is wrong: a client without a cap would accept this answer.
    EXPECT_TRUE(parseFlatObject(answer.body));

    Fetched click = get(base + "/click/spring-sale");
    EXPECT_EQ(click.body.size(), adnetdemo::documentCap + 1);
    EXPECT_TRUE(parseFlatObject(click.body));

    Fetched icon = get(base + "/static/sdk/img/url.png");
    EXPECT_EQ(icon.body.size(), adnetdemo::imageCap + 1);
    EXPECT_TRUE(pngSize(icon.body));
}

TEST_F(DemoServerTest, OversizedCanHitTheCapExactlyOrComeChunked)
{
    FaultSpec exact = fault(Fault::oversized, fetch::bannerImage, 1);
    exact.bodyBytes = adnetdemo::imageCap;
    server.setFault(exact);
    EXPECT_EQ(get(base + "/static/ads/banners/skyline-air.png").body.size(), adnetdemo::imageCap);

    // A size below the real body never cuts it.
    FaultSpec small = fault(Fault::oversized, fetch::adRequest, 1);
    small.bodyBytes = 10;
    server.setFault(small);
    EXPECT_TRUE(parseFlatObject(fetchAd().body));

    // Without Content-Length the client must count the bytes as they come.
    FaultSpec chunked = fault(Fault::oversized, fetch::adRequest, 1);
    chunked.chunked = true;
    server.setFault(chunked);
    Fetched answer = fetchAd();
    ASSERT_TRUE(answer.ok);
    EXPECT_FALSE(answer.header("Content-Length"));
    EXPECT_EQ(answer.header("Transfer-Encoding"), "chunked");
    EXPECT_EQ(answer.body.size(), adnetdemo::documentCap + 1);
}

TEST_F(DemoServerTest, BadJsonStartsLikeAnAnswerButDoesNotParse)
{
    server.setFault(fault(Fault::badJson));
    Fetched answer = fetchAd();
    EXPECT_EQ(answer.status, 200);
    ASSERT_FALSE(answer.body.empty());
    EXPECT_EQ(answer.body.front(), '{');
    EXPECT_FALSE(parseFlatObject(answer.body));
    Fetched click = get(base + "/click/spring-sale");
    EXPECT_EQ(click.body.front(), '{');
    EXPECT_FALSE(parseFlatObject(click.body));
    // Pictures are not JSON: the fault leaves them alone.
    EXPECT_TRUE(pngSize(get(base + "/static/sdk/browser/back.png").body));
}

TEST_F(DemoServerTest, MissingKeyLeavesOutOneRequiredKey)
{
    server.pinAd("spring-sale");
    server.setFault(fault(Fault::missingKey, fetch::adRequest, 1));
    auto withoutUrl = parseFlatObject(fetchAd().body);
    ASSERT_TRUE(withoutUrl);
    EXPECT_EQ(withoutUrl->count("url"), 0u) << "the default key is \"url\"";
    EXPECT_EQ(withoutUrl->count("6"), 1u);
    EXPECT_EQ(withoutUrl->count("204"), 1u);

    for (const char* key : {"6", "text", "204"}) {
        FaultSpec spec = fault(Fault::missingKey, fetch::adRequest, 1);
        spec.key = key;
        server.setFault(spec);
        auto object = parseFlatObject(fetchAd().body);
        ASSERT_TRUE(object);
        EXPECT_EQ(object->count(key), 0u) << key;
        EXPECT_EQ(object->size(), withoutUrl->size()) << "exactly one key is gone: " << key;
    }
    server.setFault(fault(Fault::missingKey, fetch::clickDocument, 1));
    auto click = parseFlatObject(get(base + "/click/spring-sale").body);
    ASSERT_TRUE(click);
    EXPECT_EQ(click->count("redirect_url"), 0u);
    EXPECT_EQ(parseFlatObject(fetchAd().body)->count("url"), 1u) << "the fault is used up";
}

TEST_F(DemoServerTest, NotAnImageIsTextLabelledAsPicture)
{
    server.setFault(fault(Fault::notAnImage, fetch::browserIcon | fetch::adIcon));
    Fetched icon = get(base + "/static/sdk/browser/forward.png");
    EXPECT_EQ(icon.status, 200);
    EXPECT_EQ(icon.contentType, "image/png");
    EXPECT_FALSE(pngSize(icon.body));
    EXPECT_FALSE(pngSize(get(base + "/static/ads/icons/trailhead.png").body));
    EXPECT_TRUE(pngSize(get(base + "/static/sdk/img/canvas.png").body)) << "action icons were not named";
    auto object = parseFlatObject(fetchAd().body);
    EXPECT_TRUE(object) << "the ad answer is not an image";
}

TEST_F(DemoServerTest, FaultsDoNotTouchMissingFilesOrControl)
{
    server.setFault(fault(Fault::oversized, fetch::all, 1));
    Fetched missing = get(base + "/static/sdk/img/nothing.png");
    EXPECT_EQ(missing.status, 404);
    EXPECT_LT(missing.body.size(), 1000u) << "a 404 page is not padded";
}

TEST_F(DemoServerTest, SlowAnswersDoNotHoldUpOtherFetches)
{
    // An ad load starts several downloads at once; a dozen held answers must not queue a
    // whole one behind them.
    FaultSpec slow = fault(Fault::slow, fetch::landingPage);
    slow.delay = std::chrono::milliseconds(3000);
    server.setFault(slow);
    std::vector<std::thread> held;
    for (int i = 0; i < 12; ++i)
        held.emplace_back([&] { get(base + "/landing/trailhead.html", {}, 20000); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the pages are being held
    Fetched icon = get(base + "/static/sdk/browser/back.png");
    EXPECT_EQ(icon.status, 200);
    for (auto& thread : held)
        thread.join();
    // By the server's own log: the icon was answered while every page was still held. An
    // icon queued behind a held worker would come only after one of them.
    auto pages = server.requests(fetch::landingPage);
    ASSERT_EQ(pages.size(), 12u);
    auto icons = server.requests(fetch::browserIcon);
    ASSERT_EQ(icons.size(), 1u);
    for (const auto& page : pages)
        EXPECT_LT(icons[0].answeredSeconds, page.answeredSeconds)
            << "the icon waited for a worker held by a slow answer";
}
