// The LZW decoder on code streams packed by hand: clear codes, the code
// width growing as the table fills, a full table, and damaged or short data;
// and the encoder's streams decoded again, with a second choice of index.
#include "support.h"

#include "imaging/gif/gif_lzw.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>

namespace qf::test {
namespace {

using imaging::LzwDecoder;
using Codes = std::vector<std::pair<int, int>>; // (code, width)

// Fed one byte at a time and read three indexes at a time, so that the bits
// and the strings not yet handed out must carry over between calls. The
// indexes, then -1 for the end code, -2 for a damaged code, -3 for data that
// stops early, -4 for a refused minimum code size.
std::vector<int> Decode(int minCodeSize, const Codes& codes)
{
    auto decoder = std::make_unique<LzwDecoder>();
    if (!decoder->start(minCodeSize))
        return {-4};
    std::vector<int> out;
    std::uint16_t indexes[3];
    const Bytes bytes = PackCodes(codes);
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i < bytes.size())
            decoder->feed(&bytes[i], 1);
        while (const std::size_t n = decoder->decode(indexes, 3))
            out.insert(out.end(), indexes, indexes + n);
    }
    const LzwDecoder::Status status = decoder->status();
    out.push_back(status == LzwDecoder::Status::End ? -1 : status == LzwDecoder::Status::BadCode ? -2 : -3);
    return out;
}

// A clear code, then code 0 until the 4096-entry table is full (each entry
// "0 0"), each at the width the table's size calls for; three more codes at
// 12 bits define nothing, and a clear code starts again at 3 bits.
Codes FillTheTable()
{
    Codes codes = {{4, 3}, {0, 3}};
    for (int next = 6, width = 3; next < 4096; ++next) {
        codes.push_back({0, width});
        if (next + 1 == 1 << width && width < 12)
            ++width;
    }
    codes.insert(codes.end(), {{0, 12}, {1, 12}, {4095, 12}, {4, 12}, {2, 3}, {5, 3}});
    return codes;
}

TEST(LzwDecoder, HandPackedCodeStreams)
{
    constexpr int E = -1, B = -2, N = -3, R = -4;
    std::vector<int> full(4092, 0);
    full.insert(full.end(), {1, 0, 0, 2, E});
    const struct {
        std::string name;
        int minCodeSize;
        Codes codes;
        std::vector<int> expected;
    } rows[] = {
        {"literals", 2, {{4, 3}, {1, 3}, {2, 3}, {3, 3}, {5, 3}}, {1, 2, 3, E}},
        {"string_codes", 2, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {5, 4}}, {1, 2, 1, 2, E}},
        {"string_code_defined_by_itself",
         2,
         {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {8, 4}, {5, 4}},
         {1, 2, 1, 2, 1, 2, 1, E}},
        {"code_defined_by_itself", 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}}, {1, 1, 1, 1, 1, 1, E}},
        {"width_grows_once_code_7_is_taken",
         2,
         {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {8, 4}, {5, 4}},
         {0, 1, 2, 3, 2, 3, E}},
        {"clear_code_resets_width_and_table",
         2,
         {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {4, 4}, {3, 3}, {3, 3}, {6, 3}, {5, 4}},
         {0, 1, 2, 3, 3, 3, 3, E}},
        {"no_opening_clear_code", 2, {{2, 3}, {2, 3}, {6, 3}, {5, 4}}, {2, 2, 2, 2, E}},
        {"eight_bit_codes", 8, {{256, 9}, {200, 9}, {17, 9}, {258, 9}, {257, 9}}, {200, 17, 200, 17, E}},
        {"full_table_keeps_its_entries_until_a_clear_code", 2, FillTheTable(), full},
        {"string_code_first_after_clear", 2, {{4, 3}, {6, 3}, {5, 3}}, {B}},
        {"code_beyond_the_table", 2, {{4, 3}, {1, 3}, {7, 3}, {2, 3}}, {1, B}},
        {"data_ends_before_the_end_code", 2, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {3, 4}}, {1, 2, 1, 2, 3, N}},
        {"nothing_after_the_end_code", 2, {{4, 3}, {1, 3}, {5, 3}, {2, 3}}, {1, E}},
        {"min_code_size_1", 1, {{2, 2}, {1, 2}, {3, 2}}, {1, E}},
        {"min_code_size_11", 11, {{2048, 12}, {2047, 12}, {2049, 12}}, {2047, E}},
        {"min_code_size_0", 0, {{1, 1}}, {R}},
        {"min_code_size_12", 12, {{4096, 13}}, {R}},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Decode(row.minCodeSize, row.codes), row.expected) << row.name;
}

