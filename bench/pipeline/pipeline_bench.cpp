// Speed of the frame pipeline on the demo scene:
// - one variant rendered on one frame (picture to planes, ComputeEffectLayers,
//   RenderVariant, planes to picture), for every variant;
// - all 17 snapshots of that frame (shared stages computed once) and, for
//   comparison, 17 separate runs; the target is that the snapshots cost no
//   more than 4 single renders;
// - converting a whole animation on 1 and 2 threads, in frames per second;
//   the target is 1.7 times the 1-thread rate on 2 cores; and the cost of
//   each stage of a frame, of which the in-order share bounds that rate;
// - the window's redraw of a clip from a chosen start: the cards (open for
//   choosing) and a card's preview, from 0 s and from 45 s of the clip in
//   QF_BENCH_CLIP (default /tmp/vclips/pan-60s.mp4, made by
//   bench/video/make_clips.py); a late start costs about what an early one
//   does, as decoding begins at the key frame before it.

#include "demo_scene.h"
#include "engine/variants.h"
#include "imaging/gif/gif_reader.h"
#include "imaging/gif/gif_writer.h"
#include "pipeline/convert.h"
#include "pipeline/pencil_texture.h"
#include "pipeline/preview.h"
#include "pipeline/snapshots.h"

#include <benchmark/benchmark.h>
#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

