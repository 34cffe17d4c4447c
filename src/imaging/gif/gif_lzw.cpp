#include "imaging/gif/gif_lzw.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>

namespace qf::imaging {

namespace {

constexpr int kMaxCodes = 4096; // codes are at most 12 bits wide
constexpr int kMaxWidth = 12;
// Room for the literals and the strings of a table of short ones; more is
// taken as the strings need it.
constexpr int kInitialStrings = 1 << 16;
constexpr std::size_t kShortString = 8;
// The most the strings can take: the literals, a table of strings each one
// longer than the one before, and room to copy eight from the last.
constexpr std::size_t kMostStrings = kMaxCodes + std::size_t{kMaxCodes} * (kMaxCodes + 1) / 2 + kShortString;
// How far the encoder looks ahead to choose between two equivalent indexes.
constexpr std::size_t kLookahead = 8;
// Full tables kept, tried in turn with clearing: after this many times in a
// row that clearing did better, the next full table is cleared without
// trying, then the next two, four and so on, until keeping does better
// again. On film, where the pixels' patterns do not repeat, the kept table
// does better about one time in eight, by a few bits: trying at every fill
// would double the work for nothing. On drawn and photographic pictures it
// does better more often than not, or in stretches (a fade between two
// photographs: giving up for good after two losses left 0.8% of its bytes).
constexpr int kKeptLossesBeforeBackingOff = 2;

} // namespace

bool LzwDecoder::start(int minCodeSize)
{
    in_ = inEnd_ = nullptr;
    bits_ = 0;
    bitCount_ = 0;
    pending_ = 0;
    if (minCodeSize < 1 || minCodeSize > kMaxLzwMinCodeSize) {
        status_ = Status::BadCode;
        return false;
    }
    minCodeSize_ = minCodeSize;
    clear_ = 1 << minCodeSize;
    end_ = clear_ + 1;
    status_ = Status::NeedData;
    // The literals' strings, each of its own index, stay from clear to clear.
    if (strings_.size() < static_cast<std::size_t>(kInitialStrings))
        strings_.resize(kInitialStrings);
    for (int c = 0; c < clear_; ++c) {
        strings_[static_cast<std::size_t>(c)] = static_cast<std::uint16_t>(c);
        start_[c] = static_cast<std::uint32_t>(c);
        first_[c] = static_cast<std::uint16_t>(c);
        length_[c] = 1;
    }
    // Data that does not open with a clear code is decoded as if it did.
    resetTable();
    return true;
}

void LzwDecoder::resetTable()
{
    width_ = minCodeSize_ + 1;
    next_ = end_ + 1;
    previous_ = -1;
    stringsEnd_ = static_cast<std::size_t>(clear_);
}

void LzwDecoder::feed(const std::uint8_t* data, std::size_t size)
{
    in_ = data;
    inEnd_ = data + size;
}

namespace {

// Copies a string of n indexes where room indexes may be written: most
// strings are a few long, and copying eight whatever their length costs no
// branch that the lengths' changes from code to code would mispredict.
// from must have eight indexes readable. The eight may overlap the string's
// own place, when it is copied to just after itself.
inline void CopyIndexes(std::uint16_t* to, const std::uint16_t* from, std::size_t n, std::size_t room)
{
    if (n <= kShortString && room >= kShortString)
        std::memmove(to, from, kShortString * sizeof(std::uint16_t));
    else
        std::memmove(to, from, n * sizeof(std::uint16_t));
}

} // namespace

std::size_t LzwDecoder::decode(std::uint16_t* pixels, std::size_t count)
{
    // The state is worked on in locals and stored back on the way out, and
    // the pixels are written through a pointer that aliases nothing else:
    // the compiler would otherwise reload the state and the tables after
    // every pixel.
    std::uint16_t* __restrict const out = pixels;
    std::uint32_t* __restrict const start = start_;
    std::uint16_t* __restrict const length = length_;
    std::uint16_t* __restrict const first = first_;
    std::uint16_t* __restrict strings = strings_.data();
    std::size_t stringsEnd = stringsEnd_;
    const int clear = clear_;
    const int end = end_;
    int width = width_;
    int next = next_;
    int previous = previous_;
    std::uint64_t bits = bits_;
    int bitCount = bitCount_;
    const std::uint8_t* in = in_;
    const std::uint8_t* const inEnd = inEnd_;
    Status status = status_;
    std::size_t pendingAt = pendingAt_;
    std::size_t pending = static_cast<std::size_t>(pending_);

    std::size_t produced = 0;
    while (produced < count) {
        if (pending > 0) {
            const std::size_t n = std::min(pending, count - produced);
            CopyIndexes(out + produced, strings + pendingAt, n, n);
            pendingAt += n;
            pending -= n;
            produced += n;
            continue;
        }
        if (status != Status::NeedData)
            break;

        if (bitCount < width) {
            if (inEnd - in >= 8) {
                // Whole bytes up to 56 bits at once.
                std::uint64_t word;
                std::memcpy(&word, in, sizeof word);
                const int take = (63 - bitCount) / 8; // 6 or 7
                bits |= (word & ((std::uint64_t{1} << (8 * take)) - 1)) << bitCount;
                in += take;
                bitCount += 8 * take;
            } else {
                while (bitCount < width && in != inEnd) {
                    bits |= static_cast<std::uint64_t>(*in++) << bitCount;
                    bitCount += 8;
                }
                if (bitCount < width)
                    break;
            }
        }
        const int code = static_cast<int>(bits & ((1u << width) - 1));
        bits >>= width;
        bitCount -= width;

        if (code == clear) {
            width = minCodeSize_ + 1;
            next = end + 1;
            previous = -1;
            stringsEnd = static_cast<std::size_t>(clear);
            continue;
        }
        if (code == end) {
            status = Status::End;
            break;
        }
        if (previous < 0) {
            // The first code after a clear must be a literal.
            if (code > clear) {
                status = Status::BadCode;
                break;
            }
            out[produced++] = static_cast<std::uint16_t>(code);
            previous = code;
            continue;
        }
        if (code > next || (code == next && next >= kMaxCodes)) {
            status = Status::BadCode;
            break;
        }

        // A full table stays as it is until the next clear code (a
        // "deferred clear"); codes then stay 12 bits wide. Otherwise the
        // next code is the previous string followed by the first index of
        // this code's string, or, for the code being defined right now, of
        // the previous string.
        if (next < kMaxCodes) {
            const std::size_t from = start[previous];
            const std::size_t n = length[previous];
            // Room for the string, and for eight indexes to be copied from
            // where it begins.
            if (stringsEnd + n + 1 + kShortString > strings_.size()) {
                strings_.resize(
                    std::max(std::min(2 * strings_.size(), kMostStrings), stringsEnd + n + 1 + kShortString));
                strings = strings_.data();
            }
            CopyIndexes(strings + stringsEnd, strings + from, n, kShortString);
            strings[stringsEnd + n] = first[code < next ? code : previous];
            first[next] = first[previous];
            start[next] = static_cast<std::uint32_t>(stringsEnd);
            length[next] = static_cast<std::uint16_t>(n + 1);
            stringsEnd += n + 1;
            ++next;
            if (next == (1 << width) && width < kMaxWidth)
                ++width;
        }

        const std::size_t n = length[code];
        const std::size_t room = count - produced;
        if (n <= room) {
            CopyIndexes(out + produced, strings + start[code], n, room);
            produced += n;
        } else {
            CopyIndexes(out + produced, strings + start[code], room, room);
            produced += room;
            pendingAt = start[code] + room;
            pending = n - room;
        }
        previous = code;
    }

    width_ = width;
    next_ = next;
    previous_ = previous;
    bits_ = bits;
    bitCount_ = bitCount;
    in_ = in;
    status_ = status;
    stringsEnd_ = stringsEnd;
    pendingAt_ = pendingAt;
    pending_ = static_cast<int>(pending);
    return produced;
}

std::size_t LzwDecoder::skip(std::size_t count)
{
    // pending_ counts the pixels of a string the last call stopped inside.
    std::size_t passed = std::min<std::size_t>(static_cast<std::size_t>(pending_), count);
    pending_ -= static_cast<int>(passed);
    while (passed < count && status_ == Status::NeedData) {
        while (bitCount_ < width_ && in_ != inEnd_) {
            bits_ |= static_cast<std::uint64_t>(*in_++) << bitCount_;
            bitCount_ += 8;
        }
        if (bitCount_ < width_)
            break;
        const int code = static_cast<int>(bits_ & ((1u << width_) - 1));
        bits_ >>= width_;
        bitCount_ -= width_;
        if (code == clear_) {
            resetTable();
            continue;
        }
        if (code == end_) {
            status_ = Status::End;
            break;
        }
        if (previous_ < 0) {
            if (code > clear_) {
                status_ = Status::BadCode;
                break;
            }
            ++passed;
            previous_ = code;
            continue;
        }
        const bool previousString = previous_ > end_;
        std::size_t n = 1;
        if (code < next_) {
            n = code > end_ ? length_[code] : 1;
        } else if (code == next_ && next_ < kMaxCodes) {
            n = (previousString ? length_[previous_] : 1u) + 1u;
        } else {
            status_ = Status::BadCode;
            break;
        }
        const std::size_t taken = std::min(n, count - passed);
        passed += taken;
        pending_ = static_cast<int>(n - taken);
        if (next_ < kMaxCodes) {
            length_[next_] = static_cast<std::uint16_t>((previousString ? length_[previous_] : 1) + 1);
            ++next_;
            if (next_ == (1 << width_) && width_ < kMaxWidth)
                ++width_;
        }
        previous_ = code;
    }
    return passed;
}

namespace {

// Packs codes least significant bit first into a buffer sized beforehand for
// the most codes a run of pixels can give: each code stores a whole word,
// and the bytes it completes are passed.
class CodeWriter {
public:
    CodeWriter(std::vector<std::uint8_t>& out, std::size_t maxCodes) : out_(out)
    {
        // Twelve bits a code at most, and room for one whole word beyond.
        out_.resize((maxCodes * kMaxWidth + 7) / 8 + 8);
        at_ = out_.data();
    }

