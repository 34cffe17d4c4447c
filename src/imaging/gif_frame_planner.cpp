#include "gif_frame_planner.h"

#include "gif_lzw.h"
#include "quantise.h"

#include <algorithm>
#include <array>

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

} // namespace

std::uint32_t PackOpaque(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | b;
}

void FramePlanner::Area::add(int x, int y)
{
    x0 = std::min(x0, x);
    y0 = std::min(y0, y);
    x1 = std::max(x1, x + 1);
    y1 = std::max(y1, y + 1);
}

FramePlanner::FramePlanner(int width, int height)
    : width_(width)
    , height_(height)
    , canvas_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0u)
    , previous_(canvas_.size(), 0u)
{
}

bool FramePlanner::plan(const std::uint32_t* frame, const std::uint32_t* next, PlannedFrame& out,
                        std::string* reason)
{
    out = PlannedFrame{};

    // The pixels that differ from what a decoder shows, their colours (while
    // there are at most 256), and the pixels the next frame needs cleared.
    Area area{width_, height_, 0, 0};
    bool clear = false;
    bool tooManyColours = false;
    ColourIndex seen;
    colours_.clear();
    std::uint32_t last = 0;
    for (int y = 0; y < height_; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        const std::uint32_t* f = frame + rowStart;
        const std::uint32_t* c = canvas_.data() + rowStart;
        const std::uint32_t* n = next ? next + rowStart : nullptr;
        int first = width_;
        int lastX = -1;
        for (int x = 0; x < width_; ++x) {
            const std::uint32_t p = f[x];
            const bool clears = n && p != 0 && n[x] == 0;
            if (p == c[x] && !clears)
                continue;
            clear = clear || clears;
            first = std::min(first, x);
            lastX = x;
            if (p != c[x] && p != 0 && p != last && !tooManyColours) {
                last = p;
                if (seen.find(p) < 0) {
                    if (colours_.size() == 256) {
                        tooManyColours = true;
                    } else {
                        seen.insert(p, static_cast<int>(colours_.size()));
                        colours_.push_back(p);
                    }
                }
            }
        }
        if (lastX >= 0) {
            area.add(first, y);
            area.add(lastX, y);
        }
    }

    if (area.empty()) {
        planUnchanged(out);
    } else if (tooManyColours || !planExact(frame, area, clear, out)) {
        if (!planReduced(frame, next, out, reason))
            return false;
    }
    std::copy(frame, frame + previous_.size(), previous_.begin());
    hasPrevious_ = true;
    return true;
}

// Nothing changes: a one-pixel frame that draws nothing keeps the frame
// count and its delay.
void FramePlanner::planUnchanged(PlannedFrame& out)
{
    out.left = out.top = 0;
    out.width = out.height = 1;
    out.transparentIndex = 0;
    out.minCodeSize = 2;
    if (!global_.empty()) {
        out.globalTable = true;
        globalMaxIndex_ = std::max(globalMaxIndex_, 0);
    } else {
        out.globalTable = false;
        out.localTable.assign(2, 0xFF000000u);
    }
    const std::uint8_t pixel = 0;
    out.lzw = LzwEncode(out.minCodeSize, &pixel, nullptr, 1);
}

