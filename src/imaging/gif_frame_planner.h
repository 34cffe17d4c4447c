// Deciding how each frame of an animation is stored: which rectangle, which
// colour table, which pixels stay transparent over the previous frame, and
// the compressed pixel data. No file access.
#pragma once

#include "colour_index.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qf::imaging {

// Frames reach the planner as packed colours: 0xFFRRGGBB for an opaque
// pixel, 0 for a transparent one.
std::uint32_t PackOpaque(std::uint8_t r, std::uint8_t g, std::uint8_t b);

struct PlannedFrame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int disposal = 1;          // 1: keep; 2: clear to transparent afterwards
    int transparentIndex = -1; // -1: no transparency
    bool globalTable = true;   // false: localTable holds the colours
    std::vector<std::uint32_t> localTable; // a power of two entries, at least 2
    int minCodeSize = 2;
    std::vector<std::uint8_t> lzw; // the code stream, not yet cut into blocks
    bool exact = true;             // false: the colours were reduced
};

// Plans frames in order. It keeps a model of what a decoder shows after the
// frames planned so far, and stores only the pixels that change it:
//  - A frame whose changed pixels have at most 256 colours is stored with
//    exactly those colours; a decoder shows it exactly as given.
//  - Colours of such frames gather in one global table while the whole
//    animation fits in 256 colours; later frames use it when they can, and a
//    table of their own otherwise.
//  - A frame with more colours is reduced with libimagequant. Only pixels
//    whose colour changed from the previous frame given are redrawn, so the
//    dither of still areas never moves.
//  - A pixel that turns transparent needs the frame before it cleared: that
//    frame gets disposal 2 over a rectangle that covers the pixel.
class FramePlanner {
public:
    FramePlanner(int width, int height);

    // Plans frame (width * height packed colours). next is the frame that
    // follows, or null for the last one. False with reason only when the
    // colour quantiser fails.
    bool plan(const std::uint32_t* frame, const std::uint32_t* next, PlannedFrame& out, std::string* reason);

    // The global colour table: the colours gathered so far, padded to a power
    // of two that covers every index a frame used. Empty when no frame uses it.
    std::vector<std::uint32_t> globalTable() const;

private:
    struct Area {
        int x0, y0, x1, y1; // half open
        bool empty() const { return x0 >= x1 || y0 >= y1; }
        void add(int x, int y);
    };

    bool planExact(const std::uint32_t* frame, const Area& area, bool clear, PlannedFrame& out);
    bool planReduced(const std::uint32_t* frame, const std::uint32_t* next, PlannedFrame& out,
                     std::string* reason);
    void planUnchanged(PlannedFrame& out);
    void finishFrame(const Area& area, bool clear, PlannedFrame& out);
    std::vector<std::uint8_t> EncodeSmaller(int codeSize, std::size_t count, int width);

    int width_;
    int height_;
    std::vector<std::uint32_t> canvas_;   // what a decoder shows now
    std::vector<std::uint32_t> previous_; // the previous frame as given
    bool hasPrevious_ = false;

    std::vector<std::uint32_t> global_; // colours of the global table
    ColourIndex globalIndex_;
    bool globalClosed_ = false; // the animation has more colours than fit
    int globalMaxIndex_ = -1;   // the largest index a frame used with it

    // Work space for one frame's rectangle.
    std::vector<std::uint8_t> primary_;
    std::vector<std::int16_t> alternative_;
    std::vector<std::uint8_t> changed_;
    std::vector<std::uint32_t> colours_; // distinct colours of the changed pixels
    std::vector<std::uint8_t> arranged_;
    std::vector<std::int16_t> arrangedAlternative_;
    std::vector<std::uint8_t> stretchOwn_;
};

} // namespace qf::imaging