    // No branch follows where a byte fills up.
    void put(int code, int width)
    {
        bits_ |= static_cast<std::uint64_t>(code) << count_;
        count_ += width;
        // At most 7 bits stay over from before, so 19 bits at most are held.
        store(bits_);
        const int whole = count_ >> 3;
        at_ += whole;
        bits_ >>= 8 * whole;
        count_ &= 7;
    }

    // Carries on from where a copy of this writer got to.
    void continueFrom(const CodeWriter& copy)
    {
        at_ = copy.at_;
        bits_ = copy.bits_;
        count_ = copy.count_;
    }

    // Writes the bits still held and trims the buffer to what was written.
    void finish()
    {
        for (; count_ > 0; count_ -= 8, bits_ >>= 8)
            *at_++ = static_cast<std::uint8_t>(bits_);
        out_.resize(static_cast<std::size_t>(at_ - out_.data()));
    }

private:
    void store(std::uint64_t word)
    {
        std::uint8_t bytes[8];
        for (int b = 0; b < 8; ++b)
            bytes[b] = static_cast<std::uint8_t>(word >> (8 * b));
        std::memcpy(at_, bytes, 8);
    }

    std::vector<std::uint8_t>& out_;
    std::uint8_t* at_ = nullptr;
    std::uint64_t bits_ = 0;
    int count_ = 0;
};

// String table of the encoder: (prefix code, next index) -> code, open
// addressing, eight times as many slots as codes so that probes stay short:
// on film frames the encoder is 7% faster than with four times as many,
// and slower with a table small enough for the first-level cache, where
// more searches go past the first slot.
// A slot packs the key (plus one, so that 0 is empty) above the code in one
// word: prefixes stay below 4095 and indexes below 256, so the key takes 20
// bits and the code 12. A search that misses ends on the empty slot where
// the string goes, so that adding it right after costs no second search.
// The strings that end in one chosen index (the shared index, see
// SharedChoice) are kept apart, in an array by prefix: their search is a
// single load from the first-level cache instead of a hash and a probe.
// One table serves every image a thread encodes.
class StringTable {
public:
    // Empties the table for an image; shared is the index whose strings go
    // in the array by prefix, -1 for none.
    void start(int shared)
    {
        shared_ = shared;
        clear();
    }

