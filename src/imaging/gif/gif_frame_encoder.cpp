#include "imaging/gif/gif_frame_encoder.h"

#include "imaging/colour/quantise.h"
#include "imaging/gif/gif_lzw.h"
#include "imaging/vector_clones.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>

namespace qf::imaging {

namespace {

// Bits needed to write indexes below count (at least 2: the format's
// smallest minimum code size).
int CodeSizeFor(int count)
{
    int bits = 2;
    while ((1 << bits) < count)
        ++bits;
    return bits;
}

// The table size a decoder reads: a power of two, at least 2.
int TableSizeFor(int count)
{
    int size = 2;
    while (size < count)
        size *= 2;
    return size;
}

// Converts one row of a view to packed colours. Alpha below 128 counts as
// transparent: a GIF pixel is either drawn or not.
void PackRow(const ImageView& view, int y, std::uint32_t* out)
{
    const std::uint8_t* p = view.pixels + static_cast<std::ptrdiff_t>(y) * view.stride;
    switch (view.layout) {
    case PixelLayout::Rgba:
        for (int x = 0; x < view.width; ++x, p += 4)
            out[x] = p[3] >= 128 ? PackOpaque(p[0], p[1], p[2]) : 0u;
        break;
    case PixelLayout::Rgb:
        for (int x = 0; x < view.width; ++x, p += 3)
            out[x] = PackOpaque(p[0], p[1], p[2]);
        break;
    case PixelLayout::Bgrx:
        for (int x = 0; x < view.width; ++x, p += 4)
            out[x] = PackOpaque(p[2], p[1], p[0]);
        break;
    }
}

// Pixels looked at together before any one of them alone.
constexpr int kBlock = 8;

// True when some of the kBlock pixels may be drawn: opaque and not what
// against (null: nothing) holds. Each pixel drawn passes this test.
bool MayDraw(const std::uint32_t* pixels, const std::uint32_t* against)
{
    std::uint32_t any = 0;
    for (int j = 0; j < kBlock; ++j)
        any |= static_cast<std::uint32_t>(pixels[j] != 0)
               & static_cast<std::uint32_t>(!against || pixels[j] != against[j]);
    return any != 0;
}

// Collects the distinct colours of a picture into a list, up to 256. The
// colours met lately sit one per slot of a byte-wide hash (greys each get
// their own), and the extra last slot holds the 0 that every pixel adding
// nothing (transparent, or not drawn) looks up: a pixel whose slot holds
// its colour needs no search, and no branch follows the picture.
class ColourCollector {
public:
    explicit ColourCollector(std::vector<std::uint32_t>& colours) : colours_(colours) { colours_.clear(); }

    // Adds colour where mask is all ones; passes over it where mask is 0.
    void add(std::uint32_t colour, std::uint32_t mask)
    {
        const std::uint32_t key = colour & mask;
        const std::size_t slot =
            (((colour ^ (colour >> 8) ^ (colour >> 16)) & 0xFFu) & mask) | (256u & ~mask);
        if (recent_[slot] == key || tooMany_)
            return;
        recent_[slot] = key;
        if (seen_.find(colour) >= 0)
            return;
        tooMany_ = colours_.size() == 256;
        if (!tooMany_) {
            seen_.insert(colour, static_cast<int>(colours_.size()));
            colours_.push_back(colour);
        }
    }

    // True when more than 256 colours were met.
    bool tooMany() const { return tooMany_; }

private:
    std::vector<std::uint32_t>& colours_;
    ColourIndex seen_;
    std::array<std::uint32_t, 257> recent_{};
    bool tooMany_ = false;
};

// True when the kBlock pixels all are colour.
bool AllAre(const std::uint32_t* pixels, std::uint32_t colour)
{
    std::uint32_t differ = 0;
    for (int j = 0; j < kBlock; ++j)
        differ |= pixels[j] ^ colour;
    return differ == 0;
}

} // namespace

void PackedFrame::pack(const ImageView& view)
{
    width = view.width;
    height = view.height;
    pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y)
        PackRow(view, y, pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width));
    countColours();
}

void PackedFrame::holdStill(const PackedFrame& previous, int tolerance)
{
    for (std::size_t i = 0; i < pixels.size(); ++i) {
        const std::uint32_t p = pixels[i];
        const std::uint32_t before = previous.pixels[i];
        if (p != 0 && before != 0 && p != before && ChannelDistance(p, before) <= tolerance)
            pixels[i] = before;
    }
    countColours();
}

void PackedFrame::countColours()
{
    ColourCollector collector(colours);
    std::uint32_t transparent = 0;
    const std::size_t count = pixels.size();
    std::size_t i = 0;
    for (; i < count; ++i) {
        if (i % kBlock == 0 && i > 0) {
            // Past 256 colours only transparency is left to find (film
            // footage gets there within a few rows).
            if (collector.tooMany())
                break;
            // A block in the colour of the pixel before (flat areas) adds
            // nothing.
            if (i + kBlock <= count && AllAre(&pixels[i], pixels[i - 1])) {
                i += kBlock - 1;
                continue;
            }
        }
        const std::uint32_t p = pixels[i];
        const std::uint32_t opaque = 0u - static_cast<std::uint32_t>(p != 0);
        transparent |= ~opaque;
        collector.add(p, opaque);
    }
    hasTransparent =
        transparent != 0
        || std::find(pixels.begin() + static_cast<std::ptrdiff_t>(i), pixels.end(), 0u) != pixels.end();
    fitsTable = !collector.tooMany() && colours.size() + (hasTransparent ? 1 : 0) <= 256;
    if (!fitsTable)
        colours.clear();
}

bool TurnsTransparent(const PackedFrame& from, const PackedFrame& to)
{
    if (!to.hasTransparent)
        return false;
    for (std::size_t i = 0; i < to.pixels.size(); ++i) {
        if (to.pixels[i] == 0 && from.pixels[i] != 0)
            return true;
    }
    return false;
}

GlobalPaletteBuilder::GlobalPaletteBuilder() : palette_(std::make_shared<const GlobalPalette>())
{}

