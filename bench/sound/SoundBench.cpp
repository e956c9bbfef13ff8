// sound_bench: what starting and loading effects costs, next to the bare OpenAL and
// libsndfile calls that do the same work (the peers), with ratios.
//   - SoundEngine_StartEffect on a loaded effect vs alSourceStop + alSourcePlay
//   - heap allocations per start (must be 0)
//   - loading the game's seven effects vs libsndfile + alBufferData by hand
// Runs on OpenAL Soft's null output unless ALSOFT_DRIVERS says otherwise.

#include "sound/SoundEngine.h"
#include "sound/SoundEngineInternal.h"

#include "AllocationCounter.h"
#include "BenchSummary.h"
#include "MedianReporter.h"

#include <AL/al.h>
#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// The game's seven effects, in length and rate like its own: a countdown, four voices, an
// end loop and a warning.
struct EffectFile {
    const char* name;
    double seconds;
    int rate;
};
constexpr EffectFile kGameEffects[] = {{"countdown", 3.0, 22050}, {"v1", 1.2, 22050}, {"v3", 1.4, 22050},
                                       {"v4", 1.3, 22050},        {"v5", 1.5, 22050}, {"endloop", 2.0, 22050},
                                       {"warning", 0.6, 22050}};

std::filesystem::path gDir;
std::vector<std::string> gPaths;

void writeEffects()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "sound-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    gDir = pattern;
    for (const EffectFile& effect : kGameEffects) {
        std::string path = (gDir / (std::string(effect.name) + ".wav")).string();
        SF_INFO info{};
        info.samplerate = effect.rate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
        auto frames = static_cast<size_t>(effect.seconds * effect.rate);
        std::vector<short> samples(frames);
        for (size_t i = 0; i < frames; ++i)
            samples[i] = static_cast<short>(12000 * std::sin(2 * M_PI * 440.0 * i / effect.rate));
        sf_write_short(file, samples.data(), static_cast<sf_count_t>(frames));
        sf_close(file);
        gPaths.push_back(path);
    }
}

SoundEngineEffectID loadFirstEffect()
{
    SoundEngine_Initialize(44100);
    SoundEngineEffectID id = 0;
    if (SoundEngine_LoadEffect(gPaths[0].c_str(), &id) != 0) {
        std::fprintf(stderr, "cannot load %s\n", gPaths[0].c_str());
        std::exit(1);
    }
    return id;
}

void BM_SoundEngine_StartEffect(benchmark::State& state)
{
    SoundEngineEffectID id = loadFirstEffect();
    for (auto _ : state)
        benchmark::DoNotOptimize(SoundEngine_StartEffect(id));
    SoundEngineShutDown();
}

// The peer: the two OpenAL calls a start amounts to, with their error checks.
void BM_Peer_OpenALStopPlay(benchmark::State& state)
{
    SoundEngineEffectID id = loadFirstEffect(); // its source, buffer attached
    for (auto _ : state) {
        alSourceStop(id);
        benchmark::DoNotOptimize(alGetError());
        alSourcePlay(id);
        benchmark::DoNotOptimize(alGetError());
    }
    SoundEngineShutDown();
}

void BM_SoundEngine_LoadSevenEffects(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        SoundEngine_Initialize(44100);
        state.ResumeTiming();
        for (const std::string& path : gPaths) {
            SoundEngineEffectID id = 0;
            benchmark::DoNotOptimize(SoundEngine_LoadEffect(path.c_str(), &id));
        }
    }
    SoundEngineShutDown();
}

// The peer: read each file whole with libsndfile into a scratch block and hand it to a new
// OpenAL buffer. Like the engine it starts each round on a freshly made context (a new
// context changes what the heap holds, and so what the first touches of memory cost), and
// it ends with the same samples in one buffer per file. It does less than the engine: no
// source, no error checks, no cleared memory.
void BM_Peer_LibsndfileAlBufferData(benchmark::State& state)
{
    std::vector<ALuint> buffers;
    for (auto _ : state) {
        state.PauseTiming();
        SoundEngine_Initialize(44100);
        state.ResumeTiming();
        for (const std::string& path : gPaths) {
            SF_INFO info{};
            SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
            const auto bytes = static_cast<size_t>(info.frames * info.channels) * sizeof(short);
            std::unique_ptr<short[]> samples{new short[bytes / sizeof(short)]};
            sf_read_raw(file, samples.get(), static_cast<sf_count_t>(bytes));
            sf_close(file);
            ALuint buffer = 0;
            alGenBuffers(1, &buffer);
            alBufferData(buffer, AL_FORMAT_MONO16, samples.get(), static_cast<ALsizei>(bytes), info.samplerate);
            buffers.push_back(buffer);
        }
        state.PauseTiming();
        alDeleteBuffers(static_cast<ALsizei>(buffers.size()), buffers.data());
        buffers.clear();
        state.ResumeTiming();
    }
    SoundEngineShutDown();
}

