#include "TestSupport.h"

#include "LoopbackServer.h"
#include "adnet/AdNetURLDownload.h"
#include "platform/net/URLConnection.h"

using adnet::AdNetURLDownload;
using namespace adnettest;

namespace {

// Owns a download the way an ad does and notes each completion.
struct Receiver {
    std::vector<std::string> events;
    std::string lastData;
    std::shared_ptr<AdNetURLDownload> download = AdNetURLDownload::create();

    void wire(const std::shared_ptr<Receiver>& self)
    {
        download->setDelegate(self);
        download->setSuccessSelector([this](AdNetURLDownload& d) {
            events.push_back("success");
            lastData = d.data().value_or("<nil>");
        });
        download->setFailureSelector([this](AdNetURLDownload& d) {
            events.push_back("failure");
            lastData = d.data().value_or("<nil>");
        });
    }
};

class AdNetURLDownloadTest : public AdNetTest {
protected:
    std::shared_ptr<Receiver> receiver()
    {
        auto r = std::make_shared<Receiver>();
        r->wire(r);
        return r;
    }
    bool run(const Receiver& r, double seconds = 10)
    {
        return loop->runUntil([&] { return !r.events.empty(); }, seconds);
    }
};

std::string headerValue(const std::string& head, const std::string& name)
{
    auto at = head.find("\r\n" + name + ": ");
    if (at == std::string::npos)
        return "<absent>";
    at += name.size() + 4;
    return head.substr(at, head.find("\r\n", at) - at);
}

} // namespace

TEST_F(AdNetURLDownloadTest, UserAgentNamesTheDeviceAndTurnsEveryDotIntoAnUnderscore)
{
    EXPECT_EQ(AdNetURLDownload::userAgentForDevice(kDevice),
              "Mozilla/5.0 (TestPhone 3; U; CPU Debian GNU/Linux 12_4_1; HW x86_64; en-us) (KHTML, like Gecko) "
              "(AdNet-SDK-20090203)");
    auto plain = kDevice;
    plain.systemVersion = "12";
    EXPECT_NE(AdNetURLDownload::userAgentForDevice(plain).find("CPU Debian GNU/Linux 12; HW"), std::string::npos);
    EXPECT_EQ(AdNetURLDownload::userAgent(), AdNetURLDownload::userAgentForDevice(kDevice));
}

TEST_F(AdNetURLDownloadTest, RequestsCarryTheUserAgentAndTheDeviceIdOnlyWhenThereIsOne)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::plain(200, "ok"); });
    auto r = receiver();
    r->download->loadContentsOfURLAtString(server.url("/with"));
    ASSERT_TRUE(run(*r));
    auto noId = kDevice;
    noId.uniqueIdentifier.reset();
    platform::setCurrentDeviceFacts(noId);
    auto s = receiver();
    s->download->loadContentsOfURLAtString(server.url("/without"));
    ASSERT_TRUE(run(*s));

    auto heads = server.requests();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(headerValue(heads[0], "USER-AGENT"), AdNetURLDownload::userAgent());
    EXPECT_EQ(headerValue(heads[0], "X-ADNET-ISU"), *kDevice.uniqueIdentifier);
    EXPECT_EQ(headerValue(heads[1], "USER-AGENT"), AdNetURLDownload::userAgent());
    EXPECT_EQ(headerValue(heads[1], "X-ADNET-ISU"), "<absent>");
}

TEST_F(AdNetURLDownloadTest, AnEmptyOrUnusableURLFailsBeforeTheCallReturnsWithoutARequest)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::plain(200, "ok"); });
    for (const char* url : {"", "not a url", "(null)?s=1", "file:///etc/passwd"}) {
        auto r = receiver();
        r->download->loadContentsOfURLAtString(url);
        EXPECT_EQ(r->events, std::vector<std::string>{"failure"}) << url;
        loop->runFor(0.1);
        EXPECT_EQ(r->events.size(), 1u) << url;
    }
    EXPECT_TRUE(server.requests().empty());
}

TEST_F(AdNetURLDownloadTest, Status399SucceedsAndStatus400FailsWithoutASuccess)
{
    LoopbackServer server([](const std::string& head) {
        int status = std::atoi(head.c_str() + 5);
        return LoopbackServer::plain(status, "body " + std::to_string(status));
    });
    auto ok = receiver();
    ok->download->loadContentsOfURLAtString(server.url("/399"));
    ASSERT_TRUE(run(*ok));
    EXPECT_EQ(ok->events, std::vector<std::string>{"success"});
    EXPECT_EQ(ok->lastData, "body 399");

    auto bad = receiver();
    bad->download->loadContentsOfURLAtString(server.url("/400"));
    ASSERT_TRUE(run(*bad));
    loop->runFor(0.3);
    EXPECT_EQ(bad->events, std::vector<std::string>{"failure"});
    EXPECT_EQ(bad->lastData, ""); // emptied by the response, no body kept
}