std::shared_ptr<const GlobalPalette> GlobalPaletteBuilder::add(const PackedFrame& frame)
{
    if (closed_ || !frame.fitsTable)
        return palette_;
    std::size_t added = 0;
    for (std::uint32_t colour : frame.colours)
        added += palette_->index.find(colour) < 0 ? 1 : 0;
    if (added == 0)
        return palette_;
    if (palette_->colours.size() + added > 256) {
        closed_ = true;
        return palette_;
    }
    auto grown = std::make_shared<GlobalPalette>(*palette_);
    for (std::uint32_t colour : frame.colours) {
        if (grown->index.find(colour) < 0) {
            grown->index.insert(colour, static_cast<int>(grown->colours.size()));
            grown->colours.push_back(colour);
        }
    }
    palette_ = std::move(grown);
    return palette_;
}

namespace {

// True when pixel i of frame is drawn: opaque and different from against
// (all opaque pixels when against is null).
bool Differs(const std::uint32_t* frame, const std::uint32_t* against, std::size_t i)
{
    return frame[i] != 0 && (!against || frame[i] != against[i]);
}

// True when the opaque pixels of frame that differ from view (empty:
// nothing shown) have fewer than 256 colours, so that they fit one table
// beside a transparent index. Stops at the 256th colour.
bool FewColoursDiffer(const PackedFrame& frame, const std::vector<std::uint32_t>& view)
{
    const std::uint32_t* shown = view.empty() ? nullptr : view.data();
    ColourIndex seen;
    int colours = 0;
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
        const std::uint32_t p = frame.pixels[i];
        if (p == last || !Differs(frame.pixels.data(), shown, i))
            continue;
        last = p;
        if (seen.find(p) < 0) {
            if (++colours == 256)
                return false;
            seen.insert(p, colours);
        }
    }
    return true;
}

// True when a decoder that shows shown (0: nothing) at a pixel of colour p
// is at least as close to p as the reduced colour, give or take the level's
// slack (in summed squares of the channel differences) but no further than
// its colour tolerance in any channel: the pixel keeps it.
// Written without branches, so that a row of reduced pixels runs in vector
// registers.
inline bool KeepsShown(std::uint32_t p, std::uint32_t reduced, std::uint32_t shown, int slack, int tolerance)
{
    const int known = static_cast<int>(shown != 0);
    const int within =
        static_cast<int>(slack <= 0) | static_cast<int>(ChannelDistance(p, shown) <= tolerance);
    const int nearer = static_cast<int>(SquaredDistance(p, shown) <= SquaredDistance(p, reduced) + slack);
    return (known & within & nearer) != 0;
}
inline bool KeepsShown(std::uint32_t p, std::uint32_t reduced, std::uint32_t shown, const GifLevels& levels)
{
    return KeepsShown(p, reduced, shown, levels.keepSlack, levels.colourTolerance);
}

// A colour's index (-1 for 0, transparent, and for colours the table lacks)
// through a slot per colour met lately: with a frame's few hundred colours
// in four times as many slots, nearly every pixel finds its colour in its
// slot, so the one branch here hardly ever goes the other way.
class RecentIndex {
public:
    explicit RecentIndex(const ColourIndex& index) : index_(index)
    {
        keys_.fill(0u);
        values_.fill(-1);
    }
    int find(std::uint32_t colour)
    {
        const std::size_t slot = (colour * 2654435761u) >> (32 - kSlotBits);
        if (keys_[slot] != colour) {
            keys_[slot] = colour;
            values_[slot] = static_cast<std::int16_t>(colour != 0 ? index_.find(colour) : -1);
        }
        return values_[slot];
    }

private:
    static constexpr int kSlotBits = 10;
    const ColourIndex& index_;
    std::array<std::uint32_t, 1u << kSlotBits> keys_;
    std::array<std::int16_t, 1u << kSlotBits> values_;
};

// One row of a reduced frame shown: count pixels at f, against them
// before (0s: nothing to compare with), their quantiser entries and the
// colours of those (0: not drawn), the view at shown. Marks in keeps the
// drawn pixels that keep what is shown (as KeepsShown decides, and only
// when keepsShown: the table leaves room for the transparent index) and
// shows the reduced colour at the others. Masks and selections, not
// branches: which pixels keep what is shown follows the grain of the
// picture, and the row runs in vector registers.
// (The view and the marks share no memory with what is read: restrict lets
// the colours of the entries be gathered.)
QF_VECTOR_CLONES void ShowReducedRow(const std::uint32_t* f, const std::uint32_t* against,
                                     const std::uint8_t* entries, const std::uint32_t* entryColour,
                                     std::uint32_t* __restrict shown, std::uint8_t* __restrict keeps,
                                     int count, bool keepsShown, int slack, int tolerance)
{
    for (int x = 0; x < count; ++x) {
        const std::uint32_t p = f[x];
        const std::uint32_t s = shown[x];
        const std::uint32_t c = entryColour[entries[x]];
        const bool drawn = (p != 0) & (p != against[x]) & (c != 0);
        const bool keep = keepsShown & drawn & KeepsShown(p, c, s, slack, tolerance);
        keeps[x] = static_cast<std::uint8_t>(keep);
        shown[x] = (drawn & !keep) ? c : s;
    }
}

// One row of a reduced frame's data: count pixels at f, against them
// before and what a decoder shows at shown (0s: nothing), their quantiser
// entries, and keeps (1 where a drawn pixel keeps what is shown). A drawn
// pixel that does not keep what is shown takes its entry's index in the
// table; every other one takes fallback (the transparent index, or 0 when
// the table has no room for it), with no alternative yet, and is marked in
// needsShown when what is shown there may be its alternative. The wanted
// colours of lossy compression go to wanted when it is not null. True when
// some pixel takes fallback. Selections, not branches: which pixels are
// drawn follows the grain of the picture, and the row runs in vector
// registers.
template <bool kLossy>
QF_VECTOR_CLONES bool
ReducedRow(const std::uint32_t* f, const std::uint32_t* against, const std::uint32_t* shown,
           const std::uint8_t* entries, const std::uint8_t* keeps, const int* entryIndex, int fallback,
           std::uint8_t* __restrict primary, std::int16_t* __restrict alternative,
           std::uint32_t* __restrict wanted, std::uint8_t* __restrict needsShown, int count)
{
    int anyFallback = 0;
    for (int x = 0; x < count; ++x) {
        const std::uint32_t p = f[x];
        const int own = entryIndex[entries[x]];
        const int drawn = static_cast<int>(p != 0) & static_cast<int>(p != against[x]);
        const int keep = static_cast<int>(keeps[x] != 0) & static_cast<int>(own >= 0);
        const int direct = drawn & static_cast<int>(own >= 0) & (keep ^ 1);
        primary[x] = static_cast<std::uint8_t>(direct ? own : fallback);
        alternative[x] = kNoAlternative;
        needsShown[x] =
            static_cast<std::uint8_t>((direct ^ 1) & static_cast<int>(shown[x] != 0) & (keep | (drawn ^ 1)));
        anyFallback |= direct ^ 1;
        if constexpr (kLossy)
            wanted[x] = direct ? p : 0u;
    }
    return anyFallback != 0;
}

