// Builds GIF files byte by byte, including the broken ones a decoder must
// survive: any field may hold any value, and image data can be a real LZW
// stream or codes packed by hand. Used by the hardening tests and by the
// fuzzers' seed generator.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

namespace qf::gifbytes {

using Bytes = std::vector<std::uint8_t>;
using Rgb = std::array<std::uint8_t, 3>;
using Palette = std::vector<Rgb>;

// The size field of a colour table: a table of 2^(bits+1) entries.
int TableBits(std::size_t entries);

// "GIF89a" or any other six (or fewer) bytes.
void PutHeader(Bytes& out, std::string_view signature = "GIF89a");

// Logical screen descriptor with an optional global colour table (padded
// with black to a power of two). tableBitsOverride >= 0 writes that size
// field whatever the table holds, for tables that claim more than is there.
void PutScreen(Bytes& out, int width, int height, const Palette* global, int background = 0,
               int tableBitsOverride = -1);

// NETSCAPE2.0 loop extension.
void PutLoop(Bytes& out, int loopCount);

// Graphic control extension. transparentIndex < 0: none.
void PutControl(Bytes& out, int disposal, int delay, int transparentIndex = -1);

void PutComment(Bytes& out, std::string_view text);

// Image descriptor, optional local colour table, then image data.
struct Frame {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    const Palette* local = nullptr;
    bool interlaced = false;
};
void PutDescriptor(Bytes& out, const Frame& frame);

// The LZW minimum code size byte, then data as sub-blocks and a terminator.
void PutImageData(Bytes& out, int minCodeSize, const Bytes& compressed);

// A whole frame: descriptor plus indexes (row by row, in file order)
// compressed as a valid LZW stream.
void PutFrame(Bytes& out, const Frame& frame, const std::vector<std::uint8_t>& indexes,
              int minCodeSize = 8);

void PutTrailer(Bytes& out);

// A valid LZW stream of indexes (each below 2^minCodeSize), as a decoder
// that follows the GIF rules for code widths reads it.
Bytes LzwEncode(const std::vector<std::uint8_t>& indexes, int minCodeSize);

// Codes packed least significant bit first, each at the width given beside
// it: for streams no encoder would produce.
Bytes PackCodes(const std::vector<std::pair<int, int>>& codesAndWidths);

// Splits data into sub-blocks of up to 255 bytes and appends the zero-length
// terminator.
Bytes SubBlocks(const Bytes& data);

// A small valid animation: frameCount frames of width x height with a global
// table of four colours, each frame a different pattern.
Bytes SmallAnimation(int width, int height, int frameCount, int loopCount = 0);

} // namespace qf::gifbytes
