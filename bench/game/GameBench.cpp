// game_bench: what the game costs while it runs.
//  - the accelerometer callback, 25 times a second for the application's whole life:
//    median ns per sample and heap allocations per sample (must be 0), against a bare
//    loop doing only the running average and the magnitude (the least any version can do);
//  - one full-window frame of the game screen at 1x and at 2x (median ms, and the heap
//    allocations a frame makes).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <new>
#include <string>

#include "app/GameClasses.h"
#include "app/MainView.h"
#include "app/brimseyAppDelegate.h"
#include "platform/core/Bundle.h"
#include "platform/core/RunLoop.h"
#include "platform/device/Accelerometer.h"
#include "platform/gfx/Image.h"
#include "platform/ui/Application.h"
#include "platform/ui/Compositor.h"
#include "platform/ui/Window.h"

#include "AllocationCounter.h"
#include "BenchSummary.h"
#include "MedianReporter.h"

namespace {

struct Game {
    std::shared_ptr<platform::RunLoop> loop;
    std::shared_ptr<brimsey::MainView> view;
    std::shared_ptr<platform::Window> window;
    double scale{0};
};

// The real application, launched from its interface description on a virtual clock, with
// the pictures of a screen of the given scale (1x or @2x files).
Game& game(double scale = 1.0)
{
    static Game g;
    if (g.scale == scale)
        return g;
    ::setenv("ALSOFT_DRIVERS", "null", 0);
    auto& app = platform::Application::shared();
    app.reset();
    platform::Accelerometer::shared().reset();
    g = Game{};
    g.scale = scale;
    g.loop = platform::RunLoop::createVirtual();
    platform::RunLoop::setMain(g.loop);
    platform::Screen::main().setScale(scale);
    platform::Bundle::main().setResourceDirectory(BRIMSEY_SOURCE_DIR "/resources");
    brimsey::registerGameClasses();
    std::string error;
    if (!app.launch(BRIMSEY_SOURCE_DIR "/resources/MainWindow.json", &error)) {
        std::fprintf(stderr, "game_bench: cannot launch: %s\n", error.c_str());
        std::exit(1);
    }
    g.view = std::dynamic_pointer_cast<brimsey::MainView>(app.objectNamed("gameView"));
    auto delegate = std::dynamic_pointer_cast<brimsey::brimseyAppDelegate>(app.delegate());
    g.window = delegate->window();
    // The benchmark feeds the samples itself.
    platform::Accelerometer::shared().setDelegate({});
    g.loop->runFor(1.5); // the start button's fade-in is over
    return g;
}

// A game in progress: the meter is back at the bottom and the start was 0.5 s ago.
void startGame(Game& g)
{
    if (!g.view->isRunning())
        g.view->clickstart();
    g.loop->runFor(0.5);
}

// Samples like a hand shaking hard (every one moves the meter) or a device lying still.
void sampleLoop(benchmark::State& state, bool shaking, bool running)
{
    auto& g = game();
    if (running)
        startGame(g);
    auto& accelerometer = platform::Accelerometer::shared();
    auto meter = g.view->meter();
    platform::Acceleration sample{0, 0, -1, g.loop->now()};
    std::uint64_t samples = 0;
    std::uint64_t before = alloccount::allocations();
    for (auto _ : state) {
        if (shaking) {
            sample.x = (samples & 1) ? 3.0 : -3.0;
            // Keep the meter where it moves: back to the bottom before it reaches the top.
            if ((samples & 127) == 0)
                meter->setCenter({meter->center().x, 720.0f});
        }
        g.view->accelerometerDidAccelerate(accelerometer, sample);
        ++samples;
    }
    std::uint64_t allocations = alloccount::allocations() - before;
    state.counters["allocs/sample"] =
        benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(samples));
}