// The straight-RGBA bytes of a row of count pixels at f for the colour
// quantiser: a pixel's colour where it is drawn (opaque, and not what
// against holds: a row of 0s draws every opaque pixel), 0 (clear) elsewhere.
// With kMeetNext, a drawn pixel whose colour in the next frame (next) lies
// within slack (summed squares of the channel differences) and tolerance (in
// any channel) of its own is asked for as the mean of the two colours.
// Masks, not branches, and whole pixels stored at once: the row runs in
// vector registers.
template <bool kMeetNext>
QF_VECTOR_CLONES void DrawnRgbaRow(const std::uint32_t* f, const std::uint32_t* against,
                                   [[maybe_unused]] const std::uint32_t* next, std::uint8_t* __restrict rgba,
                                   int count, [[maybe_unused]] int slack, [[maybe_unused]] int tolerance)
{
    for (int x = 0; x < count; ++x) {
        std::uint32_t p = f[x];
        const std::uint32_t drawnMask =
            0u - (static_cast<std::uint32_t>(p != 0) & static_cast<std::uint32_t>(p != against[x]));
        if constexpr (kMeetNext) {
            // Each channel's mean, halves rounded up; two opaque colours
            // give an opaque one.
            const std::uint32_t q = next[x];
            const std::uint32_t mean = (p | q) - (((p ^ q) & 0xFEFEFEFEu) >> 1);
            const bool meets =
                (q != 0) & (SquaredDistance(p, q) <= slack) & (ChannelDistance(p, q) <= tolerance);
            p = meets ? mean : p;
        }
        // An opaque colour's top byte is 255: the pixel's alpha.
        const std::uint32_t drawn = p & drawnMask;
        // 0xAARRGGBB to the bytes R, G, B, A: on a little-endian processor
        // red and blue change places.
        const std::uint32_t bytes =
            std::endian::native == std::endian::little
                ? (drawn & 0xFF00FF00u) | (drawn >> 16 & 0xFFu) | (drawn & 0xFFu) << 16
                : drawn << 8 | drawn >> 24;
        std::memcpy(rgba + static_cast<std::size_t>(x) * 4, &bytes, 4);
    }
}

// Every step-th pixel of frame as straight RGBA, opaque where it is drawn
// over previous (null: wherever it is opaque), clear elsewhere: what a run's
// colours are chosen for and weighed against.
std::vector<std::uint8_t> DrawnSample(const PackedFrame& frame, const PackedFrame* previous, std::size_t step)
{
    const std::size_t count = frame.pixels.size();
    const std::uint32_t* against =
        previous && !TurnsTransparent(*previous, frame) ? previous->pixels.data() : nullptr;
    std::vector<std::uint8_t> rgba((count + step - 1) / step * 4, 0);
    for (std::size_t i = 0, k = 0; i < count; i += step, k += 4) {
        if (!Differs(frame.pixels.data(), against, i))
            continue;
        const std::uint32_t p = frame.pixels[i];
        rgba[k + 0] = static_cast<std::uint8_t>(p >> 16);
        rgba[k + 1] = static_cast<std::uint8_t>(p >> 8);
        rgba[k + 2] = static_cast<std::uint8_t>(p);
        rgba[k + 3] = 255;
    }
    return rgba;
}

} // namespace

const ChosenColours* SharedColours::get(const GifLevels& levels, std::string* reason)
{
    std::call_once(once_, [&] {
        const std::vector<std::uint8_t> rgba = DrawnSample(*first_, previous_.get(), 1);
        chosen_ = ChooseColours(rgba.data(), first_->width, first_->height, levels, colours_, &reason_);
        first_.reset();
        previous_.reset();
    });
    if (!chosen_)
        *reason = reason_;
    return chosen_ ? &colours_ : nullptr;
}

bool SharedColours::serves(const PackedFrame& frame, const PackedFrame* previous, const GifLevels& levels)
{
    std::string reason;
    const ChosenColours* colours = get(levels, &reason);
    if (!colours)
        return true;
    if (colours->palette.empty())
        return false;
    // The drawn pixels at the places the first frame's error was told from.
    const std::vector<std::uint8_t> rgba = DrawnSample(frame, previous, ErrorSampleStep(frame.pixels.size()));
    return MeanError(rgba.data(), rgba.size() / 4, 1, colours->palette)
           <= colours->error * (1.0 + levels.paletteReuse);
}

