#include "imaging/colour/palette_map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace qf::imaging {

namespace {

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
    fine_.lists.assign(32 * 32 * 32, {-1, 0});
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
    // Empty slots hold white, except white's own, which holds black.
    static_assert(Slot(0) != Slot(0xFFFFFF), "black and white share a slot");
    asked_.assign(std::size_t{1} << kAskedBits, 0xFFFFFFFFu);
    asked_[Slot(0xFFFFFF)] = 0;
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
    const std::size_t fine = static_cast<std::size_t>(((r >> 3) * 32 + (g >> 3)) * 32 + (b >> 3));
    if (fine_.lists[fine].start < 0) {
        const std::size_t coarse = static_cast<std::size_t>(((r >> 4) * 16 + (g >> 4)) * 16 + (b >> 4));
        const List& list = coarse_.lists[coarse];
        if (list.start < 0)
            fill(coarse_, coarse, 16, r, g, b, entries_.data(), entries_.size());
        fill(fine_, fine, 8, r, g, b, coarse_.entries.data() + list.start,
             static_cast<std::size_t>(list.count));
    }
    const List& list = fine_.lists[fine];
    *count = static_cast<std::size_t>(list.count);
    return fine_.entries.data() + list.start;
}

int NearestColour::searchAndKeep(int r, int g, int b, std::uint32_t slot) const
{
    const int found = search(r, g, b);
    asked_[slot] = static_cast<std::uint32_t>(r << 16 | g << 8 | b) << 8 | static_cast<std::uint32_t>(found);
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

    if (width <= 0 || height <= 0)
        return;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::uint32_t* const colours = palette.data();
    std::vector<Error> errors(2 * (w + 2));
    // A row's indexes are gathered as 16-bit values, which the compiler
    // knows cannot alias the errors or the palette (a byte store could, and
    // would have them reloaded after every pixel).
    std::vector<std::uint16_t> rowIndexes(w);
    Error* thisRow = errors.data();
    Error* nextRow = errors.data() + w + 2;
    int last = 0;
    int lastQuery = -1;
    for (int y = 0; y < height; ++y) {
        // Serpentine: every other row runs right to left, so that the error
        // does not drift one way.
        const int step = y % 2 == 0 ? 1 : -1;
        const std::size_t rowStart = static_cast<std::size_t>(y) * w;
        // The shares a pixel passes on within its row and to the cells of
        // the next row not yet complete are carried from pixel to pixel
        // rather than through memory, where each pixel would wait for the
        // store of the one before. A cell of the next row is written once,
        // when the pixel behind it has given its share: every cell of the
        // row is written, so none needs clearing first.
        Error below{};  // the pixel before's error: its share to the next row's
                        // cell under this pixel, and 7 times it to this pixel
        Error behind{}; // and the cell under the pixel before
        for (int n = 0; n < width; ++n) {
            const int x = step > 0 ? n : width - 1 - n;
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            const std::size_t at = static_cast<std::size_t>(x + 1);
            const std::uint8_t* p = rgba + i * 4;
            // Transparent pixels pass no error on.
            int er = 0;
            int eg = 0;
            int eb = 0;
            if (p[3] == 0) {
                rowIndexes[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>(transparent);
            } else {
                int r = p[0];
                int g = p[1];
                int b = p[2];
                if (strength > 0) {
                    const Error& e = thisRow[at];
                    int ar = ((e.r + below.r * 7) * strength + 32768) >> 16;
                    int ag = ((e.g + below.g * 7) * strength + 32768) >> 16;
                    int ab = ((e.b + below.b * 7) * strength + 32768) >> 16;
                    const int size = ar * ar + ag * ag + ab * ab;
                    // Too small to show: the pixel stays as it is, which
                    // keeps flat areas flat.
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
                rowIndexes[static_cast<std::size_t>(x)] = static_cast<std::uint16_t>(last);
                if (strength == 0)
                    continue;
                const std::uint32_t c = colours[static_cast<std::size_t>(last)];
                er = r - static_cast<int>((c >> 16) & 0xFF);
                eg = g - static_cast<int>((c >> 8) & 0xFF);
                eb = b - static_cast<int>(c & 0xFF);
                if (er * er + eg * eg + eb * eb > kLargeError) {
                    er = er * 3 / 4;
                    eg = eg * 3 / 4;
                    eb = eb * 3 / 4;
                }
            }
            if (strength == 0)
                continue;
            // Shares of 7 ahead in the row, and of 1, 5 and 3 in the next
            // row ahead, under and behind the pixel.
            nextRow[at - static_cast<std::size_t>(step)] =
                Error{behind.r + er * 3, behind.g + eg * 3, behind.b + eb * 3};
            behind = Error{below.r + er * 5, below.g + eg * 5, below.b + eb * 5};
            below = Error{er, eg, eb};
        }
        std::copy(rowIndexes.begin(), rowIndexes.end(), indexes + rowStart);
        if (strength > 0 && width > 0) {
            // The cells under the row's last pixel and beyond it.
            const std::size_t end = static_cast<std::size_t>(step > 0 ? width : 1);
            nextRow[end] = behind;
            nextRow[end + static_cast<std::size_t>(step)] = below;
        }
        std::swap(thisRow, nextRow);
    }
}

} // namespace qf::imaging
