#include "imaging/colour/palette_map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace qf::imaging {

namespace {

// Slots of the cache of colours looked for: 4096 slots (32 KB) catch the
// repeats of a dithered frame; more find few more and miss the processor's
// nearest cache.
constexpr int kAskedBits = 12;
constexpr std::size_t kAskedSlots = std::size_t{1} << kAskedBits;

// Further than any two colours lie apart.
constexpr int kFar = 3 * 255 * 255 + 1;

// Diffused error whose summed squares pass this (about 64 levels in each
// channel) is damped: a palette far from a pixel would otherwise throw
// specks of unrelated colour around it.
constexpr int kLargeError = 4096;

struct Error {
    int r = 0, g = 0, b = 0;
};

int Clamp(int v)
{
    return std::clamp(v, 0, 255);
}

} // namespace

NearestColour::NearestColour(const std::vector<std::uint32_t>& palette)
{
    coarse_.lists.assign(16 * 16 * 16, {-1, 0});
    fine_.lists.assign(64 * 64 * 64, {-1, 0});
    asked_.assign(kAskedSlots, 0);
    assign(palette);
}

void NearestColour::assign(const std::vector<std::uint32_t>& palette)
{
    // Only the cubes that were filled are emptied: far fewer than all.
    for (Cubes* cubes : {&coarse_, &fine_}) {
        for (const std::size_t cube : cubes->filled)
            cubes->lists[cube].start = -1;
        cubes->filled.clear();
        cubes->entries.clear();
    }
    std::fill(asked_.begin(), asked_.end(), 0);
    entries_.clear();
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const std::uint32_t c = palette[i];
        if (c == 0)
            continue;
        const int r = static_cast<int>((c >> 16) & 0xFF);
        const int g = static_cast<int>((c >> 8) & 0xFF);
        const int b = static_cast<int>(c & 0xFF);
        entries_.push_back({r, g, b, static_cast<std::int32_t>(i), 0});
    }
}

namespace {

// The squared distance along one axis from v to the nearest and to the
// furthest level of [low, low + side).
void AxisReach(int v, int low, int side, int& nearest, int& furthest)
{
    const int high = low + side - 1;
    const int in = v < low ? low - v : v > high ? v - high : 0;
    const int out = std::max(v - low, high - v);
    nearest = in * in;
    furthest = out * out;
}

} // namespace

void NearestColour::fill(Cubes& cubes, std::size_t cube, int side, int r, int g, int b, const Entry* from,
                         std::size_t count)
{
    const int lr = r & ~(side - 1);
    const int lg = g & ~(side - 1);
    const int lb = b & ~(side - 1);
    // Every colour of the cube lies within the smallest furthest-corner
    // distance of some entry; an entry whose nearest point of the cube is
    // further than that is never the nearest.
    const std::size_t first = cubes.entries.size();
    int bound = kFar;
    for (std::size_t i = 0; i < count; ++i) {
        Entry e = from[i];
        int nr, fr, ng, fg, nb, fb;
        AxisReach(e.r, lr, side, nr, fr);
        AxisReach(e.g, lg, side, ng, fg);
        AxisReach(e.b, lb, side, nb, fb);
        e.reach = nr + ng + nb;
        bound = std::min(bound, fr + fg + fb);
        if (e.reach <= bound)
            cubes.entries.push_back(e);
    }
    const auto begin = cubes.entries.begin() + static_cast<std::ptrdiff_t>(first);
    cubes.entries.erase(
        std::remove_if(begin, cubes.entries.end(), [bound](const Entry& e) { return e.reach > bound; }),
        cubes.entries.end());
    std::sort(begin, cubes.entries.end(), [](const Entry& a, const Entry& b) {
        return a.reach != b.reach ? a.reach < b.reach : a.index < b.index;
    });
    cubes.lists[cube] = {static_cast<std::int32_t>(first),
                         static_cast<std::int32_t>(cubes.entries.size() - first)};
    cubes.filled.push_back(cube);
}

const NearestColour::Entry* NearestColour::candidates(int r, int g, int b, std::size_t* count) const
{
    const std::size_t fine = static_cast<std::size_t>(((r >> 2) * 64 + (g >> 2)) * 64 + (b >> 2));
    if (fine_.lists[fine].start < 0) {
        const std::size_t coarse = static_cast<std::size_t>(((r >> 4) * 16 + (g >> 4)) * 16 + (b >> 4));
        const List& list = coarse_.lists[coarse];
        if (list.start < 0)
            fill(coarse_, coarse, 16, r, g, b, entries_.data(), entries_.size());
        fill(fine_, fine, 4, r, g, b, coarse_.entries.data() + list.start,
             static_cast<std::size_t>(list.count));
    }
    const List& list = fine_.lists[fine];
    *count = static_cast<std::size_t>(list.count);
    return fine_.entries.data() + list.start;
}

int NearestColour::find(int r, int g, int b) const
{
    const std::uint32_t colour = static_cast<std::uint32_t>(r << 16 | g << 8 | b);
    const std::uint64_t key = static_cast<std::uint64_t>(colour + 1) << 8;
    const std::uint32_t slot = (colour * 2654435761u) >> (32 - kAskedBits);
    const std::uint64_t held = asked_[slot];
    if ((held & ~std::uint64_t{0xFF}) == key)
        return static_cast<int>(held & 0xFF);
    const int found = search(r, g, b);
    asked_[slot] = key | static_cast<std::uint64_t>(found);
    return found;
}