void ShowFrame(FrameJob& job, std::vector<std::uint32_t>& view)
{
    PreparedFrame& plan = job.prepared;
    // A reduced frame whose differences from what a decoder shows have few
    // colours is stored exactly instead: that also mends the colours
    // earlier reductions left.
    // Below the best level, frames that fit a table were reduced on purpose.
    if ((plan.mode == PreparedFrame::Mode::Exact || plan.mode == PreparedFrame::Mode::Reduced)
        && !(job.frame->fitsTable && !job.levels.lossless()) && FewColoursDiffer(*job.frame, view))
        plan.mode = PreparedFrame::Mode::Open;
    if (plan.clears) {
        view.clear();
        return;
    }
    if (plan.mode == PreparedFrame::Mode::Unchanged)
        return;
    const PackedFrame& frame = *job.frame;
    const std::uint32_t* f = frame.pixels.data();
    if (view.empty())
        view.assign(frame.pixels.size(), 0u);
    if (plan.mode == PreparedFrame::Mode::Open) {
        // Stored exactly: every opaque pixel shows its own colour, or keeps
        // what is shown when that is near enough. (A frame that must draw
        // every pixel of its rectangle draws those too; the view is then
        // off by no more than the slack.)
        std::uint32_t* const shown = view.data();
        const int slack = job.levels.keepSlack;
        if (slack == 0) {
            // Selections the compiler turns into vector blends.
            for (std::size_t i = 0; i < frame.pixels.size(); ++i)
                shown[i] = f[i] != 0 ? f[i] : shown[i];
            return;
        }
        for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
            if (f[i] != 0 && !ShowsNear(f[i], shown[i], slack))
                shown[i] = f[i];
        }
        return;
    }
    const std::uint32_t* against = plan.againstPrevious ? job.previous->pixels.data() : nullptr;
    const FrameArea& a = plan.area;
    const std::size_t width = static_cast<std::size_t>(frame.width);
    std::uint32_t* const shown = view.data();
    if (plan.mode == PreparedFrame::Mode::Exact) {
        const bool everything = plan.exact.drawEverything;
        for (int y = a.y0; y < a.y1; ++y) {
            const std::size_t rowStart = static_cast<std::size_t>(y) * width;
            for (int x = a.x0; x < a.x1; ++x) {
                const std::size_t i = rowStart + static_cast<std::size_t>(x);
                if (everything || Differs(f, against, i))
                    shown[i] = f[i];
            }
        }
        return;
    }
    // Each quantiser entry's colour, 0 for those not drawn.
    std::array<std::uint32_t, 256> entryColour{};
    for (std::size_t e = 0; e < entryColour.size(); ++e) {
        const int own = plan.entryIndex[e];
        entryColour[e] = own >= 0 ? plan.table[static_cast<std::size_t>(own)] : 0u;
    }
    // Which pixels keep what is shown is noted for the frame's encoding,
    // which would otherwise weigh the same colours again.
    plan.keeps.resize(plan.indexes.size());
    const int w = a.x1 - a.x0;
    // Without a previous frame to compare with every opaque pixel is drawn:
    // compared with a row of 0s.
    std::vector<std::uint32_t> nothing(against ? 0 : static_cast<std::size_t>(w), 0u);
    for (int y = a.y0; y < a.y1; ++y) {
        const std::size_t i = static_cast<std::size_t>(y) * width + static_cast<std::size_t>(a.x0);
        const std::size_t k = static_cast<std::size_t>(y - a.y0) * static_cast<std::size_t>(w);
        ShowReducedRow(f + i, against ? against + i : nothing.data(), plan.indexes.data() + k,
                       entryColour.data(), shown + i, plan.keeps.data() + k, w, plan.table.size() < 256,
                       job.levels.keepSlack, job.levels.colourTolerance);
    }
}

// The rectangle of the pixels to draw and their colours (while there are at
// most 256; true when there are more), and how many pixels are drawn (while
// the colours fit, the only time the count is wanted).
bool FrameEncoder::findDrawn(const PackedFrame& frame, bool clears, PreparedFrame& plan)
{
    FrameArea area{frame.width, frame.height, 0, 0};
    ColourCollector collector(plan.colours);
    // Locals: the stores into the colour list could alias the members.
    const std::uint32_t* const pixels = frame_;
    const std::uint32_t* const against = against_;
    const int nearSlack = nearSlack_;
    const std::size_t rowWidth = static_cast<std::size_t>(width_);
    std::size_t drawnCount = 0;
    // One row, its pixels drawn counted and their colours collected.
    auto findInRow = [&](int y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * rowWidth;
        int first = -1;
        int lastX = -1;
        // Which pixels are drawn follows the picture (grain, noise), so the
        // bounds are kept without branching on it; a block of pixels none
        // of which can be drawn (still screens) is passed over whole.
        for (int x = 0; x < frame.width; ++x) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            if (x % kBlock == 0 && x + kBlock <= frame.width
                && !MayDraw(pixels + i, against ? against + i : nullptr)) {
                x += kBlock - 1;
                continue;
            }
            const std::uint32_t p = pixels[i];
            const std::uint32_t shown = against ? against[i] : 0u; // 0 draws every opaque pixel
            std::uint32_t isDrawn =
                static_cast<std::uint32_t>(p != 0) & static_cast<std::uint32_t>(p != shown);
            if (nearSlack > 0)
                isDrawn &= static_cast<std::uint32_t>(!ShowsNear(p, shown, nearSlack));
            const std::uint32_t mask = 0u - isDrawn; // all ones where drawn
            drawnCount += isDrawn;
            // first stays -1 until a drawn pixel; lastX follows the drawn pixels.
            const int xMask = static_cast<int>(mask);
            first = first < 0 ? ((x & xMask) | (-1 & ~xMask)) : first;
            lastX = (x & xMask) | (lastX & ~xMask);
            collector.add(p, mask);
        }
        if (lastX >= 0) {
            area.x0 = std::min(area.x0, first);
            area.x1 = std::max(area.x1, lastX + 1);
            area.y0 = std::min(area.y0, y);
            area.y1 = y + 1;
        }
    };
    int y = 0;
    for (; y < frame.height && !collector.tooMany(); ++y)
        findInRow(y);
    // Past 256 colours (film footage, within a few rows) the frame cannot be
    // stored exactly, so the count is not wanted either: only the rectangle
    // is left to find, and a row's part of it lies between its first and its
    // last pixel drawn, looked for from either end.
    const auto drawnAt = [&](std::size_t i) {
        const std::uint32_t p = pixels[i];
        const std::uint32_t shown = against ? against[i] : 0u;
        return p != 0 && p != shown && !ShowsNear(p, shown, nearSlack);
    };
    for (; y < frame.height; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * rowWidth;
        int first = 0;
        while (first < frame.width) {
            const std::size_t i = rowStart + static_cast<std::size_t>(first);
            if (first % kBlock == 0 && first + kBlock <= frame.width
                && !MayDraw(pixels + i, against ? against + i : nullptr)) {
                first += kBlock;
                continue;
            }
            if (drawnAt(i))
                break;
            ++first;
        }
        if (first == frame.width)
            continue;
        int last = frame.width - 1;
        while (!drawnAt(rowStart + static_cast<std::size_t>(last)))
            --last;
        area.x0 = std::min(area.x0, first);
        area.x1 = std::max(area.x1, last + 1);
        area.y0 = std::min(area.y0, y);
        area.y1 = y + 1;
    }
    // Disposal clears the frame's rectangle: clear all of it, so that the
    // next frame knows a decoder then shows nothing.
    if (clears)
        area = FrameArea{0, 0, frame.width, frame.height};
    plan.area = area;
    drawnCount_ = drawnCount;
    return collector.tooMany();
}

