// Requests and inventories are untrusted: nothing outside the web root is served, odd
// requests get clear refusals, a broken inventory is reported, and the server's life cycle
// holds.
#include "Fixture.h"

#include <cstring>
#include <fstream>
#include <system_error>
#include <unistd.h>

using namespace adservertest;
namespace fs = std::filesystem;

namespace {

std::string rawGet(int port, const std::string& target)
{
    return rawExchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
}

int statusOf(const std::string& response)
{
    if (response.rfind("HTTP/1.1 ", 0) != 0 || response.size() < 12)
        return 0;
    return std::stoi(response.substr(9, 3));
}

// A copy of the shipped inventory in a fresh folder, to be spoiled by a test.
struct InventoryCopy {
    InventoryCopy()
    {
        root = fs::temp_directory_path() /
               ("adserver-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
        fs::remove_all(root);
        fs::copy(adnetdemo::defaultInventory(), root, fs::copy_options::recursive);
    }
    ~InventoryCopy()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void write(const fs::path& relative, const std::string& text) const
    {
        std::ofstream(root / relative, std::ios::binary | std::ios::trunc) << text;
    }
    std::string startError() const
    {
        adnetdemo::ServerOptions options;
        options.inventory = root;
        adnetdemo::DemoServer server(options);
        std::string error;
        return server.start(&error) ? std::string("started") : error;
    }
    fs::path root;
    static inline int counter = 0;
};

const char* secretPaths[] = {
    "/../ads/01-spring-sale.ad",
    "/static/../../ads/01-spring-sale.ad",
    "/%2e%2e/ads/01-spring-sale.ad",
    "/static/%2E%2E/%2e%2e/clicks/spring-sale.json",
    "/static/sdk/..%2f..%2f..%2fads%2f01-spring-sale.ad",
    "/static/..\\..\\ads\\01-spring-sale.ad",
    "/static/sdk/canvas.html%00.png",
    "/./static/sdk/canvas.html",
    "/static/sdk/",
    "/static",
    "//etc/passwd",
    "/%2Fetc%2Fpasswd",
    "/click/..%2f..%2fads%2f01-spring-sale",
    "/cpm/../../README.md",
    "/go/%2e%2e",
};

} // namespace

TEST_F(DemoServerTest, NothingOutsideTheWebRootIsServed)
{
    for (const char* target : secretPaths) {
        std::string response = rawGet(server.port(), target);
        int status = statusOf(response);
        EXPECT_TRUE(status == 404 || status == 400) << target << " -> " << response.substr(0, 60);
        EXPECT_EQ(response.find("id = "), std::string::npos) << target;
        EXPECT_EQ(response.find("redirect_url"), std::string::npos) << target;
        EXPECT_EQ(response.find("root:"), std::string::npos) << target;
    }
    // The same through a client that keeps dot segments as written.
    EXPECT_EQ(get(base + "/static/../ads/01-spring-sale.ad", {}, 5000, true).status, 404);
    EXPECT_EQ(fetchAd().status, 200) << "and the server still serves";
}

TEST(DemoServerInventory, SymbolicLinkOutOfTheWebRootIsNotFollowed)
{
    InventoryCopy copy;
    fs::create_symlink(copy.root / "ads", copy.root / "www" / "landing" / "ads");
    fs::create_symlink(copy.root / "README.md", copy.root / "www" / "landing" / "readme.html");
    adnetdemo::ServerOptions options;
    options.inventory = copy.root;
    adnetdemo::DemoServer server(options);
    ASSERT_TRUE(server.start());
    EXPECT_EQ(get(server.baseUrl() + "/landing/ads/01-spring-sale.ad").status, 404);
    EXPECT_EQ(get(server.baseUrl() + "/landing/readme.html").status, 404);
    EXPECT_EQ(get(server.baseUrl() + "/landing/trailhead.html").status, 200);
}

TEST_F(DemoServerTest, OddRequestsAreRefusedClearly)
{
    // Unknown ads behind the per-ad URLs.
    EXPECT_EQ(get(base + "/click/no-such-ad").status, 404);
    EXPECT_EQ(get(base + "/cpm/no-such-ad").status, 404);
    EXPECT_EQ(get(base + "/go/no-such-ad").status, 404);
    EXPECT_EQ(get(base + "/click/").status, 404);

    // Only GET and HEAD; a body is not read past a small limit.
    EXPECT_EQ(statusOf(rawExchange(
                  server.port(),
                  "POST /ad_source.php?s=p HTTP/1.1\r\nHost: a\r\nContent-Length: 2\r\nConnection: close\r\n\r\nhi")),
              405);
    std::string huge = "POST /ad_source.php HTTP/1.1\r\nHost: a\r\nContent-Length: 70000\r\nConnection: close\r\n\r\n";
    EXPECT_EQ(statusOf(rawExchange(server.port(), huge + std::string(70000, 'x'))), 413);

    // A request line beyond the library's limit, a broken request line, and plain garbage.
    EXPECT_EQ(statusOf(rawGet(server.port(), "/ad_source.php?s=" + std::string(20000, 'a'))), 414);
    std::string broken = rawExchange(server.port(), "GARBAGE\r\n\r\n");
    EXPECT_TRUE(broken.empty() || statusOf(broken) == 400) << broken;
    rawExchange(server.port(), std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), 500);

