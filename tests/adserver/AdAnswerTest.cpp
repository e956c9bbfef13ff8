// What the ad client relies on in each answer, over real HTTP: the ad answers and their
// rotation, and every URL an answer leads to.
#include "Fixture.h"

#include <mutex>
#include <set>

using namespace adservertest;
using adnetdemo::AdInfo;

namespace {

std::vector<std::string> ids(const std::vector<AdInfo>& ads, bool test)
{
    std::vector<std::string> out;
    for (const auto& ad : ads) {
        if (ad.testAd == test)
            out.push_back(ad.id);
    }
    return out;
}

} // namespace

TEST_F(DemoServerTest, AdAnswersAreObjectsWithTheKeysTheClientRequires)
{
    for (const auto& ad : server.ads()) {
        ASSERT_TRUE(server.pinAd(ad.id));
        Fetched answer = fetchAd();
        ASSERT_EQ(answer.status, 200) << ad.id;
        ASSERT_FALSE(answer.body.empty());
        EXPECT_EQ(answer.body.front(), '{') << "the brace must be the first byte: " << ad.id;
        auto object = parseFlatObject(answer.body);
        ASSERT_TRUE(object) << answer.body;
        EXPECT_TRUE(object->count("6") && !object->at("6").empty()) << ad.id;
        EXPECT_TRUE(object->count("url")) << ad.id;
        EXPECT_EQ(object->at("jsonp_url"), base + "/click/" + ad.id);
        if (ad.banner) {
            EXPECT_EQ(object->count("banner"), 1u) << ad.id;
            EXPECT_EQ(object->count("204"), 0u) << ad.id;
        } else {
            // A text ad needs its text and an icon path that is appended to the media host.
            EXPECT_FALSE(object->at("text").empty()) << ad.id;
            ASSERT_EQ(object->count("204"), 1u) << ad.id;
            EXPECT_EQ(object->at("204").front(), '/') << ad.id;
            EXPECT_EQ(object->count("banner"), 0u) << ad.id;
            EXPECT_EQ(object->count("cpm_url"), 0u) << "text ads have no pixel: " << ad.id;
        }
        if (!ad.userString.empty()) {
            EXPECT_EQ(object->at("8"), ad.userString);
        }
    }
}

TEST_F(DemoServerTest, InventoryCoversEveryKindOfAd)
{
    std::set<std::string> actions;
    bool text = false, banner = false, bannerWithoutText = false, emptyPixel = false, test = false;
    for (const auto& ad : server.ads()) {
        actions.insert(ad.action);
        text |= !ad.banner;
        banner |= ad.banner;
        bannerWithoutText |= ad.banner && ad.text.empty();
        test |= ad.testAd;
        if (ad.banner && !ad.pixel) {
            server.pinAd(ad.id);
            auto object = parseFlatObject(fetchAd().body);
            ASSERT_TRUE(object);
            emptyPixel |= object->count("cpm_url") && object->at("cpm_url").empty();
        }
    }
    EXPECT_TRUE(text && banner && bannerWithoutText && emptyPixel && test);
    EXPECT_TRUE(actions.count("url") && actions.count("canvas"));
    EXPECT_GE(actions.size(), 3u) << "and at least one action the platform handles";
}

TEST_F(DemoServerTest, RotatesThroughLiveAdsAndTestAdsSeparately)
{
    auto ads = server.ads();
    auto live = ids(ads, false);
    auto test = ids(ads, true);
    ASSERT_GE(live.size(), 2u);
    ASSERT_GE(test.size(), 2u);

    // Two full rounds of live ads, with test requests in between that must not disturb them.
    for (std::size_t i = 0; i < live.size() * 2; ++i) {
        Fetched answer = fetchAd();
        ASSERT_EQ(answer.status, 200);
        if (i % 3 == 1) {
            fetchAd("s=pub&m=test");
        }
    }
    std::vector<std::string> liveSeen, testSeen;
    for (const auto& record : server.requests(adnetdemo::fetch::adRequest))
        (record.testMode ? testSeen : liveSeen).push_back(record.adId);
    ASSERT_EQ(liveSeen.size(), live.size() * 2);
    for (std::size_t i = 0; i < liveSeen.size(); ++i)
        EXPECT_EQ(liveSeen[i], live[i % live.size()]) << "answer " << i;
    ASSERT_FALSE(testSeen.empty());
    for (std::size_t i = 0; i < testSeen.size(); ++i)
        EXPECT_EQ(testSeen[i], test[i % test.size()]) << "test answer " << i;

    // "m" with any other value is not a test request.
    server.resetRotation();
    fetchAd("s=pub&m=TEST");
    EXPECT_EQ(server.requests().back().adId, live[0]);
    EXPECT_FALSE(server.requests().back().testMode);
}