bool FrameEncoder::prepare(FrameJob& job, std::string* reason)
{
    PreparedFrame& plan = job.prepared;
    if (plan.prepared)
        return true;
    const PackedFrame& frame = *job.frame;
    plan.prepared = true;
    nearSlack_ = 0;
    plan.clears = job.next && TurnsTransparent(frame, *job.next);
    plan.againstPrevious = job.previous && !TurnsTransparent(*job.previous, frame);
    // At the best level a frame that fits a table is stored exactly; below
    // it such a frame is reduced too, within the level's colour tolerance.
    const bool reduceAll = !job.levels.lossless();
    if (frame.fitsTable && !reduceAll) {
        plan.mode = PreparedFrame::Mode::Open;
        return true;
    }
    width_ = frame.width;
    frame_ = frame.pixels.data();
    frameHasTransparent_ = frame.hasTransparent;
    against_ = plan.againstPrevious ? job.previous->pixels.data() : nullptr;
    const bool tooManyColours = findDrawn(frame, plan.clears, plan);
    if (plan.area.empty()) {
        plan.mode = PreparedFrame::Mode::Unchanged;
        return true;
    }
    if (!tooManyColours && !frame.fitsTable && planExact(plan, *job.global)) {
        plan.mode = PreparedFrame::Mode::Exact;
        return true;
    }
    plan.mode = PreparedFrame::Mode::Reduced;

    const FrameArea& area = plan.area;
    const int w = area.x1 - area.x0;
    const int h = area.y1 - area.y0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    // Every pixel of the rectangle is written, those not drawn as 0 (clear):
    // no fill first.
    rgba_.resize(count * 4);
    const std::size_t rowWidth = static_cast<std::size_t>(width_);
    zeros_.assign(static_cast<std::size_t>(w), 0u);
    // Below the best level the quantiser is asked, for a drawn pixel whose
    // colour in the next frame lies near its own, for the mean of the two.
    // Grain makes such pixels flicker about one colour. The next frame keeps
    // what a decoder shows where that lies within the level's slack of the
    // wanted colour; drawn halfway, the pixel is kept there more often
    // instead of drawn again, and the two frames share the difference
    // instead of the second taking all of it. The next frame could keep the
    // mean of colours up to four times the slack apart, but on a clean,
    // slowly moving picture that wider margin lost more to the shift than it
    // saved; twice the slack serves grain and spares such pictures.
    // The reduced colours still land within the colour tolerance of the
    // pixels' own (keepWithinTolerance).
    const std::uint32_t* next = job.next && reduceAll ? job.next->pixels.data() : nullptr;
    const int nextSlack = 2 * job.levels.keepSlack;
    const int nextTolerance = 2 * job.levels.colourTolerance;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t i = static_cast<std::size_t>(y) * rowWidth + static_cast<std::size_t>(area.x0);
        const std::size_t k = static_cast<std::size_t>(y - area.y0) * static_cast<std::size_t>(w);
        const std::uint32_t* againstRow = against_ ? against_ + i : zeros_.data();
        if (next) {
            DrawnRgbaRow<true>(frame_ + i, againstRow, next + i, rgba_.data() + k * 4, w, nextSlack,
                               nextTolerance);
        } else {
            DrawnRgbaRow<false>(frame_ + i, againstRow, nullptr, rgba_.data() + k * 4, w, 0, 0);
        }
    }
    QuantisedImage reduced;
    bool served = false;
    if (job.shared) {
        const ChosenColours* shared = job.shared->get(job.levels, reason);
        if (!shared)
            return false;
        served = RemapRgba(rgba_.data(), w, h, job.levels, *shared, reduced);
    }
    if (!served && !QuantiseRgba(rgba_.data(), w, h, job.levels, reduced, reason))
        return false;
    if (frame.fitsTable && !keepWithinTolerance(reduced, area, job.levels.colourTolerance)) {
        // No room for the colours the reduction moved too far: stored
        // exactly instead.
        plan.mode = PreparedFrame::Mode::Open;
        return true;
    }

    // The frame's table: the opaque entries; transparent pixels and pixels
    // that keep their colour use one more entry, the transparent index.
    ColourIndex tableIndex;
    plan.table.clear();
    for (std::size_t e = 0; e < reduced.palette.size(); ++e) {
        const std::uint32_t colour = reduced.palette[e];
        if (colour == 0) {
            plan.entryIndex[e] = -1;
            continue;
        }
        int found = tableIndex.find(colour);
        if (found < 0) {
            found = static_cast<int>(plan.table.size());
            tableIndex.insert(colour, found);
            plan.table.push_back(colour);
        }
        plan.entryIndex[e] = found;
    }
    plan.indexes = std::move(reduced.indexes);
    return true;
}

// Drawn pixels of the rectangle area (those opaque in rgba_) that the
// reduction moved further than tolerance in some channel from their own
// colour get entries of their own colour. False when the entries run out.
bool FrameEncoder::keepWithinTolerance(QuantisedImage& reduced, const FrameArea& area, int tolerance)
{
    ColourIndex added;
    std::size_t k = 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::uint32_t* row = frame_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x, ++k) {
            if (rgba_[k * 4 + 3] == 0)
                continue;
            const std::uint32_t p = row[x];
            const std::uint32_t got = reduced.palette[reduced.indexes[k]];
            if (got != 0 && ChannelDistance(got, p) <= tolerance)
                continue;
            int entry = added.find(p);
            if (entry < 0) {
                if (reduced.palette.size() == 256)
                    return false;
                entry = static_cast<int>(reduced.palette.size());
                added.insert(p, entry);
                reduced.palette.push_back(p);
            }
            reduced.indexes[k] = static_cast<std::uint8_t>(entry);
        }
    }
    return true;
}

bool FrameEncoder::encode(FrameJob& job, EncodedFrame& out, std::string* reason)
{
    if (!prepare(job, reason))
        return false;
    PreparedFrame& plan = job.prepared;
    const PackedFrame& frame = *job.frame;
    nearSlack_ = 0;
    out = EncodedFrame{};
    out.number = job.number;
    out.delay = job.delay;

    width_ = frame.width;
    frame_ = frame.pixels.data();
    frameHasTransparent_ = frame.hasTransparent;
    shown_ = job.shown.empty() ? nullptr : job.shown.data();
    if (plan.mode == PreparedFrame::Mode::Open) {
        // Stored exactly: draw what differs from what a decoder shows.
        against_ = shown_;
        nearSlack_ = job.levels.keepSlack;
        const bool tooManyColours = findDrawn(frame, plan.clears, plan);
        if (plan.area.empty()) {
            plan.mode = PreparedFrame::Mode::Unchanged;
        } else if (tooManyColours || !planExact(plan, *job.global)) {
            *reason = "a frame of at most 256 colours cannot be stored exactly";
            return false;
        }
    } else {
        against_ = plan.againstPrevious ? job.previous->pixels.data() : nullptr;
    }
    levels_ = job.levels;
    tolerance_ = job.levels.lossyTolerance;
    switch (plan.mode) {
    case PreparedFrame::Mode::Unchanged:
        encodeUnchanged(job, out);
        return true;
    case PreparedFrame::Mode::Reduced:
        writeReduced(plan, out);
        break;
    default:
        writeExact(plan, *job.global, out);
        break;
    }
    out.disposal = plan.clears ? 2 : 1;
    return true;
}

