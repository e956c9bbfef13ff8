// The ad server's answer through the ad's answer handling, as it runs when the ad request's
// body has arrived.
//
// Invariants: the ad takes the answer exactly when it has string values for "6" and "url"
// and an image ("banner", or "204" with a "text"); an accepted ad has its action, click URL
// and text as sent, is a banner-image ad exactly when "banner" is there, and fetches its
// image first (the "banner" URL itself, or the media host joined to "204"), then its action
// icon from the media host, then, for banner-image ads only, a non-empty "cpm_url", and waits
// for each fetch still running (a lost pixel does not fail it, a lost image does); a refused
// ad fails once, fetches nothing and keeps no download; and bytes after the answer's closing
// brace change nothing.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adnet/AdNetAd.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetImageCache.h"
#include "common/Check.h"
#include "common/TemporaryDocuments.h"
#include "platform/core/RunLoop.h"
#include "json/JSONDeserializer.h"

using adnet::AdNetAd;
using fuzzcheck::require;

namespace adnet {
struct AdNetAdTestPeer {
    static void loadAdWithData(AdNetAd& ad, const std::string& body)
    {
        ad.m_state = AdNetAd::Requesting;
        ad.loadAdWithData(body);
    }
};
} // namespace adnet

namespace {

constexpr const char* kMediaHost = "http://media.invalid";

struct Outcome {
    AdNetAd::State state{AdNetAd::New};
    AdNetAd::Medium medium{AdNetAd::TextAd};
    std::optional<std::string> text, action, clickUrl, jsonpUrl, userString;
    std::vector<std::pair<std::string, std::string>> started; // identifier, URL
    std::vector<std::string> failedAtOnce;                    // identifiers
    int successes{0};
    int failures{0};
    std::size_t activeDownloads{0};

    bool operator==(const Outcome&) const = default;
};

Outcome run(const std::string& body)
{
    Outcome out;
    auto ad = AdNetAd::create();
    auto owner = std::make_shared<int>(0);
    ad->setDelegate(owner);
    ad->setRequestSuccessSelector([&](AdNetAd&) { ++out.successes; });
    ad->setRequestFailureSelector([&](AdNetAd&) { ++out.failures; });
    ad->setFetchObserver([&](const AdNetAd::FetchEvent& e) {
        if (e.kind == AdNetAd::FetchEvent::Started)
            out.started.emplace_back(e.identifier.value_or("(none)"), e.url);
        else if (e.kind == AdNetAd::FetchEvent::Failed)
            out.failedAtOnce.push_back(e.identifier.value_or("(none)"));
    });
    adnet::AdNetAdTestPeer::loadAdWithData(*ad, body);
    out.state = ad->state();
    out.medium = ad->medium();
    out.text = ad->text();
    out.action = ad->action();
    out.clickUrl = ad->clickUrl();
    out.jsonpUrl = ad->jsonpUrl();
    out.userString = ad->userString();
    out.activeDownloads = ad->activeDownloadCount();
    return out; // the ad goes, cancelling its downloads before anything was sent
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzzcheck::useTemporaryDocuments("brimsey-fuzz-ad");
    // The loop never runs: downloads are started and dropped, nothing leaves the process.
    platform::RunLoop::setMain(platform::RunLoop::createVirtual());
    adnet::AdNetConfiguration config;
    config.mediaHost = kMediaHost;
    adnet::setConfiguration(config);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string body(reinterpret_cast<const char*>(data), size);
    const Outcome got = run(body);

    // What the answer says, read on its own.
    const json::Value answer = json::JSONDeserializer::deserializer().deserializeAsDictionary(body);
    const auto text = answer.stringForKey("text");
    const auto action = answer.stringForKey("6");
    const auto url = answer.stringForKey("url");
    const auto banner = answer.stringForKey("banner");
    const auto icon = answer.stringForKey("204");
    const auto pixel = answer.stringForKey("cpm_url");
    const bool acceptable = action && url && (banner || (icon && text));

    require(got.successes == 0, "no ad is ready before its images arrive");
    if (!acceptable) {
        require(got.state == AdNetAd::Failed && got.failures == 1, "a refused answer fails the ad once");
        require(got.started.empty() && got.activeDownloads == 0, "a refused ad fetches nothing");
        return 0;
    }
    require(!got.started.empty(), "an accepted answer fetches its image");
    const std::string image = banner ? *banner : std::string(kMediaHost) + *icon;
    require(got.started[0] == std::make_pair(std::string("userImage"), image), "the image first, from its URL");
    require(got.medium == (banner ? AdNetAd::BannerAd : AdNetAd::TextAd), "the medium follows \"banner\"");
    require(got.action == action && got.clickUrl == url && got.text == text, "the ad keeps what was sent");
    require(got.jsonpUrl == answer.stringForKey("jsonp_url") && got.userString == answer.stringForKey("8"),
            "the click fields are kept as sent");
    if (got.state == AdNetAd::Failed) {
        // A URL that cannot be fetched fails at once; nothing further is started then.
        require(got.failures == 1 && got.activeDownloads == 0, "a failed fetch fails the ad once");
    } else {
        require(got.state == AdNetAd::LoadingImages && got.failures == 0, "an accepted ad loads its images");
        std::vector<std::pair<std::string, std::string>> expected{
            {"userImage", image}, {"actionIcon", std::string(kMediaHost) + "/static/sdk/img/" + *action + ".png"}};
        if (banner && pixel && !pixel->empty())
            expected.emplace_back("accountingPixel", *pixel);
        require(got.started == expected, "image, action icon, then a banner's pixel");
        // Only the pixel may fail without failing the ad.
        require(got.failedAtOnce.empty() || got.failedAtOnce == std::vector<std::string>{"accountingPixel"},
                "a living ad lost no image");
        require(got.activeDownloads == expected.size() - got.failedAtOnce.size(),
                "the ad waits for every fetch still running");
    }

    // The answer ends at its closing brace.
    const Outcome longer = run(body + "}\"]{\"6\":\"other\"}");
    require(longer == got, "bytes after the answer change nothing");
    return 0;
}
