#pragma once

#include "adnet/AdNetAd.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetDelegate.h"
#include "adnet/AdNetImageCache.h"
#include "adnet/AdNetLocationManager.h"
#include "adnet/AdNetViewAccess.h"
#include "adnet/AdNetViewInternal.h"
#include "platform/backend/headless/ScriptedLocationManager.h"
#include "platform/core/DeviceInfo.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Services.h"
#include "platform/gfx/Image.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace adnettest {

// The view behind a banner handle, with its controller.
inline std::shared_ptr<adnet::AdNetViewInternal> internalView(const adnet::AdNetView& handle)
{
    return std::static_pointer_cast<adnet::AdNetViewInternal>(adnet::platformView(handle));
}

// The device every test runs on; fixed before the user agent is first built.
inline const platform::DeviceFacts kDevice{"TestPhone 3", "Debian GNU/Linux", "12.4.1", "x86_64",
                                           std::string("0f1e2d3c4b5a69788796a5b4c3d2e1f0")};

// Each test gets a fresh documents folder, fresh singletons, a scripted location service and
// a virtual main loop.
class AdNetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::setCurrentDeviceFacts(kDevice);
        documents = *platform::fs::makeTemporaryDirectory("brimsey-adnet-test");
        platform::setDocumentsDirectory(documents);
        loop = platform::RunLoop::createVirtual();
        platform::RunLoop::setMain(loop);
        location = std::make_shared<platform::ScriptedLocationManager>(*loop);
        auto scripted = location;
        platform::Services services;
        services.location = [scripted] { return scripted; };
        platform::installServices(std::move(services));
        adnet::AdNetLocationManager::resetForTesting();
        adnet::AdNetImageCache::resetForTesting();
        adnet::setConfiguration(adnet::AdNetConfiguration{});
    }
    void TearDown() override
    {
        loop->runFor(0.05);
        adnet::AdNetLocationManager::resetForTesting();
        adnet::AdNetImageCache::resetForTesting();
        platform::resetServices();
        platform::setDocumentsDirectory(std::nullopt);
        platform::RunLoop::setMain(nullptr);
        platform::fs::removeTree(documents);
    }

    std::string documents;
    std::shared_ptr<platform::RunLoop> loop;
    std::shared_ptr<platform::ScriptedLocationManager> location;
};

// A host whose every answer a test can set; it notes each question in order.
class Host : public adnet::AdNetDelegate {
public:
    std::string publisher{"pub-1234"};
    std::optional<adnet::Color> background, textColour;
    std::optional<bool> graySpinner, mayAsk, testAd, embedded;
    adnet::Answer<adnet::Coordinate> hostLocation{adnet::notImplemented};
    std::optional<std::string> postal, area, sex, search, words;
    std::optional<std::chrono::system_clock::time_point> born;
    adnet::Answer<std::string> endpoint{adnet::notImplemented};
    std::vector<std::string> asked;

    std::string publisherId() override { return note("publisherId"), publisher; }
    std::optional<adnet::Color> adBackgroundColor() override { return note("adBackgroundColor"), background; }
    std::optional<adnet::Color> adTextColor() override { return note("adTextColor"), textColour; }
    std::optional<bool> useGraySpinner() override { return note("useGraySpinner"), graySpinner; }
    std::optional<bool> mayAskForLocation() override { return note("mayAskForLocation"), mayAsk; }
    adnet::Answer<adnet::Coordinate> location() override { return note("location"), hostLocation; }
    std::optional<bool> useTestAd() override { return note("useTestAd"), testAd; }
    std::optional<std::string> postalCode() override { return note("postalCode"), postal; }
    std::optional<std::string> areaCode() override { return note("areaCode"), area; }
    std::optional<std::string> gender() override { return note("gender"), sex; }
    std::optional<std::chrono::system_clock::time_point> dateOfBirth() override { return note("dateOfBirth"), born; }
    std::optional<std::string> searchString() override { return note("searchString"), search; }
    std::optional<std::string> keywords() override { return note("keywords"), words; }
    std::optional<bool> useEmbeddedWebView() override { return note("useEmbeddedWebView"), embedded; }
    adnet::Answer<std::string> adserverEndpoint() override { return note("adserverEndpoint"), endpoint; }

private:
    void note(const char* name) { asked.emplace_back(name); }
};

// A host that implements only what it must.
class MinimalHost : public adnet::AdNetDelegate {
public:
    std::string publisherId() override { return "minimal"; }
};

// The ad's owner: counts each report.
struct Owner {
    int successes{0};
    int failures{0};
    std::vector<std::string> order;

    void attach(adnet::AdNetAd& ad, const std::shared_ptr<Owner>& self)
    {
        ad.setDelegate(self);
        ad.setRequestSuccessSelector([this](adnet::AdNetAd&) {
            ++successes;
            order.push_back("ready");
        });
        ad.setRequestFailureSelector([this](adnet::AdNetAd&) {
            ++failures;
            order.push_back("failed");
        });
    }
    bool ended() const { return successes + failures > 0; }
};

inline std::shared_ptr<platform::Image> solidImage(int w, int h, std::uint32_t rgba)
{
    std::vector<std::uint8_t> pixels;
    for (int i = 0; i < w * h; ++i)
        for (int shift : {24, 16, 8, 0})
            pixels.push_back(std::uint8_t(rgba >> shift));
    return platform::Image::fromRGBA(w, h, pixels);
}

inline std::string pngBytes(int w, int h, std::uint32_t rgba)
{
    auto png = solidImage(w, h, rgba)->encodePNG();
    return std::string(png.begin(), png.end());
}

} // namespace adnettest
