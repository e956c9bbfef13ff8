#include "adnet/AdNetAd.h"

#include "FormatNumber.h"
#include "HostValues.h"
#include "PlatformHandOver.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetImageCache.h"
#include "adnet/AdNetLocationManager.h"
#include "adnet/AdNetURLDownload.h"
#include "platform/core/DeviceInfo.h"
#include "platform/core/PercentEscape.h"
#include "platform/core/RunLoop.h"
#include "platform/gfx/Image.h"
#include "json/JSONDeserializer.h"

#include <cstdio>
#include <ctime>
#include <utility>

namespace adnet {

namespace {

const std::string kUserImage = "userImage";
const std::string kActionIcon = "actionIcon";
const std::string kAccountingPixel = "accountingPixel";

// "yyyyMMdd" in the device's time zone.
std::string formatDateOfBirth(std::chrono::system_clock::time_point date)
{
    std::time_t seconds = std::chrono::system_clock::to_time_t(date);
    std::tm local{};
    if (!localtime_r(&seconds, &local))
        return {};
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d%02d%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return buffer;
}

} // namespace

const std::vector<std::string>& AdNetAd::browserIcons()
{
    static const std::vector<std::string> icons{"back", "back_disable", "forward", "forward_disable"};
    return icons;
}

std::shared_ptr<AdNetAd> AdNetAd::create()
{
    return std::shared_ptr<AdNetAd>(new AdNetAd());
}

AdNetAd::~AdNetAd()
{
    if (m_activeDownloads)
        for (const auto& download : *m_activeDownloads)
            download->cancel();
}

void AdNetAd::notify(const Selector& selector)
{
    auto delegate = m_delegate.lock();
    if (!delegate || !selector)
        return;
    auto self = shared_from_this(); // the owner may let the ad go from inside
    Selector call = selector;
    call(*this);
}

void AdNetAd::notifyDisplay(const DisplaySelector& selector, const std::string& url)
{
    auto delegate = m_delegate.lock();
    if (!delegate || !selector)
        return;
    auto self = shared_from_this();
    DisplaySelector call = selector;
    call(*this, url);
}

// ---- Life cycle ---------------------------------------------------------------------------

void AdNetAd::request()
{
    if (m_state == New)
        loadBrowserIcons();
}

void AdNetAd::loadBrowserIcons()
{
    auto self = shared_from_this();
    m_state = LoadingBrowserIcons;
    auto host = m_dataSource.lock();
    const auto embedded = host ? host->useEmbeddedWebView() : std::nullopt;
    if (embedded != std::optional<bool>(false)) {
        bool started = false;
        auto& cache = AdNetImageCache::sharedCache();
        for (const auto& name : browserIcons()) {
            if (cache.imageIsInCache(name))
                continue;
            addDownload(configuration().mediaHost + kBrowserIconPath + name + ".png", name);
            started = true;
            if (m_state != LoadingBrowserIcons)
                return; // an icon failed at once: the ad has failed
        }
        if (started)
            return;
    }
    browserIconsDidFinishLoading();
}

void AdNetAd::addDownload(const std::string& url, std::optional<std::string> identifier)
{
    // A failed ad starts no further downloads.
    if (m_state == Failed || !m_activeDownloads)
        return;
    if (m_fetchObserver)
        m_fetchObserver({FetchEvent::Started, url, identifier, 0, 0, {}, {}});
    const auto& config = configuration();
    auto download = AdNetURLDownload::create();
    std::weak_ptr<AdNetAd> weak = weak_from_this();
    download->setSuccessSelector([this](AdNetURLDownload& d) { downloadDidSucceed(d); });
    download->setFailureSelector([this](AdNetURLDownload& d) { downloadDidFail(d); });
    download->setDelegate(weak);
    // The ad answer (and a click's redirect document) has no identifier; the rest are images.
    download->setMaxBodyBytes(identifier ? config.maxImageBytes : config.maxDocumentBytes);
    download->setIdentifier(std::move(identifier));
    download->loadContentsOfURLAtString(url);
    // A download that already failed inside the call is over: keeping it would leave the
    // ad waiting for it for ever.
    if (m_activeDownloads && download->isLoading())
        m_activeDownloads->insert(std::move(download));
    else
        download->cancel();
}

void AdNetAd::browserIconsDidFinishLoading()
{
    m_state = IconsReady;
    requestAdFromServer();
    writeIconsToCacheSoon();
}

// The browser icons are written to the cache once the ad request that waits for them has
// gone out: the loop's next turn sends it first. The icons go with the task, so an ad let go
// meanwhile still leaves them cached; one that fails writes them at once.
void AdNetAd::keepIconForCache(std::shared_ptr<platform::Image> image, std::string name, std::string_view encoded)
{
    m_iconsToWrite.push_back({std::move(image), std::move(name), std::string(encoded)});
}

void AdNetAd::writeIconsToCacheSoon()
{
    if (m_iconsToWrite.empty())
        return;
    platform::RunLoop::main().post(
        [weak = weak_from_this(), icons = std::move(m_iconsToWrite)] { writeIconsToCache(icons, weak.lock().get()); });
    m_iconsToWrite.clear();
}

void AdNetAd::writeIconsToCache(const std::vector<IconToWrite>& icons, AdNetAd* reportTo)
{
    const double work = reportTo ? reportTo->pictureWorkStart() : 0;
    auto& cache = AdNetImageCache::sharedCache();
    for (const auto& icon : icons)
        cache.storeImage(*icon.image, icon.name, icon.encoded);
    if (reportTo)
        reportTo->notePictureDecoded({}, std::nullopt, work);
}

// ---- The request --------------------------------------------------------------------------

AdNetParameters AdNetAd::buildParams()
{
    AdNetParameters params;
    auto host = m_dataSource.lock();
    if (!host)
        return params;
    params.set("s", host->publisherId());
    params.set("f", "jsonp");
    params.set("v", kProtocolVersion);
    params.set("ex", "1");
    params.set("client_sdk", "1");
    if (auto isu = platform::currentDeviceFacts().uniqueIdentifier)
        params.set("isu", *isu);
    if (host->useTestAd() == std::optional<bool>(true))
        params.set("m", "test");
    if (host->mayAskForLocation() == std::optional<bool>(true)) {
        auto location = host->location();
        if (location.implemented()) {
            if (location.value())
                params.set("d[coord]", AdNetLocationManager::stringForLocation(toPlatform(*location.value())));
        } else {
            auto& provider = AdNetLocationManager::sharedManager();
            if (provider.locationServicesEnabled()) {
                provider.updateIfAppropriate();
                auto text = provider.locationString();
                auto updated = provider.lastUpdated();
                if (text && updated) {
                    params.set("d[coord]", *text);
                    params.set("d[coord_timestamp]", formatFixed6(*updated - platform::RunLoop::kUnixToAbsolute));
                }
            }
        }
    }
    if (auto value = host->postalCode())
        params.set("d[pc]", *value);
    if (auto value = host->areaCode())
        params.set("d[ac]", *value);
    if (auto value = host->gender())
        params.set("d[gender]", *value);
    if (auto date = host->dateOfBirth())
        params.set("d[dob]", formatDateOfBirth(*date));
    if (auto value = host->searchString())
        params.set("search", *value);
    if (auto value = host->keywords())
        params.set("k", *value);
    return params;
}

std::string AdNetAd::queryStringFromDictionary(const AdNetParameters& params)
{
    std::string query;
    bool first = true;
    for (const auto& [key, value] : params.entries()) {
        if (!first)
            query += '&';
        first = false;
        query += platform::addPercentEscapes(key);
        query += '=';
        query += platform::addPercentEscapes(value);
    }
    return query;
}

void AdNetAd::requestAdFromServer()
{
    if (m_state != IconsReady)
        return;
    auto host = m_dataSource.lock();
    std::string url;
    if (host) {
        const std::string query = queryStringFromDictionary(buildParams());
        auto endpoint = host->adserverEndpoint();
        if (!endpoint.implemented())
            url = configuration().requestEndpoint + "?" + query;
        else if (endpoint.value() && !endpoint.value()->empty())
            url = *endpoint.value() + "?" + query;
        // A host that answers no endpoint gets no ad: the empty URL fails at once.
    }
    // Set before starting: a download can fail inside the call, and failures route by state.
    m_state = Requesting;
    addDownload(url, std::nullopt);
}

// ---- Completions --------------------------------------------------------------------------

std::shared_ptr<AdNetURLDownload> AdNetAd::takeDownload(AdNetURLDownload& download, bool succeeded)
{
    auto keep = download.shared_from_this();
    if (m_fetchObserver)
        m_fetchObserver({succeeded ? FetchEvent::Succeeded : FetchEvent::Failed, download.url(), download.identifier(),
                         download.statusCode(), download.data() ? download.data()->size() : 0,
                         succeeded ? std::string() : download.failureReason(), download.timing()});
    if (m_activeDownloads)
        m_activeDownloads->erase(keep);
    return keep;
}

namespace {
// The body without a copy (value_or would make one).
std::string_view bodyOf(const AdNetURLDownload& download)
{
    const auto& data = download.data();
    return data ? std::string_view(*data) : std::string_view();
}
} // namespace

std::shared_ptr<platform::Image> AdNetAd::decodeImage(const std::optional<std::string>& body) const
{
    if (!body || body->empty())
        return nullptr;
    const auto& config = configuration();
    platform::ImageLimits limits;
    limits.maxBytes = config.maxImageBytes;
    limits.maxPixels = config.maxImagePixels;
    return platform::Image::decode(
        std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(body->data()), body->size()), nullptr,
        limits);
}