    void clear()
    {
        std::memset(slots_, 0, sizeof slots_);
        std::fill(std::begin(viaShared_), std::end(viaShared_), std::int16_t{-1});
    }

    // The code of the string, or -1 with *slot set to where it would go.
    int find(int prefix, int index, std::uint32_t* slot) const
    {
        if (index == shared_)
            return viaShared_[prefix];
        const std::uint32_t entry = probe(prefix, index, slot);
        return entry != 0 ? CodeOf(entry) : -1;
    }

    int find(int prefix, int index) const
    {
        std::uint32_t unused = 0;
        return find(prefix, index, &unused);
    }

    // Adds a string that a search just missed at slot.
    void insertAt(std::uint32_t slot, int prefix, int index, int code)
    {
        if (index == shared_) {
            viaShared_[prefix] = static_cast<std::int16_t>(code);
            return;
        }
        slots_[slot] = (Key(prefix, index) << kCodeBits) | static_cast<std::uint32_t>(code);
    }

private:
    static constexpr std::uint32_t kSlots = 32768;
    static constexpr int kCodeBits = 12;
    static constexpr std::uint32_t kCodeMask = (1u << kCodeBits) - 1;

    // The slot of the string, or the empty one where it would go; returns
    // the entry there (0: empty).
    std::uint32_t probe(int prefix, int index, std::uint32_t* slot) const
    {
        const std::uint32_t key = Key(prefix, index);
        std::uint32_t s = Hash(prefix, index);
        std::uint32_t entry = slots_[s];
        while (entry != 0 && (entry >> kCodeBits) != key) {
            s = (s + 1) & (kSlots - 1);
            entry = slots_[s];
        }
        *slot = s;
        return entry;
    }

