#include "imaging/colour/quantise.h"

#include "imaging/colour/palette_map.h"
#include "imaging/vector_clones.h"

#include <libimagequant.h>
#include <omp.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace qf::imaging {

namespace {

struct AttrFree {
    void operator()(liq_attr* p) const { liq_attr_destroy(p); }
};
struct ResultFree {
    void operator()(liq_result* p) const { liq_result_destroy(p); }
};
struct HistogramFree {
    void operator()(liq_histogram* p) const { liq_histogram_destroy(p); }
};
using AttrPtr = std::unique_ptr<liq_attr, AttrFree>;
using ResultPtr = std::unique_ptr<liq_result, ResultFree>;

// Chosen by measuring the decoded animations against the exact frames: speed
// 1 is the slowest and best, 10 the fastest. 7 is the fastest before the
// quantiser posterises its input (8 loses 5 dB); against 4 it costs 0.2% of
// PSNR and 0.1% of bytes and saves a fifth of a conversion's time. The
// quantiser only chooses the colours: pixels are mapped to them by
// MapToPalette, in a third of the time its own remapping took.
constexpr int kSpeed = 7;

// Pixels counted when colours are chosen for a larger picture.
constexpr std::size_t kHistogramSample = 65536;

// libimagequant sizes the table of a histogram's colours for the square of
// the colours handed to it and asks for all of it at once: for a frame of
// thousands of colours a block of a hundred megabytes and more, of which it
// touches the first few hundred kilobytes. The C library hands such a block
// out as fresh pages, each of which costs a fault when first touched, and
// gives it back to the system when freed. So the quantiser's blocks carry
// their size, and the largest one a thread frees is kept for its next
// request that fits: its pages are touched already.
constexpr std::size_t kKeptFrom = std::size_t{1} << 20;
// Ahead of each block, its size; 16 bytes keep the block aligned as malloc's.
constexpr std::size_t kBlockHeader = 16;

struct KeptBlock {
    void* start = nullptr; // as malloc gave it, header first
    std::size_t size = 0;  // bytes after the header
    ~KeptBlock() { std::free(start); }
};

KeptBlock& ThreadKeptBlock()
{
    thread_local KeptBlock kept;
    return kept;
}

void* QuantiserMalloc(std::size_t size)
{
    KeptBlock& kept = ThreadKeptBlock();
    void* start = nullptr;
    if (size >= kKeptFrom && kept.start && size <= kept.size) {
        start = kept.start;
        size = kept.size;
        kept.start = nullptr;
        kept.size = 0;
    } else {
        if (size > SIZE_MAX - kBlockHeader)
            return nullptr;
        start = std::malloc(kBlockHeader + size);
        if (!start)
            return nullptr;
    }
    *static_cast<std::size_t*>(start) = size;
    return static_cast<char*>(start) + kBlockHeader;
}

void QuantiserFree(void* block)
{
    if (!block)
        return;
    void* start = static_cast<char*>(block) - kBlockHeader;
    const std::size_t size = *static_cast<std::size_t*>(start);
    KeptBlock& kept = ThreadKeptBlock();
    if (size < kKeptFrom || size <= kept.size) {
        std::free(start);
        return;
    }
    std::free(kept.start);
    kept.start = start;
    kept.size = size;
}

bool Failed(std::string* reason, const char* what)
{
    *reason = what;
    return false;
}

AttrPtr MakeAttr(int colours, const GifLevels& levels)
{
    // Frames are reduced on the caller's threads, one each: libimagequant's
    // own OpenMP threads would only compete with them, and idle ones spin.
    // (Set before the speed, which looks at the thread count.)
    omp_set_num_threads(1);
    AttrPtr attr(liq_attr_create_with_allocator(QuantiserMalloc, QuantiserFree));
    if (!attr)
        return nullptr;
    liq_set_max_colors(attr.get(), colours);
    liq_set_speed(attr.get(), kSpeed);
    // Minimum quality 0: always produce a palette, however hard the frame.
    liq_set_quality(attr.get(), 0, levels.quantiserTarget);
    return attr;
}

std::uint32_t Packed(const liq_color& c)
{
    return c.a < 128 ? 0u
                     : 0xFF000000u | (static_cast<std::uint32_t>(c.r) << 16)
                           | (static_cast<std::uint32_t>(c.g) << 8) | c.b;
}

} // namespace

