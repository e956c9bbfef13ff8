#include "platform/net/URLConnection.h"

#include "LoopbackServer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <optional>

using platform::RunLoop;
using platform::URLConnection;

namespace {

// Everything one transfer delivered, in order.
struct Record {
    std::vector<std::string> events; // "response 200", "data", "finish", "fail <kind>"
    std::vector<URLConnection::Response> responses;
    std::string body;
    std::optional<URLConnection::Error> error;
    bool ended() const { return !events.empty() && (events.back() == "finish" || events.back().rfind("fail", 0) == 0); }
};

const char* kindName(URLConnection::ErrorKind kind)
{
    switch (kind) {
    case URLConnection::ErrorKind::InvalidRequest:
        return "invalid";
    case URLConnection::ErrorKind::TimedOut:
        return "timeout";
    case URLConnection::ErrorKind::TooManyRedirects:
        return "redirects";
    case URLConnection::ErrorKind::BodyTooLarge:
        return "too-large";
    case URLConnection::ErrorKind::Network:
        return "network";
    }
    return "?";
}

URLConnection::Callbacks recorder(Record& r)
{
    URLConnection::Callbacks c;
    c.onResponse = [&r](URLConnection&, const URLConnection::Response& response) {
        r.events.push_back("response " + std::to_string(response.statusCode));
        r.responses.push_back(response);
        r.body.clear();
    };
    c.onData = [&r](URLConnection&, const std::uint8_t* data, std::size_t n) {
        if (r.events.empty() || r.events.back() != "data")
            r.events.push_back("data");
        r.body.append(reinterpret_cast<const char*>(data), n);
    };
    c.onFinish = [&r](URLConnection&) { r.events.push_back("finish"); };
    c.onFail = [&r](URLConnection&, const URLConnection::Error& e) {
        r.events.push_back(std::string("fail ") + kindName(e.kind));
        r.error = e;
    };
    return c;
}

class URLConnectionTest : public ::testing::Test {
protected:
    std::shared_ptr<RunLoop> loop = RunLoop::createVirtual();

    bool runUntilEnded(const Record& r, double seconds = 10)
    {
        return loop->runUntil([&] { return r.ended(); }, seconds);
    }
    void TearDown() override
    {
        loop->runFor(0.05);
        EXPECT_EQ(URLConnection::liveTransferCount(), 0u);
        EXPECT_EQ(loop->realTimeHolds(), 0);
    }
};

} // namespace

TEST_F(URLConnectionTest, DeliversResponseThenDataThenExactlyOneFinishWithTheHeadersAsGiven)
{
    LoopbackServer server(
        [](const std::string&) { return LoopbackServer::plain(200, "hello body", "X-Thing: 7\r\n"); });
    Record r;
    auto c = URLConnection::start(
        {server.url("/a?b=%5B1%5D"), {{"USER-AGENT", "Agent/1 (x; y)"}, {"X-ADNET-ISU", "abc"}}}, recorder(r), *loop);
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isRunning());
    ASSERT_TRUE(runUntilEnded(r));
    loop->runFor(0.2); // nothing more may arrive
    EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data", "finish"}));
    EXPECT_EQ(r.body, "hello body");
    EXPECT_EQ(r.responses[0].expectedContentLength, 10);
    EXPECT_EQ(r.responses[0].url, server.url("/a?b=%5B1%5D"));
    bool sawThing = false;
    for (auto& [name, value] : r.responses[0].headers)
        sawThing |= name == "X-Thing" && value == "7";
    EXPECT_TRUE(sawThing);
    auto head = server.requests().at(0);
    EXPECT_EQ(head.rfind("GET /a?b=%5B1%5D HTTP/1.1\r\n", 0), 0u) << head;
    EXPECT_NE(head.find("\r\nUSER-AGENT: Agent/1 (x; y)\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("\r\nX-ADNET-ISU: abc\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("User-Agent: curl"), std::string::npos) << head;
    EXPECT_FALSE(c->isRunning());
}