    static int CodeOf(std::uint32_t entry) { return static_cast<int>(entry & kCodeMask); }

    static std::uint32_t Key(int prefix, int index)
    {
        return ((static_cast<std::uint32_t>(prefix) << 8) | static_cast<std::uint32_t>(index)) + 1;
    }
    // The prefix shifted, its bits mixed with a scrambled index: only a
    // shift and an xor wait for the prefix, which is the code the last
    // search found.
    static std::uint32_t Hash(int prefix, int index)
    {
        return (static_cast<std::uint32_t>(prefix) << 3)
               ^ ((static_cast<std::uint32_t>(index) * 2654435761u) >> 17);
    }

    std::uint32_t slots_[kSlots];
    int shared_ = -1;
    // The code of each prefix followed by the shared index, -1 for none.
    std::int16_t viaShared_[kMaxCodes];
};

// For the lossy search, the strings one index longer than each code, as
// lists in order of their making, newest first.
struct Children {
    std::int16_t first[kMaxCodes];
    std::int16_t sibling[kMaxCodes];
    std::uint8_t lastIndex[kMaxCodes];
    void clear() { std::fill(std::begin(first), std::end(first), std::int16_t{-1}); }
};

// The encoder's state between images of a thread: the tables are large
// enough that setting them up anew for each image would cost more than
// clearing them. Two of each table: while two ways on are tried, one is
// kept as it is and the other starts anew.
struct EncoderTables {
    StringTable strings[2];
    Children children[2];
    std::vector<std::uint32_t> clearedCodes;
    std::vector<std::uint32_t> keptCodes;
};

EncoderTables& ThreadTables()
{
    thread_local const std::unique_ptr<EncoderTables> tables = std::make_unique<EncoderTables>();
    return *tables;
}

// How a span of pixels is coded: straight to the writer with the table
// cleared whenever it fills (the usual way, with no test that the others
// need); straight to the writer up to where the table fills; or recorded,
// while two ways on are tried, up to where the table fills or the codes go
// over a limit.
enum class Span { kWhole, kUntilFull, kRecorded };

// The state of the code stream: its width, the next entry, the tables, and
// where the codes go.
struct CodeState {
    int minCodeSize;
    int width;
    int next;
    CodeWriter* writer;
    StringTable* table;
    Children* children; // used only with lossy compression
    bool lossy;
    // The table is full and kept: no string is added.
    bool frozen = false;
    std::vector<std::uint32_t>* recorded = nullptr; // code | width << 16
    std::size_t recordedBits = 0;
    // A recorded span stops once it has taken more bits than this.
    std::size_t bitLimit = SIZE_MAX;

