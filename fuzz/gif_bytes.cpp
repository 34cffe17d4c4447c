#include "gif_bytes.h"

#include <algorithm>
#include <tuple>

namespace qf::gifbytes {

namespace {

void Put16(Bytes& out, int value)
{
    out.insert(out.end(),
               {static_cast<std::uint8_t>(value & 0xff), static_cast<std::uint8_t>((value >> 8) & 0xff)});
}

int TableBits(std::size_t entries)
{
    int bits = 0;
    while ((std::size_t{2} << bits) < entries && bits < 7)
        ++bits;
    return bits;
}

void PutTable(Bytes& out, const Palette& palette)
{
    for (std::size_t i = 0; i < (std::size_t{2} << TableBits(palette.size())); ++i)
        for (int c = 0; c < 3; ++c)
            out.push_back(i < palette.size() ? palette[i][c] : 0);
}

} // namespace

void PutHeader(Bytes& out, const std::string& signature)
{
    out.insert(out.end(), signature.begin(), signature.end());
}

void PutScreen(Bytes& out, int width, int height, const Palette* global, int tableBits)
{
    Put16(out, width);
    Put16(out, height);
    const int bits = tableBits >= 0 ? tableBits : global ? TableBits(global->size()) : 0;
    out.insert(out.end(), {static_cast<std::uint8_t>(0x70 | (global ? 0x80 | bits : 0)), 0, 0});
    if (global)
        PutTable(out, *global);
}

void PutLoop(Bytes& out, int loopCount)
{
    const std::string id = "\x21\xff\x0bNETSCAPE2.0\x03\x01";
    out.insert(out.end(), id.begin(), id.end());
    Put16(out, loopCount);
    out.push_back(0);
}

void PutControl(Bytes& out, int disposal, int delay, int transparent)
{
    out.insert(out.end(),
               {0x21, 0xf9, 4, static_cast<std::uint8_t>((disposal & 7) << 2 | (transparent >= 0))});
    Put16(out, delay);
    out.insert(out.end(), {static_cast<std::uint8_t>(std::max(transparent, 0)), 0});
}

void PutDescriptor(Bytes& out, const Frame& frame)
{
    out.push_back(0x2c);
    for (int value : {frame.left, frame.top, frame.width, frame.height})
        Put16(out, value);
    out.push_back(static_cast<std::uint8_t>((frame.local ? 0x80 | TableBits(frame.local->size()) : 0)
                                            | (frame.interlaced ? 0x40 : 0)));
    if (frame.local)
        PutTable(out, *frame.local);
}

void PutImageData(Bytes& out, int minCodeSize, const Bytes& compressed)
{
    out.push_back(static_cast<std::uint8_t>(minCodeSize));
    for (std::size_t at = 0; at < compressed.size(); at += 255) {
        const auto length = static_cast<std::ptrdiff_t>(std::min<std::size_t>(255, compressed.size() - at));
        out.push_back(static_cast<std::uint8_t>(length));
        out.insert(out.end(), compressed.begin() + static_cast<std::ptrdiff_t>(at),
                   compressed.begin() + static_cast<std::ptrdiff_t>(at) + length);
    }
    out.push_back(0);
}

void PutFrame(Bytes& out, const Frame& frame, const Bytes& indexes, int minCodeSize)
{
    // After a clear the first code defines no table entry and each later
    // one defines the next; the codes widen when the entries reach 2^width.
    const int clear = 1 << minCodeSize, width = minCodeSize + 1;
    const std::size_t run = static_cast<std::size_t>(std::max(1, (1 << width) - clear - 2));
    std::vector<std::pair<int, int>> codes;
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        if (i % run == 0)
            codes.push_back({clear, width});
        codes.push_back({indexes[i], width});
    }
    codes.insert(codes.end(), {{clear, width}, {clear + 1, width}});
    PutDescriptor(out, frame);
    PutImageData(out, minCodeSize, PackCodes(codes));
}

void PutTrailer(Bytes& out)
{
    out.push_back(0x3b);
}

Bytes PackCodes(const std::vector<std::pair<int, int>>& codes)
{
    Bytes out;
    std::uint32_t bits = 0;
    int count = 0;
    for (const auto& [code, width] : codes) {
        bits |= static_cast<std::uint32_t>(code) << count;
        for (count += width; count >= 8; count -= 8, bits >>= 8)
            out.push_back(static_cast<std::uint8_t>(bits & 0xff));
    }
    if (count > 0)
        out.push_back(static_cast<std::uint8_t>(bits & 0xff));
    return out;
}