bool FramePlanner::planExact(const std::uint32_t* frame, const Area& area, bool clear, PlannedFrame& out)
{
    // Pixels inside the rectangle that need not be drawn: they show the
    // right colour already. Transparent ones must not be drawn at all.
    bool wantTransparency = false;
    bool needTransparency = false;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x) {
            const std::uint32_t p = frame[rowStart + static_cast<std::size_t>(x)];
            if (p == 0) {
                needTransparency = true;
                break;
            }
            if (p == canvas_[rowStart + static_cast<std::size_t>(x)])
                wantTransparency = true;
        }
        if (needTransparency)
            break;
    }
    wantTransparency = wantTransparency || needTransparency;

    // The table: the global one while the colours fit, else the frame's own.
    std::vector<std::uint32_t> tableColours = colours_;
    int added = 0;
    for (std::uint32_t colour : colours_)
        added += globalIndex_.find(colour) < 0 ? 1 : 0;
    bool useGlobal = false;
    if (!globalClosed_ && global_.size() + static_cast<std::size_t>(added) <= 256) {
        useGlobal = true;
    } else {
        globalClosed_ = true;
        useGlobal = added == 0;
    }

    // The transparent index: any index that no changed pixel uses.
    int transparent = -1;
    if (wantTransparency) {
        if (useGlobal) {
            std::array<bool, 256> used{};
            std::size_t size = global_.size();
            for (std::uint32_t colour : colours_) {
                const int index = globalIndex_.find(colour);
                used[static_cast<std::size_t>(index >= 0 ? index : static_cast<int>(size++))] = true;
            }
            for (int i = 0; i < 256 && transparent < 0; ++i) {
                if (!used[static_cast<std::size_t>(i)])
                    transparent = i;
            }
        } else if (tableColours.size() < 256) {
            transparent = static_cast<int>(tableColours.size());
        }
    }
    // The colours whose indexes the frame's data holds.
    std::vector<std::uint32_t> drawn = colours_;
    if (wantTransparency && transparent < 0) {
        // 256 colours change: every pixel of the rectangle is drawn with its
        // own colour, so the table must hold them all.
        if (needTransparency)
            return false;
        ColourIndex all;
        std::vector<std::uint32_t> allColours;
        for (int y = area.y0; y < area.y1; ++y) {
            const std::uint32_t* row = frame + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
            for (int x = area.x0; x < area.x1; ++x) {
                if (all.find(row[x]) < 0) {
                    if (allColours.size() == 256)
                        return false;
                    all.insert(row[x], static_cast<int>(allColours.size()));
                    allColours.push_back(row[x]);
                }
            }
        }
        bool inGlobal = useGlobal;
        for (std::uint32_t colour : allColours)
            inGlobal = inGlobal && globalIndex_.find(colour) >= 0;
        if (!inGlobal) {
            useGlobal = false;
            tableColours = allColours;
        }
        drawn = std::move(allColours);
        wantTransparency = false;
    }

    if (useGlobal) {
        for (std::uint32_t colour : colours_) {
            if (globalIndex_.find(colour) < 0) {
                globalIndex_.insert(colour, static_cast<int>(global_.size()));
                global_.push_back(colour);
            }
        }
    }
    ColourIndex localIndex;
    if (!useGlobal) {
        for (std::size_t i = 0; i < tableColours.size(); ++i)
            localIndex.insert(tableColours[i], static_cast<int>(i));
    }
    const ColourIndex& index = useGlobal ? globalIndex_ : localIndex;

    int maxIndex = std::max(transparent, 0);
    for (std::uint32_t colour : drawn)
        maxIndex = std::max(maxIndex, index.find(colour));
    const int codeSize = CodeSizeFor(maxIndex + 1);
    const int limit = 1 << codeSize;

    const int w = area.x1 - area.x0;
    const int h = area.y1 - area.y0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    primary_.resize(count);
    alternative_.resize(count);
    int maxAlternative = -1;
    std::size_t k = 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x, ++k) {
            const std::uint32_t p = frame[rowStart + static_cast<std::size_t>(x)];
            const bool same = p == canvas_[rowStart + static_cast<std::size_t>(x)] || p == 0;
            int own = p != 0 ? index.find(p) : -1;
            if (own >= limit)
                own = -1;
            if (!same || transparent < 0) {
                primary_[k] = static_cast<std::uint8_t>(own);
                alternative_[k] = kNoAlternative;
            } else {
                // Unchanged: transparent, or its own colour when that
                // continues the compressor's current string better.
                primary_[k] = static_cast<std::uint8_t>(transparent);
                alternative_[k] = own >= 0 && own != transparent ? static_cast<std::int16_t>(own) : kNoAlternative;
                maxAlternative = std::max(maxAlternative, static_cast<int>(alternative_[k]));
            }
        }
    }

    out.left = area.x0;
    out.top = area.y0;
    out.width = w;
    out.height = h;
    out.transparentIndex = transparent;
    out.globalTable = useGlobal;
    out.minCodeSize = codeSize;
    out.exact = true;
    if (useGlobal) {
        globalMaxIndex_ = std::max({globalMaxIndex_, maxIndex, maxAlternative});
    } else {
        out.localTable = tableColours;
        out.localTable.resize(static_cast<std::size_t>(TableSizeFor(maxIndex + 1)), 0xFF000000u);
    }
    out.lzw = EncodeSmaller(codeSize, count, w);

    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            if (frame[i] != 0)
                canvas_[i] = frame[i];
        }
    }
    finishFrame(area, clear, out);
    return true;
}

