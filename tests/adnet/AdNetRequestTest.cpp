#include "TestSupport.h"

#include "adnet/AdNetParameters.h"
#include "platform/core/URL.h"

#include <clocale>

#include <cstdlib>
#include <ctime>

using adnet::AdNetAd;
using adnet::AdNetParameters;
using namespace adnettest;

namespace {

class AdNetRequest : public AdNetTest {
protected:
    AdNetParameters paramsFor(const std::shared_ptr<adnet::AdNetDelegate>& host)
    {
        auto ad = AdNetAd::create();
        ad->setDataSource(host);
        return ad->buildParams();
    }
    void cacheLocation(const std::string& text, double ageSeconds)
    {
        const std::string path = adnet::AdNetLocationManager::locationCachePath();
        ASSERT_TRUE(platform::fs::writeFileAtomically(path, text));
        ASSERT_TRUE(platform::fs::setModificationTime(path, loop->wallTime() - ageSeconds));
    }
};

std::vector<std::string> keysOf(const AdNetParameters& p)
{
    return p.keys();
}

} // namespace

TEST_F(AdNetRequest, AHostWithOnlyThePublisherIdSendsTheFixedKeysAndTheDeviceId)
{
    auto params = paramsFor(std::make_shared<MinimalHost>());
    EXPECT_EQ(keysOf(params), (std::vector<std::string>{"s", "f", "v", "ex", "client_sdk", "isu"}));
    EXPECT_EQ(params.get("s"), "minimal");
    EXPECT_EQ(params.get("f"), "jsonp");
    EXPECT_EQ(params.get("v"), "20090203-SDK-3f1986e5ead93fcd");
    EXPECT_EQ(params.get("ex"), "1");
    EXPECT_EQ(params.get("client_sdk"), "1");
    EXPECT_EQ(params.get("isu"), kDevice.uniqueIdentifier);

    auto noId = kDevice;
    noId.uniqueIdentifier.reset();
    platform::setCurrentDeviceFacts(noId);
    EXPECT_FALSE(paramsFor(std::make_shared<MinimalHost>()).contains("isu"));
}

TEST_F(AdNetRequest, TheHostIsAskedOnceEachInTableOrderAndNilAnswersAreLeftOut)
{
    auto host = std::make_shared<Host>();
    host->mayAsk = true;
    host->hostLocation = adnet::Coordinate{1.5, -2.25};
    host->testAd = true;
    host->postal = "10115";
    host->area = "";
    host->sex = "f";
    host->search = "shoes";
    host->words = "red,blue";
    auto params = paramsFor(host);
    EXPECT_EQ(host->asked,
              (std::vector<std::string>{"publisherId", "useTestAd", "mayAskForLocation", "location", "postalCode",
                                        "areaCode", "gender", "dateOfBirth", "searchString", "keywords"}));
    EXPECT_EQ(keysOf(params), (std::vector<std::string>{"s", "f", "v", "ex", "client_sdk", "isu", "m", "d[coord]",
                                                        "d[pc]", "d[ac]", "d[gender]", "search", "k"}));
    EXPECT_EQ(params.get("m"), "test");
    EXPECT_EQ(params.get("d[coord]"), "1.500000,-2.250000");
    EXPECT_FALSE(params.contains("d[coord_timestamp]"));
    EXPECT_EQ(params.get("d[ac]"), ""); // an empty answer is sent empty
    EXPECT_FALSE(params.contains("d[dob]"));
}

TEST_F(AdNetRequest, UseTestAdAnsweringNoOrNotImplementedLeavesOutM)
{
    auto host = std::make_shared<Host>();
    host->testAd = false;
    EXPECT_FALSE(paramsFor(host).contains("m"));
    host->testAd.reset();
    EXPECT_FALSE(paramsFor(host).contains("m"));
}