namespace {

const Palette kFour = {{0, 0, 0}, {255, 255, 255}, {220, 40, 40}, {40, 80, 220}};

Bytes Pattern(int width, int height, int colours, int shift = 0)
{
    Bytes indexes;
    for (int i = 0; i < width * height; ++i)
        indexes.push_back(static_cast<std::uint8_t>((i / 3 + shift) % colours));
    return indexes;
}

Bytes Start(int width = 8, int height = 8, const Palette* global = &kFour)
{
    Bytes out;
    PutHeader(out);
    PutScreen(out, width, height, global);
    PutLoop(out, 0);
    return out;
}

void Good(Bytes& out, int shift, int width = 8, int height = 8)
{
    PutControl(out, 1, 5);
    PutFrame(out, {0, 0, width, height}, Pattern(width, height, 4, shift));
}

// An 8 x 8 frame whose data are the codes given, between two good frames.
Bytes Coded(int minCodeSize, const std::vector<std::pair<int, int>>& codes, int width = 8)
{
    Bytes out = Start(width, width);
    Good(out, 0);
    PutControl(out, 1, 5);
    PutDescriptor(out, {0, 0, width, width});
    PutImageData(out, minCodeSize, PackCodes(codes));
    Good(out, 1);
    PutTrailer(out);
    return out;
}

Bytes Cut(Bytes bytes, std::size_t keep)
{
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}

} // namespace

Bytes SmallAnimation(int width, int height, int frameCount, int loopCount)
{
    Bytes out;
    PutHeader(out);
    PutScreen(out, width, height, &kFour);
    if (loopCount >= 0)
        PutLoop(out, loopCount);
    for (int f = 0; f < frameCount; ++f) {
        Bytes indexes;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                indexes.push_back(static_cast<std::uint8_t>((x / 2 + y / 2 + f) % 4));
        PutControl(out, 1, 10 + f);
        PutFrame(out, {0, 0, width, height}, indexes);
    }
    PutTrailer(out);
    return out;
}