// Nothing changes: a one-pixel frame that draws nothing keeps the frame
// count and its delay.
void FrameEncoder::encodeUnchanged(const FrameJob& job, EncodedFrame& out)
{
    out.left = out.top = 0;
    out.width = out.height = 1;
    out.transparentIndex = 0;
    out.minCodeSize = 2;
    if (!job.global->colours.empty()) {
        out.globalTable = true;
        out.globalMaxIndex = 0;
    } else {
        out.globalTable = false;
        out.localTable.assign(2, 0xFF000000u);
    }
    const std::uint8_t pixel = 0;
    out.lzw = LzwEncode(out.minCodeSize, &pixel, nullptr, 1);
}

// The table of a frame stored exactly; false when its drawn pixels cannot be
// stored with one table and a transparent index.
bool FrameEncoder::planExact(PreparedFrame& plan, const GlobalPalette& global)
{
    const FrameArea& area = plan.area;
    ExactTable& table = plan.exact;
    table = ExactTable{};
    // Pixels inside the rectangle that are not drawn: they show the right
    // colour already, or are transparent and must not be drawn at all.
    // Every drawn pixel lies inside it.
    bool needTransparency = false;
    for (int y = area.y0; y < area.y1 && !needTransparency && frameHasTransparent_; ++y) {
        const std::uint32_t* row = frame_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        needTransparency = std::find(row + area.x0, row + area.x1, 0u) != row + area.x1;
    }
    const std::size_t areaPixels =
        static_cast<std::size_t>(area.x1 - area.x0) * static_cast<std::size_t>(area.y1 - area.y0);
    const bool wantTransparency = drawnCount_ < areaPixels || needTransparency;

    // The table: the global palette when it holds every colour drawn, else
    // the frame's own.
    for (std::uint32_t colour : plan.colours)
        table.useGlobal = table.useGlobal && global.index.find(colour) >= 0;
    table.colours = plan.colours;

    // The transparent index: any index that no drawn pixel uses.
    if (wantTransparency) {
        if (table.useGlobal) {
            std::array<bool, 256> used{};
            for (std::uint32_t colour : plan.colours)
                used[static_cast<std::size_t>(global.index.find(colour))] = true;
            for (int i = 0; i < 256 && table.transparent < 0; ++i) {
                if (!used[static_cast<std::size_t>(i)])
                    table.transparent = i;
            }
        } else if (table.colours.size() < 256) {
            table.transparent = static_cast<int>(table.colours.size());
        }
    }
    // The colours whose indexes the frame's data holds.
    std::vector<std::uint32_t> drawnColours = plan.colours;
    if (wantTransparency && table.transparent < 0) {
        // 256 colours are drawn: every pixel of the rectangle is drawn with
        // its own colour, so the table must hold them all.
        if (needTransparency)
            return false;
        ColourIndex all;
        std::vector<std::uint32_t> allColours;
        for (int y = area.y0; y < area.y1; ++y) {
            const std::uint32_t* row =
                frame_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            for (int x = area.x0; x < area.x1; ++x) {
                if (all.find(row[x]) < 0) {
                    if (allColours.size() == 256)
                        return false;
                    all.insert(row[x], static_cast<int>(allColours.size()));
                    allColours.push_back(row[x]);
                }
            }
        }
        for (std::uint32_t colour : allColours)
            table.useGlobal = table.useGlobal && global.index.find(colour) >= 0;
        if (!table.useGlobal)
            table.colours = allColours;
        drawnColours = std::move(allColours);
        table.drawEverything = true;
    }
    if (table.useGlobal) {
        table.maxIndex = std::max(table.transparent, 0);
        for (std::uint32_t colour : drawnColours)
            table.maxIndex = std::max(table.maxIndex, global.index.find(colour));
    } else {
        table.maxIndex = std::max({table.transparent, 0, static_cast<int>(table.colours.size()) - 1});
    }
    return true;
}