namespace {
double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
} // namespace

double AdNetAd::pictureWorkStart() const
{
    return m_fetchObserver ? threadCpuSeconds() : 0;
}

void AdNetAd::notePictureDecoded(const std::string& url, const std::optional<std::string>& identifier, double workStart)
{
    if (m_fetchObserver)
        m_fetchObserver({FetchEvent::Decoded, url, identifier, 0, 0, {}, {}, threadCpuSeconds() - workStart});
}

void AdNetAd::downloadDidSucceed(AdNetURLDownload& finished)
{
    auto self = shared_from_this();
    auto download = takeDownload(finished, true);
    const auto& identifier = download->identifier();
    switch (m_state) {
    case LoadingBrowserIcons: {
        const double work = pictureWorkStart();
        auto image = decodeImage(download->data());
        if (image)
            keepIconForCache(image, identifier.value_or(""), bodyOf(*download));
        notePictureDecoded(download->url(), identifier, work);
        if (!image) {
            requestDidFail("the picture " + download->url() + " would not load");
            break;
        }
        if (activeDownloadCount() == 0)
            browserIconsDidFinishLoading();
        break;
    }
    case Requesting:
        loadAdWithData(download->data().value_or(""));
        break;
    case Clicking:
        performClickWithData(download->data().value_or(""));
        break;
    case LoadingImages: {
        bool failed = false;
        const double work = pictureWorkStart();
        if (identifier == kUserImage) {
            m_userImage = decodeImage(download->data());
            failed = !m_userImage;
            notePictureDecoded(download->url(), identifier, work);
        } else if (identifier == kActionIcon) {
            m_actionImage = decodeImage(download->data());
            failed = !m_actionImage;
            if (m_actionImage)
                AdNetImageCache::sharedCache().storeImage(*m_actionImage, m_action.value_or(""), bodyOf(*download));
            notePictureDecoded(download->url(), identifier, work);
        }
        // Anything else is the accounting pixel: its body means nothing.
        if (failed)
            requestDidFail("the picture " + download->url() + " would not load");
        else if (activeDownloadCount() == 0 && !m_cachedIconPending)
            requestDidSucceed();
        break;
    }
    default:
        // New, icons ready, ready, failed: nothing is waiting for it.
        break;
    }
    download->cancel();
}

