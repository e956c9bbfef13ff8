// adnet-fetch: runs one ad through request on the real clock and prints every fetch with its
// end, then the outcome and, for a ready ad, what it holds. Exit 0 when the ad became ready.

#include "adnet/AdNetAd.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetDelegate.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/RunLoop.h"
#include "platform/core/URL.h"
#include "platform/gfx/Image.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: adnet-fetch [--server URL] [--media URL] [--publisher ID] [--test] [--documents DIR]\n"
    "  --server URL     the ad server's request endpoint (a URL without a path gets /ad_source.php)\n"
    "  --media URL      the ad media host (scheme, host and port)\n"
    "  --publisher ID   the publisher id sent as \"s\" (default brimsey-demo)\n"
    "  --test           ask for a test ad (m=test)\n"
    "  --documents DIR  keep the image and location caches under DIR instead of the documents folder\n";

class CommandLineHost final : public adnet::AdNetDelegate {
public:
    std::string publisher{"brimsey-demo"};
    bool test{false};
    std::string publisherId() override { return publisher; }
    std::optional<bool> useTestAd() override { return test; }
};

// What a fetch shows until it ends; one cancelled because the ad failed never ends.
constexpr const char* kNotEnded = "failed: cancelled when the ad failed";

struct Fetch {
    std::string url;
    std::string end{kNotEnded};
};

int usageError(const std::string& message)
{
    std::fprintf(stderr, "adnet-fetch: %s\n%s", message.c_str(), kUsage);
    return 2;
}

std::string sizeOf(const std::shared_ptr<platform::Image>& image)
{
    if (!image)
        return "none";
    return std::to_string(image->pixelWidth()) + "x" + std::to_string(image->pixelHeight());
}

} // namespace

int main(int argc, char** argv)
{
    auto host = std::make_shared<CommandLineHost>();
    auto config = adnet::AdNetConfiguration::fromEnvironment(
        [](const std::string& warning) { std::fprintf(stderr, "adnet-fetch: %s\n", warning.c_str()); });

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--test") {
            host->test = true;
        } else if (arg == "--server") {
            if (!value(text))
                return usageError("--server needs a URL");
            auto url = platform::URL::parse(text);
            if (!url || !url->isHTTP() || url->host().empty())
                return usageError("--server: \"" + text + "\" is not an absolute http or https URL");
            if (url->path().empty() || url->path() == "/") {
                while (!text.empty() && text.back() == '/')
                    text.pop_back();
                text += "/ad_source.php";
            }
            config.requestEndpoint = text;
        } else if (arg == "--media") {
            if (!value(text))
                return usageError("--media needs a URL");
            auto url = platform::URL::parse(text);
            if (!url || !url->isHTTP() || url->host().empty() || (url->path() != "/" && !url->path().empty()))
                return usageError("--media: \"" + text + "\" must be scheme, host and port only");
            config.mediaHost = text;
        } else if (arg == "--publisher") {
            if (!value(host->publisher))
                return usageError("--publisher needs an id");
        } else if (arg == "--documents") {
            if (!value(text) || text.empty())
                return usageError("--documents needs a folder");
            platform::setDocumentsDirectory(text);
        } else {
            return usageError("unknown argument \"" + arg + "\"");
        }
    }
    adnet::setConfiguration(config);

    auto loop = platform::RunLoop::createReal();
    platform::RunLoop::setMain(loop);

    std::vector<Fetch> fetches;
    bool ended = false;
    bool ready = false;
    auto owner = std::make_shared<int>(0);
    auto ad = adnet::AdNetAd::create();
    ad->setDataSource(host);
    ad->setDelegate(owner);
    ad->setRequestSuccessSelector([&](adnet::AdNetAd&) { ended = ready = true; });
    ad->setRequestFailureSelector([&](adnet::AdNetAd&) { ended = true; });
    ad->setFetchObserver([&](const adnet::AdNetAd::FetchEvent& event) {
        using Kind = adnet::AdNetAd::FetchEvent::Kind;
        if (event.kind == Kind::Started) {
            fetches.push_back({event.url});
            return;
        }
        // Ends come in any order: match the earliest open fetch of that URL.
        for (auto& fetch : fetches) {
            if (fetch.url == event.url && fetch.end == kNotEnded) {
                fetch.end = event.kind == Kind::Succeeded
                                ? "done " + std::to_string(event.statusCode) + " " + std::to_string(event.bytes)
                                : "failed: " + event.reason;
                break;
            }
        }
    });

    ad->request();
    // Every fetch has its own time-out; this only guards against waiting for ever.
    loop->runUntil([&] { return ended; }, 4 * config.requestTimeout + 10);

    for (const auto& fetch : fetches) {
        std::printf("fetch %s %s\n", fetch.url.c_str(), fetch.end.c_str());
    }
    if (!ready) {
        std::printf("failed: %s\n", ad->failureReason().c_str());
        return 1;
    }
    std::printf("ready\n");
    std::printf("medium %d\n", int(ad->medium()));
    std::printf("text %s\n", ad->text().value_or("").c_str());
    std::printf("action %s\n", ad->action().value_or("").c_str());
    std::printf("userString %s\n", ad->userString().value_or("").c_str());
    std::printf("userImage %s\n", sizeOf(ad->userImage()).c_str());
    std::printf("actionImage %s\n", sizeOf(ad->actionImage()).c_str());
    return 0;
}