    // Query escapes that do not decode are kept as written; NUL bytes are kept out of paths.
    EXPECT_EQ(fetchAd("s=%zz&k=%").status, 200);
    // Refused connections above may be logged after this one; look among ad requests only.
    EXPECT_EQ(server.requests(adnetdemo::fetch::adRequest).back().param("s"), "%zz");
    EXPECT_EQ(get(base + "/static/sdk/canvas.html%00").status, 400);

    EXPECT_EQ(fetchAd().status, 200) << "the server survived all of it";
}

TEST_F(DemoServerTest, ControlUrlsAreOffUnlessAskedFor)
{
    EXPECT_EQ(get(base + "/control/fault?spec=status500").status, 404);
    EXPECT_EQ(fetchAd().status, 200);
}

TEST(DemoServerControl, FaultsAndPinningFromUrls)
{
    adnetdemo::ServerOptions options;
    options.control = true;
    adnetdemo::DemoServer server(options);
    ASSERT_TRUE(server.start());
    std::string base = server.baseUrl();
    auto ad = [&] { return get(base + "/ad_source.php?s=p"); };

    Fetched set = get(base + "/control/fault?spec=status500%40adRequest*1");
    EXPECT_EQ(set.status, 200);
    EXPECT_NE(set.body.find("status500@adRequest*1"), std::string::npos) << set.body;
    EXPECT_EQ(ad().status, 500);
    EXPECT_EQ(ad().status, 200);

    Fetched wrong = get(base + "/control/fault?spec=explode");
    EXPECT_EQ(wrong.status, 400);
    EXPECT_NE(wrong.body.find("unknown kind"), std::string::npos);

    EXPECT_EQ(get(base + "/control/fault?spec=badJson@adRequest").status, 200);
    EXPECT_EQ(get(base + "/control/fault?spec=notAnImage@images&add").status, 200);
    EXPECT_FALSE(parseFlatObject(ad().body));
    EXPECT_FALSE(pngSize(get(base + "/static/sdk/img/url.png").body));
    EXPECT_NE(get(base + "/control/status").body.find("badJson@adRequest notAnImage@images"), std::string::npos);
    EXPECT_EQ(get(base + "/control/clear").status, 200);
    EXPECT_TRUE(parseFlatObject(ad().body));

    EXPECT_EQ(get(base + "/control/pin?ad=nope").status, 404);
    EXPECT_EQ(get(base + "/control/pin?ad=night-run").status, 200);
    ad();
    EXPECT_EQ(server.requests().back().adId, "night-run");
    get(base + "/control/unpin");
    EXPECT_EQ(server.requests(adnetdemo::fetch::other).size(), 9u) << "control requests are logged too";
}