// How far the opaque pixels of every step-th of count lie from the nearest
// opaque colour of palette: the mean summed squared channel difference.
// Built for AVX2 too (8 entries at a time), the one the processor runs
// chosen at start.
QF_VECTOR_CLONES double MeanError(const std::uint8_t* rgba, std::size_t count, std::size_t step,
                                  const std::vector<std::uint32_t>& palette)
{
    // The opaque entries' channels side by side, so that the distances to
    // all of them are worked out several at a time.
    std::vector<int> reds;
    std::vector<int> greens;
    std::vector<int> blues;
    for (std::uint32_t c : palette) {
        if (c == 0)
            continue;
        reds.push_back(static_cast<int>((c >> 16) & 0xFF));
        greens.push_back(static_cast<int>((c >> 8) & 0xFF));
        blues.push_back(static_cast<int>(c & 0xFF));
    }
    const std::size_t entries = reds.size();
    std::uint64_t sum = 0;
    std::size_t sampled = 0;
    for (std::size_t i = 0; i < count; i += step) {
        const std::uint8_t* p = rgba + i * 4;
        if (p[3] == 0)
            continue;
        const int r = p[0];
        const int g = p[1];
        const int b = p[2];
        int best = 3 * 255 * 255;
        for (std::size_t e = 0; e < entries; ++e) {
            const int dr = r - reds[e];
            const int dg = g - greens[e];
            const int db = b - blues[e];
            best = std::min(best, dr * dr + dg * dg + db * db);
        }
        sum += static_cast<std::uint64_t>(best);
        ++sampled;
    }
    return sampled ? static_cast<double>(sum) / static_cast<double>(sampled) : 0.0;
}

namespace {

// The same over an even sample of about kErrorSamples of the pixels, enough
// to compare palettes for like frames at a small part of the cost of
// remapping.
double SampledError(const std::uint8_t* rgba, std::size_t count, const std::vector<std::uint32_t>& palette)
{
    return MeanError(rgba, count, ErrorSampleStep(count), palette);
}

// Error diffusion breaks up the bands a palette's steps draw across smooth
// colour. In a frame with grain nearly everywhere (film grain under the
// effect's dots) the grain, larger than the steps of a near-exact palette,
// breaks them up already, and the diffusion only adds noise of its own,
// which costs bytes, fidelity and time: grainy film at 640 x 360 came out
// 0.03-0.17 dB closer to the rendered frames and up to 0.3% smaller
// without it, at every quality level tried (100 down to 10), in 12% less
// processor time. A frame counts as grainy when fewer than kSmoothShare of
// a sample of its pixels lie within a level or so of the line through
// their neighbours one and two pixels along the row, a smooth stretch
// (frames of grainy film 0.07-0.12; the same grain over a castle under a
// wide smooth sky 0.23-0.42, a phone clip 0.62-0.91), and its palette as near-exact when the pixels lie at
// most kGrainError from it (mean summed squared channel difference; that
// film 9-13 at quality 100 and 70, 43 at quality 30 with 49 colours). GIF
// animations of photographs (0.09-0.47) have palettes within 1 of their
// pixels, which the diffusion barely moves either way.
constexpr double kSmoothShare = 0.15;
constexpr double kGrainError = 16;
constexpr int kSmoothSamples = 64; // rows sampled, and pixels in each

// The share of a sample of the opaque pixels (with opaque neighbours) that
// lie within a level or so of the line through their row's neighbours one
// and two pixels away: a smooth stretch, flat or a gradient.
double SmoothShare(const std::uint8_t* rgba, int width, int height)
{
    if (width < 5 || height < 1)
        return 1.0;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 4;
    const int rowStep = std::max(1, height / kSmoothSamples);
    const int columnStep = std::max(1, (width - 4) / kSmoothSamples);
    std::size_t opaque = 0;
    std::size_t smooth = 0;
    for (int y = 0; y < height; y += rowStep) {
        const std::uint8_t* row = rgba + static_cast<std::size_t>(y) * rowBytes;
        for (int x = 2; x + 2 < width; x += columnStep) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * 4;
            if ((p[-8 + 3] & p[-4 + 3] & p[3] & p[4 + 3] & p[8 + 3]) == 0)
                continue;
            int near = 0; // the summed squared differences from the line
            int far = 0;
            for (int c = 0; c < 3; ++c) {
                const int n = p[c - 4] + p[c + 4] - 2 * p[c];
                const int f = p[c - 8] + p[c + 8] - 2 * p[c];
                near += n * n;
                far += f * f;
            }
            ++opaque;
            if (std::max(near, far) <= 3)
                ++smooth;
        }
    }
    return opaque ? static_cast<double>(smooth) / static_cast<double>(opaque) : 1.0;
}