void AdNetAd::downloadDidFail(AdNetURLDownload& failed)
{
    auto self = shared_from_this();
    auto download = takeDownload(failed, false);
    switch (m_state) {
    case LoadingBrowserIcons:
    case Requesting:
    case LoadingImages:
        if (download->identifier() == kAccountingPixel) {
            // A lost accounting pixel never fails an ad.
            if (activeDownloadCount() == 0 && m_activeDownloads && !m_cachedIconPending)
                requestDidSucceed();
        } else {
            requestDidFail(download->url().empty() ? download->failureReason()
                                                   : download->url() + ": " + download->failureReason());
        }
        break;
    case Clicking:
        clickDidFail();
        break;
    default:
        break;
    }
    download->cancel();
}

void AdNetAd::loadAdWithData(const std::string& body)
{
    if (body.empty()) {
        requestDidFail("the ad answer is empty");
        return;
    }
    json::Value answer = json::JSONDeserializer::deserializer().deserializeAsDictionary(body);
    // Only string values count; a key of another type is as good as missing.
    m_text = answer.stringForKey("text");
    m_action = answer.stringForKey("6");
    m_userString = answer.stringForKey("8");
    m_clickUrl = answer.stringForKey("url");
    m_jsonpUrl = answer.stringForKey("jsonp_url");

    std::optional<std::string> imageURL;
    if (auto banner = answer.stringForKey("banner")) {
        m_medium = BannerAd;
        imageURL = *banner;
    } else if (auto icon = answer.stringForKey("204")) {
        m_medium = TextAd;
        imageURL = configuration().mediaHost + *icon;
    }
    if (!m_action || !m_clickUrl || !imageURL || (!m_text && m_medium == TextAd)) {
        requestDidFail(!answer.isDictionary() ? "the ad answer is not a JSON object"
                                              : "the ad answer lacks a key every ad needs");
        return;
    }

    m_state = LoadingImages;
    addDownload(*imageURL, kUserImage);
    if (m_state != LoadingImages)
        return;

    const bool iconCached = AdNetImageCache::sharedCache().imageIsInCache(*m_action);
    if (!iconCached) {
        addDownload(configuration().mediaHost + kActionIconPath + *m_action + ".png", kActionIcon);
        if (m_state != LoadingImages)
            return;
    }

    if (m_medium == BannerAd) {
        auto pixel = answer.stringForKey("cpm_url");
        if (pixel && !pixel->empty())
            addDownload(*pixel, kAccountingPixel);
        if (m_state != LoadingImages)
            return;
    }

    // The cached icon is read on the loop's next turn, once the fetches above have been sent:
    // reading and decoding it first would hold the picture's request back by as long.
    if (iconCached) {
        m_cachedIconPending = true;
        platform::RunLoop::main().post([weak = weak_from_this()] {
            if (auto self = weak.lock())
                self->readCachedActionIcon();
        });
    }
}

