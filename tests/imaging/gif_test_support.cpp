#include "gif_test_support.h"

#include "imaging/gif_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <iterator>

#include <unistd.h>

namespace qf::imaging::test {

namespace {

void PutU16(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

// The size field of a table: 2^(field + 1) entries.
int SizeField(std::size_t count)
{
    int field = 0;
    while ((std::size_t{2} << field) < count)
        ++field;
    return field;
}

void PutTable(Bytes& out, const Table& table)
{
    const std::size_t size = std::size_t{2} << SizeField(table.size());
    for (std::size_t i = 0; i < size; ++i) {
        const Colour c = i < table.size() ? table[i] : Colour{0, 0, 0};
        out.insert(out.end(), {c.r, c.g, c.b});
    }
}

void PutBlocks(Bytes& out, const Bytes& data)
{
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    out.push_back(0);
}

} // namespace

Bytes PackCodes(const std::vector<std::pair<int, int>>& codes)
{
    Bytes data;
    std::uint64_t bits = 0;
    int count = 0;
    for (const auto& [code, width] : codes) {
        bits |= static_cast<std::uint64_t>(code) << count;
        count += width;
        while (count >= 8) {
            data.push_back(static_cast<std::uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    }
    if (count > 0)
        data.push_back(static_cast<std::uint8_t>(bits));
    return data;
}


void PutHeader(Bytes& out, const char* signature)
{
    out.insert(out.end(), signature, signature + std::strlen(signature));
}

void PutScreen(Bytes& out, int width, int height, const Table* global)
{
    PutU16(out, width);
    PutU16(out, height);
    out.push_back(global ? static_cast<std::uint8_t>(0xF0 | SizeField(global->size())) : 0x70);
    out.push_back(0); // background index
    out.push_back(0); // aspect ratio
    if (global)
        PutTable(out, *global);
}

void PutControl(Bytes& out, int disposal, int delay, int transparent)
{
    out.insert(out.end(), {0x21, 0xF9, 4});
    out.push_back(static_cast<std::uint8_t>((disposal << 2) | (transparent >= 0 ? 1 : 0)));
    PutU16(out, delay);
    out.push_back(static_cast<std::uint8_t>(transparent >= 0 ? transparent : 0));
    out.push_back(0);
}

void PutLoop(Bytes& out, int count, const char* id)
{
    out.insert(out.end(), {0x21, 0xFF, 11});
    out.insert(out.end(), id, id + 11);
    out.insert(out.end(), {3, 1});
    PutU16(out, count);
    out.push_back(0);
}

void PutDescriptor(Bytes& out, const FrameDesc& frame)
{
    out.push_back(0x2C);
    PutU16(out, frame.left);
    PutU16(out, frame.top);
    PutU16(out, frame.width);
    PutU16(out, frame.height);
    std::uint8_t flags = frame.interlaced ? 0x40 : 0;
    if (frame.local)
        flags = static_cast<std::uint8_t>(flags | 0x80 | SizeField(frame.local->size()));
    out.push_back(flags);
    if (frame.local)
        PutTable(out, *frame.local);
}

void PutImageData(Bytes& out, int minCodeSize, const std::vector<std::uint8_t>& indexes)
{
    const int clear = 1 << minCodeSize;
    const int width = minCodeSize + 1;
    // A decoder widens its codes once 2^width entries exist; literals only,
    // with a clear code before that, keep every code width + 0 bits.
    const int perClear = clear - 2;
    std::vector<std::pair<int, int>> codes;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i % static_cast<std::size_t>(perClear) == 0)
            codes.push_back({clear, width});
        codes.push_back({indexes[i], width});
    }
    codes.push_back({clear + 1, width});
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    PutBlocks(out, PackCodes(codes));
}

void PutImage(Bytes& out, const FrameDesc& frame, const std::vector<std::uint8_t>& indexes, int minCodeSize)
{
    PutDescriptor(out, frame);
    if (!frame.interlaced) {
        PutImageData(out, minCodeSize, indexes);
        return;
    }
    std::vector<std::uint8_t> stored;
    const std::size_t w = static_cast<std::size_t>(frame.width);
    for (int pass = 0; pass < 4; ++pass) {
        static const int start[4] = {0, 4, 2, 1};
        static const int step[4] = {8, 8, 4, 2};
        for (int y = start[pass]; y < frame.height; y += step[pass])
            stored.insert(stored.end(), indexes.begin() + static_cast<std::ptrdiff_t>(y * w),
                          indexes.begin() + static_cast<std::ptrdiff_t>((y + 1) * w));
    }
    PutImageData(out, minCodeSize, stored);
}

void PutTrailer(Bytes& out)
{
    out.push_back(0x3B);
}

void PutCodes(Bytes& out, int minCodeSize, const std::vector<std::pair<int, int>>& codes)
{
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    PutBlocks(out, PackCodes(codes));
}

TempDir::TempDir()
{
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "qf-imaging-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    if (info)
        name += std::string("-") + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::vector<std::string> TempDir::list() const
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

void WriteBytes(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

Bytes ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

RgbaImage Filled(int width, int height, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a)
{
    RgbaImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        image.pixels[i] = r;
        image.pixels[i + 1] = g;
        image.pixels[i + 2] = b;
        image.pixels[i + 3] = a;
    }
    return image;
}

std::uint32_t PixelAt(const RgbaImage& image, int x, int y)
{
    const std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16)
        | (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

void SetPixel(RgbaImage& image, int x, int y, std::uint32_t rgba)
{
    std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    p[0] = static_cast<std::uint8_t>(rgba >> 24);
    p[1] = static_cast<std::uint8_t>(rgba >> 16);
    p[2] = static_cast<std::uint8_t>(rgba >> 8);
    p[3] = static_cast<std::uint8_t>(rgba);
}

std::vector<RgbaImage> DecodeAll(const std::string& path, Error* error)
{
    Error local;
    Error& err = error ? *error : local;
    GifReader reader;
    std::vector<RgbaImage> frames;
    if (!reader.open(path, &err)) {
        if (!error)
            ADD_FAILURE() << err.message();
        return frames;
    }
    RgbaImage frame;
    while (reader.readNext(frame, &err))
        frames.push_back(frame);
    if (err && !error)
        ADD_FAILURE() << err.message();
    return frames;
}

} // namespace qf::imaging::test
