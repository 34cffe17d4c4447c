// Replays recorded calls of the GIF LZW encoder and times them: the index
// rows, second choices and lossy search inputs the frame encoder handed it
// while converting a clip, so that a change to the encoder is measured on
// the inputs it really gets. Prints the processor time a pixel takes (best
// of the repeats: the machine may be shared, so not the wall time), the
// bytes written, and a digest of every code stream, which must not change
// when the encoder gets faster.
//
// Record layout (little-endian, one after another): minimum code size (i32),
// pixel count (u64), second choices present (u8), lossy search present (u8);
// the indexes (u8 each); the second choices (i16 each) if present; if lossy:
// palette size (i32), the palette (u32 each), transparent index (i32),
// tolerance (i32), the wanted colours (u32 each).
#include "imaging/gif/gif_lzw.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

struct Call {
    int minCodeSize = 0;
    std::vector<std::uint8_t> primary;
    std::vector<std::int16_t> alternative;
    bool lossy = false;
    std::vector<std::uint32_t> palette;
    int transparent = -1;
    int tolerance = 0;
    std::vector<std::uint32_t> wanted;
};

template <typename T>
bool Read(std::ifstream& in, T* value)
{
    return static_cast<bool>(in.read(reinterpret_cast<char*>(value), sizeof(T)));
}

template <typename T>
bool ReadArray(std::ifstream& in, std::vector<T>* values, std::size_t n)
{
    values->resize(n);
    return static_cast<bool>(
        in.read(reinterpret_cast<char*>(values->data()), static_cast<std::streamsize>(n * sizeof(T))));
}

std::optional<std::vector<Call>> Load(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<Call> calls;
    for (;;) {
        Call call;
        std::uint64_t count = 0;
        std::uint8_t hasAlternative = 0, hasLossy = 0;
        if (!Read(in, &call.minCodeSize))
            break;
        if (!Read(in, &count) || !Read(in, &hasAlternative) || !Read(in, &hasLossy)
            || !ReadArray(in, &call.primary, count))
            return std::nullopt;
        if (hasAlternative && !ReadArray(in, &call.alternative, count))
            return std::nullopt;
        if (hasLossy) {
            call.lossy = true;
            std::int32_t paletteSize = 0;
            if (!Read(in, &paletteSize)
                || !ReadArray(in, &call.palette, static_cast<std::size_t>(paletteSize))
                || !Read(in, &call.transparent) || !Read(in, &call.tolerance)
                || !ReadArray(in, &call.wanted, count))
                return std::nullopt;
        }
        calls.push_back(std::move(call));
    }
    return calls;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: lzw_replay RECORDED-CALLS [REPEATS]\n");
        return 2;
    }
    const std::optional<std::vector<Call>> calls = Load(argv[1]);
    if (!calls) {
        std::fprintf(stderr, "error: %s: cannot read the recorded calls\n", argv[1]);
        return 1;
    }
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 5;
    std::size_t pixels = 0, choices = 0, lossyPixels = 0;
    for (const Call& call : *calls) {
        pixels += call.primary.size();
        if (!call.alternative.empty())
            choices += call.primary.size();
        if (call.lossy)
            lossyPixels += call.primary.size();
    }
    double best = 1e300;
    std::uint64_t digest = 0;
    std::size_t bytes = 0;
    for (int r = 0; r < repeats; ++r) {
        std::uint64_t hash = 1469598103934665603ull;
        std::size_t written = 0;
        const std::clock_t start = std::clock();
        for (const Call& call : *calls) {
            qf::imaging::LossyRun run;
            if (call.lossy) {
                run.palette = call.palette.data();
                run.paletteSize = static_cast<int>(call.palette.size());
                run.transparent = call.transparent;
                run.wanted = call.wanted.data();
                run.tolerance = call.tolerance;
            }
            const std::vector<std::uint8_t> out =
                qf::imaging::LzwEncode(call.minCodeSize, call.primary.data(),
                                       call.alternative.empty() ? nullptr : call.alternative.data(),
                                       call.primary.size(), call.lossy ? &run : nullptr);
            written += out.size();
            for (const std::uint8_t byte : out)
                hash = (hash ^ byte) * 1099511628211ull;
        }
        const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        best = std::min(best, seconds);
        digest = hash;
        bytes = written;
    }
    std::printf("%zu calls, %zu pixels (%zu with second choices, %zu lossy)\n", calls->size(), pixels,
                choices, lossyPixels);
    std::printf("best of %d: %.3f s, %.2f ns a pixel; %zu bytes, digest %016llx\n", repeats, best,
                best * 1e9 / static_cast<double>(pixels), bytes, static_cast<unsigned long long>(digest));
    return 0;
}