void BM_AccelerometerIdle(benchmark::State& state)
{
    sampleLoop(state, false, false);
}
void BM_AccelerometerStill(benchmark::State& state)
{
    sampleLoop(state, false, true);
}
void BM_AccelerometerShaking(benchmark::State& state)
{
    sampleLoop(state, true, true);
}

// The floor: only the averages and the magnitude, on the same samples.
void BM_BareAverageAndMagnitude(benchmark::State& state)
{
    double m[3] = {0, 0, 0};
    std::uint64_t samples = 0;
    for (auto _ : state) {
        double a = (samples & 1) ? 3.0 : -3.0, b = 0, c = -1;
        m[0] = a * 0.1 + m[0] * 0.9;
        m[1] = b * 0.1 + m[1] * 0.9;
        m[2] = c * 0.1 + m[2] * 0.9;
        double s = std::sqrt((a - m[0]) * (a - m[0]) + (b - m[1]) * (b - m[1]) + (c - m[2]) * (c - m[2]));
        benchmark::DoNotOptimize(s);
        ++samples;
    }
}

// The ready screen (background, tower, start button) drawn whole, as a display of that
// scale would draw it.
void frame(benchmark::State& state, double scale)
{
    auto& g = game(scale);
    platform::Compositor compositor(g.window);
    std::uint64_t frames = 0;
    alloccount::Span span;
    for (auto _ : state) {
        auto image = compositor.renderImage(scale);
        benchmark::DoNotOptimize(image.get());
        ++frames;
    }
    // Drawing allocates (the picture itself, cairo's contexts and surfaces): stated, not a
    // target, since a frame is drawn only when something changed.
    state.counters["allocs/frame"] = benchmark::Counter(double(span.count()) / double(frames));
}

void BM_Frame1x(benchmark::State& state)
{
    frame(state, 1.0);
}
void BM_Frame2x(benchmark::State& state)
{
    frame(state, 2.0);
}

} // namespace

BENCHMARK(BM_AccelerometerIdle);
BENCHMARK(BM_AccelerometerStill);
BENCHMARK(BM_AccelerometerShaking);
BENCHMARK(BM_BareAverageAndMagnitude);
BENCHMARK(BM_Frame1x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frame2x)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=7";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, aggregates.data());
    args.insert(args.begin() + 1, repetitions.data());
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto ns = [&](const char* name) { return reporter.nanoseconds(name); };
    std::printf("\nmedians:\n");
    for (const char* name :
         {"BM_AccelerometerIdle", "BM_AccelerometerStill", "BM_AccelerometerShaking", "BM_BareAverageAndMagnitude"})
        std::printf("  %-28s %12.1f ns\n", name, ns(name));
    for (const char* name : {"BM_Frame1x", "BM_Frame2x"})
        std::printf("  %-28s %12.3f ms\n", name, ns(name) / 1e6);

    using benchsummary::format;
    const double floor = ns("BM_BareAverageAndMagnitude");
    for (const char* name : {"BM_AccelerometerIdle", "BM_AccelerometerStill", "BM_AccelerometerShaking"}) {
        if (!reporter.has(name))
            continue;
        const std::string figure = std::string("game sample ") + (name + 16); // after "BM_Accelerometer"
        if (floor > 0)
            benchsummary::figure(figure + " / bare arithmetic", format("%.2fx", ns(name) / floor));
        const double allocations = reporter.counter(name, "allocs/sample");
        benchsummary::check(figure + " heap allocations per sample", format("%g", allocations), "0", allocations == 0);
    }
    for (const char* name : {"BM_Frame1x", "BM_Frame2x"}) {
        if (!reporter.has(name))
            continue;
        const std::string figure = std::string("game frame ") + (name + 8); // after "BM_Frame"
        benchsummary::figure(figure, format("%.2f ms", ns(name) / 1e6));
        benchsummary::figure(figure + " heap allocations", format("%.0f", reporter.counter(name, "allocs/frame")));
    }
    return benchsummary::exitStatus();
}