bool FramePlanner::planReduced(const std::uint32_t* frame, const std::uint32_t* next, PlannedFrame& out,
                               std::string* reason)
{
    // Redraw a pixel only when the frame given changed there (or the
    // decoder shows nothing there): a still pixel keeps the colour it was
    // reduced to before, so the dither does not crawl.
    auto redraw = [&](std::size_t i) {
        const std::uint32_t p = frame[i];
        const std::uint32_t c = canvas_[i];
        return p != 0 && p != c && (!hasPrevious_ || p != previous_[i] || c == 0);
    };
    Area area{width_, height_, 0, 0};
    bool clear = false;
    for (int y = 0; y < height_; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = 0; x < width_; ++x) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            const bool clears = next && frame[i] != 0 && next[i] == 0;
            if (clears || redraw(i)) {
                clear = clear || clears;
                area.add(x, y);
            }
        }
    }
    if (area.empty()) {
        planUnchanged(out);
        finishFrame(Area{0, 0, 1, 1}, false, out);
        return true;
    }

    const int w = area.x1 - area.x0;
    const int h = area.y1 - area.y0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    changed_.resize(count);
    std::vector<std::uint8_t> rgba(count * 4, 0);
    std::size_t k = 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x, ++k) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            changed_[k] = redraw(i) ? 1 : 0;
            if (changed_[k]) {
                const std::uint32_t p = frame[i];
                rgba[k * 4 + 0] = static_cast<std::uint8_t>(p >> 16);
                rgba[k * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
                rgba[k * 4 + 2] = static_cast<std::uint8_t>(p);
                rgba[k * 4 + 3] = 255;
            }
        }
    }
    QuantisedImage reduced;
    if (!QuantiseRgba(rgba.data(), w, h, reduced, reason))
        return false;
    rgba = {};

    // The frame's table: the opaque entries; transparent pixels and pixels
    // that keep their colour use one more entry, the transparent index.
    std::vector<std::uint32_t> table;
    ColourIndex tableIndex;
    std::array<int, 256> entryIndex{};
    for (std::size_t e = 0; e < reduced.palette.size(); ++e) {
        const std::uint32_t colour = reduced.palette[e];
        if (colour == 0) {
            entryIndex[e] = -1;
            continue;
        }
        int found = tableIndex.find(colour);
        if (found < 0) {
            found = static_cast<int>(table.size());
            tableIndex.insert(colour, found);
            table.push_back(colour);
        }
        entryIndex[e] = found;
    }
    const int transparent = table.size() < 256 ? static_cast<int>(table.size()) : -1;

    primary_.resize(count);
    alternative_.resize(count);
    bool usesTransparent = false;
    k = 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x, ++k) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            const std::uint32_t shown = canvas_[i];
            int own = -1;
            if (changed_[k]) {
                own = entryIndex[reduced.indexes[k]];
                if (own >= 0 && table[static_cast<std::size_t>(own)] != shown) {
                    primary_[k] = static_cast<std::uint8_t>(own);
                    alternative_[k] = kNoAlternative;
                    continue;
                }
            } else if (shown != 0) {
                own = tableIndex.find(shown);
            }
            // The pixel keeps what the decoder shows.
            if (transparent >= 0) {
                primary_[k] = static_cast<std::uint8_t>(transparent);
                alternative_[k] = own >= 0 ? static_cast<std::int16_t>(own) : kNoAlternative;
                usesTransparent = true;
            } else {
                // All 256 entries are colours, so no pixel was left out of
                // the reduction and own is set.
                primary_[k] = static_cast<std::uint8_t>(std::max(own, 0));
                alternative_[k] = kNoAlternative;
            }
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
    out.exact = false;
    out.lzw = EncodeSmaller(out.minCodeSize, count, w);

    k = 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x, ++k) {
            if (primary_[k] != transparent || !usesTransparent)
                canvas_[rowStart + static_cast<std::size_t>(x)] = table[primary_[k]];
        }
    }
    finishFrame(area, clear, out);
    return true;
}