TEST_F(URLConnectionTest, ErrorStatusesAreResponsesLikeAnyOther)
{
    LoopbackServer server([](const std::string& head) {
        int status = head.find("/399") != std::string::npos ? 399 : 404;
        return LoopbackServer::plain(status, "body of " + std::to_string(status));
    });
    for (const char* path : {"/399", "/404"}) {
        Record r;
        auto c = URLConnection::start({server.url(path)}, recorder(r), *loop);
        ASSERT_TRUE(runUntilEnded(r));
        EXPECT_EQ(r.events.back(), "finish");
        EXPECT_EQ(r.responses.at(0).statusCode, std::atoi(path + 1));
        EXPECT_EQ(r.body, std::string("body of ") + (path + 1));
    }
}

TEST_F(URLConnectionTest, EachRedirectIsAResponseAndOnlyTheLastBodyIsDelivered)
{
    LoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /start", 0) == 0)
            return LoopbackServer::plain(302, "redirect body", "Location: /middle\r\n");
        if (head.rfind("GET /middle", 0) == 0)
            return LoopbackServer::plain(301, "", "Location: /end?x=1\r\n");
        return LoopbackServer::plain(200, "final");
    });
    Record r;
    auto c = URLConnection::start({server.url("/start")}, recorder(r), *loop);
    ASSERT_TRUE(runUntilEnded(r));
    EXPECT_EQ(r.events, (std::vector<std::string>{"response 302", "response 301", "response 200", "data", "finish"}));
    EXPECT_EQ(r.responses.back().url, server.url("/end?x=1"));
    EXPECT_EQ(r.body, "final");
}

TEST_F(URLConnectionTest, RedirectsAreBoundedAndStayOnHttp)
{
    LoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /file", 0) == 0)
            return LoopbackServer::plain(302, "", "Location: file:///etc/passwd\r\n");
        return LoopbackServer::plain(302, "", "Location: /loop\r\n");
    });
    Record r;
    URLConnection::Request request{server.url("/loop")};
    request.maxRedirects = 3;
    auto c = URLConnection::start(request, recorder(r), *loop);
    ASSERT_TRUE(runUntilEnded(r));
    EXPECT_EQ(r.events.back(), "fail redirects");
    EXPECT_EQ(r.responses.size(), 4u); // the start and three followed redirects
    EXPECT_EQ(server.requests().size(), 4u);

    Record f;
    auto d = URLConnection::start({server.url("/file")}, recorder(f), *loop);
    ASSERT_TRUE(runUntilEnded(f));
    EXPECT_EQ(f.events.back(), "fail network");
    EXPECT_TRUE(f.body.empty());
}

TEST_F(URLConnectionTest, InterimResponsesAreNotReported)
{
    LoopbackServer server([](const std::string&) {
        auto reply = LoopbackServer::plain(200, "after continue");
        reply.chunks.insert(reply.chunks.begin(), {"HTTP/1.1 100 Continue\r\n\r\n", 0});
        return reply;
    });
    Record r;
    auto c = URLConnection::start({server.url("/")}, recorder(r), *loop);
    ASSERT_TRUE(runUntilEnded(r));
    EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data", "finish"}));
    EXPECT_EQ(r.body, "after continue");
}

