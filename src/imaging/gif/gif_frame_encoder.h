// Encoding one frame of an animation: which rectangle, which colour table,
// which pixels stay transparent over what a decoder already shows, and the
// compressed pixel data. No file access, and nothing that depends on the
// order in which frames are encoded: a frame's encoding is a function of the
// frame, its two neighbours and the global palette handed to it, so frames
// can be encoded on any thread, in any order.
#pragma once

#include "imaging/colour/colour_index.h"
#include "imaging/colour/gif_levels.h"
#include "imaging/colour/quantise.h"
#include "imaging/gif/gif_lzw.h"
#include "imaging/image.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qf::imaging {

// Frames are encoded from packed colours: 0xFFRRGGBB for an opaque pixel, 0
// for a transparent one.
inline std::uint32_t PackOpaque(std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(r) << 16) | (static_cast<std::uint32_t>(g) << 8) | b;
}

// A frame as packed colours, with what can be known from it alone.
struct PackedFrame {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    // Opaque colours plus, when some pixel is transparent, the transparent
    // entry fit one 256-entry table: the frame is stored exactly.
    bool fitsTable = false;
    bool hasTransparent = false;
    // The distinct opaque colours in order of first appearance, when the
    // frame fits a table; empty otherwise.
    std::vector<std::uint32_t> colours;

    // Packs view (alpha below 128 counts as transparent) and counts its
    // colours, reusing the storage.
    void pack(const ImageView& view);
    // Opaque pixels whose channels all differ by at most tolerance from an
    // opaque pixel of previous take its colour; then counts the colours.
    void holdStill(const PackedFrame& previous, int tolerance);

private:
    void countColours();
};

// True when a pixel that is opaque in from is transparent in to: from must be
// cleared once it has been shown.
bool TurnsTransparent(const PackedFrame& from, const PackedFrame& to);

// The global colour table as far as it has grown. Colours are only ever
// appended, so an index taken from an earlier state stays valid.
struct GlobalPalette {
    std::vector<std::uint32_t> colours;
    ColourIndex index;
};

// Grows the global palette in frame order with the colours of the frames
// stored exactly, while the whole animation fits in 256 colours.
class GlobalPaletteBuilder {
public:
    GlobalPaletteBuilder();
    // Adds the frame's colours when they fit and returns the palette as it is
    // now; a returned palette never changes.
    std::shared_ptr<const GlobalPalette> add(const PackedFrame& frame);
    std::shared_ptr<const GlobalPalette> current() const { return palette_; }

private:
    std::shared_ptr<const GlobalPalette> palette_;
    bool closed_ = false;
};

// Colours for a run of frames, chosen for the pixels its first frame draws
// over the frame before it, when the writer links that frame or by whichever
// frame of the run needs them first, on whatever thread: they depend on
// those two frames alone, so output does not depend on which thread came
// first.
class SharedColours {
public:
    SharedColours(std::shared_ptr<const PackedFrame> first, std::shared_ptr<const PackedFrame> previous)
        : first_(std::move(first)), previous_(std::move(previous))
    {}
    // Null with reason when the quantiser fails.
    const ChosenColours* get(const GifLevels& levels, std::string* reason);
    // Whether the colours serve frame, drawn over previous (null: all of it
    // is drawn): its drawn pixels lie no further from them, over the same
    // sample, than levels.paletteReuse allows beyond the first frame's. A
    // failure to choose them is left to the frames that ask for them.
    bool serves(const PackedFrame& frame, const PackedFrame* previous, const GifLevels& levels);

private:
    std::shared_ptr<const PackedFrame> first_;
    std::shared_ptr<const PackedFrame> previous_; // null: all of first_ is drawn
    std::once_flag once_;
    bool chosen_ = false;
    ChosenColours colours_;
    std::string reason_;
};