// Runs of one index (long strings), noise (a table that fills and is
// cleared again) and a stretch of noise repeated, then another (a full table
// worth keeping, until it is not), with and without an equivalent second index for some pixels,
// with full tables cleared or kept: every pixel decodes to one of its two
// choices, and nothing more, read a few at a time.
TEST(LzwEncoder, DecodesToOneOfEachPixelsChoices)
{
    enum Picture { kRuns, kNoise, kRepeats };
    std::mt19937 random(11);
    std::vector<std::size_t> counts = {70000}; // and every short one, for each way the last code can fall
    for (std::size_t count = 0; count < 400; ++count)
        counts.push_back(count);
    std::vector<std::uint8_t> stretch(5000);
    for (std::uint8_t& index : stretch)
        index = static_cast<std::uint8_t>(random());
    // The first 3,000 indexes over the first half, the other 2,000 after.
    const auto repeated = [&](std::size_t i, std::size_t count) {
        return i < count / 2 ? stretch[i % 3000] : stretch[3000 + i % 2000];
    };
    for (const int minCodeSize : {2, 5, 8})
        for (const std::size_t count : counts)
            for (const Picture picture : {kRuns, kNoise, kRepeats})
                for (const bool choices : {false, true})
                    for (const bool keep : {false, true}) {
                        SCOPED_TRACE(testing::Message()
                                     << minCodeSize << " bits, " << count << " pixels, picture " << picture
                                     << ", choices " << choices << ", keep " << keep);
                        const int colours = 1 << minCodeSize;
                        std::vector<std::uint8_t> primary(count);
                        std::vector<std::int16_t> alternative(count, imaging::kNoAlternative);
                        for (std::size_t i = 0; i < count; ++i) {
                            primary[i] =
                                static_cast<std::uint8_t>(picture == kNoise     ? random() % colours
                                                          : picture == kRepeats ? repeated(i, count) % colours
                                                                                : i / 30 % colours);
                            if (choices && random() % 3 == 0)
                                alternative[i] = static_cast<std::int16_t>(random() % colours);
                        }
                        const std::vector<std::uint8_t> stream =
                            imaging::LzwEncode(minCodeSize, primary.data(),
                                               choices ? alternative.data() : nullptr, count, nullptr, keep);
                        auto decoder = std::make_unique<LzwDecoder>();
                        ASSERT_TRUE(decoder->start(minCodeSize));
                        decoder->feed(stream.data(), stream.size());
                        // Read in pieces of 1 to 13 indexes, so that long
                        // strings are handed out over many calls, and
                        // nothing is written past a piece.
                        std::vector<std::uint16_t> decoded;
                        for (std::size_t room = 1;; room = room % 13 + 1) {
                            std::array<std::uint16_t, 32> piece;
                            piece.fill(0xFFFF);
                            const std::size_t n = decoder->decode(piece.data(), room);
                            ASSERT_TRUE(std::all_of(piece.begin() + static_cast<std::ptrdiff_t>(room),
                                                    piece.end(),
                                                    [](std::uint16_t i) { return i == 0xFFFF; }));
                            decoded.insert(decoded.end(), piece.begin(),
                                           piece.begin() + static_cast<std::ptrdiff_t>(n));
                            if (n < room)
                                break;
                        }
                        ASSERT_EQ(decoded.size(), count);
                        EXPECT_EQ(decoder->status(), LzwDecoder::Status::End);
                        for (std::size_t i = 0; i < count; ++i)
                            ASSERT_TRUE(decoded[i] == primary[i] || decoded[i] == alternative[i])
                                << "pixel " << i;
                    }
}

// What the string table is for: 70,000 pixels of one index come out as
// strings one pixel longer each time, 1 + 2 + ... + 374 pixels in 374 codes
// of at most 10 bits (the table stays below 1024 entries), under 500 bytes.
// The same when, after a short run of that index, every pixel is noise that
// may also be shown as it (a still background the frame before already
// shows): once the run's strings are in the table, the choice that extends
// them is taken. A table that loses strings, or a choice not taken, leaves
// about a code a pixel.
TEST(LzwEncoder, OneIndexAfterAnotherMakesEverLongerStrings)
{
    constexpr std::size_t kCount = 70000;
    constexpr std::size_t kRun = 100;
    std::mt19937 random(5);
    const std::vector<std::uint8_t> flat(kCount, 9);
    std::vector<std::uint8_t> noise(kCount, 9);
    std::vector<std::int16_t> mayBeFlat(kCount, imaging::kNoAlternative);
    for (std::size_t i = kRun; i < kCount; ++i) {
        noise[i] = static_cast<std::uint8_t>(random() % 256);
        mayBeFlat[i] = 9;
    }
    const struct {
        std::string name;
        const std::uint8_t* primary;
        const std::int16_t* alternative;
    } rows[] = {
        {"one_index", flat.data(), nullptr},
        {"noise_that_may_be_the_run_before", noise.data(), mayBeFlat.data()},
    };
    for (const auto& row : rows) {
        const std::vector<std::uint8_t> stream = imaging::LzwEncode(8, row.primary, row.alternative, kCount);
        EXPECT_LT(stream.size(), 500u) << row.name;
    }
}

// What a kept table is for: a row of 1,000 random indexes shown 70 times
// over. The table fills with strings of that row; cleared, it must learn
// them again from single indexes, each time, while kept it goes on coding
// the rows in its longest strings: at least a quarter fewer bytes. Where
// nothing repeats (noise), keeping the full table is no better than
// clearing it, and is given up: the stream is no longer.
TEST(LzwEncoder, AFullTableIsKeptWhereThePatternsRepeat)
{
    constexpr std::size_t kRow = 1000;
    constexpr std::size_t kCount = 70 * kRow;
    std::mt19937 random(3);
    std::vector<std::uint8_t> row(kRow);
    for (std::uint8_t& index : row)
        index = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> repeats(kCount);
    std::vector<std::uint8_t> noise(kCount);
    for (std::size_t i = 0; i < kCount; ++i) {
        repeats[i] = row[i % kRow];
        noise[i] = static_cast<std::uint8_t>(random());
    }
    const auto size = [&](const std::vector<std::uint8_t>& pixels, bool keep) {
        return imaging::LzwEncode(8, pixels.data(), nullptr, kCount, nullptr, keep).size();
    };
    EXPECT_LT(size(repeats, true), size(repeats, false) * 3 / 4);
    EXPECT_LE(size(noise, true), size(noise, false));
}

} // namespace
} // namespace qf::test
