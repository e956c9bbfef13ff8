// Parses each corpus with our reader (values fully built) and with three peers in the same
// run, then prints the median MB/s of each, the ratios ours/peer per corpus, and the peak
// memory our reader allocates beyond the input, counted with a replaced operator new.
//
// Corpus folder: $BRIMSEY_JSON_CORPUS, else shared/bench-data/json beside the repository.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>
#include <rapidjson/document.h>
#include <simdjson.h>

#include "json/JSONDeserializer.h"

#include "AllocationCounter.h"

// ---- corpora -------------------------------------------------------------------------

namespace {

const char* const kCorpora[] = {"twitter.json", "citm_catalog.json", "canada.json"};

std::map<std::string, std::string>& corpora()
{
    static std::map<std::string, std::string> texts;
    return texts;
}

bool loadCorpora()
{
    // The shared folder stands beside the repository (or beside its worktree folder).
    std::string folder;
    if (const char* dir = std::getenv("BRIMSEY_JSON_CORPUS")) {
        folder = dir;
    } else {
        for (const char* up : {"/../shared", "/../../shared"}) {
            folder = std::string(BRIMSEY_SOURCE_DIR) + up + "/bench-data/json";
            if (std::ifstream(folder + "/" + kCorpora[0]))
                break;
        }
    }
    for (const char* name : kCorpora) {
        std::ifstream in(folder + "/" + name, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "json_bench: cannot read %s/%s\n", folder.c_str(), name);
            return false;
        }
        std::ostringstream text;
        text << in.rdbuf();
        corpora()[name] = text.str();
    }
    return true;
}

// ---- the parsers ---------------------------------------------------------------------

void ours(benchmark::State& state, const std::string& text)
{
    const auto reader = json::JSONDeserializer::deserializer();
    for (auto _ : state) {
        json::Value v = reader.deserialize(text);
        if (!v)
            state.SkipWithError("our reader failed");
        benchmark::DoNotOptimize(v);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void rapid(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        rapidjson::Document d;
        d.Parse(text.data(), text.size());
        if (d.HasParseError())
            state.SkipWithError("RapidJSON failed");
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void nlohmannParse(benchmark::State& state, const std::string& text)
{
    for (auto _ : state) {
        auto d = nlohmann::json::parse(text, nullptr, false);
        if (d.is_discarded())
            state.SkipWithError("nlohmann::json failed");
        benchmark::DoNotOptimize(d);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

void simd(benchmark::State& state, const std::string& text)
{
    simdjson::dom::parser parser;
    simdjson::padded_string padded(text);
    for (auto _ : state) {
        simdjson::dom::element e;
        if (parser.parse(padded).get(e) != simdjson::SUCCESS)
            state.SkipWithError("simdjson failed");
        benchmark::DoNotOptimize(e);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(text.size()));
}

const char* const kPeers[] = {"rapidjson", "nlohmann", "simdjson"};

// Collects the median bytes per second of each run, keyed "parser/corpus".
class Collector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Aggregate || run.aggregate_name != "median")
                continue;
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                medians[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> medians;
};

// Peak bytes allocated while our reader parses text and the result is alive.
std::size_t peakExtraMemory(const std::string& text)
{
    const std::size_t base = alloccount::liveBytes();
    alloccount::resetPeak();
    {
        json::Value v = json::JSONDeserializer::deserializer().deserialize(text);
        benchmark::DoNotOptimize(v);
    }
    return alloccount::peakBytes() - base;
}

} // namespace

int main(int argc, char** argv)
{
    if (!loadCorpora())
        return 2;
    for (const char* name : kCorpora) {
        const std::string& text = corpora()[name];
        auto reg = [&](const char* parser, void (*fn)(benchmark::State&, const std::string&)) {
            benchmark::RegisterBenchmark((std::string(parser) + "/" + name).c_str(), fn, text)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(5)
                ->ReportAggregatesOnly(true);
        };
        reg("ours", ours);
        reg("rapidjson", rapid);
        reg("nlohmann", nlohmannParse);
        reg("simdjson", simd);
    }
    benchmark::Initialize(&argc, argv);
    Collector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);

    std::printf("\nMedian MB/s (1 MB = 10^6 bytes) and ratio ours/peer\n");
    std::printf("%-18s %9s %9s %9s %9s   %8s %8s %8s   %s\n", "corpus", "ours", "rapidjson", "nlohmann", "simdjson",
                "/rapid", "/nlohm", "/simd", "peak extra memory");
    bool met = true;
    for (const char* name : kCorpora) {
        auto mbps = [&](const char* parser) {
            auto it = collector.medians.find(std::string(parser) + "/" + name);
            return it == collector.medians.end() ? 0.0 : it->second / 1e6;
        };
        const double o = mbps("ours");
        double peer[3];
        for (int i = 0; i < 3; ++i)
            peer[i] = mbps(kPeers[i]);
        auto ratio = [&](double p) { return p > 0 ? o / p : 0.0; };
        const std::size_t size = corpora()[name].size();
        const double memory = double(peakExtraMemory(corpora()[name])) / double(size);
        std::printf("%-18s %9.1f %9.1f %9.1f %9.1f   %8.2f %8.2f %8.2f   %.2fx input\n", name, o, peer[0], peer[1],
                    peer[2], ratio(peer[0]), ratio(peer[1]), ratio(peer[2]), memory);
        if (o > 0 && (ratio(peer[0]) < 0.5 || ratio(peer[1]) < 2.0 || memory > 4.0))
            met = false;
    }
    std::printf("targets (>= 0.5x RapidJSON, >= 2x nlohmann::json, peak <= 4x input): %s\n", met ? "met" : "NOT met");
    return 0;
}
