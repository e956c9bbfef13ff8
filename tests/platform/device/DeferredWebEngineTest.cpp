#include "platform/device/DeferredWebEngine.h"
#include "platform/core/RunLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;

namespace {

class Client final : public WebEngineClient {
public:
    bool engineShouldStartLoad(const URLRequest&, WebViewNavigationType) override { return true; }
    void engineDidStartLoad() override { said.push_back("start"); }
    void engineDidFinishLoad() override { said.push_back("finish"); }
    void engineDidFailLoad(const WebError& e) override
    {
        said.push_back("fail " + e.failingURL + ": " + e.description);
    }
    std::optional<WebPlacement> enginePlacement(double) const override { return std::nullopt; }
    std::vector<std::string> said;
};

// The real engine: notes every call it gets.
class Engine final : public WebEngine {
public:
    void setClient(WebEngineClient* c) override
    {
        client = c;
        calls.push_back(c ? "client" : "no client");
    }
    void load(const URLRequest& r) override { calls.push_back("load " + r.url); }
    void goBack() override { calls.push_back("back"); }
    void goForward() override { calls.push_back("forward"); }
    void reload() override { calls.push_back("reload"); }
    void stopLoading() override { calls.push_back("stop"); }
    bool isLoading() const override { return false; }
    bool canGoBack() const override { return true; }
    bool canGoForward() const override { return false; }
    std::optional<URLRequest> request() const override { return URLRequest{"http://real/"}; }
    std::string title() const override { return "Real"; }
    void setScalesPageToFit(bool fit) override { calls.push_back(fit ? "fit" : "no fit"); }
    void evaluateJavaScript(std::string script, std::function<void(std::optional<std::string>)> done) override
    {
        calls.push_back("script " + script);
        RunLoop::main().post([script, done] { done(script + " answered"); });
    }
    bool rendersNatively() const override { return true; }
    void placementChanged() override { calls.push_back("placed"); }

    WebEngineClient* client{nullptr};
    std::vector<std::string> calls;
};

class DeferredWebEngineTest : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::setMain(loop); }
    void TearDown() override { RunLoop::setMain(nullptr); }

    std::shared_ptr<RunLoop> loop = RunLoop::createVirtual();
    bool ready = false;
    int makes = 0;
    Client client;
    std::vector<std::optional<std::string>> answers;
    std::function<void(std::optional<std::string>)> answer = [this](std::optional<std::string> a) {
        answers.push_back(std::move(a));
    };
};

using Said = std::vector<std::string>;

TEST_F(DeferredWebEngineTest, KeepsTheViewsCallsInOrderAndHandsThemOverOnceReady)
{
    auto real = std::make_shared<Engine>();
    auto engine = DeferredWebEngine::create([&] { return ready; },
                                            [&](std::string*) {
                                                ++makes;
                                                return real;
                                            },
                                            true);
    engine->setClient(&client);
    engine->setScalesPageToFit(true);
    engine->load({"http://a/"});
    engine->evaluateJavaScript("one", answer);
    engine->stopLoading();
    engine->load({"http://b/"});
    // Meanwhile the view sees a page on its way, shown natively, without a history.
    EXPECT_TRUE(engine->isLoading());
    EXPECT_EQ(engine->request()->url, "http://b/");
    EXPECT_TRUE(engine->rendersNatively());
    EXPECT_FALSE(engine->canGoBack());
    EXPECT_EQ(engine->title(), "");
    loop->runFor(0.5);
    EXPECT_EQ(makes, 0);

    ready = true;
    loop->runFor(DeferredWebEngine::kPollSeconds);
    EXPECT_EQ(makes, 1);
    EXPECT_EQ(real->calls, (Said{"client", "fit", "load http://a/", "script one", "stop", "load http://b/", "placed"}));
    EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{"one answered"}));

    // From then on every call goes straight through, and nothing is polled.
    engine->goBack();
    EXPECT_EQ(real->calls.back(), "back");
    EXPECT_TRUE(engine->canGoBack());
    EXPECT_EQ(engine->request()->url, "http://real/");
    engine->setClient(nullptr);
    EXPECT_EQ(real->client, nullptr);
    const auto fired = loop->firedCount();
    loop->runFor(1);
    EXPECT_EQ(loop->firedCount(), fired);
    EXPECT_EQ(makes, 1);
    EXPECT_TRUE(client.said.empty());
}

TEST_F(DeferredWebEngineTest, WithoutARealEngineEveryLoadFailsOnTheLoopAndEveryScriptIsAnswered)
{
    auto engine = DeferredWebEngine::create([&] { return ready; },
                                            [&](std::string* why) {
                                                ++makes;
                                                *why = "cannot load the web view module";
                                                return nullptr;
                                            },
                                            true);
    engine->setClient(&client);
    engine->load({"http://a/"});
    engine->evaluateJavaScript("one", answer);
    engine->load({"http://b/"});
    ready = true;
    loop->runFor(0.1);
    EXPECT_EQ(makes, 1);
    // Each kept load starts and fails, in order, as a view without an engine reports it.
    EXPECT_EQ(client.said, (Said{"start", "fail http://a/: cannot load the web view module", "start",
                                 "fail http://b/: cannot load the web view module"}));
    EXPECT_EQ(answers, (std::vector<std::optional<std::string>>{std::nullopt}));
    EXPECT_FALSE(engine->rendersNatively());
    EXPECT_FALSE(engine->isLoading());

    // Later loads and scripts too, never inside the view's own call.
    engine->load({"http://c/"});
    engine->evaluateJavaScript("two", answer);
    EXPECT_EQ(client.said.size(), 4u);
    EXPECT_EQ(answers.size(), 1u);
    loop->runFor(0);
    EXPECT_EQ(client.said.back(), "fail http://c/: cannot load the web view module");
    EXPECT_EQ(answers.size(), 2u);
    EXPECT_EQ(makes, 1);

    // An engine let go before it was ready is never made.
    ready = false;
    auto gone = DeferredWebEngine::create([&] { return ready; },
                                          [&](std::string*) {
                                              ++makes;
                                              return std::make_shared<Engine>();
                                          },
                                          true);
    gone.reset();
    ready = true;
    loop->runFor(0.1);
    EXPECT_EQ(makes, 1);
}

} // namespace