namespace {

qf::Picture SceneFrame(int width, int height)
{
    const std::vector<std::uint8_t> rgb = qf::demo::DrawScene(width, height, 5, 32);
    qf::imaging::RgbaImage rgba;
    rgba.width = width;
    rgba.height = height;
    rgba.pixels.reserve(rgb.size() / 3 * 4);
    for (std::size_t i = 0; i < rgb.size(); i += 3)
        rgba.pixels.insert(rgba.pixels.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    return qf::ReadFrame(rgba);
}

// Every benchmark reuses one engine state and one output picture, as the
// conversion workers do, so that only the rendering is timed.
void BM_OneVariant(benchmark::State& state)
{
    const qf::Picture frame = SceneFrame(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    const int variant = static_cast<int>(state.range(0));
    qf::EngineState engine;
    qf::UseDefaultPencilTexture(engine);
    qf::Picture rendered;
    for (auto _ : state) {
        qf::RenderFrame(engine, frame, variant, 0, qf::Switches{}, rendered);
        benchmark::DoNotOptimize(rendered.data());
    }
}

void BM_AllSnapshots(benchmark::State& state)
{
    const qf::Picture frame = SceneFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    qf::EngineState engine;
    qf::UseDefaultPencilTexture(engine);
    for (auto _ : state)
        qf::BuildSnapshots(engine, frame, qf::Switches{}, [](int, const qf::Picture& snapshot) {
            benchmark::DoNotOptimize(snapshot.data());
        });
}

// The snapshots as a window builds them once per opened GIF: a new engine
// state whose buffers are all fresh memory.
void BM_AllSnapshotsFreshState(benchmark::State& state)
{
    const qf::Picture frame = SceneFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        qf::BuildSnapshots(frame, qf::Switches{}, [](int, const qf::Picture& snapshot) {
            benchmark::DoNotOptimize(snapshot.data());
        });
}

void BM_SeventeenSeparateRuns(benchmark::State& state)
{
    const qf::Picture frame = SceneFrame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    qf::EngineState engine;
    qf::UseDefaultPencilTexture(engine);
    qf::Picture rendered;
    for (auto _ : state)
        for (int v = 0; v < qf::kVariantCount; ++v) {
            qf::RenderFrame(engine, frame, v, 0, qf::Switches{}, rendered);
            benchmark::DoNotOptimize(rendered.data());
        }
}

// The animation every conversion benchmark reads, written once.
constexpr int kAnimationFrames = 24;
constexpr int kAnimationWidth = 480;
constexpr int kAnimationHeight = 360;

const std::string& AnimationPath()
{
    static const std::string path = [] {
        const std::string file =
            (std::filesystem::temp_directory_path() / "quillframe-bench-input.gif").string();
        qf::imaging::GifAnimationWriter writer;
        qf::imaging::Error error;
        bool ok = writer.open(file, kAnimationWidth, kAnimationHeight, 0, &error);
        for (int i = 0; ok && i < kAnimationFrames; ++i) {
            const auto rgb = qf::demo::DrawScene(kAnimationWidth, kAnimationHeight, i, kAnimationFrames);
            ok = writer.addFrame({rgb.data(), kAnimationWidth, kAnimationHeight, kAnimationWidth * 3,
                                  qf::imaging::PixelLayout::Rgb},
                                 8, &error);
        }
        if (!ok || !writer.finish(&error)) {
            std::cerr << "cannot write the benchmark animation: " << error.message() << "\n";
            std::exit(1);
        }
        return file;
    }();
    return path;
}

void BM_Convert(benchmark::State& state)
{
    const std::string output =
        (std::filesystem::temp_directory_path() / "quillframe-bench-output.gif").string();
    qf::ConvertOptions options;
    options.variant = static_cast<int>(state.range(0));
    options.threads = static_cast<int>(state.range(1));
    for (auto _ : state) {
        qf::imaging::Error error;
        if (!qf::ConvertAllFrames(AnimationPath(), output, options, &error)) {
            state.SkipWithError(error.message().c_str());
            break;
        }
    }
    state.counters["frames/s"] =
        benchmark::Counter(kAnimationFrames, benchmark::Counter::kIsIterationInvariantRate);
}

// What one frame of a conversion costs, stage by stage, on one thread:
// rendering, the work that depends on the frame and its neighbours only
// (packing, colour counting, reduction, compression), and the in-order stage
// (the global colour table's bookkeeping, what a decoder shows, appending
// finished bytes, plus writing the file at the end). The target is an in-order share of at most
// 10%: only that share cannot spread over the workers.
void BM_StageCosts(benchmark::State& state)
{
    using Clock = std::chrono::steady_clock;
    const int variant = static_cast<int>(state.range(0));
    qf::imaging::GifReader reader;
    qf::imaging::Error error;
    if (!reader.open(AnimationPath(), &error)) {
        state.SkipWithError(error.message().c_str());
        return;
    }
    qf::EngineState engine;
    qf::UseDefaultPencilTexture(engine);
    std::vector<qf::Picture> rendered;
    qf::imaging::RgbaImage frame;
    const auto renderStart = Clock::now();
    for (int number = 1; reader.readNext(frame, &error); ++number)
        qf::RenderFrame(engine, qf::ReadFrame(frame), variant, number, qf::Switches{},
                        rendered.emplace_back());
    const double render = std::chrono::duration<double>(Clock::now() - renderStart).count();

    const std::string output =
        (std::filesystem::temp_directory_path() / "quillframe-bench-output.gif").string();
    double inOrder = 0;
    double parallel = 0;
    for (auto _ : state) {
        qf::imaging::GifAnimationWriter writer;
        bool ok = writer.open(output, kAnimationWidth, kAnimationHeight, 0, &error);
        const std::unique_ptr<qf::imaging::OutputFrame> out = writer.newFrame();
        for (const qf::Picture& picture : rendered) {
            auto start = Clock::now();
            writer.take(*out, {picture.data(), picture.width(), picture.height(), picture.bytesPerLine(),
                               qf::imaging::PixelLayout::Bgrx});
            auto linked = Clock::now();
            parallel += std::chrono::duration<double>(linked - start).count();
            ok = ok && writer.link(*out, 8, &error);
            start = Clock::now();
            inOrder += std::chrono::duration<double>(start - linked).count();
            if (!ok)
                continue;
            ok = writer.prepare(*out, &error);
            const auto preparedAt = Clock::now();
            writer.show(*out);
            const auto shownAt = Clock::now();
            ok = ok && writer.compress(*out, &error);
            const auto encodedAt = Clock::now();
            parallel += std::chrono::duration<double>(preparedAt - start).count()
                        + std::chrono::duration<double>(encodedAt - shownAt).count();
            inOrder += std::chrono::duration<double>(shownAt - preparedAt).count();
            int completed = 0;
            ok = ok && writer.append(*out, &completed, &error);
            inOrder += std::chrono::duration<double>(Clock::now() - encodedAt).count();
        }
        // finish() encodes the last frame and writes the file: the encoding
        // is counted as in-order work here, an upper bound.
        const auto finishStart = Clock::now();
        if (!ok || !writer.finish(&error)) {
            state.SkipWithError(error.message().c_str());
            break;
        }
        inOrder += std::chrono::duration<double>(Clock::now() - finishStart).count();
    }
    const double iterations = static_cast<double>(state.iterations());
    const double frames = static_cast<double>(rendered.size());
    state.counters["render ms/frame"] = render / frames * 1e3;
    state.counters["encode ms/frame"] = parallel / iterations / frames * 1e3;
    state.counters["in-order ms/frame"] = inOrder / iterations / frames * 1e3;
    state.counters["in-order %"] =
        100.0 * inOrder / iterations / (render + (parallel + inOrder) / iterations);
}

// The rendering stage alone, on the same frames and the same number of
// threads (one engine state per thread): how the conversion would scale if
// the writer kept up.
void BM_RenderFramesOnly(benchmark::State& state)
{
    const int variant = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    std::vector<qf::Picture> sources;
    qf::imaging::GifReader reader;
    qf::imaging::Error error;
    if (!reader.open(AnimationPath(), &error)) {
        state.SkipWithError(error.message().c_str());
        return;
    }
    qf::imaging::RgbaImage frame;
    while (reader.readNext(frame, &error))
        sources.push_back(qf::ReadFrame(frame));
    tbb::task_arena arena(threads);
    tbb::enumerable_thread_specific<qf::EngineState> engines;
    tbb::enumerable_thread_specific<qf::Picture> outputs;
    for (auto _ : state) {
        arena.execute([&] {
            tbb::parallel_for(0, static_cast<int>(sources.size()), [&](int i) {
                qf::EngineState& engine = engines.local();
                if (engine.PencilTexture.empty())
                    qf::UseDefaultPencilTexture(engine);
                qf::RenderFrame(engine, sources[i], variant, i + 1, qf::Switches{}, outputs.local());
            });
        });
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(sources.size()),
                                                    benchmark::Counter::kIsIterationInvariantRate);
}

void VariantArgs(benchmark::internal::Benchmark* b)
{
    for (int v = 0; v < qf::kVariantCount; ++v)
        b->Args({v, 320, 240});
    b->Args({0, 640, 480});
    b->Args({16, 640, 480});
}

} // namespace

BENCHMARK(BM_OneVariant)->Apply(VariantArgs)->ArgNames({"variant", "w", "h"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllSnapshots)
    ->Args({320, 240})
    ->Args({640, 480})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AllSnapshotsFreshState)
    ->Args({320, 240})
    ->Args({640, 480})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SeventeenSeparateRuns)
    ->Args({320, 240})
    ->Args({640, 480})
    ->ArgNames({"w", "h"})
    ->Unit(benchmark::kMillisecond);
// On a shared machine run with --benchmark_repetitions=N: the "min" row, the
// fastest repetition, is the one least disturbed by other work.
double Fastest(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

BENCHMARK(BM_StageCosts)->Arg(0)->Arg(6)->ArgNames({"variant"})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFramesOnly)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({6, 1})
    ->Args({6, 2})
    ->ArgNames({"variant", "threads"})
    ->UseRealTime()
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert)
    ->Args({0, 1})
    ->Args({0, 2})
    ->Args({6, 1})
    ->Args({6, 2})
    ->ArgNames({"variant", "threads"})
    ->UseRealTime()
    ->ComputeStatistics("min", Fastest)
    ->Unit(benchmark::kMillisecond);

void BM_ClipRedrawFrom(benchmark::State& state)
{
    const char* clip = std::getenv("QF_BENCH_CLIP");
    const std::string path = clip ? clip : "/tmp/vclips/pan-60s.mp4";
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no clip; set QF_BENCH_CLIP");
        return;
    }
    qf::ChoosingOptions choosing;
    choosing.timeline.start = static_cast<double>(state.range(0));
    qf::PreviewOptions preview;
    preview.variant = 6;
    preview.timeline = choosing.timeline;
    for (auto _ : state) {
        qf::OpenedForChoosing opened;
        qf::imaging::Error error;
        if (!qf::OpenForChoosing(
                path, choosing, [](int, const qf::Picture&) {}, &opened, &error)
            || !qf::RenderPreview(
                path, preview, [](int, const qf::Picture&, const qf::Picture&, int) {}, &error)) {
            state.SkipWithError(error.message().c_str());
            return;
        }
    }
}
BENCHMARK(BM_ClipRedrawFrom)
    ->Arg(0)
    ->Arg(45)
    ->ArgNames({"start"})
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
