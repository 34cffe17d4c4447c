#include "gif_cases.h"

namespace qf::gifbytes {

namespace {

const Palette kFour = {{0, 0, 0}, {255, 255, 255}, {220, 40, 40}, {40, 80, 220}};

std::vector<std::uint8_t> Pattern(int width, int height, int colours, int shift = 0)
{
    std::vector<std::uint8_t> indexes(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        indexes[i] = static_cast<std::uint8_t>((i / 3 + static_cast<std::size_t>(shift)) % static_cast<std::size_t>(colours));
    }
    return indexes;
}

// Header, 8 x 8 screen with four colours, and the loop extension.
Bytes Start(int width = 8, int height = 8)
{
    Bytes out;
    PutHeader(out);
    PutScreen(out, width, height, &kFour);
    PutLoop(out, 0);
    return out;
}

void GoodFrame(Bytes& out, int shift, int width = 8, int height = 8)
{
    PutControl(out, 1, 5);
    PutFrame(out, {0, 0, width, height}, Pattern(width, height, 4, shift), 2);
}

Bytes Cut(Bytes bytes, std::size_t keep)
{
    bytes.resize(std::min(keep, bytes.size()));
    return bytes;
}

} // namespace

std::vector<GifCase> ConformanceCases()
{
    std::vector<GifCase> cases;
    auto add = [&](std::string name, Bytes bytes, Expect expect, int minFrames = 0) {
        cases.push_back({std::move(name), std::move(bytes), expect, minFrames});
    };

    const Bytes good = SmallAnimation(8, 8, 3);
    add("valid_three_frames", good, Expect::Opens, 3);

    add("empty_file", {}, Expect::Refused);
    {
        Bytes b;
        PutHeader(b);
        add("header_only", b, Expect::Refused);
    }
    add("not_a_gif", {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 0}, Expect::Refused);
    {
        Bytes b;
        PutHeader(b, "GIF8");
        add("short_signature", b, Expect::Refused);
    }
    {
        Bytes b;
        PutHeader(b);
        PutScreen(b, 8, 8, &kFour);
        PutTrailer(b);
        add("screen_without_frames", b, Expect::Refused);
    }
    {
        Bytes b;
        PutHeader(b);
        b.insert(b.end(), {8, 0, 8}); // the screen descriptor cut short
        add("screen_descriptor_cut", b, Expect::Refused);
    }
    {
        // The table claims 256 entries, the file holds four and ends.
        Bytes b;
        PutHeader(b);
        PutScreen(b, 8, 8, &kFour, 0, 7);
        add("global_table_cut", b, Expect::Refused);
    }
    {
        Bytes b;
        PutHeader(b);
        PutScreen(b, 0, 0, &kFour);
        GoodFrame(b, 0, 4, 4);
        GoodFrame(b, 1, 4, 4);
        PutTrailer(b);
        add("zero_sized_screen", b, Expect::Either);
    }
    {
        Bytes b = Start();
        GoodFrame(b, 0);
        PutControl(b, 1, 5);
        PutDescriptor(b, {2, 2, 0, 0});
        PutImageData(b, 2, LzwEncode({}, 2));
        GoodFrame(b, 2);
        PutTrailer(b);
        add("zero_sized_frame", b, Expect::Either);
    }
    {
        Bytes b;
        PutHeader(b);
        PutScreen(b, 65535, 65535, &kFour);
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        PutTrailer(b);
        add("huge_screen", b, Expect::TooLarge);
    }
    {
        // 65535 x 1: the widest screen a GIF can store is small and legal.
        Bytes b;
        PutHeader(b);
        PutScreen(b, 65535, 1, &kFour);
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        PutTrailer(b);
        add("huge_screen_width", b, Expect::Opens, 2);
    }
    {
        // A small screen whose frame claims 4 gigapixels with a few bytes of
        // data: clipping, not allocating the claimed frame, is the answer.
        Bytes b = Start();
        GoodFrame(b, 0);
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 65535, 65535});
        PutImageData(b, 2, LzwEncode(Pattern(64, 1, 4), 2));
        PutTrailer(b);
        add("huge_frame_small_screen", b, Expect::Either);
    }
    {
        Bytes b = Start();
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 65535, 65535});
        PutImageData(b, 2, LzwEncode(Pattern(64, 1, 4), 2));
        PutTrailer(b);
        add("huge_first_frame", b, Expect::Either);
    }
    {
        // Frames far outside the screen, partly outside, and at the edge.
        Bytes b = Start();
        GoodFrame(b, 0);
        PutControl(b, 0, 5);
        PutFrame(b, {60000, 60000, 4, 4}, Pattern(4, 4, 4), 2);
        PutControl(b, 0, 5);
        PutFrame(b, {6, 6, 8, 8}, Pattern(8, 8, 4, 1), 2);
        PutControl(b, 0, 5);
        PutFrame(b, {65535, 65535, 65535, 65535}, Pattern(4, 4, 4), 2);
        PutTrailer(b);
        add("frames_outside_screen", b, Expect::Opens, 1);
    }
    {
        // A code beyond the next free table entry right after the clear.
        Bytes b = Start();
        GoodFrame(b, 0);
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 8, 8});
        PutImageData(b, 2, PackCodes({{4, 3}, {1, 3}, {7, 3}, {7, 3}, {6, 3}, {5, 3}}));
        GoodFrame(b, 2);
        PutTrailer(b);
        add("bad_lzw_code_later_frame", b, Expect::Either, 1);
    }
    {
        Bytes b = Start();
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 8, 8});
        PutImageData(b, 2, PackCodes({{7, 3}, {7, 3}, {7, 3}, {7, 3}}));
        GoodFrame(b, 1);
        PutTrailer(b);
        add("bad_lzw_code_first_frame", b, Expect::Either);
    }
    {
        // No clear code, then a run of self-references (KwKwK) and a code
        // that is not yet defined.
        Bytes b = Start();
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 8, 8});
        PutImageData(b, 2, PackCodes({{1, 3}, {6, 3}, {7, 3}, {8, 4}, {15, 4}, {5, 4}}));
        GoodFrame(b, 1);
        PutTrailer(b);
        add("lzw_without_clear", b, Expect::Either);
    }
    for (int size : {0, 1, 9, 12, 13, 255}) {
        Bytes b = Start();
        GoodFrame(b, 0);
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 8, 8});
        PutImageData(b, size, PackCodes({{0, 12}, {1, 12}, {2, 12}, {3, 12}}));
        GoodFrame(b, 1);
        PutTrailer(b);
        add("code_size_" + std::to_string(size), b, Expect::Either, 1);
    }
    {
        // Codes that keep the table filling past 4096 entries with no clear:
        // a decoder must keep reading 12-bit codes (deferred clear).
        std::vector<std::pair<int, int>> codes = {{4, 3}};
        int width = 3;
        for (int k = 1; k < 5000; ++k) {
            codes.push_back({k % 4, width});
            if (4 + 2 + k > (1 << width) && width < 12) {
                ++width;
            }
        }
        codes.push_back({5, width});
        Bytes b;
        PutHeader(b);
        PutScreen(b, 64, 64, &kFour);
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 64, 64});
        PutImageData(b, 2, PackCodes(codes));
        GoodFrame(b, 1);
        PutTrailer(b);
        add("lzw_table_full", b, Expect::Either);
    }
    {
        Bytes b = Start();
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        add("missing_trailer", b, Expect::Opens, 2);
    }
    {
        Bytes b = Start();
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        PutTrailer(b);
        for (int i = 0; i < 300; ++i) {
            b.push_back(static_cast<std::uint8_t>(i * 37 + 11));
        }
        add("garbage_after_trailer", b, Expect::Opens, 2);
    }
    {
        Bytes b = Start();
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        b.insert(b.end(), {0x99, 0x00, 0x2c, 0xff});
        add("garbage_instead_of_trailer", b, Expect::Either, 2);
    }
    {
        // Cut inside the second frame's data: the first frame stays.
        Bytes b = Start();
        GoodFrame(b, 0);
        const std::size_t firstEnd = b.size();
        GoodFrame(b, 1);
        add("cut_in_second_frame", Cut(b, firstEnd + 20), Expect::Opens, 1);
    }
    {
        Bytes b = Start();
        const std::size_t start = b.size();
        GoodFrame(b, 0);
        add("cut_in_first_frame", Cut(b, start + 22), Expect::Refused);
        add("cut_in_first_descriptor", Cut(b, start + 12), Expect::Refused);
    }
    {
        // Four colours in the table, indexes up to 15 in the data.
        Bytes b = Start();
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 8, 8}, Pattern(8, 8, 16), 4);
        GoodFrame(b, 1);
        PutTrailer(b);
        add("indexes_beyond_table", b, Expect::Opens, 2);
    }
    {
        Bytes b;
        PutHeader(b);
        PutScreen(b, 8, 8, nullptr);
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 8, 8}, Pattern(8, 8, 4), 2);
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 8, 8}, Pattern(8, 8, 4, 1), 2);
        PutTrailer(b);
        add("no_colour_table", b, Expect::Either);
    }
    {
        Bytes b = Start();
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 8, 8}, Pattern(8, 3, 4), 2);
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 8, 8}, Pattern(8, 30, 4), 2);
        PutTrailer(b);
        add("too_few_and_too_many_pixels", b, Expect::Either);
    }
    {
        Bytes b = Start();
        PutControl(b, 2, 5, 9);
        PutFrame(b, {0, 0, 8, 8}, Pattern(8, 8, 4), 2);
        PutControl(b, 3, 5, 255);
        PutFrame(b, {2, 2, 4, 4}, Pattern(4, 4, 4), 2);
        PutControl(b, 7, 5, 0);
        PutFrame(b, {1, 1, 7, 7}, Pattern(7, 7, 4), 2);
        PutTrailer(b);
        add("odd_disposal_and_transparency", b, Expect::Opens, 3);
    }
    for (int height : {1, 2, 3, 5, 9}) {
        Bytes b = Start(8, 9);
        const Palette local = {{1, 2, 3}, {4, 5, 6}};
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 8, height, &local, true}, Pattern(8, height, 2), 2);
        GoodFrame(b, 1);
        PutTrailer(b);
        add("interlaced_height_" + std::to_string(height), b, Expect::Opens, 2);
    }
    {
        // A local table flag with the table itself cut off.
        Bytes b = Start();
        GoodFrame(b, 0);
        b.insert(b.end(), {0x2c, 0, 0, 0, 0, 8, 0, 8, 0, 0x87, 1, 2, 3});
        add("local_table_cut", b, Expect::Opens, 1);
    }
    {
        // Extensions: empty, unknown, short loop block, unterminated.
        Bytes b = Start();
        b.insert(b.end(), {0x21, 0x01, 0x00});
        b.insert(b.end(), {0x21, 0xff, 3, 'A', 'B', 'C', 0});
        b.insert(b.end(), {0x21, 0xff, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 1, 1, 0});
        b.insert(b.end(), {0x21, 0xf9, 2, 0x04, 0x00, 0});
        PutComment(b, std::string(600, 'x'));
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        b.insert(b.end(), {0x21, 0xfe, 200, 'a', 'b'});
        add("odd_extensions", b, Expect::Either, 1);
    }
    {
        // An image with no data blocks at all, then more frames.
        Bytes b = Start();
        GoodFrame(b, 0);
        PutControl(b, 1, 5);
        PutDescriptor(b, {0, 0, 8, 8});
        b.insert(b.end(), {2, 0});
        GoodFrame(b, 2);
        PutTrailer(b);
        add("empty_image_data", b, Expect::Either, 1);
    }
    {
        // A frame far wider than the screen with data for one row only.
        Bytes b = Start(4, 4);
        GoodFrame(b, 0, 4, 4);
        PutControl(b, 1, 5);
        PutFrame(b, {0, 0, 65535, 1}, Pattern(65535, 1, 4), 2);
        PutTrailer(b);
        add("wide_frame_one_row", b, Expect::Opens, 1);
    }
    {
        Bytes b;
        PutHeader(b, "GIF87a");
        PutScreen(b, 8, 8, &kFour);
        GoodFrame(b, 0);
        GoodFrame(b, 1);
        PutTrailer(b);
        add("gif87a", b, Expect::Opens, 2);
    }
    {
        Bytes b = Start(1, 1);
        for (int f = 0; f < 200; ++f) {
            PutControl(b, f % 4, 0);
            PutFrame(b, {0, 0, 1, 1}, {static_cast<std::uint8_t>(f % 4)}, 2);
        }
        PutTrailer(b);
        add("many_tiny_frames", b, Expect::Opens, 200);
    }
    return cases;
}

} // namespace qf::gifbytes