TEST(DemoServerInventory, BrokenInventoriesAreReportedByFileAndLine)
{
    {
        InventoryCopy copy;
        copy.write("ads/01-spring-sale.ad", "id = spring-sale\nkind = text\ncolour = red\n");
        std::string error = copy.startError();
        EXPECT_NE(error.find("01-spring-sale.ad:3: unknown key \"colour\""), std::string::npos) << error;
    }
    {
        InventoryCopy copy;
        copy.write(
            "ads/02-pocket-chef.ad",
            "id = spring-sale\nkind = text\naction = url\ntext = t\n"
            "icon = static/ads/icons/trailhead.png\nlanding = landing/trailhead.html\nclick = spring-sale.json\n");
        EXPECT_NE(copy.startError().find("used twice"), std::string::npos);
    }
    struct Case {
        const char* line;
        const char* replacement;
        const char* message;
    } cases[] = {
        {"action = url", "action = teleport", "no action icon"},
        {"action = url", "action = ../url", "may hold only"},
        {"icon = static/ads/icons/trailhead.png", "icon = ../ads/01-spring-sale.ad", "not a file below www/"},
        {"click = spring-sale.json", "click = ../ads/01-spring-sale.ad", "click must name a file"},
        {"click = spring-sale.json", "click = nothing.json", "click document"},
        {"kind = text", "kind = video", "kind must be"},
        {"text = Spring", "#text = Spring", "\"text\" is missing"},
        {"landing = landing/trailhead.html", "landing = landing/../../ads", "landing page"},
        {"id = spring-sale", "id = spring sale", "may hold only"},
        {"title = Trailhead Outfitters", "title = Trailhead Outfitters\ntitle = again", "given twice"},
        {"title = Trailhead Outfitters", "no equals sign here", "expected \"key = value\""},
    };
    for (const auto& c : cases) {
        InventoryCopy copy;
        std::ifstream in(copy.root / "ads/01-spring-sale.ad");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto at = text.find(c.line);
        ASSERT_NE(at, std::string::npos) << c.line;
        text.replace(at, std::strlen(c.line), c.replacement);
        copy.write("ads/01-spring-sale.ad", text);
        std::string error = copy.startError();
        EXPECT_NE(error.find(c.message), std::string::npos) << c.replacement << " -> " << error;
    }
    {
        InventoryCopy copy;
        copy.write("clicks/spring-sale.json", " {\"redirect_url\": \"x\"}");
        EXPECT_NE(copy.startError().find("does not start with '{'"), std::string::npos);
    }
    {
        InventoryCopy copy;
        copy.write("ads/01-spring-sale.ad", std::string("id = spring-sale\ntext = \xff\xfe\n"));
        EXPECT_NE(copy.startError().find("not UTF-8"), std::string::npos);
    }
    {
        InventoryCopy copy;
        copy.write("ads/01-spring-sale.ad", std::string(70 * 1024, '#'));
        EXPECT_NE(copy.startError().find("larger than 64 KiB"), std::string::npos);
    }
    {
        InventoryCopy copy;
        for (const auto& entry : fs::directory_iterator(copy.root / "ads"))
            fs::remove(entry.path());
        EXPECT_NE(copy.startError().find("holds no ads"), std::string::npos);
    }
    adnetdemo::ServerOptions options;
    options.inventory = "/nonexistent/inventory";
    std::string error;
    EXPECT_FALSE(adnetdemo::DemoServer(options).start(&error));
    EXPECT_NE(error.find("not found"), std::string::npos) << error;
}

TEST(DemoServerLifecycle, PortsStartsAndStops)
{
    adnetdemo::DemoServer first;
    ASSERT_TRUE(first.start());
    EXPECT_TRUE(first.running());
    EXPECT_GT(first.port(), 0);
    EXPECT_EQ(first.baseUrl(), "http://127.0.0.1:" + std::to_string(first.port()));
    EXPECT_EQ(first.adRequestUrl(), first.baseUrl() + "/ad_source.php");
    std::string error;
    EXPECT_FALSE(first.start(&error)) << "already running";

    // A chosen port that is taken is a clear failure, not a silent other port.
    adnetdemo::ServerOptions taken;
    taken.port = first.port();
    adnetdemo::DemoServer second(taken);
    EXPECT_FALSE(second.start(&error));
    EXPECT_NE(error.find(std::to_string(first.port())), std::string::npos) << error;

    adnetdemo::ServerOptions outOfRange;
    outOfRange.port = 70000;
    EXPECT_FALSE(adnetdemo::DemoServer(outOfRange).start(&error));

    // Stop, stop again, start again on a chosen port: the log and faults carry over.
    int port = first.port();
    get(first.baseUrl() + "/");
    first.stop();
    first.stop();
    EXPECT_FALSE(first.running());
    EXPECT_FALSE(get("http://127.0.0.1:" + std::to_string(port) + "/", {}, 1000).ok);
    adnetdemo::ServerOptions again;
    again.port = port;
    adnetdemo::DemoServer third(again);
    ASSERT_TRUE(third.start(&error)) << error;
    EXPECT_EQ(third.port(), port);
    EXPECT_EQ(get(third.baseUrl() + "/ad_source.php?s=p").status, 200);
    EXPECT_EQ(first.requestCount(), 1u);

    // Stopped straight after starting (a test wanting a port nobody listens on): it stops.
    for (int i = 0; i < 20; ++i) {
        adnetdemo::DemoServer brief;
        ASSERT_TRUE(brief.start());
        brief.stop();
    }
}

TEST(DemoServerLifecycle, AdsCanBeListedAndPinnedBeforeStart)
{
    adnetdemo::DemoServer server;
    auto ads = server.ads();
    ASSERT_FALSE(ads.empty());
    EXPECT_TRUE(server.pinAd(ads.back().id));
    ASSERT_TRUE(server.start());
    get(server.adRequestUrl() + "?s=p");
    EXPECT_EQ(server.requests().back().adId, ads.back().id);
}