// Pixels that may stay transparent or take their own colour compress best
// one way in flat areas (their colour continues the runs around them) and
// the other in textured ones (long runs of the transparent index). The
// frame is compressed with a few arrangements and the smallest kept:
// transparent wherever allowed, own colour wherever allowed, and
// transparent only along stretches of such pixels that cross colours. The
// compressor may still switch a pixel to its other choice where that
// extends a string.
std::vector<std::uint8_t> FramePlanner::EncodeSmaller(int codeSize, std::size_t count, int width)
{
    std::vector<std::uint8_t> best = LzwEncode(codeSize, primary_.data(), alternative_.data(), count);
    bool choices = false;
    for (std::size_t i = 0; i < count && !choices; ++i)
        choices = alternative_[i] != kNoAlternative;
    if (!choices)
        return best;

    arranged_.resize(count);
    arrangedAlternative_.resize(count);
    auto tryArrangement = [&](auto&& ownColourAt) {
        for (std::size_t i = 0; i < count; ++i) {
            const bool own = alternative_[i] != kNoAlternative && ownColourAt(i);
            arranged_[i] = own ? static_cast<std::uint8_t>(alternative_[i]) : primary_[i];
            arrangedAlternative_[i] = alternative_[i] == kNoAlternative ? kNoAlternative
                : own ? static_cast<std::int16_t>(primary_[i])
                      : alternative_[i];
        }
        std::vector<std::uint8_t> data = LzwEncode(codeSize, arranged_.data(), arrangedAlternative_.data(), count);
        if (data.size() < best.size())
            best = std::move(data);
    };
    tryArrangement([](std::size_t) { return true; });

    // Stretches of pixels that may be transparent, row by row: a stretch in
    // one colour keeps it, one that crosses colours turns transparent.
    stretchOwn_.assign(count, 0);
    const std::size_t w = static_cast<std::size_t>(width);
    for (std::size_t rowStart = 0; rowStart < count; rowStart += w) {
        std::size_t x = 0;
        while (x < w) {
            const std::size_t i = rowStart + x;
            if (alternative_[i] == kNoAlternative) {
                ++x;
                continue;
            }
            std::size_t end = x;
            bool oneColour = true;
            while (end < w && alternative_[rowStart + end] != kNoAlternative) {
                oneColour = oneColour && alternative_[rowStart + end] == alternative_[i];
                ++end;
            }
            if (oneColour)
                std::fill(stretchOwn_.begin() + static_cast<std::ptrdiff_t>(i),
                          stretchOwn_.begin() + static_cast<std::ptrdiff_t>(rowStart + end), 1);
            x = end;
        }
    }
    tryArrangement([&](std::size_t i) { return stretchOwn_[i] != 0; });
    return best;
}

void FramePlanner::finishFrame(const Area& area, bool clear, PlannedFrame& out)
{
    out.disposal = clear ? 2 : 1;
    if (!clear)
        return;
    // Disposal 2 clears the frame's rectangle to transparent once it has
    // been shown; the next frame is planned against that.
    for (int y = area.y0; y < area.y1; ++y) {
        std::uint32_t* row = canvas_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        std::fill(row + area.x0, row + area.x1, 0u);
    }
}

std::vector<std::uint32_t> FramePlanner::globalTable() const
{
    if (globalMaxIndex_ < 0)
        return {};
    std::vector<std::uint32_t> table = global_;
    const int needed = std::max(static_cast<int>(table.size()), globalMaxIndex_ + 1);
    table.resize(static_cast<std::size_t>(TableSizeFor(needed)), 0xFF000000u);
    return table;
}

} // namespace qf::imaging