// A rectangle of the frame, half open.
struct FrameArea {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// The colour table of a frame stored with exact colours.
struct ExactTable {
    bool useGlobal = true;
    std::vector<std::uint32_t> colours; // the frame's own table when !useGlobal
    int transparent = -1;               // -1: none
    bool drawEverything = false;        // every pixel of the rectangle is drawn
    int maxIndex = 0;
};

// What FrameEncoder::prepare decides from the rendered frames alone: the
// pixels to draw, and for a reduced frame its colours.
struct PreparedFrame {
    enum class Mode { Open, Unchanged, Exact, Reduced };
    Mode mode = Mode::Open; // Open: decided against what a decoder shows
    bool prepared = false;
    bool clears = false;
    bool againstPrevious = false; // drawn pixels differ from the previous frame given
    FrameArea area;
    std::vector<std::uint32_t> colours; // distinct colours drawn (Exact)
    ExactTable exact;
    std::vector<std::uint32_t> table;  // Reduced: opaque entries
    std::array<int, 256> entryIndex{}; // quantiser entry -> table index, -1 transparent
    std::vector<std::uint8_t> indexes; // quantiser entries of the rectangle
    // Reduced, set by ShowFrame: 1 where a drawn pixel of the rectangle keeps
    // what a decoder shows rather than its reduced colour.
    std::vector<std::uint8_t> keeps;
};

// Everything the encoding of one frame depends on.
struct FrameJob {
    std::shared_ptr<const PackedFrame> previous; // null for the first frame
    std::shared_ptr<const PackedFrame> frame;
    std::shared_ptr<const PackedFrame> next; // null for the last frame
    std::shared_ptr<const GlobalPalette> global;
    int number = 0; // 1-based
    int delay = 0;  // hundredths of a second
    GifLevels levels;
    // Colours shared with neighbouring frames, tried before choosing the
    // frame's own; may be null.
    std::shared_ptr<SharedColours> shared;
    PreparedFrame prepared;
    // What a decoder shows before the frame (GifAnimationWriter::show); empty
    // when it shows nothing.
    std::vector<std::uint32_t> shown;
};

// Updates view, what a decoder shows (empty: nothing), from before the
// prepared frame job to after it, in frame order. A reduced frame whose
// differences from the view have few colours turns exact here. Cheap: it
// copies the drawn pixels and counts colours up to 256.
void ShowFrame(FrameJob& job, std::vector<std::uint32_t>& view);

struct EncodedFrame {
    int number = 0;
    int delay = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int disposal = 1;                      // 1: keep; 2: clear to transparent afterwards
    int transparentIndex = -1;             // -1: no transparency
    bool globalTable = true;               // false: localTable holds the colours
    int globalMaxIndex = -1;               // the largest global index the data holds
    std::vector<std::uint32_t> localTable; // a power of two entries, at least 2
    int minCodeSize = 2;
    std::vector<std::uint8_t> lzw; // the code stream, not yet cut into blocks
};

// True when shown (0: nothing) lies within slack of p, in summed squares of
// the channel differences: a pixel of colour p may keep showing it.
inline bool ShowsNear(std::uint32_t p, std::uint32_t shown, int slack)
{
    return shown != 0 && slack > 0 && SquaredDistance(p, shown) <= slack;
}

// Encodes frames; holds work space, so keep one per thread.
//  - At the best level a frame that fits a table is stored exactly: the
//    pixels that differ from what a decoder shows are drawn with their own
//    colours, with the global palette when it holds them all and a table of
//    their own otherwise. Below it such a frame is reduced like the others,
//    but no pixel further than the level's colour tolerance from its own
//    colour; where the table has no room for that it is stored exactly.
//  - In other frames only pixels that differ from the previous frame given
//    are drawn, so still areas keep the colours they were reduced to and the
//    dither does not crawl. Drawn pixels with at most 256 colours keep their
//    colours; with more they are reduced with libimagequant.
//  - Pixels a decoder already shows right, or nearly right (within the
//    level's slack), stay transparent, or take the index of what it shows
//    where that compresses better.
//  - A frame whose pixels turn transparent in the next one is stored whole
//    and cleared after it has been shown.
// Three steps: prepare() on any thread (the colour reduction), then
// ShowFrame in frame order (the writer's show stage), then encode() on any
// thread.
class FrameEncoder {
public:
    // False with reason only when the colour quantiser fails.
    bool prepare(FrameJob& job, std::string* reason);
    // Prepares the job first when that was not done.
    bool encode(FrameJob& job, EncodedFrame& out, std::string* reason);

private:
    void encodeUnchanged(const FrameJob& job, EncodedFrame& out);
    bool findDrawn(const PackedFrame& frame, bool clears, PreparedFrame& plan);
    bool planExact(PreparedFrame& plan, const GlobalPalette& global);
    void writeExact(const PreparedFrame& plan, const GlobalPalette& global, EncodedFrame& out);
    void writeReduced(const PreparedFrame& plan, EncodedFrame& out);
    bool keepWithinTolerance(QuantisedImage& reduced, const FrameArea& area, int tolerance);
    // Whether pixel i, of colour p, is drawn: opaque, and not what against
    // holds there nor near enough to it to pass for it.
    static bool Drawn(std::uint32_t p, const std::uint32_t* against, std::size_t i, int nearSlack)
    {
        return p != 0 && (!against || (p != against[i] && !ShowsNear(p, against[i], nearSlack)));
    }
    bool drawn(std::size_t i) const { return Drawn(frame_[i], against_, i, nearSlack_); }
    std::vector<std::uint8_t> encodeSmaller(int codeSize, std::size_t count, int width,
                                            const LossyRun* lossy);

    // The frame being encoded, what its pixels are compared with to decide
    // which are drawn (null: all that are opaque), and what a decoder shows
    // before it (null: nothing).
    const std::uint32_t* frame_ = nullptr;
    const std::uint32_t* against_ = nullptr;
    const std::uint32_t* shown_ = nullptr;
    bool frameHasTransparent_ = false;
    std::size_t drawnCount_ = 0; // pixels drawn, as findDrawn counted them
    int width_ = 0;
    int tolerance_ = 0; // of the lossy compression
    GifLevels levels_;
    int nearSlack_ = 0; // the same for a pixel drawn exactly, while against_ is shown_

    std::vector<std::uint8_t> primary_;
    std::vector<std::int16_t> alternative_;
    std::vector<std::uint8_t> rgba_;
    std::vector<std::uint8_t> arranged_;
    std::vector<std::int16_t> arrangedAlternative_;
    std::vector<std::uint8_t> stretchOwn_;
    std::vector<std::uint8_t> drawnRow_;   // 1 where a pixel of the row being written is drawn
    std::vector<std::uint32_t> zeros_;     // a row of nothing: no previous frame, nothing shown
    std::vector<std::uint8_t> needsShown_; // 1 where a reduced row's pixel may take what is shown
    std::vector<std::uint32_t> places_;    // of the pixels of a reduced row that need what is shown
    std::vector<std::uint8_t> keepsRow_;   // a reduced row's pixels that keep what is shown
    std::vector<std::uint32_t> wanted_;    // for lossy compression
};

} // namespace qf::imaging
