// A click's redirect document through the ad's click handling, as it runs when the document
// has arrived: the first byte picks the ad's action and how the host answers about web
// pages, the rest is the document's body.
//
// Invariants: every click ends with exactly one notice, success or failure; it succeeds
// exactly when the body is a dictionary with a non-empty string "redirect_url"; the success
// is heard before the destination opens, and the destination is that URL, opened once, in
// the one place the action and the host choose (embedded browser, host's own web view, canvas
// page, or the desktop's handler, where the hand-over gate lets it out); a failed click
// opens nothing; either way the ad is ready again afterwards.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "PlatformHandOver.h"
#include "WrittenURL.h"
#include "adnet/AdNetAd.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetDelegate.h"
#include "common/Check.h"
#include "common/TemporaryDocuments.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"
#include "platform/device/URLOpener.h"
#include "json/JSONDeserializer.h"

using adnet::AdNetAd;
using fuzzcheck::require;

namespace adnet {
struct AdNetAdTestPeer {
    static void clickWithData(AdNetAd& ad, const std::string& action, const std::string& body)
    {
        ad.m_action = action;
        ad.m_state = AdNetAd::Clicking;
        ad.performClickWithData(body);
    }
};
} // namespace adnet

namespace {

// Everything that happened, in order: "success", "failure", "browser URL", "canvas URL",
// "host URL" (the host's own web view), "desktop URL" (the URL opener).
std::vector<std::string> gEvents;

class RecordingOpener final : public platform::URLOpener {
public:
    bool openURL(const std::string& url) override
    {
        gEvents.push_back("desktop " + url);
        return true;
    }
};

class Host final : public adnet::AdNetDelegate {
public:
    std::optional<bool> embedded;
    bool presents{false};

    std::string publisherId() override { return "fuzz"; }
    std::optional<bool> useEmbeddedWebView() override { return embedded; }
    bool presentWebView(const std::string& url) override
    {
        gEvents.push_back("asked " + url);
        if (presents)
            gEvents.push_back("host " + url);
        return presents;
    }
};

const char* const kActions[] = {"url", "canvas", "app", "email", ""};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzcheck::useTemporaryDocuments("brimsey-fuzz-click");
    platform::RunLoop::setMain(platform::RunLoop::createVirtual());
    platform::Services services;
    services.urlOpener = std::make_shared<RecordingOpener>();
    platform::installServices(std::move(services));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string action = kActions[data[0] % 5];
    const int hostChoice = (data[0] / 5) % 4; // not implemented, embedded, own view, refuses
    const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);

    auto host = std::make_shared<Host>();
    host->embedded = hostChoice == 0 ? std::nullopt : std::optional<bool>(hostChoice == 1);
    host->presents = hostChoice == 2;
    auto owner = std::make_shared<int>(0);
    auto ad = AdNetAd::create();
    ad->setDataSource(host);
    ad->setDelegate(owner);
    ad->setClickSuccessSelector([](AdNetAd& a) {
        require(a.state() == AdNetAd::Ready, "the ad is ready again when the click is heard");
        gEvents.push_back("success");
    });
    ad->setClickFailureSelector([](AdNetAd& a) {
        require(a.state() == AdNetAd::Ready, "the ad is ready again when the click is heard");
        gEvents.push_back("failure");
    });
    ad->setDisplayEmbeddedBrowserSelector(
        [](AdNetAd&, const std::string& url) { gEvents.push_back("browser " + url); });
    ad->setDisplayCanvasSelector([](AdNetAd&, const std::string& url) { gEvents.push_back("canvas " + url); });

    gEvents.clear();
    adnet::AdNetAdTestPeer::clickWithData(*ad, action, body);

    // What the document says, read on its own.
    const json::Value document = json::JSONDeserializer::deserializer().deserializeAsDictionary(body);
    const auto url = body.empty() ? std::nullopt : document.stringForKey("redirect_url");
    require(ad->state() == AdNetAd::Ready, "the ad is ready again after the click");
    if (!url || url->empty()) {
        require(gEvents == std::vector<std::string>{"failure"}, "a click without a redirect fails once, opens nothing");
        return 0;
    }
    // Only what the hand-over gate lets out reaches the desktop; the rest is refused quietly.
    const auto written = adnet::WrittenURL::split(*url);
    const bool leaves = written && adnet::mayHandOverScheme(written->scheme);
    std::vector<std::string> expected{"success"};
    if (action == "url" && hostChoice >= 2) {
        expected.push_back("asked " + *url);
        if (hostChoice == 2)
            expected.push_back("host " + *url);
        else if (leaves)
            expected.push_back("desktop " + *url);
    } else if (action == "url") {
        expected.push_back("browser " + *url);
    } else if (action == "canvas") {
        expected.push_back("canvas " + *url);
    } else if (leaves) {
        expected.push_back("desktop " + *url);
    }
    require(gEvents == expected, "one success, then the redirect opened once where the action says");
    return 0;
}
