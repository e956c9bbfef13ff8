#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetParameters.h"
#include "platform/core/Color.h"
#include "platform/net/URLConnection.h"

namespace platform {
class Image;
}

namespace adnet {

class AdNetURLDownload;

// One ad, from request to display: makes sure the embedded browser's icons are cached, asks
// the ad server for an ad, reads its JSON answer, downloads its images (and, for an image
// banner, the accounting pixel) and tells its owner whether it became ready. Afterwards it is
// the model the banner view draws.
//
// The owner (delegate) and the host (dataSource) are held weakly; an owner that lets the ad
// go first clears the delegate, or simply drops it: its downloads are cancelled with it.
class AdNetAd final : public std::enable_shared_from_this<AdNetAd> {
public:
    enum State : std::int32_t {
        New = 0,
        LoadingBrowserIcons = 1,
        IconsReady = 2,
        Requesting = 3,
        LoadingImages = 4,
        Ready = 5,
        Failed = 6,
        Clicking = 7,
    };
    enum Medium : std::int32_t { TextAd = 0, BannerAd = 1 };
    enum SpinnerStyle : std::int32_t { WhiteSpinner = 1, GraySpinner = 2 };

    using Selector = std::function<void(AdNetAd&)>;
    using DisplaySelector = std::function<void(AdNetAd&, const std::string& url)>;

    static constexpr const char* kProtocolVersion = "20090203-SDK-3f1986e5ead93fcd";
    static constexpr const char* kBrowserIconPath = "/static/sdk/browser/";
    static constexpr const char* kActionIconPath = "/static/sdk/img/";
    // The embedded browser's toolbar icons, in the order they are fetched.
    static const std::vector<std::string>& browserIcons();
    static inline const platform::Color kDefaultBackgroundColor{0.443f, 0.514f, 0.631f, 1.0f};

    static std::shared_ptr<AdNetAd> create();
    ~AdNetAd();
    AdNetAd(const AdNetAd&) = delete;
    AdNetAd& operator=(const AdNetAd&) = delete;

    // Starts the ad's work; only a new ad does anything.
    void request();
    bool readyForDisplay() const { return m_state == Ready || m_state == Clicking; }
    // Starts a click: fetches the click redirect document, reports the click's success to the
    // owner before anything opens, then sends the user on by the action name ("url": a web
    // page, "canvas": the canvas page, anything else: the desktop's handler for the URL).
    void click();
    State state() const { return m_state; }

    // Completions of every download the ad starts, routed by state and identifier.
    void downloadDidSucceed(AdNetURLDownload& download);
    void downloadDidFail(AdNetURLDownload& download);

    // The request parameters from the host's answers, asked in a fixed order.
    AdNetParameters buildParams();
    // "k=v&k2=v2" with every key and value escaped as RFC 2396 URL text; no leading "?".
    static std::string queryStringFromDictionary(const AdNetParameters& params);

    // Banner looks, asked of the host on every read.
    platform::Color backgroundColor() const;
    platform::Color textColor() const;
    SpinnerStyle spinnerStyle() const;

    Medium medium() const { return m_medium; }
    const std::optional<std::string>& text() const { return m_text; }
    const std::optional<std::string>& action() const { return m_action; }
    const std::optional<std::string>& clickUrl() const { return m_clickUrl; }
    const std::optional<std::string>& jsonpUrl() const { return m_jsonpUrl; }
    const std::optional<std::string>& userString() const { return m_userString; }
    const std::shared_ptr<platform::Image>& userImage() const { return m_userImage; }
    const std::shared_ptr<platform::Image>& actionImage() const { return m_actionImage; }
    std::size_t activeDownloadCount() const { return m_activeDownloads ? m_activeDownloads->size() : 0; }

    void setDataSource(std::weak_ptr<AdNetDelegate> dataSource) { m_dataSource = std::move(dataSource); }
    void setDelegate(std::weak_ptr<void> delegate) { m_delegate = std::move(delegate); }
    void setRequestSuccessSelector(Selector s) { m_requestSuccessSelector = std::move(s); }
    void setRequestFailureSelector(Selector s) { m_requestFailureSelector = std::move(s); }
    void setClickSuccessSelector(Selector s) { m_clickSuccessSelector = std::move(s); }
    void setClickFailureSelector(Selector s) { m_clickFailureSelector = std::move(s); }
    void setDisplayCanvasSelector(DisplaySelector s) { m_displayCanvasSelector = std::move(s); }
    void setDisplayEmbeddedBrowserSelector(DisplaySelector s) { m_displayEmbeddedBrowserSelector = std::move(s); }

