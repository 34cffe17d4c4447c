// Encoding one frame of an animation: which rectangle, which colour table,
// which pixels stay transparent over what a decoder already shows, and the
// compressed pixel data. No file access, and nothing that depends on the
// order in which frames are encoded: a frame's encoding is a function of the
// frame, its two neighbours and the global palette handed to it, so frames
// can be encoded on any thread, in any order.
#pragma once

#include "colour_index.h"
#include "image.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qf::imaging {

// Frames are encoded from packed colours: 0xFFRRGGBB for an opaque pixel, 0
// for a transparent one.
std::uint32_t PackOpaque(std::uint8_t r, std::uint8_t g, std::uint8_t b);

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

// Everything the encoding of one frame depends on.
struct FrameJob {
    std::shared_ptr<const PackedFrame> previous; // null for the first frame
    std::shared_ptr<const PackedFrame> frame;
    std::shared_ptr<const PackedFrame> next; // null for the last frame
    std::shared_ptr<const GlobalPalette> global;
    int number = 0; // 1-based
    int delay = 0;  // hundredths of a second
};

struct EncodedFrame {
    int number = 0;
    int delay = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int disposal = 1;          // 1: keep; 2: clear to transparent afterwards
    int transparentIndex = -1; // -1: no transparency
    bool globalTable = true;   // false: localTable holds the colours
    int globalMaxIndex = -1;   // the largest global index the data holds
    std::vector<std::uint32_t> localTable; // a power of two entries, at least 2
    int minCodeSize = 2;
    std::vector<std::uint8_t> lzw; // the code stream, not yet cut into blocks
};

// Encodes frames; holds work space, so keep one per thread.
//  - What a decoder shows before a frame is decided from the previous frame
//    given: nothing before the first frame and after a clear; otherwise the
//    previous frame, exactly when that one fits a table and as it was reduced
//    when it did not.
//  - Only pixels that differ from the previous frame given are drawn. A
//    frame that fits a table is stored exactly (after a reduced frame, all
//    of it is drawn again), so a decoder shows it exactly as given.
//  - Drawn pixels with at most 256 colours keep their colours, with the
//    global palette when it holds them all and a table of their own
//    otherwise; with more they are reduced with libimagequant. Still pixels
//    are never redrawn, so the dither of still areas does not crawl.
//  - A frame whose pixels turn transparent in the next one is stored whole
//    and cleared after it has been shown.
class FrameEncoder {
public:
    // False with reason only when the colour quantiser fails.
    bool encode(const FrameJob& job, EncodedFrame& out, std::string* reason);

private:
    struct Area {
        int x0, y0, x1, y1; // half open
        bool empty() const { return x0 >= x1 || y0 >= y1; }
    };

    void encodeUnchanged(const FrameJob& job, EncodedFrame& out);
    bool encodeExact(const FrameJob& job, const Area& area, EncodedFrame& out);
    bool encodeReduced(const Area& area, EncodedFrame& out, std::string* reason);
    bool drawn(std::size_t i) const;
    std::vector<std::uint8_t> encodeSmaller(int codeSize, std::size_t count, int width);

    // The frame being encoded and what a decoder shows before it.
    const std::uint32_t* frame_ = nullptr;
    const std::uint32_t* shown_ = nullptr; // null: nothing is shown
    bool shownExact_ = true;               // shown_ is exactly what a decoder shows
    bool redrawAll_ = false;
    int width_ = 0;

    std::vector<std::uint32_t> colours_; // distinct colours of the drawn pixels
    std::vector<std::uint8_t> primary_;
    std::vector<std::int16_t> alternative_;
    std::vector<std::uint8_t> rgba_;
    std::vector<std::uint8_t> arranged_;
    std::vector<std::int16_t> arrangedAlternative_;
    std::vector<std::uint8_t> stretchOwn_;
};

} // namespace qf::imaging