TEST_F(AdNetURLDownloadTest, DataHoldsOnlyTheBytesAfterTheLastResponse)
{
    LoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /first", 0) == 0)
            return LoopbackServer::plain(302, "the redirect's own body", "Location: /second\r\n");
        return LoopbackServer::plain(200, "final body");
    });
    auto r = receiver();
    r->download->loadContentsOfURLAtString(server.url("/first"));
    ASSERT_TRUE(run(*r));
    EXPECT_EQ(r->events, std::vector<std::string>{"success"});
    EXPECT_EQ(r->lastData, "final body");
}

TEST_F(AdNetURLDownloadTest, AfterCancelNeitherCompletionArrivesAndDataIsGone)
{
    LoopbackServer server([](const std::string&) {
        auto reply = LoopbackServer::plain(200, std::string(100000, 'z'));
        reply.chunks[0].delayBefore = 0.05;
        return reply;
    });
    auto r = receiver();
    r->download->loadContentsOfURLAtString(server.url("/"));
    EXPECT_TRUE(r->download->isLoading());
    loop->runFor(0.01);
    r->download->cancel();
    EXPECT_FALSE(r->download->data());
    loop->runFor(0.5);
    EXPECT_TRUE(r->events.empty());
    EXPECT_EQ(platform::URLConnection::liveTransferCount(), 0u);
}

TEST_F(AdNetURLDownloadTest, ADelegateThatIsGoneHearsNothingAndNothingBreaks)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::plain(200, "late"); });
    auto download = AdNetURLDownload::create();
    int calls = 0;
    {
        auto owner = std::make_shared<int>(0);
        download->setDelegate(owner);
        download->setSuccessSelector([&](AdNetURLDownload&) { ++calls; });
        download->setFailureSelector([&](AdNetURLDownload&) { ++calls; });
        download->loadContentsOfURLAtString(server.url("/"));
    }
    loop->runFor(0.5);
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(download->isLoading());
}

TEST_F(AdNetURLDownloadTest, ASecondLoadAbandonsTheFirstWithoutACompletion)
{
    LoopbackServer server([](const std::string& head) {
        auto reply = LoopbackServer::plain(200, head.substr(4, head.find(' ', 4) - 4));
        if (head.rfind("GET /first", 0) == 0)
            reply.chunks[0].delayBefore = 0.2;
        return reply;
    });
    auto r = receiver();
    r->download->loadContentsOfURLAtString(server.url("/first"));
    loop->runFor(0.02);
    r->download->loadContentsOfURLAtString(server.url("/second"));
    ASSERT_TRUE(run(*r));
    loop->runFor(0.5);
    EXPECT_EQ(r->events, std::vector<std::string>{"success"});
    EXPECT_EQ(r->lastData, "/second");
}

TEST_F(AdNetURLDownloadTest, ABodyOverTheCapFailsTheDownload)
{
    LoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /chunked", 0) == 0)
            return LoopbackServer::Reply{{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                           "400\r\n" +
                                               std::string(1024, 'a') +
                                               "\r\n"
                                               "1\r\nb\r\n0\r\n\r\n",
                                           0}},
                                         false};
        return LoopbackServer::plain(200, std::string(1025, 'a'));
    });
    for (const char* path : {"/announced", "/chunked"}) {
        auto r = receiver();
        r->download->setMaxBodyBytes(1024);
        r->download->loadContentsOfURLAtString(server.url(path));
        ASSERT_TRUE(run(*r)) << path;
        EXPECT_EQ(r->events, std::vector<std::string>{"failure"}) << path;
    }
}

TEST_F(AdNetURLDownloadTest, ASilentServerFailsAtTheTimeOut)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::Reply{{}, true}; });
    auto r = receiver();
    r->download->setTimeoutInterval(0.3);
    const double start = loop->now();
    r->download->loadContentsOfURLAtString(server.url("/"));
    ASSERT_TRUE(run(*r));
    EXPECT_EQ(r->events, std::vector<std::string>{"failure"});
    EXPECT_NEAR(loop->now() - start, 0.3, 1e-6);
}

TEST_F(AdNetURLDownloadTest, TheOwnerMayCancelAndDropTheDownloadInsideItsCompletion)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::plain(200, "x"); });
    auto owner = std::make_shared<int>(0);
    std::shared_ptr<AdNetURLDownload> download = AdNetURLDownload::create();
    std::string seen;
    download->setDelegate(owner);
    download->setSuccessSelector([&](AdNetURLDownload& d) {
        seen = *d.data();
        d.cancel();
        download.reset(); // the last reference goes here
    });
    download->loadContentsOfURLAtString(server.url("/"));
    ASSERT_TRUE(loop->runUntil([&] { return !download; }, 5));
    EXPECT_EQ(seen, "x");
}