TEST_F(URLConnectionTest, TimeOutIsALoopTimerThatKeepsStepWithRealTimeOnTheVirtualClock)
{
    LoopbackServer server([](const std::string&) {
        return LoopbackServer::Reply{{{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part", 0}}, true};
    });
    Record r;
    URLConnection::Request request{server.url("/slow")};
    // Long enough for the part that is sent to arrive first, however loaded the machine.
    request.timeout = 1.5;
    const double started = loop->now();
    const auto realStart = std::chrono::steady_clock::now();
    auto c = URLConnection::start(request, recorder(r), *loop);
    EXPECT_EQ(loop->realTimeHolds(), 1);
    ASSERT_TRUE(runUntilEnded(r));
    const double realElapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data", "fail timeout"}));
    EXPECT_EQ(r.body, "only part");
    EXPECT_GE(loop->now() - started, 1.5 - 1e-6); // counted from the last byte, after the start
    EXPECT_GE(realElapsed, 1.45);                 // the virtual clock did not jump ahead of the socket
}

TEST_F(URLConnectionTest, TheTimeOutCountsFromTheLastByteSoASlowSteadyBodyIsNotCutOff)
{
    // Five pieces 0.5 s apart take longer than the time-out, but no gap is that long (by
    // 1.5 s, more than a loaded machine pauses); then a server that stops sending in the
    // middle of a body.
    LoopbackServer server([](const std::string& head) {
        if (head.find("GET /steady") == 0) {
            LoopbackServer::Reply reply{{{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 0}}};
            for (int i = 0; i < 5; ++i)
                reply.chunks.push_back({"x", 0.5});
            return reply;
        }
        return LoopbackServer::Reply{{{"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n", 0}, {"part", 0.3}}, true};
    });
    for (const char* path : {"/steady", "/stalled"}) {
        Record r;
        double lastBytes = 0;
        auto callbacks = recorder(r);
        callbacks.onData = [&, record = callbacks.onData](URLConnection& c, const std::uint8_t* data, std::size_t n) {
            lastBytes = loop->now();
            record(c, data, n);
        };
        URLConnection::Request request{server.url(path)};
        request.timeout = 2.0;
        const double started = loop->now();
        auto c = URLConnection::start(request, callbacks, *loop);
        ASSERT_TRUE(runUntilEnded(r)) << path;
        if (path == std::string("/steady")) {
            EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data", "finish"}));
            EXPECT_EQ(r.body, "xxxxx");
            EXPECT_GT(loop->now() - started, 2.0) << "longer than the time-out in all";
        } else {
            EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data", "fail timeout"}));
            EXPECT_NEAR(loop->now() - lastBytes, 2.0, 1e-6) << "the time-out after the last byte";
        }
    }
}

TEST_F(URLConnectionTest, TimeOutOnTheRealClockToo)
{
    auto real = RunLoop::createReal();
    LoopbackServer server([](const std::string&) { return LoopbackServer::Reply{{}, true}; });
    Record r;
    URLConnection::Request request{server.url("/silent")};
    request.timeout = 0.2;
    auto c = URLConnection::start(request, recorder(r), *real);
    ASSERT_TRUE(real->runUntil([&] { return r.ended(); }, 5));
    EXPECT_EQ(r.events, (std::vector<std::string>{"fail timeout"}));
}

TEST_F(URLConnectionTest, CancelInsideEachCallbackStopsEverythingAfterIt)
{
    std::string big(256 * 1024, 'x');
    LoopbackServer server([&](const std::string&) { return LoopbackServer::plain(200, big); });

    for (const std::string where : {"response", "data"}) {
        Record r;
        auto callbacks = recorder(r);
        auto onResponse = callbacks.onResponse;
        auto onData = callbacks.onData;
        if (where == "response")
            callbacks.onResponse = [&, onResponse](URLConnection& c, const URLConnection::Response& resp) {
                onResponse(c, resp);
                c.cancel();
                c.cancel(); // twice is harmless
            };
        else
            callbacks.onData = [&, onData](URLConnection& c, const std::uint8_t* d, std::size_t n) {
                onData(c, d, n);
                c.cancel();
            };
        auto c = URLConnection::start({server.url("/big")}, callbacks, *loop);
        loop->runFor(0.5);
        if (where == "response")
            EXPECT_EQ(r.events, (std::vector<std::string>{"response 200"}));
        else
            EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data"}));
        EXPECT_LT(r.body.size(), big.size());
        EXPECT_FALSE(c->isRunning());
        EXPECT_EQ(URLConnection::liveTransferCount(), 0u) << where;
    }
}

TEST_F(URLConnectionTest, CancelBeforeTheLoopRunsAndDroppingTheHandleDeliverNothing)
{
    LoopbackServer server([](const std::string&) {
        auto reply = LoopbackServer::plain(200, "x");
        reply.chunks[0].delayBefore = 0.2;
        return reply;
    });
    Record a, b;
    auto c = URLConnection::start({server.url("/a")}, recorder(a), *loop);
    c->cancel();
    EXPECT_EQ(URLConnection::liveTransferCount(), 0u);
    {
        auto d = URLConnection::start({server.url("/b")}, recorder(b), *loop);
        loop->runFor(0.01);
    }
    loop->runFor(0.3);
    EXPECT_TRUE(a.events.empty());
    EXPECT_TRUE(b.events.empty());
}

TEST_F(URLConnectionTest, DroppingTheLastHandleInsideACallbackIsSafe)
{
    LoopbackServer server([](const std::string&) { return LoopbackServer::plain(200, std::string(70000, 'y')); });
    Record r;
    std::shared_ptr<URLConnection> c;
    auto callbacks = recorder(r);
    auto onData = callbacks.onData;
    callbacks.onData = [&, onData](URLConnection& conn, const std::uint8_t* d, std::size_t n) {
        onData(conn, d, n);
        c.reset();
    };
    c = URLConnection::start({server.url("/")}, callbacks, *loop);
    loop->runFor(0.5);
    EXPECT_EQ(r.events, (std::vector<std::string>{"response 200", "data"}));
    EXPECT_FALSE(c);
}

TEST_F(URLConnectionTest, BodiesOverTheCapFailWhetherAnnouncedOrNot)
{
    LoopbackServer server([](const std::string& head) {
        if (head.rfind("GET /chunked", 0) == 0)
            return LoopbackServer::Reply{{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
                                           "6\r\n123456\r\n5\r\n78901\r\n0\r\n\r\n",
                                           0}},
                                         false};
        if (head.rfind("GET /exact", 0) == 0)
            return LoopbackServer::plain(200, "1234567890");
        return LoopbackServer::plain(200, "12345678901");
    });
    struct Case {
        const char* path;
        const char* end;
    };
    for (Case k :
         {Case{"/announced", "fail too-large"}, Case{"/chunked", "fail too-large"}, Case{"/exact", "finish"}}) {
        Record r;
        URLConnection::Request request{server.url(k.path)};
        request.maxBodyBytes = 10;
        auto c = URLConnection::start(request, recorder(r), *loop);
        ASSERT_TRUE(runUntilEnded(r)) << k.path;
        EXPECT_EQ(r.events.back(), k.end) << k.path;
        EXPECT_LE(r.body.size(), 10u) << k.path;
    }
}

TEST_F(URLConnectionTest, TruncatedBodiesAndRefusedConnectionsFail)
{
    int closedPort;
    {
        LoopbackServer gone([](const std::string&) { return LoopbackServer::plain(200, ""); });
        closedPort = gone.port();
    }
    Record refused;
    auto a = URLConnection::start({"http://127.0.0.1:" + std::to_string(closedPort) + "/"}, recorder(refused), *loop);
    ASSERT_TRUE(runUntilEnded(refused));
    EXPECT_EQ(refused.events, (std::vector<std::string>{"fail network"}));

    LoopbackServer server([](const std::string&) {
        return LoopbackServer::Reply{{{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nhalf", 0}}, false};
    });
    Record truncated;
    auto b = URLConnection::start({server.url("/")}, recorder(truncated), *loop);
    ASSERT_TRUE(runUntilEnded(truncated));
    EXPECT_EQ(truncated.events.back(), "fail network");
}

TEST_F(URLConnectionTest, RequestsThatCannotBeMadeGiveNoConnectionAndNoCallback)
{
    Record r;
    for (const char* url : {"", "relative/path", "ftp://127.0.0.1/x", "file:///etc/passwd", "adnet://launch",
                            "http://127.0.0.1/a b", "http://[::1/", "http://127.0.0.1/\x7f", "javascript:alert(1)"})
        EXPECT_FALSE(URLConnection::start({url}, recorder(r), *loop)) << url;
    EXPECT_FALSE(URLConnection::start({"http://127.0.0.1/", {{"X", "a\r\nEvil: 1"}}}, recorder(r), *loop));
    EXPECT_FALSE(URLConnection::start({"http://127.0.0.1/", {{"Bad:Name", "v"}}}, recorder(r), *loop));
    loop->runFor(0.1);
    EXPECT_TRUE(r.events.empty());
}

TEST_F(URLConnectionTest, TransfersRunTogetherOnOneThread)
{
    // The server answers only once three requests are in: one at a time would never finish.
    std::mutex m;
    std::condition_variable cv;
    int arrived = 0;
    LoopbackServer server([&](const std::string&) {
        std::unique_lock lock(m);
        ++arrived;
        cv.notify_all();
        bool all = cv.wait_for(lock, std::chrono::seconds(5), [&] { return arrived >= 3; });
        return LoopbackServer::plain(200, all ? "together" : "alone");
    });
    Record r[3];
    std::shared_ptr<URLConnection> c[3];
    for (int i = 0; i < 3; ++i)
        c[i] = URLConnection::start({server.url("/" + std::to_string(i))}, recorder(r[i]), *loop);
    ASSERT_TRUE(loop->runUntil([&] { return r[0].ended() && r[1].ended() && r[2].ended(); }, 10));
    for (auto& rec : r)
        EXPECT_EQ(rec.body, "together");
}

TEST_F(URLConnectionTest, ANewTransferCanStartFromInsideAFinish)
{
    LoopbackServer server(
        [](const std::string& head) { return LoopbackServer::plain(200, head.substr(4, head.find(' ', 4) - 4)); });
    Record first, second;
    std::shared_ptr<URLConnection> next;
    auto callbacks = recorder(first);
    auto onFinish = callbacks.onFinish;
    callbacks.onFinish = [&, onFinish](URLConnection& c) {
        onFinish(c);
        next = URLConnection::start({server.url("/second")}, recorder(second), *loop);
    };
    auto c = URLConnection::start({server.url("/first")}, callbacks, *loop);
    ASSERT_TRUE(loop->runUntil([&] { return second.ended(); }, 10));
    EXPECT_EQ(first.body, "/first");
    EXPECT_EQ(second.body, "/second");
}

TEST_F(URLConnectionTest, IdleKeptAliveConnectionsCloseOnRequest)
{
    LoopbackServer server([](const std::string&) {
        return LoopbackServer::Reply{{{"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", 0}}, true};
    });
    Record r;
    auto c = URLConnection::start({server.url("/")}, recorder(r), *loop);
    ASSERT_TRUE(runUntilEnded(r));
    EXPECT_EQ(r.events.back(), "finish");
    EXPECT_EQ(server.connectionsOpen(), 1); // kept for reuse
    // The timing's moments come in order; this one had a connection of its own.
    const auto first = c->timing();
    EXPECT_FALSE(first.reusedConnection);
    EXPECT_LE(0, first.curlStarted);
    EXPECT_LE(first.curlStarted, first.connected);
    EXPECT_LE(first.connected, first.requestSent);
    EXPECT_LE(first.requestSent, first.firstByte);
    EXPECT_LE(first.firstByte, first.lastByte);
    EXPECT_LE(first.lastByte, first.delivered);
    URLConnection::closeIdleConnections(*loop);
    for (int i = 0; i < 200 && server.connectionsOpen() > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(server.connectionsOpen(), 0);
}