    template <Span kSpan>
    void put(int code, int codeWidth)
    {
        if constexpr (kSpan == Span::kRecorded) {
            recorded->push_back(static_cast<std::uint32_t>(code)
                                | (static_cast<std::uint32_t>(codeWidth) << 16));
            recordedBits += static_cast<std::size_t>(codeWidth);
        } else {
            writer->put(code, codeWidth);
        }
    }

    // Whether the span ends here: the table just filled, or the codes
    // recorded went over their limit.
    template <Span kSpan>
    bool spanEnds() const
    {
        if constexpr (kSpan == Span::kWhole)
            return false;
        else if constexpr (kSpan == Span::kUntilFull)
            return next == kMaxCodes;
        else
            return (!frozen && next == kMaxCodes) || recordedBits > bitLimit;
    }

    // Starts a fresh table with a clear code.
    template <Span kSpan>
    void clear()
    {
        put<kSpan>(1 << minCodeSize, width);
        table->clear();
        if (lossy)
            children->clear();
        width = minCodeSize + 1;
        next = (1 << minCodeSize) + 2;
        frozen = false;
    }

    // Starts a fresh table under the string current, which pixel `at`
    // would extend: a string longer than one pixel is written first, as
    // the new table lacks it, and pixel `at` starts the next one.
    template <Span kSpan>
    void clearUnder(int& current, const std::uint8_t* primary, std::size_t& at)
    {
        if (current > (1 << minCodeSize) + 1) {
            put<kSpan>(current, width);
            current = primary[at];
            ++at;
        }
        clear<kSpan>();
    }

    // Writes the code of current and adds it one index longer, at slot
    // (with the table full and kept, only writes it). After the entry
    // `next` is added: the decoder defines each entry one code later than
    // the encoder, so it widens its codes when the table reaches 2^width
    // entries and the encoder, one entry ahead, at 2^width + 1. Coding the
    // whole image, a full table is cleared.
    template <bool kLossy, Span kSpan>
    void emit(int current, int index, std::uint32_t slot)
    {
        put<kSpan>(current, width);
        if (kSpan == Span::kRecorded && frozen)
            return;
        table->insertAt(slot, current, index, next);
        if constexpr (kLossy) {
            children->lastIndex[next] = static_cast<std::uint8_t>(index);
            children->sibling[next] = children->first[current];
            children->first[current] = static_cast<std::int16_t>(next);
        }
        ++next;
        if (next == (1 << width) + 1 && width < kMaxWidth)
            ++width;
        if (kSpan == Span::kWhole && next == kMaxCodes)
            clear<kSpan>();
    }