    // Why the ad failed, in a few words: a fetch's own reason (a refused connection, an
    // untrusted certificate, an HTTP status), an answer that cannot be read, a picture that
    // would not load. Empty unless the state is failed.
    const std::string& failureReason() const { return m_failureReason; }

    // Watches every fetch the ad starts and how each ends, in order. For tools and tests.
    // Decoded follows a picture's Succeeded once it is decoded; picture work outside a fetch
    // (a cached action icon's read, icons written to the cache) comes as Decoded with an
    // empty url.
    struct FetchEvent {
        enum Kind { Started, Succeeded, Failed, Decoded } kind;
        std::string url;
        std::optional<std::string> identifier;
        int statusCode{0};                      // of the last response; 0 when none arrived
        std::size_t bytes{0};                   // body bytes received
        std::string reason;                     // why a failed fetch failed
        platform::URLConnection::Timing timing; // of an ended fetch
        double workSeconds{0};                  // Decoded: this thread's CPU time for the picture
    };
    using FetchObserver = std::function<void(const FetchEvent&)>;
    void setFetchObserver(FetchObserver observer) { m_fetchObserver = std::move(observer); }

private:
    // Drives single private steps (the answer handling) for the fuzz target and tests.
    friend struct AdNetAdTestPeer;

    AdNetAd() = default;

    void loadBrowserIcons();
    void addDownload(const std::string& url, std::optional<std::string> identifier);
    void browserIconsDidFinishLoading();
    void keepIconForCache(std::shared_ptr<platform::Image> image, std::string name, std::string_view encoded);
    void writeIconsToCacheSoon();
    struct IconToWrite {
        std::shared_ptr<platform::Image> image;
        std::string name;
        std::string encoded;
    };
    // Reports the work to `reportTo`'s observer, if it is still there.
    static void writeIconsToCache(const std::vector<IconToWrite>& icons, AdNetAd* reportTo);
    void requestAdFromServer();
    void loadAdWithData(const std::string& body);
    void readCachedActionIcon();
    void requestDidSucceed();
    void requestDidFail(std::string reason);
    void performClickWithData(const std::string& body);
    void launchWebClick(const std::string& url);
    void launchCanvasClick(const std::string& url);
    void clickDidSucceed();
    void clickDidFail();
    void notify(const Selector& selector);
    void notifyDisplay(const DisplaySelector& selector, const std::string& url);
    std::shared_ptr<AdNetURLDownload> takeDownload(AdNetURLDownload& download, bool succeeded);
    std::shared_ptr<platform::Image> decodeImage(const std::optional<std::string>& body) const;
    // The observer's clock for a picture's work: 0 without an observer.
    double pictureWorkStart() const;
    void notePictureDecoded(const std::string& url, const std::optional<std::string>& identifier, double workStart);

    std::weak_ptr<AdNetDelegate> m_dataSource;
    std::weak_ptr<void> m_delegate;
    Selector m_requestSuccessSelector;
    Selector m_requestFailureSelector;
    Selector m_clickFailureSelector;
    Selector m_clickSuccessSelector;
    DisplaySelector m_displayCanvasSelector;
    DisplaySelector m_displayEmbeddedBrowserSelector;
    State m_state{New};
    // The action icon is in the cache and is read on the loop's next turn; the ad is not
    // ready before.
    bool m_cachedIconPending{false};
    // Decoded browser icons not yet written to the cache.
    std::vector<IconToWrite> m_iconsToWrite;
    // Nothing (not merely empty) once the ad has failed.
    std::optional<std::set<std::shared_ptr<AdNetURLDownload>>> m_activeDownloads{std::in_place};
    Medium m_medium{TextAd};
    std::optional<std::string> m_text;
    std::optional<std::string> m_action;
    std::optional<std::string> m_clickUrl;
    std::optional<std::string> m_jsonpUrl;
    std::optional<std::string> m_userString;
    std::shared_ptr<platform::Image> m_userImage;
    std::shared_ptr<platform::Image> m_actionImage;
    FetchObserver m_fetchObserver;
    std::string m_failureReason;
};

} // namespace adnet