void AdNetAd::readCachedActionIcon()
{
    if (!m_cachedIconPending || m_state != LoadingImages)
        return;
    m_cachedIconPending = false;
    const double work = pictureWorkStart();
    // A cached icon that no longer decodes leaves the ad without one; it is still shown.
    m_actionImage = AdNetImageCache::sharedCache().fetchImageNamed(m_action.value_or(""));
    notePictureDecoded({}, std::string(kActionIcon), work);
    if (activeDownloadCount() == 0)
        requestDidSucceed();
}

void AdNetAd::requestDidSucceed()
{
    m_state = Ready;
    notify(m_requestSuccessSelector);
}

void AdNetAd::requestDidFail(std::string reason)
{
    writeIconsToCache(std::exchange(m_iconsToWrite, {}), this);
    m_failureReason = std::move(reason);
    if (m_activeDownloads) {
        auto downloads = std::move(*m_activeDownloads);
        m_activeDownloads.reset();
        for (const auto& download : downloads)
            download->cancel();
    }
    m_state = Failed;
    notify(m_requestFailureSelector);
}

// ---- Clicks -------------------------------------------------------------------------------

void AdNetAd::click()
{
    auto self = shared_from_this();
    // A failed ad starts no downloads: its click ends at once, and the ad stays failed.
    if (!m_activeDownloads) {
        notify(m_clickFailureSelector);
        return;
    }
    m_state = Clicking;
    // Without a redirect document the empty address fails at once, and with it the click.
    addDownload(m_jsonpUrl.value_or(""), std::nullopt);
}

void AdNetAd::performClickWithData(const std::string& body)
{
    if (body.empty()) {
        clickDidFail();
        return;
    }
    json::Value document = json::JSONDeserializer::deserializer().deserializeAsDictionary(body);
    auto url = document.stringForKey("redirect_url");
    if (!url || url->empty()) {
        clickDidFail();
        return;
    }
    // The owner hears first, so the banner's spinner goes while the destination opens.
    clickDidSucceed();
    if (m_action == "url")
        launchWebClick(*url);
    else if (m_action == "canvas")
        launchCanvasClick(*url);
    else
        handURLToPlatform(*url, HandOverSource::Click);
}

void AdNetAd::launchWebClick(const std::string& url)
{
    if (auto host = m_dataSource.lock(); host && host->useEmbeddedWebView() == std::optional<bool>(false)) {
        if (!host->presentWebView(url))
            handURLToPlatform(url, HandOverSource::Click);
        return;
    }
    notifyDisplay(m_displayEmbeddedBrowserSelector, url);
}

void AdNetAd::launchCanvasClick(const std::string& url)
{
    // The host is not asked: a canvas page always shows in the application.
    notifyDisplay(m_displayCanvasSelector, url);
}

void AdNetAd::clickDidSucceed()
{
    m_state = Ready;
    notify(m_clickSuccessSelector);
}

void AdNetAd::clickDidFail()
{
    m_state = Ready;
    notify(m_clickFailureSelector);
}

// ---- Looks --------------------------------------------------------------------------------

platform::Color AdNetAd::backgroundColor() const
{
    if (auto host = m_dataSource.lock())
        if (auto color = host->adBackgroundColor())
            return toPlatform(*color);
    return kDefaultBackgroundColor;
}

platform::Color AdNetAd::textColor() const
{
    if (auto host = m_dataSource.lock())
        if (auto color = host->adTextColor())
            return toPlatform(*color);
    return platform::Color::white(1.0f);
}

AdNetAd::SpinnerStyle AdNetAd::spinnerStyle() const
{
    if (auto host = m_dataSource.lock())
        if (host->useGraySpinner() == std::optional<bool>(true))
            return GraySpinner;
    return WhiteSpinner;
}

} // namespace adnet