TEST_F(DemoServerTest, PinnedAdAnswersEveryRequestUntilUnpinned)
{
    auto live = ids(server.ads(), false);
    EXPECT_FALSE(server.pinAd("no-such-ad"));
    ASSERT_TRUE(server.pinAd("test-banner"));
    for (int i = 0; i < 3; ++i) {
        fetchAd();
        EXPECT_EQ(server.requests().back().adId, "test-banner");
    }
    server.unpinAd();
    fetchAd();
    EXPECT_EQ(server.requests().back().adId, live[0]) << "pinning does not move the rotation";
}

TEST_F(DemoServerTest, AnswerWithoutPublisherIsRefused)
{
    Fetched answer = fetchAd("f=jsonp&v=1");
    EXPECT_EQ(answer.status, 400);
    EXPECT_NE(answer.body.find("publisher"), std::string::npos);
    // An empty publisher id is still an id.
    EXPECT_EQ(fetchAd("s=").status, 200);
}

TEST_F(DemoServerTest, EveryFetchAnAdLeadsToIsServed)
{
    for (const auto& ad : server.ads()) {
        server.pinAd(ad.id);
        auto object = parseFlatObject(fetchAd().body);
        ASSERT_TRUE(object) << ad.id;

        // The picture: "204" is appended to the media host, "banner" is a URL of its own.
        std::string pictureUrl = ad.banner ? object->at("banner") : base + object->at("204");
        Fetched picture = get(pictureUrl);
        ASSERT_EQ(picture.status, 200) << pictureUrl;
        auto size = pngSize(picture.body);
        ASSERT_TRUE(size) << pictureUrl;
        if (ad.banner) {
            EXPECT_EQ(size->width, 320u);
            EXPECT_EQ(size->height, 48u);
        } else {
            EXPECT_EQ(size->width, 38u);
            EXPECT_EQ(size->height, 38u);
        }

        Fetched icon = get(base + "/static/sdk/img/" + object->at("6") + ".png");
        ASSERT_EQ(icon.status, 200) << ad.action;
        ASSERT_TRUE(pngSize(icon.body));
        EXPECT_EQ(pngSize(icon.body)->width, 30u);

        if (object->count("cpm_url") && !object->at("cpm_url").empty()) {
            Fetched pixel = get(object->at("cpm_url"));
            EXPECT_EQ(pixel.status, 200);
            EXPECT_EQ(pixel.body.substr(0, 6), "GIF89a");
            EXPECT_EQ(server.requests().back().adId, ad.id) << "the impression is counted for its ad";
        }

        Fetched click = get(object->at("jsonp_url"));
        ASSERT_EQ(click.status, 200);
        ASSERT_EQ(click.body.front(), '{');
        auto document = parseFlatObject(click.body);
        ASSERT_TRUE(document) << click.body;
        std::string redirect = document->at("redirect_url");
        ASSERT_FALSE(redirect.empty());
        if (redirect.rfind("http", 0) == 0) {
            Fetched landing = get(redirect);
            EXPECT_EQ(landing.status, 200) << redirect;
            EXPECT_NE(landing.contentType.find("text/html"), std::string::npos);
            EXPECT_NE(landing.body.find("<title>"), std::string::npos);
        } else {
            EXPECT_EQ(redirect.rfind("mailto:", 0), 0u) << redirect;
        }

        Fetched go = get(object->at("url"));
        EXPECT_EQ(go.status, 302) << "the click URL redirects to the landing page";
        EXPECT_EQ(go.header("Location").value_or(""), redirect);
    }
}

TEST_F(DemoServerTest, AnswersNameTheHostTheClientUsed)
{
    // The answers carry absolute URLs; they must lead back to this server under the name the
    // client used, and a Host header that is not a plain host name is not echoed.
    std::string url = "http://localhost:" + std::to_string(server.port()) + "/ad_source.php?s=p";
    server.pinAd("pocket-chef");
    auto object = parseFlatObject(get(url).body);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->at("banner").rfind("http://localhost:" + std::to_string(server.port()) + "/", 0), 0u);

    auto injected = parseFlatObject(get(base + "/ad_source.php?s=p", {"Host: evil\"}, \"x\":\"y"}).body);
    ASSERT_TRUE(injected);
    EXPECT_EQ(injected->count("x"), 0u);
    EXPECT_EQ(injected->at("banner").rfind(base + "/", 0), 0u);
}