void FrameEncoder::writeExact(const PreparedFrame& plan, const GlobalPalette& global, EncodedFrame& out)
{
    const ExactTable& table = plan.exact;
    const FrameArea& area = plan.area;
    ColourIndex localIndex;
    if (!table.useGlobal) {
        for (std::size_t i = 0; i < table.colours.size(); ++i)
            localIndex.insert(table.colours[i], static_cast<int>(i));
    }
    RecentIndex index(table.useGlobal ? global.index : localIndex);
    const int transparent = table.transparent;
    const int codeSize = CodeSizeFor(table.maxIndex + 1);
    const int limit = 1 << codeSize;

    const int w = area.x1 - area.x0;
    const int h = area.y1 - area.y0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    primary_.resize(count);
    alternative_.resize(count);
    if (tolerance_ > 0)
        wanted_.resize(count);
    // Locals, as in writeReduced: the byte stores could alias the members.
    const std::uint32_t* const frame = frame_;
    const std::uint32_t* const against = against_;
    const std::uint32_t* const shownPixels = shown_;
    const int nearSlack = nearSlack_;
    const bool everything = table.drawEverything;
    const bool lossyRun = tolerance_ > 0;
    std::uint8_t* const primary = primary_.data();
    std::int16_t* const alternative = alternative_.data();
    std::uint32_t* const wanted = wanted_.data();
    const std::size_t rowWidth = static_cast<std::size_t>(width_);
    int maxAlternative = -1;
    std::size_t k = 0;
    // Which pixels are drawn follows the picture (grain), so each pixel's
    // entries are chosen by selections, not branches: a drawn pixel its own
    // colour's index; one not drawn transparent, or the index of what a
    // decoder shows when the table holds it, for the compressor to take
    // where that continues its current string better.
    drawnRow_.resize(static_cast<std::size_t>(w));
    std::uint8_t* const drawnRow = drawnRow_.data();
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart =
            static_cast<std::size_t>(y) * rowWidth + static_cast<std::size_t>(area.x0);
        const std::uint32_t* const row = frame + rowStart;
        if (everything) {
            std::fill(drawnRow, drawnRow + w, std::uint8_t{1});
        } else if (against && nearSlack == 0) {
            const std::uint32_t* const before = against + rowStart;
            for (int x = 0; x < w; ++x)
                drawnRow[x] = static_cast<std::uint8_t>((row[x] != 0) & (row[x] != before[x]));
        } else {
            for (int x = 0; x < w; ++x)
                drawnRow[x] =
                    static_cast<std::uint8_t>(Drawn(frame[rowStart + x], against, rowStart + x, nearSlack));
        }
        const std::uint32_t* const shownRow = shownPixels ? shownPixels + rowStart : nullptr;
        for (int x = 0; x < w; ++x, ++k) {
            const std::uint32_t p = row[x];
            const bool drawn = drawnRow[x] != 0;
            const std::uint32_t shown = shownRow ? shownRow[x] : 0u;
            const int found = index.find(drawn ? p : shown);
            const int own = found >= limit || found == transparent ? -1 : found;
            primary[k] = static_cast<std::uint8_t>(drawn ? found : transparent);
            const int second = drawn ? -1 : own;
            alternative[k] = static_cast<std::int16_t>(second);
            maxAlternative = std::max(maxAlternative, second);
            if (lossyRun)
                wanted[k] = drawn ? p : 0u;
        }
    }

    out.left = area.x0;
    out.top = area.y0;
    out.width = w;
    out.height = h;
    out.transparentIndex = table.drawEverything ? -1 : transparent;
    out.globalTable = table.useGlobal;
    out.minCodeSize = codeSize;
    if (table.useGlobal) {
        out.globalMaxIndex = std::max(table.maxIndex, maxAlternative);
    } else {
        out.localTable = table.colours;
        out.localTable.resize(static_cast<std::size_t>(TableSizeFor(table.maxIndex + 1)), 0xFF000000u);
    }
    const std::vector<std::uint32_t>& colours = table.useGlobal ? global.colours : table.colours;
    const LossyRun lossy{colours.data(), static_cast<int>(colours.size()), transparent, wanted_.data(),
                         tolerance_};
    out.lzw = encodeSmaller(codeSize, count, w, tolerance_ > 0 ? &lossy : nullptr);
}

void FrameEncoder::writeReduced(const PreparedFrame& plan, EncodedFrame& out)
{
    const FrameArea& area = plan.area;
    const std::vector<std::uint32_t>& table = plan.table;
    const int w = area.x1 - area.x0;
    const int h = area.y1 - area.y0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    ColourIndex tableIndex;
    for (std::size_t i = 0; i < table.size(); ++i)
        tableIndex.insert(table[i], static_cast<int>(i));
    RecentIndex shownIndex(tableIndex);
    const int transparent = table.size() < 256 ? static_cast<int>(table.size()) : -1;

    primary_.resize(count);
    alternative_.resize(count);
    if (tolerance_ > 0)
        wanted_.resize(count);
    const std::size_t rowWidth = static_cast<std::size_t>(width_);
    const std::size_t rowPixels = static_cast<std::size_t>(w);
    // Rows of 0s stand for no previous frame (every opaque pixel is drawn)
    // and for nothing shown.
    zeros_.assign(rowPixels, 0u);
    needsShown_.resize(rowPixels);
    places_.resize(rowPixels);
    // Which drawn pixels keep what is shown, as ShowFrame found; worked out
    // here when it did not.
    const bool kept = plan.keeps.size() == count;
    if (!kept)
        keepsRow_.resize(rowPixels);
    bool usesTransparent = false;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t i = static_cast<std::size_t>(y) * rowWidth + static_cast<std::size_t>(area.x0);
        const std::size_t k = static_cast<std::size_t>(y - area.y0) * rowPixels;
        const std::uint32_t* const f = frame_ + i;
        const std::uint32_t* const before = against_ ? against_ + i : zeros_.data();
        const std::uint32_t* const shown = shown_ ? shown_ + i : zeros_.data();
        const std::uint8_t* const entries = plan.indexes.data() + k;
        const std::uint8_t* keeps = kept ? plan.keeps.data() + k : keepsRow_.data();
        if (!kept) {
            // What a decoder shows stays when it is as close as the reduced
            // colour.
            for (std::size_t x = 0; x < rowPixels; ++x) {
                const int own = plan.entryIndex[entries[x]];
                keepsRow_[x] = static_cast<std::uint8_t>(
                    transparent >= 0 && own >= 0 && Drawn(f[x], before, x, 0)
                    && KeepsShown(f[x], table[static_cast<std::size_t>(own)], shown[x], levels_));
            }
        }
        const auto row = tolerance_ > 0 ? ReducedRow<true> : ReducedRow<false>;
        const bool fallback = row(f, before, shown, entries, keeps, plan.entryIndex.data(),
                                  std::max(transparent, 0), primary_.data() + k, alternative_.data() + k,
                                  tolerance_ > 0 ? wanted_.data() + k : nullptr, needsShown_.data(), w);
        usesTransparent = usesTransparent || (fallback && transparent >= 0);
        // The pixels that keep what a decoder shows and may take its index
        // instead of the transparent one (with no transparent index, must).
        // About a third of a film frame's pixels need it, scattered with
        // the grain: their places are gathered first without branching on
        // them, and only theirs looked up.
        const std::uint8_t* const needs = needsShown_.data();
        std::uint32_t* const places = places_.data();
        std::size_t found = 0;
        for (std::size_t x = 0; x < rowPixels; ++x) {
            places[found] = static_cast<std::uint32_t>(x);
            found += needs[x];
        }
        for (std::size_t n = 0; n < found; ++n) {
            const std::size_t x = places[n];
            const int own = shownIndex.find(shown[x]); // -1 when the table lacks it
            if (transparent >= 0)
                alternative_[k + x] = static_cast<std::int16_t>(own);
            else
                primary_[k + x] = static_cast<std::uint8_t>(std::max(own, 0));
        }
    }

    const int entries = static_cast<int>(table.size()) + (usesTransparent ? 1 : 0);
    out.left = area.x0;
    out.top = area.y0;
    out.width = w;
    out.height = h;
    out.transparentIndex = usesTransparent ? transparent : -1;
    out.globalTable = false;
    out.localTable = table;
    out.localTable.resize(static_cast<std::size_t>(TableSizeFor(entries)), 0xFF000000u);
    out.minCodeSize = CodeSizeFor(static_cast<int>(out.localTable.size()));
    const LossyRun lossy{table.data(), static_cast<int>(table.size()), transparent, wanted_.data(),
                         tolerance_};
    out.lzw = encodeSmaller(out.minCodeSize, count, w, tolerance_ > 0 ? &lossy : nullptr);
}