// Maps the pixels to the colours of out.palette, into out.indexes, without
// error diffusion where the frame's own grain breaks up bands. error is how
// far the pixels lie from the palette (SampledError), or negative when not
// yet known.
void Map(const std::uint8_t* rgba, int width, int height, const GifLevels& levels, QuantisedImage& out,
         double error)
{
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    out.indexes.resize(count);
    float dithering = levels.dithering;
    if (dithering > 0 && SmoothShare(rgba, width, height) < kSmoothShare
        && (error >= 0 ? error : SampledError(rgba, count, out.palette)) <= kGrainError)
        dithering = 0;
    MapToPalette(rgba, width, height, out.palette, dithering, out.indexes.data());
}

// Chooses colours for the opaque pixels from a histogram of their exact
// colours: what libimagequant would make of the picture itself, without the
// maps of busy areas it weighs colours by, which cost more than the rest of
// choosing together. A transparent entry is kept when some pixel needs it.
ResultPtr Choose(const std::uint8_t* rgba, std::size_t count, liq_attr* attr, std::string* reason)
{
    std::size_t slots = 1024;
    while (slots < count * 2)
        slots *= 2;
    // The table stays with the thread between frames: only the slots a
    // frame filled are emptied again, not the whole of it.
    thread_local std::vector<std::uint32_t> keys;
    thread_local std::vector<unsigned> counts;
    thread_local std::vector<std::size_t> filled;
    if (keys.size() < slots) {
        keys.assign(slots, 0);
        counts.assign(slots, 0);
    }
    filled.clear();
    bool anyTransparent = false;
    for (std::size_t i = 0; i < count && !anyTransparent; ++i)
        anyTransparent = rgba[i * 4 + 3] == 0;
    // The colours of a large picture are counted on an even sample of its
    // pixels: the quantiser's time grows with the colours it is given, and
    // a sample of this size chooses much the same palette.
    const std::size_t step = std::max<std::size_t>(1, count / kHistogramSample);
    for (std::size_t i = 0; i < count; i += step) {
        const std::uint8_t* p = rgba + i * 4;
        if (p[3] == 0)
            continue;
        const std::uint32_t colour = 0xFF000000u | (static_cast<std::uint32_t>(p[0]) << 16)
                                     | (static_cast<std::uint32_t>(p[1]) << 8) | p[2];
        std::size_t slot = ((colour * 2654435761u) ^ (colour >> 15)) & (slots - 1);
        while (keys[slot] != 0 && keys[slot] != colour)
            slot = (slot + 1) & (slots - 1);
        if (keys[slot] == 0) {
            keys[slot] = colour;
            filled.push_back(slot);
        }
        ++counts[slot];
    }
    // The colours go to the quantiser in slot order: where they fill more
    // than a sixty-fourth of the slots (a film frame's tens of thousands), a
    // pass over the slots finds them in about a third of the time sorting
    // the filled ones takes (perf on a zooming film clip at variant 5).
    std::vector<liq_histogram_entry> entries;
    entries.reserve(filled.size());
    auto take = [&](std::size_t slot) {
        entries.push_back(
            {{static_cast<unsigned char>(keys[slot] >> 16), static_cast<unsigned char>(keys[slot] >> 8),
              static_cast<unsigned char>(keys[slot]), 255},
             counts[slot]});
        keys[slot] = 0;
        counts[slot] = 0;
    };
    if (filled.size() > slots / 64) {
        for (std::size_t slot = 0; slot < slots; ++slot)
            if (keys[slot] != 0)
                take(slot);
    } else {
        std::sort(filled.begin(), filled.end());
        for (std::size_t slot : filled)
            take(slot);
    }
    std::unique_ptr<liq_histogram, HistogramFree> histogram(liq_histogram_create(attr));
    if (!histogram) {
        *reason = "the colour quantiser cannot start";
        return nullptr;
    }
    liq_result* raw = nullptr;
    if (entries.empty()
        || liq_histogram_add_colors(histogram.get(), attr, entries.data(), static_cast<int>(entries.size()),
                                    0)
               != LIQ_OK
        || (anyTransparent
            && liq_histogram_add_fixed_color(histogram.get(), liq_color{0, 0, 0, 0}, 0) != LIQ_OK)
        || liq_histogram_quantize(histogram.get(), attr, &raw) != LIQ_OK || !raw) {
        *reason = "the colour quantiser failed";
        return nullptr;
    }
    return ResultPtr(raw);
}

} // namespace