TEST_F(DemoServerTest, BrowserIconsAndCanvasPageAreServed)
{
    for (const char* name : {"back", "back_disable", "forward", "forward_disable"}) {
        Fetched icon = get(base + "/static/sdk/browser/" + name + ".png");
        ASSERT_EQ(icon.status, 200) << name;
        EXPECT_EQ(icon.contentType, "image/png");
        ASSERT_TRUE(pngSize(icon.body)) << name;
    }
    Fetched canvas = get(base + "/static/sdk/canvas.html");
    ASSERT_EQ(canvas.status, 200);
    const std::string& page = canvas.body;
    // The bridge: a global named adnet, the callback cb, and the two commands.
    EXPECT_NE(page.find("var adnet ="), std::string::npos);
    EXPECT_NE(page.find("function cb(url, title)"), std::string::npos);
    EXPECT_NE(page.find("adnet://launch?url=\" + encodeURIComponent("), std::string::npos);
    EXPECT_NE(page.find("adnet://closecanvas"), std::string::npos);
    EXPECT_EQ(get(base + "/").status, 200) << "the index page";
}

TEST_F(DemoServerTest, RequestLogKeepsWhatTheClientSent)
{
    Fetched answer = get(base + "/ad_source.php?s=pub&d%5Bcoord%5D=52.5,13.4&k=a+b&search=caf%C3%A9&m=test",
                         {"USER-AGENT: Mozilla/5.0 (demo)", "X-ADNET-ISU: 0123abcd"});
    ASSERT_EQ(answer.status, 200);
    ASSERT_TRUE(server.waitForRequests(1, std::chrono::seconds(10)));
    auto record = server.requests().back();
    EXPECT_EQ(record.sequence, 1u);
    EXPECT_EQ(record.method, "GET");
    EXPECT_EQ(record.target, "/ad_source.php?s=pub&d%5Bcoord%5D=52.5,13.4&k=a+b&search=caf%C3%A9&m=test");
    EXPECT_EQ(record.path, "/ad_source.php");
    ASSERT_EQ(record.query.size(), 5u);
    EXPECT_EQ(record.query[1].first, "d[coord]");
    EXPECT_EQ(record.query[1].second, "52.5,13.4");
    EXPECT_EQ(record.param("k"), "a+b") << "a plus is not a space on this wire";
    EXPECT_EQ(record.param("search"), "caf\xC3\xA9");
    EXPECT_TRUE(record.testMode);
    EXPECT_EQ(record.fetch, adnetdemo::fetch::adRequest);
    EXPECT_EQ(record.status, 200);
    EXPECT_EQ(record.bodyBytes, answer.body.size());
    EXPECT_EQ(record.remoteAddress, "127.0.0.1");
    EXPECT_EQ(record.header("user-agent"), "Mozilla/5.0 (demo)");
    EXPECT_EQ(record.header("X-ADNET-ISU"), "0123abcd");
    bool exactName = false;
    for (const auto& [name, value] : record.headers) {
        exactName |= name == "USER-AGENT";
        EXPECT_NE(name, "REMOTE_ADDR") << "socket details are not headers the client sent";
    }
    EXPECT_TRUE(exactName) << "header names are kept as sent";

    get(base + "/static/sdk/img/url.png");
    get(base + "/click/spring-sale");
    auto kinds = server.requests();
    ASSERT_EQ(kinds.size(), 3u);
    EXPECT_EQ(kinds[1].fetch, adnetdemo::fetch::actionIcon);
    EXPECT_EQ(kinds[2].fetch, adnetdemo::fetch::clickDocument);
    EXPECT_EQ(kinds[2].adId, "spring-sale");
    EXPECT_EQ(server.requests(adnetdemo::fetch::actionIcon | adnetdemo::fetch::clickDocument).size(), 2u);
    server.clearRequests();
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_FALSE(server.waitForRequests(1, std::chrono::milliseconds(50)));
}

TEST(DemoServerLog, OneLinePerRequestWithoutControlCharacters)
{
    std::vector<std::string> lines;
    std::mutex mutex;
    adnetdemo::ServerOptions options;
    options.log = [&](const std::string& line) {
        std::lock_guard lock(mutex);
        lines.push_back(line);
    };
    adnetdemo::DemoServer server(options);
    ASSERT_TRUE(server.start());
    get(server.baseUrl() + "/ad_source.php?s=pub&m=test");
    rawExchange(server.port(), std::string("GET /x\x1b[2J\x07 HTTP/1.1\r\nHost: a\r\nConnection: close\r\n\r\n"));
    server.stop();
    std::lock_guard lock(mutex);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("GET /ad_source.php?s=pub&m=test 200 "), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(" ad=test-text"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(" test"), std::string::npos) << lines[0];
    for (const auto& line : lines) {
        for (char c : line)
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << line;
    }
}
