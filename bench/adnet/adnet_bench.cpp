// Time from request() to ready for one ad against the demo ad network on 127.0.0.1:
//  - cold: no browser icon cached (four icons, the request, the ad's images);
//  - warm: icons and action icons cached (the request and the ad's own image);
// wall-clock milliseconds and the client thread's CPU time per ad. The peer fetches exactly
// the same URLs with libcurl's easy interface one after another, the way a client without a
// run loop would; the ratio shows what running the fetches that start together concurrently
// is worth. Each pair runs twice: on bare loopback, and with every answer held 20 ms as a
// stand-in for a network's round trip. Our CPU time includes decoding every image and
// writing the cache; the peer only moves bytes. The server runs in this process on threads
// of its own, so its CPU is not counted.

#include "adnet/AdNetAd.h"
#include "adnet/AdNetConfiguration.h"
#include "adnet/AdNetImageCache.h"
#include "adnetdemo/DemoServer.h"
#include "platform/core/DocumentsDirectory.h"
#include "platform/core/FileSystem.h"
#include "platform/core/RunLoop.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Sample {
    double wallMs;
    double cpuMs;
};

std::map<std::string, std::vector<Sample>>& samples()
{
    static std::map<std::string, std::vector<Sample>> all;
    return all;
}

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double wallMs()
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

class Host final : public adnet::AdNetDelegate {
public:
    std::string publisherId() override { return "bench"; }
};

struct Fixture {
    adnetdemo::DemoServer server;
    std::string documents;
    std::shared_ptr<platform::RunLoop> loop;
    std::shared_ptr<Host> host = std::make_shared<Host>();
    std::vector<std::string> lastUrls;

    Fixture()
    {
        std::string error;
        if (!server.start(&error)) {
            std::fprintf(stderr, "adnet_bench: demo server: %s\n", error.c_str());
            std::exit(1);
        }
        documents = *platform::fs::makeTemporaryDirectory("adnet-bench");
        platform::setDocumentsDirectory(documents);
        loop = platform::RunLoop::createReal();
        platform::RunLoop::setMain(loop);
        adnet::AdNetConfiguration config;
        config.requestEndpoint = server.adRequestUrl();
        config.mediaHost = server.baseUrl();
        adnet::setConfiguration(config);
        curl_global_init(CURL_GLOBAL_DEFAULT);
        // Every load is the same text ad, so ours and the peer fetch the same URLs.
        for (const auto& ad : server.ads())
            if (!ad.banner && !ad.testAd) {
                server.pinAd(ad.id);
                break;
            }
    }

    // Every answer waits this long first: a stand-in for a network's round trip.
    void setLatency(int ms)
    {
        server.clearFaults();
        if (ms <= 0)
            return;
        adnetdemo::FaultSpec slow;
        slow.fault = adnetdemo::Fault::slow;
        slow.fetches = adnetdemo::fetch::all;
        slow.delay = std::chrono::milliseconds(ms);
        server.setFault(slow);
    }
    ~Fixture() { platform::fs::removeTree(documents); }

    void clearCache()
    {
        platform::fs::removeTree(documents + "/adnet/image_cache");
        adnet::AdNetImageCache::resetForTesting();
    }

    // One ad from request() to ready; false when it failed.
    bool loadAd()
    {
        auto owner = std::make_shared<int>(0);
        bool ended = false;
        bool ready = false;
        auto ad = adnet::AdNetAd::create();
        ad->setDataSource(host);
        ad->setDelegate(owner);
        ad->setRequestSuccessSelector([&](adnet::AdNetAd&) { ended = ready = true; });
        ad->setRequestFailureSelector([&](adnet::AdNetAd&) { ended = true; });
        lastUrls.clear();
        ad->setFetchObserver([this](const adnet::AdNetAd::FetchEvent& e) {
            if (e.kind == adnet::AdNetAd::FetchEvent::Started)
                lastUrls.push_back(e.url);
        });
        ad->request();
        loop->runUntil([&] { return ended; }, 30);
        return ready;
    }
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

size_t discard(char*, size_t size, size_t count, void* sink)
{
    *static_cast<size_t*>(sink) += size * count;
    return size * count;
}

// The peer: the same URLs, fetched one after another on one reused easy handle.
bool fetchSequentially(const std::vector<std::string>& urls)
{
    CURL* easy = curl_easy_init();
    size_t bytes = 0;
    bool ok = true;
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &bytes);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    for (const auto& url : urls) {
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        ok = ok && curl_easy_perform(easy) == CURLE_OK;
    }
    curl_easy_cleanup(easy);
    return ok;
}

