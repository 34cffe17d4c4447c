#include "gif_bytes.h"

#include <algorithm>

namespace qf::gifbytes {

namespace {

void Put16(Bytes& out, int value)
{
    out.push_back(static_cast<std::uint8_t>(value & 0xff));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xff));
}

void PutTable(Bytes& out, const Palette& palette)
{
    const std::size_t entries = std::size_t{2} << TableBits(palette.size());
    for (std::size_t i = 0; i < entries; ++i) {
        const Rgb colour = i < palette.size() ? palette[i] : Rgb{0, 0, 0};
        out.insert(out.end(), colour.begin(), colour.end());
    }
}

// Writes codes LSB first at a width that grows as the GIF decoder's does.
class CodeWriter {
public:
    void put(int code, int width)
    {
        accumulator_ |= static_cast<std::uint32_t>(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            bytes_.push_back(static_cast<std::uint8_t>(accumulator_ & 0xff));
            accumulator_ >>= 8;
            bits_ -= 8;
        }
    }
    Bytes finish()
    {
        if (bits_ > 0) {
            bytes_.push_back(static_cast<std::uint8_t>(accumulator_ & 0xff));
        }
        accumulator_ = 0;
        bits_ = 0;
        return std::move(bytes_);
    }

private:
    Bytes bytes_;
    std::uint32_t accumulator_ = 0;
    int bits_ = 0;
};

} // namespace

int TableBits(std::size_t entries)
{
    int bits = 0;
    while ((std::size_t{2} << bits) < entries && bits < 7) {
        ++bits;
    }
    return bits;
}

void PutHeader(Bytes& out, std::string_view signature)
{
    for (const char c : signature) {
        out.push_back(static_cast<std::uint8_t>(c));
    }
}

void PutScreen(Bytes& out, int width, int height, const Palette* global, int background,
               int tableBitsOverride)
{
    Put16(out, width);
    Put16(out, height);
    std::uint8_t packed = 0x70; // 8 bits of colour resolution
    if (global != nullptr) {
        const int bits = tableBitsOverride >= 0 ? tableBitsOverride : TableBits(global->size());
        packed |= static_cast<std::uint8_t>(0x80 | (bits & 7));
    }
    out.push_back(packed);
    out.push_back(static_cast<std::uint8_t>(background));
    out.push_back(0); // pixel aspect ratio
    if (global != nullptr) {
        PutTable(out, *global);
    }
}

void PutLoop(Bytes& out, int loopCount)
{
    const std::string_view id = "NETSCAPE2.0";
    out.insert(out.end(), {0x21, 0xff, 11});
    out.insert(out.end(), id.begin(), id.end());
    out.insert(out.end(), {3, 1});
    Put16(out, loopCount);
    out.push_back(0);
}

void PutControl(Bytes& out, int disposal, int delay, int transparentIndex)
{
    out.insert(out.end(), {0x21, 0xf9, 4});
    std::uint8_t packed = static_cast<std::uint8_t>((disposal & 7) << 2);
    if (transparentIndex >= 0) {
        packed |= 1;
    }
    out.push_back(packed);
    Put16(out, delay);
    out.push_back(static_cast<std::uint8_t>(transparentIndex >= 0 ? transparentIndex : 0));
    out.push_back(0);
}

void PutComment(Bytes& out, std::string_view text)
{
    out.insert(out.end(), {0x21, 0xfe});
    const Bytes data(text.begin(), text.end());
    const Bytes blocks = SubBlocks(data);
    out.insert(out.end(), blocks.begin(), blocks.end());
}

void PutDescriptor(Bytes& out, const Frame& frame)
{
    out.push_back(0x2c);
    Put16(out, frame.left);
    Put16(out, frame.top);
    Put16(out, frame.width);
    Put16(out, frame.height);
    std::uint8_t packed = 0;
    if (frame.local != nullptr) {
        packed |= static_cast<std::uint8_t>(0x80 | TableBits(frame.local->size()));
    }
    if (frame.interlaced) {
        packed |= 0x40;
    }
    out.push_back(packed);
    if (frame.local != nullptr) {
        PutTable(out, *frame.local);
    }
}