bool QuantiseRgba(const std::uint8_t* rgba, int width, int height, const GifLevels& levels,
                  QuantisedImage& out, std::string* reason)
{
    AttrPtr attr = MakeAttr(levels.colours, levels);
    if (!attr)
        return Failed(reason, "the colour quantiser cannot start");
    ResultPtr result =
        Choose(rgba, static_cast<std::size_t>(width) * static_cast<std::size_t>(height), attr.get(), reason);
    if (!result)
        return false;
    const liq_palette* palette = liq_get_palette(result.get());
    out.palette.resize(palette->count);
    for (unsigned i = 0; i < palette->count; ++i)
        out.palette[i] = Packed(palette->entries[i]);
    Map(rgba, width, height, levels, out, -1.0);
    return true;
}

bool ChooseColours(const std::uint8_t* rgba, int width, int height, const GifLevels& levels,
                   ChosenColours& out, std::string* reason)
{
    AttrPtr attr = MakeAttr(std::max(2, levels.colours - 1), levels);
    if (!attr)
        return Failed(reason, "the colour quantiser cannot start");
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    out.palette.clear();
    out.error = 0;
    bool anyOpaque = false;
    for (std::size_t i = 0; i < count && !anyOpaque; ++i)
        anyOpaque = rgba[i * 4 + 3] != 0;
    if (!anyOpaque)
        return true; // nothing to choose for: serves no frame that draws
    ResultPtr result = Choose(rgba, count, attr.get(), reason);
    if (!result)
        return false;
    const liq_palette* palette = liq_get_palette(result.get());
    for (unsigned i = 0; i < palette->count; ++i)
        if (const std::uint32_t colour = Packed(palette->entries[i]))
            out.palette.push_back(colour);
    out.error = SampledError(rgba, count, out.palette);
    return true;
}

bool RemapRgba(const std::uint8_t* rgba, int width, int height, const GifLevels& levels,
               const ChosenColours& chosen, QuantisedImage& out)
{
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (chosen.palette.empty())
        return false;
    const double error = SampledError(rgba, count, chosen.palette);
    if (error > chosen.error * (1.0 + levels.paletteReuse))
        return false;
    std::vector<std::uint32_t> colours = chosen.palette;
    for (std::size_t i = 0; i < count; ++i)
        if (rgba[i * 4 + 3] == 0) {
            if (colours.size() >= 256)
                return false;
            colours.push_back(0u);
            break;
        }

    out.palette = std::move(colours);
    Map(rgba, width, height, levels, out, error);
    return true;
}

} // namespace qf::imaging
