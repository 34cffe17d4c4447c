// Frames per second of GIF decoding (with compositing) and encoding, on
// 480 x 360 x 100-frame animations of photographic-like and two-colour content.
#include "animations.h"

#include "imaging/gif/gif_reader.h"
#include "imaging/gif/gif_writer.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <unistd.h>

namespace qf::imaging::bench {
namespace {

std::string TempPath(const char* name)
{
    return (std::filesystem::temp_directory_path()
            / ("qf-imaging-bench-" + std::to_string(::getpid()) + "-" + name + ".gif"))
        .string();
}

const std::vector<RgbaImage>& Frames(Content content)
{
    static std::map<Content, std::vector<RgbaImage>> cache;
    auto& frames = cache[content];
    if (frames.empty()) {
        for (int i = 0; i < kFrames; ++i)
            frames.push_back(MakeFrame(content, i));
    }
    return frames;
}

void Encode(benchmark::State& state, Content content)
{
    const auto& frames = Frames(content);
    const std::string path = TempPath(NameOf(content));
    for (auto _ : state) {
        GifAnimationWriter writer;
        Error error;
        bool ok = writer.open(path, kWidth, kHeight, 0, &error);
        for (const RgbaImage& frame : frames)
            ok = ok && writer.addFrame(ImageView::of(frame), 4, &error);
        ok = ok && writer.finish(&error);
        if (!ok)
            state.SkipWithError(error.message().c_str());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
    std::filesystem::remove(path);
}

void Decode(benchmark::State& state, Content content)
{
    const std::string path = TempPath(NameOf(content));
    if (!WriteAnimation(content, path)) {
        state.SkipWithError("cannot write the animation");
        return;
    }
    for (auto _ : state) {
        GifReader reader;
        Error error;
        RgbaImage frame;
        int count = 0;
        if (!reader.open(path, &error))
            state.SkipWithError(error.message().c_str());
        while (reader.readNext(frame, &error))
            ++count;
        if (count != kFrames)
            state.SkipWithError("wrong frame count");
        benchmark::DoNotOptimize(frame.pixels.data());
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(kFrames), benchmark::Counter::kIsIterationInvariantRate);
    std::filesystem::remove(path);
}

void Frame1(benchmark::State& state, Content content)
{
    const std::string path = TempPath(NameOf(content));
    if (!WriteAnimation(content, path)) {
        state.SkipWithError("cannot write the animation");
        return;
    }
    for (auto _ : state) {
        GifReader reader;
        Error error;
        RgbaImage frame;
        if (!reader.open(path, &error) || !reader.readFrame(1, frame, &error))
            state.SkipWithError(error.message().c_str());
        benchmark::DoNotOptimize(frame.pixels.data());
    }
    std::filesystem::remove(path);
}

BENCHMARK_CAPTURE(Encode, photographic, Content::Photographic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Encode, two_colour, Content::TwoColour)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, photographic, Content::Photographic)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Decode, two_colour, Content::TwoColour)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Frame1, open_and_first_frame_photographic, Content::Photographic)
    ->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qf::imaging::bench

BENCHMARK_MAIN();