void PutImageData(Bytes& out, int minCodeSize, const Bytes& compressed)
{
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    const Bytes blocks = SubBlocks(compressed);
    out.insert(out.end(), blocks.begin(), blocks.end());
}

void PutFrame(Bytes& out, const Frame& frame, const std::vector<std::uint8_t>& indexes, int minCodeSize)
{
    PutDescriptor(out, frame);
    PutImageData(out, minCodeSize, LzwEncode(indexes, minCodeSize));
}

void PutTrailer(Bytes& out)
{
    out.push_back(0x3b);
}

Bytes LzwEncode(const std::vector<std::uint8_t>& indexes, int minCodeSize)
{
    const int clear = 1 << minCodeSize;
    const int endOfInformation = clear + 1;
    CodeWriter writer;
    // The string table as (prefix code, next index) -> code; an entry is
    // valid only when it carries the current generation, so a clear code
    // empties the table in constant time. The 4 MB table is kept for the
    // next stream.
    thread_local std::vector<std::uint32_t> table(std::size_t{4096} * 256, 0);
    thread_local std::uint32_t generation = 0;
    int width = minCodeSize + 1;
    int codesSinceClear = 0;

    // The decoder reads code k after a clear (k = 1, 2, ...) and then widens
    // its codes once clear + 2 + k exceeds 2^width; mirror that exactly.
    auto emit = [&](int code) {
        writer.put(code, width);
        ++codesSinceClear;
        if (clear + 2 + codesSinceClear > (1 << width) && width < 12) {
            ++width;
        }
    };
    auto restart = [&] {
        writer.put(clear, width);
        if (++generation == (1u << 20)) {
            // The generation no longer fits beside a 12-bit code.
            std::fill(table.begin(), table.end(), 0u);
            generation = 1;
        }
        width = minCodeSize + 1;
        codesSinceClear = 0;
    };

    restart();
    if (indexes.empty()) {
        writer.put(endOfInformation, width);
        return writer.finish();
    }
    int prefix = indexes[0];
    for (std::size_t i = 1; i < indexes.size(); ++i) {
        const int next = indexes[i];
        const std::size_t key = static_cast<std::size_t>(prefix) * 256 + static_cast<std::size_t>(next);
        if ((table[key] >> 12) == generation) {
            prefix = static_cast<int>(table[key] & 0xfff);
            continue;
        }
        emit(prefix);
        // The entry this code defines is clear + 1 + k; start over well
        // before the table's 4096 codes run out.
        const int entry = clear + 1 + codesSinceClear;
        if (entry >= 4093) {
            restart();
        } else {
            table[key] = (generation << 12) | static_cast<std::uint32_t>(entry);
        }
        prefix = next;
    }
    emit(prefix);
    writer.put(endOfInformation, width);
    return writer.finish();
}

Bytes PackCodes(const std::vector<std::pair<int, int>>& codesAndWidths)
{
    CodeWriter writer;
    for (const auto& [code, width] : codesAndWidths) {
        writer.put(code, width);
    }
    return writer.finish();
}

Bytes SubBlocks(const Bytes& data)
{
    Bytes out;
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t length = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at),
                   data.begin() + static_cast<std::ptrdiff_t>(at + length));
    }
    out.push_back(0);
    return out;
}

Bytes SmallAnimation(int width, int height, int frameCount, int loopCount)
{
    const Palette palette = {{0, 0, 0}, {255, 255, 255}, {200, 30, 30}, {30, 60, 220}};
    Bytes out;
    PutHeader(out);
    PutScreen(out, width, height, &palette);
    if (loopCount >= 0) {
        PutLoop(out, loopCount);
    }
    for (int f = 0; f < frameCount; ++f) {
        std::vector<std::uint8_t> indexes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                indexes[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>(((x / 2) + (y / 2) + f) % 4);
            }
        }
        PutControl(out, 1, 10 + f);
        PutFrame(out, {0, 0, width, height}, indexes, 2);
    }
    PutTrailer(out);
    return out;
}

} // namespace qf::gifbytes