std::vector<GifCase> BrokenGifs()
{
    // Frames appended to a start (header, screen, loop), then the trailer.
    auto make = [](const std::vector<std::pair<Frame, Bytes>>& frames, Bytes b = Start()) {
        for (const auto& [frame, indexes] : frames) {
            int codeSize = 2; // room for every index, as for indexes beyond the table
            while (!indexes.empty() && *std::max_element(indexes.begin(), indexes.end()) >= 1 << codeSize)
                ++codeSize;
            PutControl(b, 1, 5);
            PutFrame(b, frame, indexes, codeSize);
        }
        PutTrailer(b);
        return b;
    };
    const Frame whole{0, 0, 8, 8};
    const Bytes two = make({{whole, Pattern(8, 8, 4)}, {whole, Pattern(8, 8, 4, 1)}});
    const std::size_t firstFrameAt = Start().size(),
                      secondFrameAt = make({{whole, Pattern(8, 8, 4)}}).size() - 1;
    Bytes globalTableCut, garbageAfter = two, garbageInstead = Cut(two, two.size() - 1), odd = Start();
    PutHeader(globalTableCut);
    PutScreen(globalTableCut, 8, 8, &kFour, 7); // claims 256 entries, holds four, ends
    for (int i = 0; i < 300; ++i)
        garbageAfter.push_back(static_cast<std::uint8_t>(i * 37 + 11));
    garbageInstead.insert(garbageInstead.end(), {0x99, 0x00, 0x2c, 0xff});
    // Disposals and transparent indexes out of range.
    for (const auto& [disposal, transparent, frame] : std::vector<std::tuple<int, int, Frame>>{
             {2, 9, whole}, {3, 255, {2, 2, 4, 4}}, {7, 0, {1, 1, 7, 7}}}) {
        PutControl(odd, disposal, 5, transparent);
        PutFrame(odd, frame, Pattern(frame.width, frame.height, 4));
    }
    // Extensions empty, unknown, too short, and a comment running off the end.
    const std::string extensions("\x21\x01\x00\x21\xff\x03"
                                 "ABC\x00\x21\xf9\x02\x04\x00\x00",
                                 16);
    Bytes oddExtensions = Start();
    oddExtensions.insert(oddExtensions.end(), extensions.begin(), extensions.end());
    oddExtensions = make({{whole, Pattern(8, 8, 4)}, {whole, Pattern(8, 8, 4, 1)}}, oddExtensions);
    oddExtensions.insert(oddExtensions.end() - 1, {0x21, 0xfe, 200, 'a', 'b'});
    // Codes that keep filling the table past 4096 entries without a clear.
    std::vector<std::pair<int, int>> full = {{4, 3}};
    for (int k = 1, width = 3; k <= 5000; ++k) {
        full.push_back({k < 5000 ? k % 4 : 5, width});
        width += 4 + 2 + k > (1 << width) && width < 12;
    }
    static const Palette kTwo = {{1, 2, 3}, {4, 5, 6}};
    Bytes gif87a = two;
    gif87a[4] = '7';
    Bytes localTableCut = Cut(two, secondFrameAt);
    localTableCut.insert(localTableCut.end(), {0x2c, 0, 0, 0, 0, 8, 0, 8, 0, 0x87, 1, 2, 3});
    std::vector<std::pair<Frame, Bytes>> tiny;
    for (int f = 0; f < 100; ++f)
        tiny.push_back({{0, 0, 1, 1}, {static_cast<std::uint8_t>(f % 4)}});

    return {
        {"valid", two, Expect::Opens, 2},
        {"empty_file", {}, Expect::Refused},
        {"not_a_gif", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0}, Expect::Refused},
        {"short_signature", {'G', 'I', 'F', '8'}, Expect::Refused},
        {"header_only", {'G', 'I', 'F', '8', '9', 'a'}, Expect::Refused},
        {"screen_cut", {'G', 'I', 'F', '8', '9', 'a', 8, 0, 8}, Expect::Refused},
        {"global_table_cut", globalTableCut, Expect::Refused},
        {"no_frames", make({}), Expect::Refused},
        {"cut_in_first_descriptor", Cut(two, firstFrameAt + 12), Expect::Refused},
        {"cut_in_first_frame", Cut(two, firstFrameAt + 22), Expect::Refused},
        {"huge_screen", make({{whole, Pattern(8, 8, 4)}}, Start(65535, 65535)), Expect::TooLarge},
        {"widest_screen", make({{whole, Pattern(8, 8, 4)}}, Start(65535, 1)), Expect::Opens, 1},
        {"zero_sized_screen", make({{{0, 0, 4, 4}, Pattern(4, 4, 4)}}, Start(0, 0)), Expect::Either},
        {"huge_frame", make({{whole, Pattern(8, 8, 4)}, {{0, 0, 65535, 65535}, Pattern(64, 1, 4)}}),
         Expect::Either, 0, 1},
        {"frames_outside",
         make({{whole, Pattern(8, 8, 4)},
               {{60000, 60000, 4, 4}, Pattern(4, 4, 4)},
               {{6, 6, 8, 8}, Pattern(8, 8, 4)},
               {{65535, 65535, 65535, 65535}, Pattern(4, 4, 4)}}),
         Expect::Opens, 1},
        {"wide_frame_one_row",
         make({{{0, 0, 4, 4}, Pattern(4, 4, 4)}, {{0, 0, 65535, 1}, Pattern(65535, 1, 4)}}, Start(4, 4)),
         Expect::Opens, 1},
        // Rows below the screen are not decoded: their missing data is no damage.
        {"data_ends_below_the_screen", make({{{0, 0, 8, 16}, Pattern(8, 8, 4)}}), Expect::Opens, 1},
        {"too_few_and_too_many_pixels", make({{whole, Pattern(8, 3, 4)}, {whole, Pattern(8, 30, 4)}}),
         Expect::Either, 0, 0},
        {"indexes_beyond_table", make({{whole, Pattern(8, 8, 16)}, {whole, Pattern(8, 8, 4)}}), Expect::Opens,
         2},
        {"no_colour_table", make({{whole, Pattern(8, 8, 4)}}, Start(8, 8, nullptr)), Expect::Either},
        {"interlaced_odd_heights",
         make({{{0, 0, 8, 1, &kTwo, true}, Pattern(8, 1, 2)},
               {{0, 0, 8, 3, nullptr, true}, Pattern(8, 3, 2)},
               {{0, 0, 8, 9, nullptr, true}, Pattern(8, 9, 2)}},
              Start(8, 9)),
         Expect::Opens, 3},
        {"bad_lzw_code", Coded(2, {{4, 3}, {1, 3}, {7, 3}, {7, 3}, {6, 3}, {5, 3}}), Expect::Either, 1, 1},
        {"lzw_without_clear", Coded(2, {{1, 3}, {6, 3}, {7, 3}, {8, 4}, {15, 4}, {5, 4}}), Expect::Either, 1,
         1},
        {"code_size_0", Coded(0, {{0, 12}, {1, 12}, {2, 12}}), Expect::Either, 1, 1},
        {"code_size_12", Coded(12, {{0, 12}, {1, 12}, {2, 12}}), Expect::Either, 1, 1},
        {"code_size_255", Coded(255, {{0, 12}, {1, 12}, {2, 12}}), Expect::Either, 1, 1},
        {"lzw_table_full", Coded(2, full, 64), Expect::Either, 1},
        {"empty_image_data", Coded(2, {}), Expect::Either, 1, 1},
        {"missing_trailer", Cut(two, two.size() - 1), Expect::Opens, 2, 2},
        {"garbage_after_trailer", garbageAfter, Expect::Opens, 2},
        {"garbage_instead_of_trailer", garbageInstead, Expect::Either, 2, 2},
        {"cut_in_second_frame", Cut(two, secondFrameAt + 20), Expect::Opens, 1, 1},
        {"local_table_cut", localTableCut, Expect::Opens, 1, 1},
        {"odd_disposal_and_transparency", make({}, odd), Expect::Opens, 3},
        {"odd_extensions", oddExtensions, Expect::Either, 1, 2},
        {"gif87a", gif87a, Expect::Opens, 2},
        {"many_tiny_frames", make(tiny, Start(1, 1)), Expect::Opens, 100},
    };
}

} // namespace qf::gifbytes
