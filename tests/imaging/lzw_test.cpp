// The compression codec below the reader and the writer: what the encoder
// writes decodes to the same indexes however the bytes arrive, and the
// decoder reads the stream shapes other encoders produce.
#include "support.h"
#include "gif_lzw.h"

#include <gtest/gtest.h>

#include <random>

namespace qf::imaging {
namespace {

using Codes = std::vector<std::pair<int, int>>;

// Decodes data fed chunk bytes at a time, asking for one index more than
// expected: a well-formed stream ends with the end code right after them.
std::vector<std::uint16_t> Decode(int minCodeSize, const std::vector<std::uint8_t>& data, std::size_t count,
                                  std::size_t chunk, LzwDecoder::Status* status)
{
    LzwDecoder decoder;
    EXPECT_TRUE(decoder.start(minCodeSize));
    std::vector<std::uint16_t> out(count + 1);
    std::size_t produced = 0;
    for (std::size_t at = 0;;) {
        produced += decoder.decode(out.data() + produced, out.size() - produced);
        if (decoder.status() != LzwDecoder::Status::NeedData || at >= data.size() || produced == out.size())
            break;
        const std::size_t n = std::min(chunk, data.size() - at);
        decoder.feed(data.data() + at, n);
        at += n;
    }
    *status = decoder.status();
    out.resize(produced);
    return out;
}

// Noise and runs that fill the table fast, and every length around the
// points where the codes widen, so the end code's width is always right.
TEST(Lzw, EncodedIndexesDecodeBackAndEnd)
{
    std::mt19937 random(42);
    std::vector<std::tuple<int, int, std::size_t, std::size_t>> shapes; // code size, colours, count, run
    for (std::size_t n = 1; n < 600; n += 1)
        shapes.emplace_back(2, 3, n, 2);
    shapes.insert(shapes.end(), {{2, 4, 70000, 7}, {8, 256, 100000, 1}, {8, 256, 100000, 40}, {8, 1, 1000000, 1}});
    for (const auto& [minCodeSize, colours, count, run] : shapes) {
        std::vector<std::uint8_t> indexes(count);
        for (std::size_t i = 0; i < count; ++i)
            indexes[i] = i % run == 0 ? static_cast<std::uint8_t>(random() % static_cast<unsigned>(colours)) : indexes[i - 1];
        const auto data = LzwEncode(minCodeSize, indexes.data(), nullptr, count);
        for (std::size_t chunk : {std::size_t{1}, std::size_t{255}}) {
            LzwDecoder::Status status{};
            const auto decoded = Decode(minCodeSize, data, count, chunk, &status);
            ASSERT_TRUE(std::equal(decoded.begin(), decoded.end(), indexes.begin(), indexes.end())) << count;
            ASSERT_EQ(status, LzwDecoder::Status::End) << count << " indexes, chunk " << chunk;
        }
    }
}

TEST(Lzw, HandMadeStreams)
{
    // The table fills at 4096 entries with no clear: 12-bit codes go on.
    Codes full = {{4, 3}};
    std::vector<std::uint16_t> fullExpected;
    for (int k = 0, width = 3; k < 6000; ++k) {
        full.push_back({k % 4, width});
        fullExpected.push_back(static_cast<std::uint16_t>(k % 4));
        width += 6 + k == (1 << width) && width < 12;
        if (k == 5999)
            full.push_back({5, width});
    }
    struct Case {
        const char* name;
        int minCodeSize;
        Codes codes;
        std::vector<std::uint16_t> expected;
        LzwDecoder::Status status;
    };
    const Case cases[] = {
        {"string_being_defined", 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}}, {1, 1, 1, 1, 1, 1}, LzwDecoder::Status::End},
        {"no_clear_code_first", 2, {{2, 3}, {3, 3}, {6, 3}, {5, 4}}, {2, 3, 2, 3}, LzwDecoder::Status::End},
        {"two_clears_in_a_row", 2, {{4, 3}, {4, 3}, {1, 3}, {5, 3}}, {1}, LzwDecoder::Status::End},
        {"code_beyond_the_table", 2, {{4, 3}, {1, 3}, {7, 3}, {0, 3}}, {1}, LzwDecoder::Status::BadCode},
        {"string_right_after_clear", 2, {{4, 3}, {6, 3}}, {}, LzwDecoder::Status::BadCode},
        {"code_size_eleven", 11, {{2048, 12}, {5, 12}, {9, 12}, {2050, 12}, {2049, 12}}, {5, 9, 5, 9},
         LzwDecoder::Status::End},
        {"full_table_without_clear", 2, full, fullExpected, LzwDecoder::Status::End},
    };
    for (const Case& c : cases) {
        const auto data = test::PackCodes(c.codes);
        LzwDecoder decoder;
        ASSERT_TRUE(decoder.start(c.minCodeSize));
        decoder.feed(data.data(), data.size());
        std::vector<std::uint16_t> out(c.expected.size() + 8);
        out.resize(decoder.decode(out.data(), out.size()));
        EXPECT_EQ(out, c.expected) << c.name;
        EXPECT_EQ(decoder.status(), c.status) << c.name;
    }
}

} // namespace
} // namespace qf::imaging
