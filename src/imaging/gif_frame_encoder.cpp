#include "gif_frame_encoder.h"

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

} // namespace

std::uint32_t PackOpaque(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | b;
}

void PackedFrame::pack(const ImageView& view)
{
    width = view.width;
    height = view.height;
    pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    colours.clear();
    hasTransparent = false;
    bool tooMany = false;
    ColourIndex seen;
    std::uint32_t last = 0;
    for (int y = 0; y < height; ++y) {
        std::uint32_t* row = pixels.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        PackRow(view, y, row);
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            if (p == 0) {
                hasTransparent = true;
            } else if (p != last && !tooMany) {
                last = p;
                if (seen.find(p) < 0) {
                    tooMany = colours.size() == 256;
                    if (!tooMany) {
                        seen.insert(p, static_cast<int>(colours.size()));
                        colours.push_back(p);
                    }
                }
            }
        }
    }
    fitsTable = !tooMany && colours.size() + (hasTransparent ? 1 : 0) <= 256;
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

GlobalPaletteBuilder::GlobalPaletteBuilder()
    : palette_(std::make_shared<const GlobalPalette>())
{
}

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

bool FrameEncoder::drawn(std::size_t i) const
{
    const std::uint32_t p = frame_[i];
    return p != 0 && (!shown_ || redrawAll_ || p != shown_[i]);
}

bool FrameEncoder::encode(const FrameJob& job, EncodedFrame& out, std::string* reason)
{
    const PackedFrame& frame = *job.frame;
    out = EncodedFrame{};
    out.number = job.number;
    out.delay = job.delay;

    width_ = frame.width;
    frame_ = frame.pixels.data();
    const bool previousCleared = job.previous && TurnsTransparent(*job.previous, frame);
    shown_ = job.previous && !previousCleared ? job.previous->pixels.data() : nullptr;
    shownExact_ = !shown_ || job.previous->fitsTable;
    redrawAll_ = frame.fitsTable && !shownExact_;
    const bool clears = job.next && TurnsTransparent(frame, *job.next);

    // The rectangle of the pixels to draw and their colours (while there are
    // at most 256).
    Area area{frame.width, frame.height, 0, 0};
    bool tooManyColours = false;
    ColourIndex seen;
    colours_.clear();
    std::uint32_t last = 0;
    for (int y = 0; y < frame.height; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        int first = -1;
        int lastX = -1;
        for (int x = 0; x < frame.width; ++x) {
            if (!drawn(rowStart + static_cast<std::size_t>(x)))
                continue;
            if (first < 0)
                first = x;
            lastX = x;
            const std::uint32_t p = frame_[rowStart + static_cast<std::size_t>(x)];
            if (p != last && !tooManyColours) {
                last = p;
                if (seen.find(p) < 0) {
                    tooManyColours = colours_.size() == 256;
                    if (!tooManyColours) {
                        seen.insert(p, static_cast<int>(colours_.size()));
                        colours_.push_back(p);
                    }
                }
            }
        }
        if (lastX >= 0) {
            area.x0 = std::min(area.x0, first);
            area.x1 = std::max(area.x1, lastX + 1);
            area.y0 = std::min(area.y0, y);
            area.y1 = y + 1;
        }
    }
    // Disposal clears the frame's rectangle: clear all of it, so that the
    // next frame knows a decoder then shows nothing.
    if (clears)
        area = Area{0, 0, frame.width, frame.height};

    if (area.empty()) {
        encodeUnchanged(job, out);
        return true;
    }
    if (tooManyColours || !encodeExact(job, area, out)) {
        if (!encodeReduced(area, out, reason))
            return false;
    }
    out.disposal = clears ? 2 : 1;
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

bool FrameEncoder::encodeExact(const FrameJob& job, const Area& area, EncodedFrame& out)
{
    const GlobalPalette& global = *job.global;
    // Pixels inside the rectangle that are not drawn: they show the right
    // colour already, or are transparent and must not be drawn at all.
    bool wantTransparency = false;
    bool needTransparency = false;
    for (int y = area.y0; y < area.y1 && !needTransparency; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            if (frame_[i] == 0) {
                needTransparency = true;
                break;
            }
            wantTransparency = wantTransparency || !drawn(i);
        }
    }
    wantTransparency = wantTransparency || needTransparency;

    // The table: the global palette when it holds every colour drawn, else
    // the frame's own.
    bool useGlobal = true;
    for (std::uint32_t colour : colours_)
        useGlobal = useGlobal && global.index.find(colour) >= 0;
    std::vector<std::uint32_t> tableColours = colours_;

    // The transparent index: any index that no drawn pixel uses.
    int transparent = -1;
    if (wantTransparency) {
        if (useGlobal) {
            std::array<bool, 256> used{};
            for (std::uint32_t colour : colours_)
                used[static_cast<std::size_t>(global.index.find(colour))] = true;
            for (int i = 0; i < 256 && transparent < 0; ++i) {
                if (!used[static_cast<std::size_t>(i)])
                    transparent = i;
            }
        } else if (tableColours.size() < 256) {
            transparent = static_cast<int>(tableColours.size());
        }
    }
    // The colours whose indexes the frame's data holds.
    std::vector<std::uint32_t> drawnColours = colours_;
    bool drawEverything = false;
    if (wantTransparency && transparent < 0) {
        // 256 colours are drawn: every pixel of the rectangle is drawn with
        // its own colour, so the table must hold them all.
        if (needTransparency)
            return false;
        ColourIndex all;
        std::vector<std::uint32_t> allColours;
        for (int y = area.y0; y < area.y1; ++y) {
            const std::uint32_t* row = frame_ + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
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
            useGlobal = useGlobal && global.index.find(colour) >= 0;
        if (!useGlobal)
            tableColours = allColours;
        drawnColours = std::move(allColours);
        drawEverything = true;
    }

    ColourIndex localIndex;
    if (!useGlobal) {
        for (std::size_t i = 0; i < tableColours.size(); ++i)
            localIndex.insert(tableColours[i], static_cast<int>(i));
    }
    const ColourIndex& index = useGlobal ? global.index : localIndex;

    int maxIndex = std::max(transparent, 0);
    for (std::uint32_t colour : drawnColours)
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
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            const std::uint32_t p = frame_[i];
            if (drawEverything || drawn(i)) {
                primary_[k] = static_cast<std::uint8_t>(index.find(p));
                alternative_[k] = kNoAlternative;
                continue;
            }
            // Not drawn: transparent, or its own colour when a decoder shows
            // exactly that and it continues the compressor's current string
            // better.
            int own = p != 0 && shownExact_ ? index.find(p) : -1;
            if (own >= limit || own == transparent)
                own = -1;
            primary_[k] = static_cast<std::uint8_t>(transparent);
            alternative_[k] = own >= 0 ? static_cast<std::int16_t>(own) : kNoAlternative;
            maxAlternative = std::max(maxAlternative, own);
        }
    }

    out.left = area.x0;
    out.top = area.y0;
    out.width = w;
    out.height = h;
    out.transparentIndex = drawEverything ? -1 : transparent;
    out.globalTable = useGlobal;
    out.minCodeSize = codeSize;
    if (useGlobal) {
        out.globalMaxIndex = std::max(maxIndex, maxAlternative);
    } else {
        out.localTable = tableColours;
        out.localTable.resize(static_cast<std::size_t>(TableSizeFor(maxIndex + 1)), 0xFF000000u);
    }
    out.lzw = encodeSmaller(codeSize, count, w);
    return true;
}