    // The last string's code and the end code.
    void finish(int current)
    {
        put<Span::kWhole>(current, width);
        // Reading that last code makes the decoder define one more entry,
        // which may widen the codes by one bit before it reads the end code.
        if (next == (1 << width) && width < kMaxWidth)
            ++width;
        put<Span::kWhole>((1 << minCodeSize) + 1, width);
    }
};

// The pixels to compress.
struct Pixels {
    const std::uint8_t* primary;
    const std::int16_t* alternative; // null: no pixel has a second index
    std::size_t count;
    const LossyRun* lossy;
};

// Compresses pixels [from, until) onto the string current (not yet
// written): the string grows while the table holds it, else its code is
// written and the string one pixel longer added. Pixels may have a second
// index (kChoices), and with kLossy a near colour may extend the string.
// Returns where it stopped: until, or where the span ended (kSpan), the
// pixel after the one whose code ended it.
template <bool kChoices, bool kLossy, Span kSpan>
[[gnu::always_inline]] inline std::size_t EncodeSpanOn(const Pixels& pixels, std::size_t from,
                                                       std::size_t until, int& current, CodeState& state)
{
    if constexpr (!kChoices && !kLossy) {
        // Pixels with a single choice and no lossy search, the common
        // case, in the shortest loop.
        if (from == 0) {
            current = pixels.primary[0];
            from = 1;
        }
        const StringTable& table = *state.table;
        for (std::size_t i = from; i < until; ++i) {
            const int index = pixels.primary[i];
            std::uint32_t slot = 0;
            const int longer = table.find(current, index, &slot);
            if (longer >= 0) {
                current = longer;
                continue;
            }
            state.emit<false, kSpan>(current, index, slot);
            current = index;
            if (state.spanEnds<kSpan>())
                return i + 1;
        }
        return until;
    }

    const std::uint8_t* const primary = pixels.primary;
    const std::int16_t* const alternativeOrNull = pixels.alternative;
    const std::size_t count = pixels.count;
    const LossyRun* const lossy = pixels.lossy;
    const StringTable& table = *state.table;
    const Children& children = *state.children;
    auto second = [alternativeOrNull](std::size_t i) {
        if constexpr (kChoices)
            return static_cast<int>(alternativeOrNull[i]);
        static_cast<void>(alternativeOrNull); // null: no pixel has a second index
        static_cast<void>(i);
        return static_cast<int>(kNoAlternative);
    };
    // The string of code one pixel longer with pixel i, or -1.
    auto extend = [&](int code, std::size_t i) {
        if (i >= count)
            return -1;
        const int c = table.find(code, primary[i]);
        if (c < 0 && second(i) != kNoAlternative)
            return table.find(code, second(i));
        return c;
    };
    // The longer string of code whose last pixel comes closest to the colour
    // wanted at pixel i, within the tolerance; -1 when there is none.
    auto nearString = [&](int code, std::size_t i) {
        const std::uint32_t wanted = lossy->wanted[i];
        int best = -1;
        int bestDistance = lossy->tolerance * lossy->tolerance + 1;
        if (wanted == 0)
            return best;
        for (int c = children.first[code]; c >= 0; c = children.sibling[c]) {
            const int index = children.lastIndex[c];
            if (index >= lossy->paletteSize || index == lossy->transparent)
                continue;
            const int distance = SquaredDistance(lossy->palette[index], wanted);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = c;
            }
        }
        return best;
    };
    // True when other extends over more pixels from at than first does,
    // and first over fewer than kLookahead. The two are followed side by
    // side, so that neither goes further than needed to tell.
    auto reachesFurther = [&](int other, int first, std::size_t at) {
        for (std::size_t n = 0; n < kLookahead; ++n) {
            // Both are looked up before either is tested, so that the two
            // searches overlap.
            const int firstLonger = extend(first, at + n);
            const int otherLonger = extend(other, at + n);
            if (firstLonger < 0)
                return otherLonger >= 0;
            if (otherLonger < 0)
                return false;
            first = firstLonger;
            other = otherLonger;
        }
        return false;
    };
    // With lossy compression, the current string extended by a near
    // colour's index at pixel at, where the table holds such a string.
    const auto extendNear = [&](std::size_t at) {
        if constexpr (kLossy) {
            const int near = nearString(current, at);
            if (near >= 0) {
                current = near;
                return true;
            }
        }
        return false;
    };
    if (from == 0) {
        // The first pixel starts the first string, with its second index
        // where that reaches further.
        current = primary[0];
        if (second(0) != kNoAlternative && reachesFurther(second(0), current, 1))
            current = second(0);
        from = 1;
    }
    for (std::size_t i = from; i < until; ++i) {
        int first = primary[i];
        const int other = second(i);
        std::uint32_t firstSlot = 0;
        const int viaFirst = table.find(current, first, &firstSlot);
        if (other == kNoAlternative) {
            // One choice: as for plain pixels, unless a near colour extends
            // the string.
            if (viaFirst >= 0) {
                current = viaFirst;
                continue;
            }
            if (extendNear(i))
                continue;
            state.emit<kLossy, kSpan>(current, first, firstSlot);
            current = first;
            if (state.spanEnds<kSpan>())
                return i + 1;
            continue;
        }
        std::uint32_t otherSlot = 0;
        const int viaOther = table.find(current, other, &otherSlot);
        if (viaFirst >= 0 && viaOther >= 0) {
            current = reachesFurther(viaOther, viaFirst, i + 1) ? viaOther : viaFirst;
            continue;
        }
        if (viaFirst >= 0 || viaOther >= 0) {
            current = viaFirst >= 0 ? viaFirst : viaOther;
            continue;
        }
        if (extendNear(i))
            continue;
        if (reachesFurther(other, first, i + 1)) {
            first = other;
            firstSlot = otherSlot;
        }
        state.emit<kLossy, kSpan>(current, first, firstSlot);
        current = first;
        if (state.spanEnds<kSpan>())
            return i + 1;
    }
    return until;
}

// The same on copies of the state, the writer and the string, which the
// compiler keeps in registers: through the references, every code would
// store them.
template <bool kChoices, bool kLossy, Span kSpan>
std::size_t EncodeSpan(const Pixels& pixels, std::size_t from, std::size_t until, int& current,
                       CodeState& state)
{
    CodeWriter* const writer = state.writer;
    CodeWriter localWriter = *writer;
    CodeState local = state;
    local.writer = &localWriter;
    int localCurrent = current;
    const std::size_t stopped =
        EncodeSpanOn<kChoices, kLossy, kSpan>(pixels, from, until, localCurrent, local);
    writer->continueFrom(localWriter);
    state = local;
    state.writer = writer;
    current = localCurrent;
    return stopped;
}

// The span of pixels from `at` coded two ways, onto the full table of
// state and its string current: the table cleared (up to where the new one
// fills), and the table kept (over the same pixels). The way that takes
// fewer bits is written. Returns where the next span starts.
template <bool kChoices, bool kLossy>
std::size_t EncodeBetterWay(const Pixels& pixels, std::size_t at, int& current, CodeState& state,
                            EncoderTables& tables, bool* keptWon)
{
    std::vector<std::uint32_t>& clearedCodes = tables.clearedCodes;
    std::vector<std::uint32_t>& keptCodes = tables.keptCodes;
    clearedCodes.clear();
    keptCodes.clear();

    CodeState cleared = state;
    cleared.table = state.table == &tables.strings[0] ? &tables.strings[1] : &tables.strings[0];
    cleared.children = state.children == &tables.children[0] ? &tables.children[1] : &tables.children[0];
    cleared.recorded = &clearedCodes;
    cleared.recordedBits = 0;
    int clearedCurrent = current;
    std::size_t from = at;
    cleared.clearUnder<Span::kRecorded>(clearedCurrent, pixels.primary, from);
    const std::size_t until =
        EncodeSpan<kChoices, kLossy, Span::kRecorded>(pixels, from, pixels.count, clearedCurrent, cleared);

    // Each way still owes the code of its current string. The kept table
    // is given up as soon as it takes more bits than the cleared one.
    CodeState kept = state;
    kept.frozen = true;
    kept.recorded = &keptCodes;
    kept.recordedBits = 0;
    kept.bitLimit =
        cleared.recordedBits + static_cast<std::size_t>(cleared.width) - static_cast<std::size_t>(kept.width);
    int keptCurrent = current;
    const std::size_t keptUntil =
        EncodeSpan<kChoices, kLossy, Span::kRecorded>(pixels, at, until, keptCurrent, kept);
    const bool clearedWins = keptUntil < until
                             || cleared.recordedBits + static_cast<std::size_t>(cleared.width)
                                    <= kept.recordedBits + static_cast<std::size_t>(kept.width);
    *keptWon = !clearedWins;
    CodeState& chosen = clearedWins ? cleared : kept;
    for (const std::uint32_t code : clearedWins ? clearedCodes : keptCodes)
        state.writer->put(static_cast<int>(code & 0xFFFF), static_cast<int>(code >> 16));
    chosen.recorded = nullptr;
    chosen.bitLimit = SIZE_MAX;
    state = chosen;
    current = clearedWins ? clearedCurrent : keptCurrent;
    return until;
}

// The index that pixels with two choices most likely have in common: on
// film, one of the two is the transparent index, which keeps what the frame
// before shows. Taken from the first two such pixels; any index is right,
// a wrong guess only costs time.
int SharedChoice(const std::uint8_t* primary, const std::int16_t* alternative, std::size_t count)
{
    std::size_t i = 0;
    while (i < count && alternative[i] == kNoAlternative)
        ++i;
    if (i == count)
        return -1;
    const int first = primary[i];
    const int second = alternative[i];
    for (++i; i < count; ++i) {
        if (alternative[i] == kNoAlternative)
            continue;
        return primary[i] != first && (primary[i] == second || alternative[i] == second) ? second : first;
    }
    return first;
}

// Compresses every pixel: the table cleared whenever it fills, or, with
// tryKeepingFullTables, kept where that codes shorter (tried less and less
// often while keeping loses). Returns the last string's code.
template <bool kChoices, bool kLossy>
int EncodeAll(const Pixels& pixels, bool tryKeepingFullTables, CodeState& state, EncoderTables& tables)
{
    int current = 0;
    if (!tryKeepingFullTables) {
        EncodeSpan<kChoices, kLossy, Span::kWhole>(pixels, 0, pixels.count, current, state);
        return current;
    }
    std::size_t at = EncodeSpan<kChoices, kLossy, Span::kUntilFull>(pixels, 0, pixels.count, current, state);
    int lost = 0;
    int skip = 0;
    int backOff = 1;
    while (at < pixels.count) {
        if (skip > 0) {
            // Cleared without trying, up to where the table fills again.
            state.clearUnder<Span::kWhole>(current, pixels.primary, at);
            at = EncodeSpan<kChoices, kLossy, Span::kUntilFull>(pixels, at, pixels.count, current, state);
            --skip;
            continue;
        }
        bool keptWon = false;
        at = EncodeBetterWay<kChoices, kLossy>(pixels, at, current, state, tables, &keptWon);
        if (keptWon) {
            lost = 0;
            backOff = 1;
        } else if (++lost >= kKeptLossesBeforeBackingOff) {
            skip = backOff;
            backOff *= 2;
        }
    }
    return current;
}

} // namespace