// Pixels that may stay transparent or take their own colour compress best
// one way in flat areas (their colour continues the runs around them) and
// the other in textured ones (long runs of the transparent index). There
// are a few arrangements: transparent wherever allowed, own colour wherever
// allowed, and transparent only along stretches of such pixels that cross
// colours. The compressor may still switch a pixel to its other choice
// where that extends a string. A small frame is compressed every way and
// the smallest kept; a large one is tried every way on a band of rows
// across its middle, and only the arrangement that did best there is
// compressed whole.
std::vector<std::uint8_t> FrameEncoder::encodeSmaller(int codeSize, std::size_t count, int width,
                                                      const LossyRun* lossy)
{
    // Below the best level, full string tables are kept where that codes
    // shorter: some 0.7-4.5% off drawn and photographic GIFs, for about a
    // fifth more work. The best level, whose speed on film counts most,
    // clears them as it always did.
    const bool keepFullTables = !levels_.lossless();
    // The lossy search over pixels [from, from + n).
    auto lossyFrom = [lossy](std::size_t from) {
        std::optional<LossyRun> run;
        if (lossy) {
            run = *lossy;
            run->wanted += from;
        }
        return run;
    };
    auto encode = [&](const std::uint8_t* primary, const std::int16_t* alternative, std::size_t from,
                      std::size_t to) {
        const std::optional<LossyRun> run = lossyFrom(from);
        return LzwEncode(codeSize, primary + from, alternative + from, to - from, run ? &*run : nullptr,
                         keepFullTables);
    };
    bool choices = false;
    for (std::size_t i = 0; i < count && !choices; ++i)
        choices = alternative_[i] != kNoAlternative;
    if (!choices) {
        const std::optional<LossyRun> run = lossyFrom(0);
        return LzwEncode(codeSize, primary_.data(), nullptr, count, run ? &*run : nullptr, keepFullTables);
    }

    // Stretches of pixels that may be transparent, row by row: a stretch in
    // one colour keeps it, one that crosses colours turns transparent. Marked
    // for rows [fromRow, toRow) only where arrangement 2 is tried.
    stretchOwn_.resize(count);
    arranged_.resize(count);
    arrangedAlternative_.resize(count);
    // Locals: the byte stores below could alias the members, which the
    // compiler would then reload after every pixel.
    const std::uint8_t* const primary = primary_.data();
    const std::int16_t* const alternative = alternative_.data();
    std::uint8_t* const stretchOwn = stretchOwn_.data();
    std::uint8_t* const arranged = arranged_.data();
    std::int16_t* const arrangedAlternative = arrangedAlternative_.data();
    const std::size_t w = static_cast<std::size_t>(width);
    auto markStretches = [&](std::size_t fromRow, std::size_t toRow) {
        std::fill(stretchOwn + fromRow * w, stretchOwn + toRow * w, 0);
        for (std::size_t rowStart = fromRow * w; rowStart < toRow * w; rowStart += w) {
            std::size_t x = 0;
            while (x < w) {
                const std::size_t i = rowStart + x;
                if (alternative[i] == kNoAlternative) {
                    ++x;
                    continue;
                }
                std::size_t end = x;
                bool oneColour = true;
                while (end < w && alternative[rowStart + end] != kNoAlternative) {
                    oneColour = oneColour && alternative[rowStart + end] == alternative[i];
                    ++end;
                }
                if (oneColour)
                    std::fill(stretchOwn + i, stretchOwn + rowStart + end, 1);
                x = end;
            }
        }
    };

    // Arrangement 0 is transparent wherever allowed, 1 own colour wherever
    // allowed, 2 by stretches; compresses pixels [from, to) arranged so.
    auto encodeArranged = [&](int arrangement, std::size_t from, std::size_t to) {
        if (arrangement == 0)
            return encode(primary, alternative, from, to);
        // Masks, not branches: which pixels take their own colour follows
        // the picture, which no branch predictor can, and the loop runs in
        // vector registers.
        const int everywhere = arrangement == 1 ? 1 : 0;
        for (std::size_t i = from; i < to; ++i) {
            const int second = alternative[i]; // kNoAlternative (-1) or an index
            const int first = primary[i];
            const int own =
                -(static_cast<int>(second >= 0) & (everywhere | static_cast<int>(stretchOwn[i] != 0)));
            arranged[i] = static_cast<std::uint8_t>((second & own) | (first & ~own));
            arrangedAlternative[i] = static_cast<std::int16_t>((first & own) | (second & ~own));
        }
        return encode(arranged, arrangedAlternative, from, to);
    };

    constexpr std::size_t kTrialPixels = 8192;
    const std::size_t rows = count / w;
    const std::size_t bandRows = std::max<std::size_t>((kTrialPixels + w - 1) / w, rows / 16);
    if (bandRows * 4 > rows) {
        markStretches(0, rows);
        std::vector<std::uint8_t> best = encodeArranged(0, 0, count);
        for (int arrangement = 1; arrangement < 3; ++arrangement) {
            std::vector<std::uint8_t> data = encodeArranged(arrangement, 0, count);
            if (data.size() < best.size())
                best = std::move(data);
        }
        return best;
    }
    const std::size_t fromRow = (rows - bandRows) / 2;
    const std::size_t from = fromRow * w;
    const std::size_t to = from + bandRows * w;
    markStretches(fromRow, fromRow + bandRows);
    int chosen = 0;
    std::size_t smallest = encodeArranged(0, from, to).size();
    for (int arrangement = 1; arrangement < 3; ++arrangement) {
        const std::size_t size = encodeArranged(arrangement, from, to).size();
        if (size < smallest) {
            smallest = size;
            chosen = arrangement;
        }
    }
    if (chosen == 2) {
        markStretches(0, fromRow);
        markStretches(fromRow + bandRows, rows);
    }
    return encodeArranged(chosen, 0, count);
}

} // namespace qf::imaging