bool FrameEncoder::encodeReduced(const Area& area, EncodedFrame& out, std::string* reason)
{
    const int w = area.x1 - area.x0;
    const int h = area.y1 - area.y0;
    const std::size_t count = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
    rgba_.assign(count * 4, 0);
    std::size_t k = 0;
    for (int y = area.y0; y < area.y1; ++y) {
        const std::size_t rowStart = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
        for (int x = area.x0; x < area.x1; ++x, ++k) {
            const std::size_t i = rowStart + static_cast<std::size_t>(x);
            if (drawn(i)) {
                const std::uint32_t p = frame_[i];
                rgba_[k * 4 + 0] = static_cast<std::uint8_t>(p >> 16);
                rgba_[k * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
                rgba_[k * 4 + 2] = static_cast<std::uint8_t>(p);
                rgba_[k * 4 + 3] = 255;
            }
        }
    }
    QuantisedImage reduced;
    if (!QuantiseRgba(rgba_.data(), w, h, reduced, reason))
        return false;

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
            // What a decoder shows there, when that is known exactly.
            const std::uint32_t shown = shown_ && shownExact_ ? shown_[i] : 0;
            int own = -1;
            if (drawn(i)) {
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
                // All 256 entries are colours, so every pixel of the
                // rectangle was drawn and own is set.
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
    out.lzw = encodeSmaller(out.minCodeSize, count, w);
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
std::vector<std::uint8_t> FrameEncoder::encodeSmaller(int codeSize, std::size_t count, int width)
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

} // namespace qf::imaging
