// The GIF compression codec on its own: what the encoder writes decodes to
// the same indexes, in one piece or fed a byte at a time, and the decoder
// copes with the stream shapes real encoders produce.
#include "gif_lzw.h"
#include "gif_test_support.h"

#include <gtest/gtest.h>

#include <random>

namespace qf::imaging {
namespace {

// Decodes data fed chunk bytes at a time, asking for one pixel more than
// expected: a well-formed stream ends with the end code right after them.
std::vector<std::uint16_t> Decode(int minCodeSize, const std::vector<std::uint8_t>& data, std::size_t pixels,
                                  std::size_t chunk, LzwDecoder::Status* status)
{
    LzwDecoder decoder;
    EXPECT_TRUE(decoder.start(minCodeSize));
    std::vector<std::uint16_t> out(pixels + 1);
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

struct RoundTrip {
    const char* name;
    int minCodeSize;
    int colours;
    std::size_t pixels;
    int runLength; // 1: noise; larger: runs that fill the table fast
};

// Test names show the case name, not its bytes.
void PrintTo(const RoundTrip& c, std::ostream* os)
{
    *os << c.name;
}

class LzwRoundTrip : public ::testing::TestWithParam<RoundTrip> {};

TEST_P(LzwRoundTrip, DecodesToTheSameIndexesAndEndsWithTheEndCode)
{
    const RoundTrip& c = GetParam();
    std::mt19937 random(42);
    std::vector<std::uint8_t> indexes(c.pixels);
    for (std::size_t i = 0; i < indexes.size(); ++i)
        indexes[i] = (i % static_cast<std::size_t>(c.runLength) == 0)
            ? static_cast<std::uint8_t>(random() % static_cast<unsigned>(c.colours))
            : indexes[i - 1];
    const std::vector<std::uint8_t> data = LzwEncode(c.minCodeSize, indexes.data(), nullptr, indexes.size());
    for (std::size_t chunk : {std::size_t{1}, std::size_t{255}}) {
        LzwDecoder::Status status{};
        const std::vector<std::uint16_t> decoded = Decode(c.minCodeSize, data, indexes.size(), chunk, &status);
        ASSERT_EQ(decoded.size(), indexes.size()) << "chunk " << chunk;
        EXPECT_TRUE(std::equal(decoded.begin(), decoded.end(), indexes.begin())) << "chunk " << chunk;
        EXPECT_EQ(status, LzwDecoder::Status::End) << "chunk " << chunk;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, LzwRoundTrip,
    ::testing::Values(RoundTrip{"one_pixel", 2, 4, 1, 1}, RoundTrip{"four_colours_runs", 2, 4, 70000, 7},
                      RoundTrip{"full_byte_noise", 8, 256, 100000, 1},
                      RoundTrip{"full_byte_runs", 8, 256, 100000, 40},
                      RoundTrip{"single_colour_long", 8, 1, 1000000, 1}),
    [](const ::testing::TestParamInfo<RoundTrip>& info) { return std::string(info.param.name); });

// Every length around the points where the codes widen, so the width of the
// end code is right whatever the table size when the data stops.
TEST(Lzw, EndCodeWidthIsRightAtEveryLength)
{
    std::vector<std::uint8_t> indexes;
    for (std::size_t n = 1; n < 700; ++n) {
        indexes.push_back(static_cast<std::uint8_t>((n * 7) % 3));
        const auto data = LzwEncode(2, indexes.data(), nullptr, indexes.size());
        LzwDecoder::Status status{};
        const auto decoded = Decode(2, data, indexes.size(), 255, &status);
        ASSERT_EQ(decoded.size(), n);
        ASSERT_EQ(status, LzwDecoder::Status::End) << "length " << n;
    }
}

TEST(Lzw, AlternativesDecodeToOneOfTheTwoChoicesAndCompressBetter)
{
    // Half the pixels may be either 3 (transparent) or their real colour.
    std::mt19937 random(7);
    const std::size_t n = 60000;
    std::vector<std::uint8_t> primary(n);
    std::vector<std::int16_t> alternative(n, kNoAlternative);
    std::vector<std::uint8_t> plain(n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t colour = static_cast<std::uint8_t>((i / 5) % 3);
        plain[i] = colour;
        if ((i / 97) % 2 == 0 || random() % 3 == 0) {
            primary[i] = 3;
            alternative[i] = colour;
        } else {
            primary[i] = colour;
        }
    }
    const auto withChoices = LzwEncode(2, primary.data(), alternative.data(), n);
    const auto firstOnly = LzwEncode(2, primary.data(), nullptr, n);
    EXPECT_LT(withChoices.size(), firstOnly.size());

    LzwDecoder::Status status{};
    const auto decoded = Decode(2, withChoices, n, 255, &status);
    ASSERT_EQ(decoded.size(), n);
    EXPECT_EQ(status, LzwDecoder::Status::End);
    for (std::size_t i = 0; i < n; ++i) {
        const bool allowed = decoded[i] == primary[i]
            || (alternative[i] != kNoAlternative && decoded[i] == static_cast<std::uint16_t>(alternative[i]));
        ASSERT_TRUE(allowed) << "pixel " << i;
    }
}

struct HandMade {
    const char* name;
    int minCodeSize;
    std::vector<std::pair<int, int>> codes;
    std::vector<std::uint16_t> expected;
    LzwDecoder::Status status;
};

// Test names show the case name, not its bytes.
void PrintTo(const HandMade& c, std::ostream* os)
{
    *os << c.name;
}

class LzwHandMade : public ::testing::TestWithParam<HandMade> {};

TEST_P(LzwHandMade, Decodes)
{
    const HandMade& c = GetParam();
    const auto data = test::PackCodes(c.codes);
    LzwDecoder decoder;
    ASSERT_TRUE(decoder.start(c.minCodeSize));
    decoder.feed(data.data(), data.size());
    std::vector<std::uint16_t> out(64);
    out.resize(decoder.decode(out.data(), out.size()));
    EXPECT_EQ(out, c.expected);
    EXPECT_EQ(decoder.status(), c.status);
}

INSTANTIATE_TEST_SUITE_P(
    Streams, LzwHandMade,
    ::testing::Values(
        // clear, 1, then code 6 (being defined: "1 1"), then 7 ("1 1 1").
        HandMade{"string_being_defined", 2, {{4, 3}, {1, 3}, {6, 3}, {7, 3}, {5, 4}}, {1, 1, 1, 1, 1, 1},
                 LzwDecoder::Status::End},
        HandMade{"no_clear_code_first", 2, {{2, 3}, {3, 3}, {6, 3}, {5, 4}}, {2, 3, 2, 3},
                 LzwDecoder::Status::End},
        HandMade{"two_clears_in_a_row", 2, {{4, 3}, {4, 3}, {1, 3}, {5, 3}}, {1}, LzwDecoder::Status::End},
        HandMade{"code_beyond_the_table", 2, {{4, 3}, {1, 3}, {7, 3}, {0, 3}}, {1},
                 LzwDecoder::Status::BadCode},
        HandMade{"string_code_right_after_clear", 2, {{4, 3}, {6, 3}}, {}, LzwDecoder::Status::BadCode},
        HandMade{"minimum_code_size_eleven", 11, {{2048, 12}, {5, 12}, {9, 12}, {2050, 12}, {2049, 12}},
                 {5, 9, 5, 9}, LzwDecoder::Status::End}),
    [](const ::testing::TestParamInfo<HandMade>& info) { return std::string(info.param.name); });

TEST(Lzw, FullTableWithoutClearKeepsReadingTwelveBitCodes)
{
    // Literals 0..3 forever: the table fills at 4096 entries and stays full.
    std::vector<std::pair<int, int>> codes = {{4, 3}};
    std::vector<std::uint16_t> expected;
    int width = 3;
    for (int k = 0; k < 6000; ++k) {
        codes.push_back({k % 4, width});
        expected.push_back(static_cast<std::uint16_t>(k % 4));
        // After its second code the decoder defines one entry per code.
        const int next = 6 + k; // entries defined once code k+1 is read
        if (next == (1 << width) && width < 12)
            ++width;
    }
    codes.push_back({5, width});
    const auto data = test::PackCodes(codes);
    LzwDecoder decoder;
    ASSERT_TRUE(decoder.start(2));
    decoder.feed(data.data(), data.size());
    std::vector<std::uint16_t> out(expected.size() + 8);
    out.resize(decoder.decode(out.data(), out.size()));
    EXPECT_EQ(out, expected);
    EXPECT_EQ(decoder.status(), LzwDecoder::Status::End);
}

} // namespace
} // namespace qf::imaging