constexpr int kRepetitions = 9;
// Loading an effect may cost at most this much more than the bare calls that do its work.
constexpr double kLoadRatioTarget = 1.2;
BENCHMARK(BM_SoundEngine_StartEffect)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
BENCHMARK(BM_Peer_OpenALStopPlay)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
// Each round of loading starts on a new context, and closing the old device waits for its
// mixer thread (tens of milliseconds, untimed): a fixed count keeps the run to seconds
// where a timed minimum would make it minutes.
constexpr int kLoadRounds = 40;
BENCHMARK(BM_SoundEngine_LoadSevenEffects)
    ->Repetitions(kRepetitions)
    ->Iterations(kLoadRounds)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Peer_LibsndfileAlBufferData)
    ->Repetitions(kRepetitions)
    ->Iterations(kLoadRounds)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

// Heap allocations made by 10000 starts on every thread, after a warm-up: OpenAL Soft
// grows its pool of source-update records during the first few starts and reuses it from
// then on, which is not a cost per start.
long allocationsInStarts(bool engine)
{
    SoundEngineEffectID id = loadFirstEffect();
    auto startOnce = [&] {
        if (engine) {
            SoundEngine_StartEffect(id);
        } else {
            alSourceStop(id);
            alGetError();
            alSourcePlay(id);
            alGetError();
        }
    };
    for (int i = 0; i < 1000; ++i)
        startOnce();
    alloccount::Span span;
    for (int i = 0; i < 10000; ++i)
        startOnce();
    auto allocations = static_cast<long>(span.count());
    SoundEngineShutDown();
    return allocations;
}

} // namespace

int main(int argc, char** argv)
{
    setenv("ALSOFT_DRIVERS", "null", 0);
    writeEffects();
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    long allocations = allocationsInStarts(true);
    long peerAllocations = allocationsInStarts(false);
    double start = reporter.nanoseconds("BM_SoundEngine_StartEffect");
    double startPeer = reporter.nanoseconds("BM_Peer_OpenALStopPlay");
    double load = reporter.nanoseconds("BM_SoundEngine_LoadSevenEffects");
    double loadPeer = reporter.nanoseconds("BM_Peer_LibsndfileAlBufferData");
    std::printf("\nSoundEngine_StartEffect median %.0f ns; alSourceStop+alSourcePlay %.0f ns; ratio %.2f\n", start,
                startPeer, startPeer > 0 ? start / startPeer : 0.0);
    std::printf("heap allocations per start: %.4f (%ld in 10000 starts); peer %ld in 10000\n", allocations / 10000.0,
                allocations, peerAllocations);
    std::printf("loading the seven game effects median %.1f us; libsndfile+alBufferData %.1f us; ratio %.2f\n",
                load / 1000, loadPeer / 1000, loadPeer > 0 ? load / loadPeer : 0.0);

    using benchsummary::format;
    if (start > 0 && startPeer > 0)
        benchsummary::figure("sound effect start ours/bare OpenAL", format("%.2fx", start / startPeer));
    benchsummary::check("sound heap allocations per effect start (all threads)", format("%.4f", allocations / 10000.0),
                        "0", allocations == 0);
    if (load > 0 && loadPeer > 0)
        benchsummary::check("sound loading 7 effects ours/libsndfile+alBufferData", format("%.2fx", load / loadPeer),
                            "<= 1.2x", load / loadPeer <= kLoadRatioTarget);
    else
        benchsummary::skipped("sound loading 7 effects ours/libsndfile+alBufferData", "no load benchmark ran");

    std::error_code ignored;
    std::filesystem::remove_all(gDir, ignored);
    benchmark::Shutdown();
    return benchsummary::exitStatus();
}