std::vector<std::uint8_t> LzwEncode(int minCodeSize, const std::uint8_t* primary,
                                    const std::int16_t* alternative, std::size_t count, const LossyRun* lossy,
                                    bool tryKeepingFullTables)
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::vector<std::uint8_t> out;
    // Each pixel gives at most one code, and a clear code comes at most once
    // every 4096 - 258 codes.
    CodeWriter writer(out, count + count / (kMaxCodes - 258) + 4);
    EncoderTables& tables = ThreadTables();
    const int shared = alternative ? SharedChoice(primary, alternative, count) : -1;
    tables.strings[0].start(shared);
    if (tryKeepingFullTables)
        tables.strings[1].start(shared);
    if (lossy)
        tables.children[0].clear();
    CodeState state{minCodeSize,        minCodeSize + 1,     end + 1,         &writer,
                    &tables.strings[0], &tables.children[0], lossy != nullptr};

    writer.put(clear, state.width);
    if (count == 0) {
        writer.put(end, state.width);
        writer.finish();
        return out;
    }
    const Pixels pixels{primary, alternative, count, lossy};
    int last = 0;
    if (lossy) {
        last = alternative ? EncodeAll<true, true>(pixels, tryKeepingFullTables, state, tables)
                           : EncodeAll<false, true>(pixels, tryKeepingFullTables, state, tables);
    } else {
        last = alternative ? EncodeAll<true, false>(pixels, tryKeepingFullTables, state, tables)
                           : EncodeAll<false, false>(pixels, tryKeepingFullTables, state, tables);
    }
    state.finish(last);
    writer.finish();
    return out;
}

} // namespace qf::imaging