int NearestColour::search(int r, int g, int b) const
{
    std::size_t count = 0;
    const Entry* list = candidates(r, g, b, &count);
    // The distance and the index in one key, so that the smallest key is the
    // nearest entry and, among equally near ones, the lower. The list is
    // looked at four entries at a time, and the search stops before four
    // whose first lies further from the cube than the nearest found.
    int best = std::numeric_limits<int>::max();
    for (std::size_t i = 0; i < count; i += 4) {
        if (list[i].reach > best >> 8)
            break;
        const std::size_t end = std::min(count, i + 4);
        for (std::size_t k = i; k < end; ++k) {
            const Entry& e = list[k];
            const int d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b);
            best = std::min(best, d << 8 | e.index);
        }
    }
    return best & 0xFF;
}

void MapToPalette(const std::uint8_t* rgba, int width, int height, const std::vector<std::uint32_t>& palette,
                  float dithering, std::uint8_t* indexes)
{
    // Frames of a run share their colours: the cubes filled for one frame
    // serve the next that this thread maps to the same palette.
    thread_local std::vector<std::uint32_t> lastPalette;
    thread_local std::optional<NearestColour> lastNearest;
    if (!lastNearest) {
        lastNearest.emplace(palette);
        lastPalette = palette;
    } else if (lastPalette != palette) {
        lastNearest->assign(palette);
        lastPalette = palette;
    }
    const NearestColour& nearest = *lastNearest;
    int transparent = 0;
    for (std::size_t i = 0; i < palette.size(); ++i)
        if (palette[i] == 0) {
            transparent = static_cast<int>(i);
            break;
        }
    // Full error diffusion piles small errors up into noise that costs bytes
    // and lowers fidelity; light diffusion still breaks up the bands of a
    // gradient. The strength eases in and never passes 3/5 (measured on
    // photographic animations: the same or higher PSNR and smaller files
    // than stronger diffusion, down to the lowest quality level).
    // Errors are kept in sixteenths, the strength in 4096ths.
    const float eased = 1.0f - (1.0f - dithering) * (1.0f - dithering);
    const int strength = dithering > 0 ? static_cast<int>(std::lrint(eased * 0.6f * 4096.0f)) : 0;

    const std::size_t w = static_cast<std::size_t>(width);
    std::vector<Error> errors(2 * (w + 2));
    Error* thisRow = errors.data();
    Error* nextRow = errors.data() + w + 2;
    int last = 0;
    int lastQuery = -1;
    for (int y = 0; y < height; ++y) {
        std::fill(nextRow, nextRow + w + 2, Error{});
        // Serpentine: every other row runs right to left, so that the error
        // does not drift one way.
        const int step = y % 2 == 0 ? 1 : -1;
        const std::size_t rowStart = static_cast<std::size_t>(y) * w;
        for (int n = 0; n < width; ++n) {
            const int x = step > 0 ? n : width - 1 - n;
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            const std::uint8_t* p = rgba + i * 4;
            if (p[3] == 0) {
                indexes[i] = static_cast<std::uint8_t>(transparent);
                continue;
            }
            int r = p[0];
            int g = p[1];
            int b = p[2];
            if (strength > 0) {
                const Error& e = thisRow[x + 1];
                int ar = (e.r * strength + 32768) >> 16;
                int ag = (e.g * strength + 32768) >> 16;
                int ab = (e.b * strength + 32768) >> 16;
                const int size = ar * ar + ag * ag + ab * ab;
                // Too small to show: the pixel stays as it is, which keeps
                // flat areas flat.
                if (size >= 2) {
                    if (size > kLargeError) {
                        ar = ar * 4 / 5;
                        ag = ag * 4 / 5;
                        ab = ab * 4 / 5;
                    }
                    r = Clamp(r + ar);
                    g = Clamp(g + ag);
                    b = Clamp(b + ab);
                }
            }
            // Flat areas ask for the same colour pixel after pixel.
            const int query = r << 16 | g << 8 | b;
            if (query != lastQuery) {
                last = nearest.find(r, g, b);
                lastQuery = query;
            }
            indexes[i] = static_cast<std::uint8_t>(last);
            if (strength == 0)
                continue;
            const std::uint32_t c = palette[static_cast<std::size_t>(last)];
            int er = r - static_cast<int>((c >> 16) & 0xFF);
            int eg = g - static_cast<int>((c >> 8) & 0xFF);
            int eb = b - static_cast<int>(c & 0xFF);
            if (er * er + eg * eg + eb * eb > kLargeError) {
                er = er * 3 / 4;
                eg = eg * 3 / 4;
                eb = eb * 3 / 4;
            }
            const std::size_t at = static_cast<std::size_t>(x + 1);
            const std::size_t ahead = at + static_cast<std::size_t>(step);
            const std::size_t behind = at - static_cast<std::size_t>(step);
            thisRow[ahead].r += er * 7;
            thisRow[ahead].g += eg * 7;
            thisRow[ahead].b += eb * 7;
            nextRow[ahead].r += er;
            nextRow[ahead].g += eg;
            nextRow[ahead].b += eb;
            nextRow[at].r += er * 5;
            nextRow[at].g += eg * 5;
            nextRow[at].b += eb * 5;
            nextRow[behind].r += er * 3;
            nextRow[behind].g += eg * 3;
            nextRow[behind].b += eb * 3;
        }
        std::swap(thisRow, nextRow);
    }
}

} // namespace qf::imaging
