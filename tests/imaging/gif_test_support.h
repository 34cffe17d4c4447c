// GIF files for the tests, built byte by byte so that damaged and unusual
// files can be made as easily as good ones, and helpers around them.
#pragma once

#include "imaging/image.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace qf::imaging::test {

using Bytes = std::vector<std::uint8_t>;

struct Colour {
    std::uint8_t r, g, b;
};
using Table = std::vector<Colour>;

// A table padded with black to the power of two its size field needs.
void PutHeader(Bytes& out, const char* signature = "GIF89a");
void PutScreen(Bytes& out, int width, int height, const Table* global);
void PutControl(Bytes& out, int disposal, int delay, int transparent = -1);
void PutLoop(Bytes& out, int count, const char* id = "NETSCAPE2.0");
struct FrameDesc {
    int left = 0, top = 0, width = 0, height = 0;
    const Table* local = nullptr;
    bool interlaced = false;
};
void PutDescriptor(Bytes& out, const FrameDesc& frame);
// Image data for indexes in stored order, compressed by a plain encoder of
// its own (literal codes only, with clear codes before the codes widen).
void PutImageData(Bytes& out, int minCodeSize, const std::vector<std::uint8_t>& indexes);
// A whole image: descriptor and data. indexes are in top-to-bottom order;
// for an interlaced frame they are reordered as the format stores them.
void PutImage(Bytes& out, const FrameDesc& frame, const std::vector<std::uint8_t>& indexes, int minCodeSize = 2);
void PutTrailer(Bytes& out);
// (code, width) pairs packed least significant bit first.
Bytes PackCodes(const std::vector<std::pair<int, int>>& codes);
// Those codes as the data blocks of an image.
void PutCodes(Bytes& out, int minCodeSize, const std::vector<std::pair<int, int>>& codes);

// A folder of its own for one test, removed afterwards.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& path() const { return path_; }
    // Names of the files in the folder, sorted.
    std::vector<std::string> list() const;

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);

// An RGBA picture filled with one colour.
RgbaImage Filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a = 255);
// The RGBA pixel at (x, y) as 0xRRGGBBAA.
std::uint32_t PixelAt(const RgbaImage& image, int x, int y);
void SetPixel(RgbaImage& image, int x, int y, std::uint32_t rgba);

// Every frame of a GIF as the reader composes it; fails the test on error.
std::vector<RgbaImage> DecodeAll(const std::string& path, Error* error = nullptr);

} // namespace qf::imaging::test