void record(benchmark::State& state, const std::string& name, double wall, double cpu)
{
    samples()[name].push_back({wall, cpu});
    state.SetIterationTime(wall / 1e3);
}

std::string label(const char* who, bool cold, int latencyMs)
{
    return std::string(who) + (cold ? " cold" : " warm") + " +" + std::to_string(latencyMs) + "ms";
}

void BM_Ad(benchmark::State& state, bool cold)
{
    auto& f = fixture();
    const int latency = int(state.range(0));
    f.setLatency(0);
    f.clearCache();
    f.loadAd(); // warms the cache (browser and action icons) for the warm runs
    f.setLatency(latency);
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            f.clearCache();
            state.ResumeTiming();
        }
        const double w0 = wallMs(), c0 = threadCpuMs();
        if (!f.loadAd())
            state.SkipWithError("the ad failed");
        record(state, label("adnet", cold, latency), wallMs() - w0, threadCpuMs() - c0);
        state.counters["fetches"] = double(f.lastUrls.size());
    }
    f.setLatency(0);
}

void BM_PeerSequential(benchmark::State& state, bool cold)
{
    auto& f = fixture();
    const int latency = int(state.range(0));
    f.setLatency(0);
    if (cold)
        f.clearCache();
    f.loadAd(); // learn the URLs of such a load
    const auto urls = f.lastUrls;
    f.setLatency(latency);
    for (auto _ : state) {
        const double w0 = wallMs(), c0 = threadCpuMs();
        if (!fetchSequentially(urls))
            state.SkipWithError("a fetch failed");
        record(state, label("curl sequential", cold, latency), wallMs() - w0, threadCpuMs() - c0);
        state.counters["fetches"] = double(urls.size());
    }
    f.setLatency(0);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

BENCHMARK_CAPTURE(BM_Ad, cold, true)->Arg(0)->Arg(20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);
BENCHMARK_CAPTURE(BM_PeerSequential, cold, true)
    ->Arg(0)
    ->Arg(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
BENCHMARK_CAPTURE(BM_Ad, warm, false)->Arg(0)->Arg(20)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK_CAPTURE(BM_PeerSequential, warm, false)
    ->Arg(0)
    ->Arg(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(60);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    std::printf("\n%-30s %8s %12s %12s\n", "ad load", "samples", "median ms", "cpu ms/ad");
    std::map<std::string, std::pair<double, double>> medians;
    for (const auto& [name, list] : samples()) {
        std::vector<double> wall, cpu;
        for (const auto& s : list) {
            wall.push_back(s.wallMs);
            cpu.push_back(s.cpuMs);
        }
        medians[name] = {median(wall), median(cpu)};
        std::printf("%-30s %8zu %12.3f %12.3f\n", name.c_str(), list.size(), median(wall), median(cpu));
    }
    for (bool cold : {true, false})
        for (int latency : {0, 20}) {
            auto ours = medians[label("adnet", cold, latency)];
            auto peer = medians[label("curl sequential", cold, latency)];
            if (peer.first > 0 && peer.second > 0)
                std::printf("%s +%dms: wall ours/peer %.2f, cpu ours/peer %.2f\n", cold ? "cold" : "warm", latency,
                            ours.first / peer.first, ours.second / peer.second);
        }
    return 0;
}