TEST_F(AdNetRequest, DateOfBirthIsYearMonthDayInTheLocalTimeZone)
{
    const char* old = std::getenv("TZ");
    std::string saved = old ? old : "";
    setenv("TZ", "Pacific/Kiritimati", 1); // UTC+14: the local date is a day ahead of UTC
    tzset();
    auto host = std::make_shared<Host>();
    // 2005-03-06 12:00 UTC is 2005-03-07 02:00 on Kiritimati.
    host->born = std::chrono::system_clock::from_time_t(1110110400);
    EXPECT_EQ(paramsFor(host).get("d[dob]"), "20050307");
    // 2019-12-31 12:00 UTC is already 2020 there: the year changes with the day.
    host->born = std::chrono::system_clock::from_time_t(1577793600);
    EXPECT_EQ(paramsFor(host).get("d[dob]"), "20200101");
    // Before 1970, and a year below 1000, keep their fixed width.
    host->born = std::chrono::system_clock::from_time_t(-1262260800); // 1930-01-01 12:00 UTC
    EXPECT_EQ(paramsFor(host).get("d[dob]").value().size(), 8u);
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(AdNetRequest, AHostLocationAnsweredNilSendsNoLocationEvenWithOneCached)
{
    cacheLocation("48.856600,2.352200", 10);
    auto host = std::make_shared<Host>();
    host->mayAsk = true;
    host->hostLocation = std::nullopt;
    auto params = paramsFor(host);
    EXPECT_FALSE(params.contains("d[coord]"));
    EXPECT_FALSE(params.contains("d[coord_timestamp]"));
    EXPECT_EQ(location->startCount(), 0);
}

TEST_F(AdNetRequest, TheProviderLocationGoesOutOnlyWithItsTimestamp)
{
    cacheLocation("48.856600,2.352200", 10);
    const double written = *platform::fs::modificationTime(adnet::AdNetLocationManager::locationCachePath());
    auto host = std::make_shared<Host>();
    host->mayAsk = true; // location() not implemented: the provider is used
    auto params = paramsFor(host);
    EXPECT_EQ(params.get("d[coord]"), "48.856600,2.352200");
    auto stamp = params.get("d[coord_timestamp]");
    ASSERT_TRUE(stamp);
    EXPECT_NEAR(std::stod(*stamp), written - platform::RunLoop::kUnixToAbsolute, 1e-5);
    EXPECT_EQ(stamp->size() - stamp->find('.'), 7u); // six decimals
    EXPECT_EQ(location->startCount(), 0);            // ten seconds old: fresh, no fix
}

TEST_F(AdNetRequest, AfterTheMachineSleptTheCachedPositionIsStaleAndNewStampsAreCalendarTime)
{
    cacheLocation("48.856600,2.352200", 10);
    const double written = *platform::fs::modificationTime(adnet::AdNetLocationManager::locationCachePath());
    loop->setWallTimeOffset(3600); // an hour asleep: the loop's clock did not move
    auto host = std::make_shared<Host>();
    host->mayAsk = true;
    auto params = paramsFor(host);
    EXPECT_EQ(params.get("d[coord]"), "48.856600,2.352200"); // still sent until replaced
    EXPECT_NEAR(std::stod(*params.get("d[coord_timestamp]")), written - platform::RunLoop::kUnixToAbsolute, 1e-5);
    EXPECT_EQ(location->startCount(), 1) << "an hour and ten seconds old is stale";

    const double beforeFix = loop->wallTime() - platform::RunLoop::kUnixToAbsolute;
    location->queueFix({52.52, 13.405});
    loop->runFor(0.1);
    params = paramsFor(host);
    EXPECT_EQ(params.get("d[coord]"), "52.520000,13.405000");
    const double stamp = std::stod(*params.get("d[coord_timestamp]"));
    EXPECT_GE(stamp, beforeFix - 1e-5); // the calendar, an hour ahead of the loop's clock
    EXPECT_LE(stamp, loop->wallTime() - platform::RunLoop::kUnixToAbsolute + 1e-5);
}

TEST_F(AdNetRequest, ProviderLocationIsNotUsedWhenServicesAreOffOrTheHostSaysNo)
{
    cacheLocation("48.856600,2.352200", 10);
    auto host = std::make_shared<Host>();
    host->mayAsk = false;
    EXPECT_FALSE(paramsFor(host).contains("d[coord]"));
    host->mayAsk = true;
    location->setLocationServicesEnabled(false);
    EXPECT_FALSE(paramsFor(host).contains("d[coord]"));
    EXPECT_EQ(location->startCount(), 0);
}

TEST_F(AdNetRequest, FirstRequestWithoutCacheSendsNothingAndStartsAFixForTheNext)
{
    auto host = std::make_shared<Host>();
    host->mayAsk = true;
    EXPECT_FALSE(paramsFor(host).contains("d[coord]"));
    EXPECT_EQ(location->startCount(), 1);
    location->queueFix({52.52, 13.405});
    loop->runFor(0.1);
    EXPECT_FALSE(location->isUpdating());
    auto params = paramsFor(host);
    EXPECT_EQ(params.get("d[coord]"), "52.520000,13.405000");
    EXPECT_TRUE(params.contains("d[coord_timestamp]"));
    EXPECT_EQ(location->startCount(), 1); // now fresh
}

TEST_F(AdNetRequest, ACachedStringWithoutAFileDateSendsNeither)
{
    auto host = std::make_shared<Host>();
    host->mayAsk = true;
    adnet::AdNetLocationManager::sharedManager().setLocationString("1.000000,2.000000");
    auto params = paramsFor(host);
    EXPECT_FALSE(params.contains("d[coord]"));
    EXPECT_FALSE(params.contains("d[coord_timestamp]"));
}

TEST_F(AdNetRequest, QueryJoinsEscapedPairsWithSingleAmpersands)
{
    AdNetParameters params;
    EXPECT_EQ(AdNetAd::queryStringFromDictionary(params), "");
    params.set("s", "pub");
    EXPECT_EQ(AdNetAd::queryStringFromDictionary(params), "s=pub");
    params.set("d[coord]", "1.000000,-2.000000");
    params.set("k", "a b&c=d/e?");
    params.set("empty", "");
    EXPECT_EQ(AdNetAd::queryStringFromDictionary(params),
              "s=pub&d%5Bcoord%5D=1.000000,-2.000000&k=a%20b&c=d/e?&empty=");
    params.set("s", "again"); // replacing keeps the place
    EXPECT_EQ(AdNetAd::queryStringFromDictionary(params).substr(0, 8), "s=again&");
}

TEST_F(AdNetRequest, TextBeyondASCIIInKeysAndValuesStaysWellFormed)
{
    AdNetParameters params;
    params.set("search", "Z\xC3\xBCrich caf\xC3\xA9");
    params.set("k\xE2\x82\xAC", "\xF0\x9F\x98\x80");
    const std::string query = AdNetAd::queryStringFromDictionary(params);
    EXPECT_EQ(query, "search=Z%C3%BCrich%20caf%C3%A9&k%E2%82%AC=%F0%9F%98%80");
    auto url = platform::URL::parse("http://127.0.0.1/ad_source.php?" + query);
    ASSERT_TRUE(url);
    EXPECT_EQ(url->query(), query);
}

TEST_F(AdNetRequest, TheLocationTextIgnoresTheProcessLocale)
{
    // A host that switched to a decimal-comma locale must not break "lat,long".
    const char* locale = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    EXPECT_EQ(adnet::AdNetLocationManager::stringForLocation({-33.8688, 151.2093}), "-33.868800,151.209300");
    EXPECT_EQ(adnet::AdNetLocationManager::stringForLocation({0, -0.0000004}), "0.000000,-0.000000");
    if (locale)
        std::setlocale(LC_NUMERIC, "C");
}

TEST(AdNetDelegateDefaults, AHostWithOnlyThePublisherIdGetsEveryDefault)
{
    auto host = std::make_shared<MinimalHost>();
    auto ad = AdNetAd::create();
    ad->setDataSource(host);
    auto bg = ad->backgroundColor();
    EXPECT_FLOAT_EQ(bg.red, 0.443f);
    EXPECT_FLOAT_EQ(bg.green, 0.514f);
    EXPECT_FLOAT_EQ(bg.blue, 0.631f);
    EXPECT_FLOAT_EQ(bg.alpha, 1.0f);
    EXPECT_EQ(ad->textColor(), platform::Color::white(1.0f));
    EXPECT_EQ(ad->spinnerStyle(), AdNetAd::WhiteSpinner);
    EXPECT_FALSE(host->location().implemented());
    EXPECT_FALSE(host->adserverEndpoint().implemented());
    EXPECT_FALSE(host->useEmbeddedWebView());
    EXPECT_FALSE(host->presentWebView("http://example.com/"));
}

TEST(AdNetDelegateDefaults, ColoursAndSpinnerFollowTheHostOnEveryRead)
{
    auto host = std::make_shared<Host>();
    auto ad = AdNetAd::create();
    ad->setDataSource(host);
    host->background = adnet::Color{1, 0, 0, 1};
    host->graySpinner = true;
    EXPECT_EQ(ad->backgroundColor(), platform::Color::rgba(1, 0, 0));
    EXPECT_EQ(ad->spinnerStyle(), AdNetAd::GraySpinner);
    host->background.reset(); // answered nil: the default again
    host->graySpinner = false;
    EXPECT_EQ(ad->backgroundColor(), AdNetAd::kDefaultBackgroundColor);
    EXPECT_EQ(ad->spinnerStyle(), AdNetAd::WhiteSpinner);
}

TEST(AdNetDelegateDefaults, AnswersKeepNotImplementedApartFromNil)
{
    adnet::Answer<std::string> none = adnet::notImplemented;
    adnet::Answer<std::string> nil = std::nullopt;
    adnet::Answer<std::string> value = std::string("http://x/");
    EXPECT_FALSE(none.implemented());
    EXPECT_TRUE(nil.implemented());
    EXPECT_FALSE(nil.value());
    EXPECT_TRUE(value.implemented());
    EXPECT_EQ(value.value(), "http://x/");
}

TEST(AdNetConfiguration, EnvironmentOverridesAreCheckedAndTrimmed)
{
    std::vector<std::string> warnings;
    auto warn = [&](const std::string& w) { warnings.push_back(w); };
    setenv("ADNET_REQUEST_ENDPOINT", "http://ads.example:9000/ad_source.php", 1);
    setenv("ADNET_MEDIA_HOST", "https://media.example/", 1);
    auto config = adnet::AdNetConfiguration::fromEnvironment(warn);
    EXPECT_EQ(config.requestEndpoint, "http://ads.example:9000/ad_source.php");
    EXPECT_EQ(config.mediaHost, "https://media.example");
    EXPECT_TRUE(warnings.empty());

    setenv("ADNET_REQUEST_ENDPOINT", "ftp://ads.example/ad_source.php", 1);
    setenv("ADNET_MEDIA_HOST", "http://media.example/static/", 1);
    config = adnet::AdNetConfiguration::fromEnvironment(warn);
    EXPECT_EQ(config.requestEndpoint, adnet::AdNetConfiguration::kDefaultRequestEndpoint);
    EXPECT_EQ(config.mediaHost, adnet::AdNetConfiguration::kDefaultMediaHost);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("ADNET_REQUEST_ENDPOINT"), std::string::npos);
    EXPECT_NE(warnings[1].find("ADNET_MEDIA_HOST"), std::string::npos);
    unsetenv("ADNET_REQUEST_ENDPOINT");
    unsetenv("ADNET_MEDIA_HOST");
    config = adnet::AdNetConfiguration::fromEnvironment(warn);
    EXPECT_EQ(config.requestEndpoint, "http://127.0.0.1:8642/ad_source.php");
    EXPECT_EQ(config.mediaHost, "http://127.0.0.1:8642");
}
