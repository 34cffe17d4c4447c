// The variable-length-code LZW compression of GIF image data: a streaming
// decoder that copes with the damaged data found in real files, and an
// encoder that may pick, pixel by pixel, between two equivalent indexes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf::imaging {

// The largest minimum code size the decoder accepts. The format's own
// encoders use 2 to 8; some files use up to 11, which still leaves room for
// the clear and end codes within 12-bit codes.
constexpr int kMaxLzwMinCodeSize = 11;

class LzwDecoder {
public:
    enum class Status {
        NeedData, // every byte fed so far is used; feed the next block
        End,      // the end code was read
        BadCode,  // a code that names no table entry: the data is damaged
    };

    // Starts a new image. Returns false for a minimum code size outside
    // 1..kMaxLzwMinCodeSize, which no decoder can make sense of.
    bool start(int minCodeSize);

    // Hands over the next data block. The bytes must stay valid until
    // decode() has used them all (status() is NeedData again).
    void feed(const std::uint8_t* data, std::size_t size);

    // Writes up to count pixel indexes to out and returns how many it wrote.
    // It stops early when the fed data is used up, at the end code, or at a
    // damaged code.
    std::size_t decode(std::uint16_t* out, std::size_t count);

    // Passes over up to count pixels without writing them and returns how
    // many it passed, stopping where decode() would: the codes are read and
    // the table built, but no string is spelled out, so a code standing for
    // thousands of pixels costs no more than one for a single pixel. Not to
    // be mixed with decode() in one image.
    std::size_t skip(std::size_t count);

    Status status() const { return status_; }

private:
    void resetTable();

    int minCodeSize_ = 0;
    int clear_ = 0;
    int end_ = 0;
    int width_ = 0;
    int next_ = 0;
    int previous_ = -1;
    std::uint64_t bits_ = 0;
    int bitCount_ = 0;
    const std::uint8_t* in_ = nullptr;
    const std::uint8_t* inEnd_ = nullptr;
    Status status_ = Status::NeedData;

    // decode() keeps every code's string spelled out, one after another
    // in strings_ (the literals first), so that a code is written out with
    // one copy: a new code's string is the previous code's followed by one
    // index. They come to at most 1 + 2 + ... + 4096 indexes (16 MB) before
    // a clear code, when one index repeats throughout.
    std::vector<std::uint16_t> strings_;
    std::size_t stringsEnd_ = 0;
    std::uint32_t start_[4096] = {};
    std::uint16_t first_[4096] = {};  // the first index of each code's string
    std::uint16_t length_[4096] = {}; // indexes in the string of each code
    // The part of a string the last call to decode() or skip() had no room
    // for: decode() writes it from strings_[pendingAt_].
    std::size_t pendingAt_ = 0;
    int pending_ = 0;
};

// No second choice for a pixel.
constexpr std::int16_t kNoAlternative = -1;

// Lets the encoder write a near colour where that extends the current
// string, so that runs grow longer at the cost of exactness.
struct LossyRun {
    const std::uint32_t* palette = nullptr; // packed colour of each index
    int paletteSize = 0;
    int transparent = -1; // an index that must never stand for a colour
    // The colour wanted at each pixel, 0 where the index must stay as given.
    const std::uint32_t* wanted = nullptr;
    int tolerance = 0; // the largest distance allowed, as the root of the summed squares of the channels
};

// The largest difference between two packed colours in any channel.
inline int ChannelDistance(std::uint32_t a, std::uint32_t b)
{
    int largest = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        largest = std::max(largest, d < 0 ? -d : d);
    }
    return largest;
}
// The summed squares of the channel differences of two packed colours.
inline int SquaredDistance(std::uint32_t a, std::uint32_t b)
{
    int sum = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        sum += d * d;
    }
    return sum;
}

// Compresses count pixel indexes with the given minimum code size (2..8) and
// returns the code stream (not yet cut into data blocks): a clear code, the
// codes, the end code. When alternative is not null, alternative[i] (unless
// kNoAlternative) is a second index that shows the same as primary[i]; the
// encoder takes whichever extends the current string. With lossy, a pixel
// whose wanted colour is set may instead take any index whose colour is
// within the tolerance of it, where no exact choice extends the string.
// With tryKeepingFullTables, each time the string table fills, the pixels
// that follow are coded both with the table cleared and with it kept as it
// is (which the format allows), and the shorter is written: twice the work
// where it is tried (less and less often while keeping loses), for a
// stream 1-5% shorter where pictures repeat their patterns.
std::vector<std::uint8_t> LzwEncode(int minCodeSize, const std::uint8_t* primary,
                                    const std::int16_t* alternative, std::size_t count,
                                    const LossyRun* lossy = nullptr, bool tryKeepingFullTables = false);

} // namespace qf::imaging
