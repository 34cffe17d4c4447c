// Speed of the effect engine: ComputeEffectLayers + RenderVariant for each
// variant, and the shared 17-variant snapshot run, on a photograph-like
// synthetic frame. The per_pixel counter is the CPU time per frame pixel
// (per frame pixel and variant for the snapshot run), e.g. 30.1n = 30.1 ns.
//
//   build/bench/engine/bench_engine --benchmark_filter=variant:4/
//       --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include "engine/engine.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

std::uint32_t Hash(std::uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

// Smooth sky and ground gradients, a few soft-edged objects of saturated and
// dark colours, and a little sensor noise: edges where a photograph has
// them, flat runs elsewhere.
qf::ColourPlane PhotoLikeFrame(int width, int height)
{
    qf::ColourPlane frame(4, width, height);
    struct Blob {
        double cx, cy, r;
        int b, g, r8;
    };
    const Blob blobs[] = {
        {0.30, 0.55, 0.16, 40, 60, 200}, {0.70, 0.40, 0.20, 30, 170, 60}, {0.55, 0.75, 0.10, 230, 210, 40},
        {0.15, 0.20, 0.12, 25, 25, 30},  {0.85, 0.80, 0.09, 0, 220, 240}, {0.45, 0.25, 0.07, 200, 120, 160},
    };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const double u = static_cast<double>(x) / width;
            const double v = static_cast<double>(y) / height;
            double b;
            double g;
            double r;
            if (v > 0.45 + 0.05 * std::sin(u * 9.0)) { // sky, brighter toward the top
                b = 170 + 70 * v;
                g = 130 + 60 * v;
                r = 90 + 50 * v;
            } else { // ground
                b = 40 + 30 * u;
                g = 90 + 50 * v + 20 * std::sin(u * 40.0);
                r = 70 + 40 * u;
            }
            for (const Blob& blob : blobs) {
                const double d = std::hypot(u - blob.cx, (v - blob.cy) * height / width) / blob.r;
                if (d < 1.0) {
                    const double t = d < 0.8 ? 1.0 : (1.0 - d) / 0.2;
                    const double shade = 0.75 + 0.25 * std::cos(d * 2.5);
                    b = b * (1 - t) + blob.b * shade * t;
                    g = g * (1 - t) + blob.g * shade * t;
                    r = r * (1 - t) + blob.r8 * shade * t;
                }
            }
            const int noise = static_cast<int>(Hash(static_cast<std::uint32_t>(y * width + x)) % 9) - 4;
            auto put = [&](int c, double value) {
                const int n = static_cast<int>(value) + noise;
                frame(c, x, y) = static_cast<std::uint8_t>(n < 0 ? 0 : (n > 255 ? 255 : n));
            };
            put(0, b);
            put(1, g);
            put(2, r);
            frame(3, x, y) = 255;
        }
    }
    return frame;
}

qf::ColourPlane GrainTexture()
{
    qf::ColourPlane texture(4, 104, 120);
    for (int y = 0; y < 120; ++y) {
        for (int x = 0; x < 104; ++x) {
            const auto g =
                static_cast<std::uint8_t>(60 + Hash(static_cast<std::uint32_t>(y * 104 + x) + 77u) % 97);
            texture(0, x, y) = texture(1, x, y) = texture(2, x, y) = g;
            texture(3, x, y) = 255;
        }
    }
    return texture;
}

// Seconds per pixel, shown with its SI prefix: "30.1n" is 30.1 ns a pixel.
void SetCounters(benchmark::State& state, double pixelsPerIteration)
{
    state.counters["per_pixel"] = benchmark::Counter(
        pixelsPerIteration, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Variant(benchmark::State& state)
{
    const int variant = static_cast<int>(state.range(0));
    const int width = static_cast<int>(state.range(1));
    const int height = static_cast<int>(state.range(2));
    const qf::ColourPlane frame = PhotoLikeFrame(width, height);
    qf::EngineState engine;
    engine.SetPencilTexture(GrainTexture());
    const qf::Switches switches; // the start-up switches
    // One run first, as a converter's state has done before its second
    // frame: the buffers exist and only the steady state is measured.
    engine.SourcePlanes = frame;
    engine.ComputeEffectLayers(variant, 1, switches);
    engine.RenderVariant(variant, switches);
    for (auto _ : state) {
        state.PauseTiming();
        engine.SourcePlanes = frame;
        state.ResumeTiming();
        engine.ComputeEffectLayers(variant, 1, switches);
        engine.RenderVariant(variant, switches);
        benchmark::DoNotOptimize(engine.SourcePlanes.data());
    }
    SetCounters(state, static_cast<double>(width) * height);
}

void BM_AllSnapshots(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0));
    const int height = static_cast<int>(state.range(1));
    const qf::ColourPlane frame = PhotoLikeFrame(width, height);
    qf::EngineState engine;
    engine.SetPencilTexture(GrainTexture());
    const qf::Switches switches;
    engine.SourcePlanes = frame;
    engine.RenderAllSnapshots(switches, {});
    for (auto _ : state) {
        state.PauseTiming();
        engine.SourcePlanes = frame;
        state.ResumeTiming();
        engine.RenderAllSnapshots(switches, [](int, const qf::ColourPlane& rendered) {
            benchmark::DoNotOptimize(rendered.data());
        });
    }
    SetCounters(state, static_cast<double>(width) * height * 17);
}

void VariantArgs(benchmark::internal::Benchmark* b)
{
    for (const auto& [w, h] : {std::pair{480, 360}, std::pair{1280, 720}}) {
        for (int v = 0; v < 17; ++v) {
            b->Args({v, w, h});
        }
    }
}

// With --benchmark_repetitions=N the fastest repetition is reported too: on
// a shared machine it is the figure least disturbed by other work.
double Fastest(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

} // namespace

BENCHMARK(BM_Variant)
    ->Apply(VariantArgs)
    ->ArgNames({"variant", "w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest);
BENCHMARK(BM_AllSnapshots)
    ->Args({480, 360})
    ->Args({1280, 720})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", Fastest);

BENCHMARK_MAIN();
