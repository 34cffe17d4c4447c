// GIF files built byte by byte, so that damaged and unusual files are as easy
// to make as good ones: any field may hold any value, and image data may be
// indexes compressed here or codes packed by hand. The fuzzers' seeds and the
// tests are built from them.
#pragma once

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace qf::gifbytes {

using Bytes = std::vector<std::uint8_t>;
using Palette = std::vector<std::array<std::uint8_t, 3>>;

void PutHeader(Bytes& out, const std::string& signature = "GIF89a");
// Screen and global table, padded with black to a power of two; tableBits
// >= 0 claims that size whatever the table holds.
void PutScreen(Bytes& out, int width, int height, const Palette* global, int tableBits = -1);
void PutLoop(Bytes& out, int loopCount);
void PutControl(Bytes& out, int disposal, int delay, int transparent = -1); // transparent < 0: none

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    const Palette* local = nullptr;
    bool interlaced = false;
};
void PutDescriptor(Bytes& out, const Frame& frame);
// The minimum code size, then the data in sub-blocks and the terminator.
void PutImageData(Bytes& out, int minCodeSize, const Bytes& compressed);
// Descriptor and indexes in stored order, compressed: literal codes only,
// with a clear code before the codes would widen.
void PutFrame(Bytes& out, const Frame& frame, const Bytes& indexes, int minCodeSize = 2);
void PutTrailer(Bytes& out);
// (code, width) pairs packed least significant bit first.
Bytes PackCodes(const std::vector<std::pair<int, int>>& codes);

// frameCount different frames of four colours with delays 10, 11, ...;
// loopCount < 0: no loop extension.
Bytes SmallAnimation(int width, int height, int frameCount, int loopCount = 0);

// Broken, odd and hostile files every entry point must survive, answering
// with a clean error naming the file or with frames.
enum class Expect { Refused, TooLarge, Opens, Either };
struct GifCase {
    std::string name;
    Bytes bytes;
    Expect expect;
    int minFrames = 0;     // when it opens
    int damagedAfter = -1; // when it opens: the frame the reported damage follows, -1 for none
};
std::vector<GifCase> BrokenGifs();
inline void PrintTo(const GifCase& c, std::ostream* out)
{
    *out << c.name;
}

} // namespace qf::gifbytes
