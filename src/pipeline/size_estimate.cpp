#include "size_estimate.h"

#include "conversion.h"
#include "frame_renderer.h"
#include "free_memory.h"
#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/clip_module.h"
#include "imaging/files/atomic_file.h"
#include "imaging/frame_bytes.h"
#include "timeline.h"

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>
#include <tuple>
#include <unistd.h>

namespace qf {

namespace {

// A sample is made of blocks of frames in a row following a frame that
// leads them in, each encoded as an animation of its own, so that what the
// writer saves by keeping what did not change is counted; the lead counts
// only for the animation's first frame and header. The main sample, which
// gives the size at the best settings and at the options' own, holds about
// a tenth of the frames; the small one, which says how other settings
// compare with the best, a sixtieth.
constexpr int kMainShare = 10;
// The main sample's blocks: six frames in a row take in effects that come
// every second, third or sixth frame (a grain changing every third frame, a
// clip's frames coded in repeating patterns) as often as they come.
constexpr int kMainBlock = 6;
// Of a long animation that is no clip (a main sample of at least kManyMain
// frames) blocks of kLongMainBlock, more of them and closer together: bursts
// that recur every few dozen frames (a screen recording's typing and
// scrolling) can hold every one of a few evenly spaced blocks (seven blocks
// of six, 54 frames apart, fell on busy stretches of a 380-frame screen
// recording: +14% in all).
constexpr int kManyMain = 20;
constexpr int kLongMainBlock = 3;
constexpr int kFewestMain = 12;
// Where the sample's frames must be fewer to fit in their bytes (large
// frames), the main sample keeps at least four blocks of kLongMainBlock
// while the memory allows: a block of one frame misses what comes every
// few frames (a 1920 x 1080 screen recording with a pointer, at variant 2,
// its pencil grain moving every third frame, was estimated from one frame
// at 697 kB for 51.5 MB written, and a 5 MB budget then ended at the
// smallest settings, 465 kB), and two blocks can both fall where the
// pointer moves (+38% at variant 6).
constexpr int kLeastMain = 4 * kLongMainBlock;
// A short clip's main sample: two blocks of four. A clip's frames cost the
// most to encode of any input (full colour, grain, every point changing),
// and its sizes vary less from stretch to stretch than a screen
// recording's: 3-4 s film, phone and dark clips came within 6% with eight
// frames, as with twelve, for a third less of the sample's cost.
constexpr int kFewestClipMain = 8;
constexpr int kMostMain = 48;
constexpr int kSmallShare = 60;
// With frames dropped: the main sample's frames that the step keeps, in at
// most this many of its blocks (in the middle of equal shares of them) and
// this many frames after the lead of each, read beyond the block when the
// step leaves fewer in it: at most eight frames at each setting a budget's
// search tries, about as many as a long animation's small sample. Three
// frames see what comes back every third frame kept: a pencil grain that
// changes every three frames of six, kept every 2nd or 4th frame, changes
// on two frames of three (with one frame a block, both blocks fell on
// frames where it did not: a 1920 x 1080 screen recording, every 4th frame
// at 80% size, was estimated at 44 kB, and a 1 MB budget ended at the
// smallest settings, 75 kB).
constexpr std::size_t kSteppedBlocks = 2;
constexpr int kSteppedBlock = 3;
constexpr int kFewestSmall = 2;
constexpr int kMostSmall = 8;
// Of an animation (not a clip, whose frames cost more to decode) every
// frame is read to find the few that change far more than the rest (a
// screen recording's scrolls cost much of its bytes): at most kRareChanges
// of those changing more than kRareFactor times as much as the median frame
// are sampled each for itself. A point counts as changed when a channel
// moved by more than kChangeStep.
constexpr int kRareChanges = 8;
constexpr int kRareFactor = 4;
constexpr int kChangeStep = 8;
// Of a clip, whose frames are not all read, the stretches that change more
// than the rest are told by what their frames cost the clip's codec: a clip
// that holds still and then moves (a screen recording's one scroll) has
// most of its bytes there, where evenly spread blocks may never fall (a
// 10 s clip still for 9 s and moving for 1 was estimated at a twentieth of
// the size written, one with a title card for 3 s and film for 3 at 1.12
// times it). A frame moves when the kSide frames ending with it and the
// kSide beginning with it both cost more than a factor times the median
// such stretch, or one of them does and the frame itself costs more than
// the factor times the median frame: stretches, because frames coded in a
// repeating pattern (film's large predicted pictures between small ones)
// differ by up to 40 times one from another, but not a stretch from a
// stretch. It is busy at kBusyFactor, changing at kChangingFactor, and
// the kSide - 1 frames either side of a moving one count as changing: at
// the edges of a stretch frames may change more than their coded sizes
// tell (a pan's first pictures, coded from the ones after them). When at
// most half the frames written move, up to kStratumSampled of each level
// (kSteppedStratum of those a frame step keeps) are sampled each with the
// frame before it and counted at their level's mean, and the main sample,
// moved clear of them, speaks for the rest.
constexpr int kSide = 4;
constexpr int kBusyFactor = 8;
constexpr int kChangingFactor = 2;
constexpr std::size_t kStratumSampled = 8;
constexpr std::size_t kSteppedStratum = 1;
// A level of at most kWholeLevel times kStratumSampled frames (at every
// frame kept) is sampled whole: one picture unlike the rest among a few
// dozen (the first picture coded alone after a still start, 2,460 bytes
// where the others come to 45-220) counted for a fourth of them made a
// nearly still 480 x 270 screen recording 77% larger than the size
// written; whole, such levels come within 3% (a scroll in a still screen,
// film after a freeze, the same with a pause). Its frames next to each
// other are written as blocks, which costs about as much as eight frames
// each written after a frame of its own (film frozen 9 s then moving 1 s,
// variant 6: 1.67 s of CPU for 1.73; the same with a picture coded alone
// every 12 frames, 2.52 for 2.13).
constexpr std::size_t kWholeLevel = 4;
constexpr std::size_t kLevels = 4; // steady, changing, busy, redrawn
// A clip whose median frame codes to at most kStillClipBytes holds still
// nearly throughout (a screen recording, a frozen picture). Each picture
// coded alone in it draws the screen again a little differently, and the
// codec comes back to it over the next few pictures: those kRedrawnFrames
// are a level of their own ("redrawn"), sampled and counted as the moving
// levels are, though their coded sizes stand out from no other picture
// coded alone. A 720p screen held still for 8 s, a picture coded alone
// every 2 s: the key picture's GIF frame and the next three came to 130-231
// bytes, the fifth to 93 and the rest to 16; sampled with the rest, the
// estimate was 36% under the size written, and within 8% with this level.
constexpr std::int64_t kStillClipBytes = 128;
constexpr std::size_t kRedrawnFrames = 4;
// About what a codec spends on a picture that repeats the one before: the
// median frame is taken as costing at least this, so that in a clip of
// repeats (or of MJPEG pictures of the same size) a few bytes more do not
// make a frame move.
constexpr std::int64_t kStillFrameBytes = 16;
// The sample's source frames are kept in at most this many bytes (at the
// conversion's size): past it, fewer frames are sampled.
constexpr double kSampleBytes = 96.0 * 1024 * 1024;
// And the frames sampled for the other levels (kSide, kStillClipBytes) in at
// most this many more.
constexpr double kStrataBytes = 64.0 * 1024 * 1024;
// A frame rendered: the engine's picture, and that picture with the
// source's transparency.
constexpr double kRenderedBytesPerPixel = 8;
// A clip's sample frames are also kept as decoded (about this many bytes a
// pixel at the clip's own size), for estimates at a smaller size to see them
// scaled as the conversion's reader scales them, from the decoded picture:
// scaled again from the frames at the conversion's size, a 4 s film clip's
// frames lost grain, and at every frame or every 2nd or 4th, quality 17,
// half size, its size was estimated 20-23% under the size written, even
// from every frame. Only when that takes no more than the frames at the
// conversion's size do; else they are scaled again.
constexpr double kKeptPictureBytes = 1.5;
// An animation of at most this many pixels in all its frames written costs
// less to convert whole than a sample of a larger one: it is estimated
// whole, at every setting, which leaves no sampling error (a tiny output's
// few bytes swing from frame to frame more than a sample can tell).
constexpr double kWholePixels = 256.0 * 1024;

std::string ScratchPath(const std::string& folder, const std::string& extension)
{
    static std::atomic<int> counter{0};
    const std::string name =
        "qf-size-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + extension;
    return (std::filesystem::path(folder) / name).string();
}

// Frames lead .. lead + count of the frames written (OutputStep indexes):
// lead is written first and counts for nothing, except in the block that
// begins the animation, where it is the first frame.
struct SampleBlock {
    int lead = 0;
    int count = 0;
};

// The first frame alone (which gives the file's own bytes and the first
// frame's), then about wanted of the frames 1 .. frames - 1 in blocks of at
// most length, each in the middle of an equal share of them.
std::vector<SampleBlock> SpreadBlocks(int frames, int wanted, int length)
{
    std::vector<SampleBlock> spread{SampleBlock{0, 0}};
    const int rest = frames - 1;
    if (rest <= 0)
        return spread;
    wanted = std::clamp(wanted, 1, rest);
    const int used = (wanted + length - 1) / length;
    const int each = std::min(length, (wanted + used - 1) / used);
    for (int i = 0; i < used; ++i) {
        const int middle = 1 + static_cast<int>((2LL * i + 1) * rest / (2LL * used));
        const int lead = std::clamp(middle - (each + 1) / 2, 0, rest - each);
        spread.push_back(SampleBlock{lead, each});
    }
    return spread;
}

// A clip's frames often come in a repeating pattern: x264's predicted
// pictures every 4th frame, a picture shown twice every 6th where 25
// pictures a second were stored at 30 (every 5th frame written, once the
// repeats are merged), a grain every 3rd. A short clip's main sample (two
// blocks of four) counts such frames as often as they come only when its
// blocks fall on different places in the pattern: two blocks that both
// left out the repeated picture came to 10-24% over the size written
// (phone-turned.mp4 at variant 0: +23.5%). Each block after the first is
// moved by up to kPhaseShift frames to where, with the blocks before it,
// its frames fall most evenly on the places of every pattern of 2 to 6
// frames; never onto the block before it. Not for GIFs: on screen
// recordings, a block moved by a few frames can land on a burst of typing
// (screen-40.gif at variant 12: +2% -> +33%).
constexpr int kPhaseShift = 3;
constexpr std::array<int, 5> kPatterns{2, 3, 4, 5, 6};

void SpreadOverPatterns(std::vector<SampleBlock>& blocks, int frames)
{
    using Places = std::array<std::array<int, 6>, kPatterns.size()>; // frames at each place of each pattern
    Places counts{};
    auto add = [](Places& into, const SampleBlock& block) {
        for (int frame = block.lead + 1; frame <= block.lead + block.count; ++frame)
            for (std::size_t p = 0; p < kPatterns.size(); ++p)
                ++into[p][static_cast<std::size_t>(frame % kPatterns[p])];
    };
    auto unevenness = [](const Places& with) {
        int total = 0;
        for (std::size_t p = 0; p < kPatterns.size(); ++p) {
            const auto end = with[p].begin() + kPatterns[p];
            total += *std::max_element(with[p].begin(), end) - *std::min_element(with[p].begin(), end);
        }
        return total;
    };
    for (std::size_t b = 1; b < blocks.size(); ++b) {
        const SampleBlock given = blocks[b];
        const int earliest = b > 1 ? blocks[b - 1].lead + blocks[b - 1].count : 0;
        int best = -1;
        for (int distance = 0; distance <= kPhaseShift; ++distance)
            for (const int shift : {distance, -distance}) {
                const SampleBlock moved{given.lead + shift, given.count};
                if (moved.lead < earliest || moved.lead + moved.count > frames - 1)
                    continue;
                Places trial = counts;
                add(trial, moved);
                // The nearest of the most even: the block stays where it
                // was put unless moving it evens the count.
                if (const int score = unevenness(trial); best < 0 || score < best) {
                    best = score;
                    blocks[b] = moved;
                }
            }
        add(counts, blocks[b]);
    }
}

// The points of two same-sized frames, every stride-th one across and
// down, where a channel moved by more than kChangeStep.
int ChangeBetween(const imaging::RgbaImage& a, const imaging::RgbaImage& b, int stride)
{
    int changed = 0;
    for (int y = 0; y < a.height; y += stride) {
        const std::uint8_t* p = a.pixels.data() + static_cast<std::size_t>(y) * a.width * 4;
        const std::uint8_t* q = b.pixels.data() + static_cast<std::size_t>(y) * b.width * 4;
        for (int x = 0; x < a.width; x += stride, p += 4 * stride, q += 4 * stride)
            changed +=
                static_cast<int>((std::abs(p[0] - q[0]) > kChangeStep) | (std::abs(p[1] - q[1]) > kChangeStep)
                                 | (std::abs(p[2] - q[2]) > kChangeStep));
    }
    return changed;
}

// By source frame, how much each frame of a clip changes (0 steady, 1
// changing, 2 busy, see kSide; 3 redrawn, see kStillClipBytes); empty where
// every frame is steady, and for an animation, whose coded sizes are not
// known. A frame coded alone costs as much whether it changed or not: its
// change is how far its size moved from the last frame coded alone (a still
// picture coded again comes to the same size, or within a few bytes once
// the codec has sharpened it), in an MJPEG clip the frame before.
std::vector<std::uint8_t> ChangeLevels(const imaging::AnimationInfo& info)
{
    const std::size_t n = info.codedBytes.size();
    if (n < 3 || info.codedAlone.size() != n)
        return {};
    std::vector<std::int64_t> cost(n, 0);
    std::ptrdiff_t alone = info.codedAlone[0] ? 0 : -1; // the last frame coded alone
    for (std::size_t i = 1; i < n; ++i) {
        if (!info.codedAlone[i]) {
            cost[i] = info.codedBytes[i];
            continue;
        }
        cost[i] = alone >= 0 ? std::abs(info.codedBytes[i] - info.codedBytes[static_cast<std::size_t>(alone)])
                             : cost[i - 1];
        alone = static_cast<std::ptrdiff_t>(i);
    }
    // The first frame is a picture of its own in any clip; frames 1 ..
    // n - 1 are weighed, each with the stretch of kSide frames that ends
    // with it and the one that begins with it (fewer at the ends, counted
    // as kSide).
    auto sum = [&](std::size_t from, std::size_t to) { // frames [from, to) within 1 .. n - 1
        from = std::max<std::size_t>(from, 1);
        to = std::min(to, n);
        std::int64_t total = 0;
        for (std::size_t j = from; j < to; ++j)
            total += cost[j];
        return total * kSide / static_cast<std::int64_t>(to - from);
    };
    std::vector<std::int64_t> before(n, 0), after(n, 0);
    for (std::size_t i = 1; i < n; ++i) {
        const auto side = static_cast<std::size_t>(kSide);
        before[i] = sum(i + 1 >= side ? i + 1 - side : 0, i + 1);
        after[i] = sum(i, i + side);
    }
    auto median = [n](std::vector<std::int64_t> values) {
        values.erase(values.begin());
        std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>((n - 1) / 2),
                         values.end());
        return values[(n - 1) / 2];
    };
    const std::int64_t typical = median(cost);
    const std::int64_t frame = std::max(kStillFrameBytes, typical);
    const std::int64_t stretch = std::max(kSide * kStillFrameBytes, median(after));
    // Inside a stretch that changes (on both sides of the frame), or at its
    // edge and changing itself.
    auto moving = [&](std::size_t i, std::int64_t factor) {
        const std::int64_t limit = factor * stretch;
        return std::min(before[i], after[i]) > limit
               || (cost[i] > factor * frame && std::max(before[i], after[i]) > limit);
    };
    std::vector<std::uint8_t> levels(n, 0);
    for (std::size_t i = 1; i < n; ++i)
        levels[i] = moving(i, kBusyFactor) ? 2 : moving(i, kChangingFactor) ? 1 : 0;
    // The frames next to a stretch that changes may change more than their
    // coded sizes tell (a pan's first pictures coded from the ones after
    // them): they count as changing.
    const auto reach = static_cast<std::size_t>(kSide - 1);
    std::vector<std::uint8_t> near(n, 0);
    for (std::size_t i = 1; i < n; ++i)
        if (levels[i] > 0)
            for (std::size_t j = i > reach ? i - reach : 1; j < std::min(n, i + reach + 1); ++j)
                near[j] = 1;
    for (std::size_t i = 1; i < n; ++i)
        levels[i] = std::max(levels[i], near[i]);
    if (typical <= kStillClipBytes)
        for (std::size_t i = 1; i < n; ++i)
            if (info.codedAlone[i])
                for (std::size_t j = i; j < std::min(n, i + kRedrawnFrames); ++j)
                    if (levels[j] == 0)
                        levels[j] = 3;
    const bool any = std::any_of(levels.begin(), levels.end(), [](std::uint8_t level) { return level > 0; });
    return any ? levels : std::vector<std::uint8_t>{};
}

} // namespace

SizeSettings SettingsOf(const ConvertOptions& options)
{
    SizeSettings settings;
    settings.frameStep = std::max(1, options.frameStep);
    const int quality = options.output.quality;
    if (options.output.format == OutputFormat::Webp)
        settings.quality = quality;
    else
        settings.quality = std::clamp(quality, 1, imaging::kBestQuality);
    return settings;
}

struct SizeEstimator::Impl {
    std::string input;
    std::string scratch; // the folder of the samples' files
    ConvertOptions options;
    imaging::AnimationInfo info;
    std::vector<TimelineFrame> plan;
    imaging::Size size; // the conversion's own frame size
    // By frame step: the frames written.
    std::map<int, std::vector<OutputStep>> written;
    // The main sample (every frame kept) and the small one by frame step.
    std::vector<SampleBlock> main;
    // Frames written (at every frame kept) of a change that stands out,
    // each sampled with the frame before it.
    std::vector<SampleBlock> rare;
    std::map<int, std::vector<SampleBlock>> small;
    // Of a clip: by source frame, how much it changes (see kSide), empty
    // when none moves; by frame step, of each level past steady, its frames
    // written sampled each with the frame before it (kStratumSampled, past
    // every frame kSteppedStratum), and how many frames beyond the first
    // are at each level.
    std::vector<std::uint8_t> levelOf;
    std::map<int, std::array<std::vector<SampleBlock>, kLevels>> stratum;
    std::map<int, std::array<int, kLevels>> levelCount;
    // By frame step past 1: the main sample's blocks at that step (see
    // kSteppedBlocks).
    std::map<int, std::vector<SampleBlock>> mainAt;
    // At the best settings: the bytes of the frames of rare change and of the
    // first frame.
    double bestRareBytes = 0;
    double bestFirstBytes = 0;
    bool readsPrevious = false;
    bool whole = false; // every frame is sampled (kWholePixels)
    int uncutMain = 0;  // the frames the main sample would have with bytes to spare
    // The sample's source frames by timeline position, at the conversion's
    // size, and a clip's as decoded (see kKeptPictureBytes).
    std::map<int, imaging::RgbaImage> frames;
    std::map<int, std::shared_ptr<const imaging::ClipPicture>> pictures;
    bool keepPictures = false;
    bool released = false; // the frames were let go (releaseFrames)
    // Rendered frames by timeline position, the position rendered before
    // it (-1 when the look does not read it) and scale.
    std::map<std::tuple<int, int, double>, RenderedFrame> rendered;
    // Sizes by frame step, scale, quality and sample (true: the main one).
    std::map<std::tuple<int, double, int, bool>, double> sampled;
    std::map<std::tuple<int, double, int>, long long> sizes;
    SizeSettings smallest; // the smallest settings within reason
    // The renderers' states, kept from sample to sample as a conversion
    // keeps them from frame to frame.
    std::unique_ptr<tbb::enumerable_thread_specific<EngineState>> states =
        std::make_unique<tbb::enumerable_thread_specific<EngineState>>();

    bool webp() const { return options.output.format == OutputFormat::Webp; }
    int bestQuality() const { return webp() ? imaging::kLosslessQuality : imaging::kBestQuality; }
    int worstQuality() const { return webp() ? kLowestWebpQuality : kMinQuality; }
    int keptAt(int step) const { return (static_cast<int>(plan.size()) + step - 1) / step; }
    bool reasonable(int step, double scale) const
    {
        return (step == 1 || keptAt(step) >= 2)
               && (scale == 1.0
                   || std::min(size.width, size.height) * scale >= static_cast<double>(kSmallestSide));
    }
    imaging::Size sizeAt(double scale) const
    {
        if (scale >= 1.0)
            return size;
        return {std::max(1, static_cast<int>(std::lround(size.width * scale))),
                std::max(1, static_cast<int>(std::lround(size.height * scale)))};
    }
    int levelAt(int step, int i) const
    {
        if (levelOf.empty())
            return 0;
        const OutputStep& frame = written.at(step)[static_cast<std::size_t>(i)];
        return levelOf[static_cast<std::size_t>(plan[static_cast<std::size_t>(frame.position)].source)];
    }
    void findLevels();
    void chooseStrata(std::size_t most, std::size_t mostStepped);
    // The block of the same length nearest to block whose frames written at
    // step are all steady, where the clip has frames of other levels: the
    // main sample speaks for the steady frames only. Block itself where
    // none is.
    SampleBlock steadyNear(int step, SampleBlock block) const
    {
        if (levelOf.empty())
            return block;
        const int frames = static_cast<int>(written.at(step).size());
        const int last = frames - 1 - block.count;
        auto steady = [&](int lead, int margin) {
            for (int i = std::max(1, lead + 1 - margin);
                 i <= std::min(frames - 1, lead + block.count + margin); ++i)
                if (levelAt(step, i) > 0)
                    return false;
            return true;
        };
        // Clear of the frames that move by a stretch where it can be.
        for (const int margin : {kSide, 0})
            for (int distance = 0; distance <= last; ++distance)
                for (const int lead : {block.lead - distance, block.lead + distance})
                    if (lead >= 0 && lead <= last && steady(lead, margin))
                        return SampleBlock{lead, block.count};
        return block;
    }
    // The timeline position rendered before frame i written at step in
    // block, when the look reads it (a block's first frame goes without).
    int before(int step, const SampleBlock& block, int i) const
    {
        return readsPrevious && i > block.lead ? written.at(step)[static_cast<std::size_t>(i - 1)].position
                                               : -1;
    }

    bool cancelled(imaging::Error* error) const
    {
        return options.cancelled && options.cancelled()
               && !imaging::Fail(error, imaging::ErrorKind::Cancelled, input, "cancelled");
    }
    void chooseSamples(int mainWanted, int smallWanted, int steppedBlock = kSteppedBlock);
    std::set<int> samplePositions(bool withStrata = true) const;
    bool readSample(imaging::AnimationReader& reader, imaging::Error* error);
    bool render(int step, const std::vector<SampleBlock>& blocks, double scale, imaging::Error* error);
    bool encodeBlock(int step, const SampleBlock& block, double scale, int quality,
                     imaging::FrameBytes* bytes, imaging::Error* error) const;
    bool sample(const SizeSettings& settings, bool useMain, double* bytes, imaging::Error* error);
    bool readAgain(imaging::Error* error);
};

SizeEstimator::SizeEstimator() : impl_(std::make_unique<Impl>())
{}

SizeEstimator::~SizeEstimator() = default;

SizeSettings SizeEstimator::smallestSettings() const
{
    return impl_->smallest;
}

int SizeEstimator::bestQuality() const
{
    return impl_->bestQuality();
}

int SizeEstimator::worstQuality() const
{
    return impl_->worstQuality();
}

bool SizeEstimator::reasonable(int frameStep, double scale) const
{
    return impl_->reasonable(frameStep, scale);
}

int SizeEstimator::frameCount() const
{
    return static_cast<int>(impl_->plan.size());
}

void SizeEstimator::Impl::chooseSamples(int mainWanted, int smallWanted, int steppedBlock)
{
    const int count = static_cast<int>(written.at(1).size());
    if (whole) {
        // One block of every frame written, at each frame step, as the
        // conversion writes them.
        main = {SampleBlock{0, count - 1}};
        mainAt.clear();
        small.clear();
        for (const auto& [step, steps] : written)
            mainAt[step] = small[step] = {SampleBlock{0, static_cast<int>(steps.size()) - 1}};
        return;
    }
    // Cut for the bytes it takes, in short blocks: more places of the
    // animation are seen.
    const bool shortBlocks = !info.video() && (mainWanted >= kManyMain || mainWanted < uncutMain);
    main = SpreadBlocks(count, mainWanted, shortBlocks ? kLongMainBlock : kMainBlock);
    if (info.video())
        SpreadOverPatterns(main, count);
    for (std::size_t b = 1; b < main.size(); ++b)
        main[b] = steadyNear(1, main[b]);
    mainAt.clear();
    for (const auto& [step, steps] : written) {
        if (step == 1)
            continue;
        std::vector<SampleBlock> blocks{SampleBlock{0, 0}};
        const std::vector<OutputStep>& all = written.at(1);
        const std::size_t spread = main.size() - 1;
        const std::size_t used = std::min<std::size_t>(spread, kSteppedBlocks);
        for (std::size_t i = 0; i < used; ++i) {
            const std::size_t b = 1 + (2 * i + 1) * spread / (2 * used);
            const int from = all[static_cast<std::size_t>(main[b].lead)].position;
            const auto first = std::lower_bound(steps.begin(), steps.end(), from,
                                                [](const OutputStep& o, int p) { return o.position < p; });
            const int lead = static_cast<int>(first - steps.begin());
            const int count = std::min(steppedBlock, static_cast<int>(steps.size()) - 1 - lead);
            if (count >= 1)
                blocks.push_back(steadyNear(step, SampleBlock{lead, count}));
        }
        mainAt[step] = std::move(blocks);
    }
    small.clear();
    for (const auto& [step, steps] : written) {
        const int frames = static_cast<int>(steps.size());
        const int wanted = std::clamp(frames / kSmallShare, std::min(kFewestSmall, smallWanted), smallWanted);
        // Blocks of two frames, so that the start alone does not speak for
        // all when there is room for more.
        // The first block begins the animation, its first frame led in by
        // none, as the file's own first frame is.
        std::vector<SampleBlock> blocks = SpreadBlocks(frames, wanted - 2, 2);
        blocks.front().count = std::min(2, frames - 1);
        if (wanted <= 2)
            blocks.resize(1);
        small[step] = std::move(blocks);
    }
}

void SizeEstimator::Impl::findLevels()
{
    levelOf = whole ? std::vector<std::uint8_t>{} : ChangeLevels(info);
    levelCount.clear();
    if (levelOf.empty())
        return;
    for (const auto& [step, steps] : written)
        for (int i = 1; i < static_cast<int>(steps.size()); ++i)
            ++levelCount[step][static_cast<std::size_t>(levelAt(step, i))];
    const std::array<int, kLevels>& all = levelCount.at(1);
    if (2 * (all[1] + all[2]) > static_cast<int>(written.at(1).size())) {
        levelOf.clear();
        levelCount.clear();
    }
}

// Up to most frames of each level at every frame kept, and mostStepped at
// each frame step past 1, in the middle of equal shares of them.
void SizeEstimator::Impl::chooseStrata(std::size_t most, std::size_t mostStepped)
{
    stratum.clear();
    if (levelOf.empty())
        return;
    for (const auto& [step, steps] : written) {
        std::array<std::vector<int>, kLevels> frames; // by level, frames written at step
        for (int i = 1; i < static_cast<int>(steps.size()); ++i)
            frames[static_cast<std::size_t>(levelAt(step, i))].push_back(i);
        for (std::size_t level = 1; level < kLevels; ++level) {
            const std::vector<int>& at = frames[level];
            // A level of few frames at every frame kept is sampled whole, in
            // runs of frames next to each other.
            if (step == 1 && at.size() <= kWholeLevel * most) {
                for (std::size_t k = 0; k < at.size();) {
                    std::size_t end = k + 1;
                    while (end < at.size() && at[end] == at[end - 1] + 1)
                        ++end;
                    stratum[step][level].push_back(SampleBlock{at[k] - 1, static_cast<int>(end - k)});
                    k = end;
                }
                continue;
            }
            const std::size_t used = std::min(at.size(), step == 1 ? most : mostStepped);
            for (std::size_t k = 0; k < used; ++k)
                stratum[step][level].push_back(SampleBlock{at[(2 * k + 1) * at.size() / (2 * used)] - 1, 1});
        }
    }
}

std::set<int> SizeEstimator::Impl::samplePositions(bool withStrata) const
{
    std::set<int> positions;
    auto add = [&](int step, const std::vector<SampleBlock>& blocks) {
        const std::vector<OutputStep>& steps = written.at(step);
        for (const SampleBlock& block : blocks)
            for (int i = block.lead; i <= block.lead + block.count; ++i)
                positions.insert(steps[static_cast<std::size_t>(i)].position);
    };
    add(1, main);
    if (withStrata)
        for (const auto& [step, levels] : stratum)
            for (const std::vector<SampleBlock>& blocks : levels)
                add(step, blocks);
    for (const auto& [step, blocks] : mainAt)
        add(step, blocks);
    for (const auto& [step, blocks] : small)
        add(step, blocks);
    return positions;
}

// Reads the timeline, chooses the samples and reads their source frames in
// one pass, at the conversion's size.
bool SizeEstimator::open(const std::string& input, const ConvertOptions& options, imaging::Error* error)
{
    Impl& d = *impl_;
    d = Impl{};
    if (!CheckOptions(input, options, 0, error) || !imaging::TemporaryFolder(&d.scratch, error))
        return false;
    d.input = input;
    d.options = options;
    // One reader gives the timeline and then the sample's frames: opening a
    // large GIF reads through all of it.
    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(input, error, options.cancelled);
    if (!reader)
        return false;
    d.info = reader->info();
    if (!PlanTimeline(input, d.info, options.timeline, &d.plan, error)
        || !RenderSize(input, d.info, static_cast<int>(d.plan.size()), ResizeFor(d.info, options.resize),
                       &d.size, error))
        return false;
    d.readsPrevious = ReadsPreviousFrame(options.variant, options.switches);
    const int longest = imaging::LongestDelay(options.output.format);
    for (int step = 1; step <= kMostFrameStep; ++step)
        if (step == 1 || d.keptAt(step) >= 2)
            d.written[step] = PlanOutput(d.plan, step, longest);
    const int count = static_cast<int>(d.written.at(1).size());
    d.whole = static_cast<double>(count) * d.size.width * d.size.height <= kWholePixels;
    int mainWanted =
        std::clamp(count / kMainShare, d.info.video() ? kFewestClipMain : kFewestMain, kMostMain);
    int smallWanted = kMostSmall;
    const double pictureBytes = kKeptPictureBytes * d.info.width * d.info.height;
    d.keepPictures = d.info.video() && pictureBytes <= 4.0 * d.size.width * d.size.height;
    const double frameBytes = 4.0 * d.size.width * d.size.height + (d.keepPictures ? pictureBytes : 0.0);
    d.findLevels();
    d.chooseSamples(mainWanted, smallWanted);
    d.uncutMain = mainWanted;
    const double available = AvailableMemory();
    const double keptBytes = frameBytes + kRenderedBytesPerPixel * d.size.width * d.size.height;
    const double otherBytes = kReaderBytesPerPixel * d.info.width * d.info.height
                              + kWorkerBytesPerPixel * d.size.width * d.size.height;
    // Halves the main and small samples, the main one to no fewer than least.
    auto fewerSamples = [&](int least) {
        mainWanted = std::max(least, mainWanted / 2);
        smallWanted = std::max(1, smallWanted / 2);
        d.chooseSamples(mainWanted, smallWanted);
    };
    const int least = std::min(mainWanted, kLeastMain);
    while (static_cast<double>(d.samplePositions(false).size()) * frameBytes > kSampleBytes
           && (mainWanted > least || smallWanted > 1))
        fewerSamples(least);
    // The moving frames' own samples, in bytes of their own: fewer at the
    // frame steps first, then fewer at every frame.
    std::size_t most = kStratumSampled, mostStepped = kSteppedStratum;
    auto fewerStrata = [&] {
        if (mostStepped > 1)
            mostStepped /= 2;
        else
            most /= 2;
        d.chooseStrata(most, mostStepped);
    };
    d.chooseStrata(most, mostStepped);
    const std::size_t others = d.samplePositions(false).size();
    while (static_cast<double>(d.samplePositions().size() - others) * frameBytes > kStrataBytes
           && (most > 1 || mostStepped > 1))
        fewerStrata();
    // The reader's canvas, the frames sampled (as read, and as rendered,
    // which is kept for every setting tried) and a worker rendering them.
    // The allowances above are only what the largest samples may take: a
    // small animation's estimate needs no more than its conversion. Where
    // the memory left cannot hold them, fewer frames are sampled (the
    // moving frames' own first, then the main and small samples, then those
    // with frames dropped, down to none, the small sample then comparing
    // the settings) rather than no estimate made: a budget's conversions
    // check what it chose. A 1920 x 1080 GIF's estimate asked for 624 MB
    // where 598 MB were left, where its conversion takes 390 MB.
    auto needed = [&] { return otherBytes + static_cast<double>(d.samplePositions().size()) * keptBytes; };
    auto tooLittleLeft = [&] { return available > 0 && needed() > available; };
    while (tooLittleLeft() && (most > 1 || mostStepped > 1))
        fewerStrata();
    while (tooLittleLeft() && (mainWanted > 1 || smallWanted > 1))
        fewerSamples(1);
    for (int steppedBlock = 1; steppedBlock >= 0 && tooLittleLeft(); --steppedBlock)
        d.chooseSamples(mainWanted, smallWanted, steppedBlock);
    // Weighed before any frame is taken.
    if (!CheckMemory(needed(), available, input,
                     "estimate the size of frames of " + std::to_string(d.size.width) + " x "
                         + std::to_string(d.size.height) + " pixels",
                     error))
        return false;
    if (!d.readSample(*reader, error))
        return false;

    d.smallest = SizeSettings{d.worstQuality(), 1, 1.0};
    for (const double scale : kScales)
        for (int step = 1; step <= kMostFrameStep; ++step)
            if (d.reasonable(step, scale))
                d.smallest = SizeSettings{d.worstQuality(), step, scale};
    return true;
}

double SizeEstimator::heldBytes() const
{
    const Impl& d = *impl_;
    double bytes = 0;
    for (const auto& [position, frame] : d.frames)
        bytes += 4.0 * frame.width * frame.height;
    bytes += static_cast<double>(d.pictures.size()) * kKeptPictureBytes * d.info.width * d.info.height;
    for (const auto& [key, frame] : d.rendered) {
        const imaging::Size at = d.sizeAt(std::get<2>(key));
        bytes += kRenderedBytesPerPixel * at.width * at.height;
    }
    return bytes;
}

void SizeEstimator::releaseFrames()
{
    Impl& d = *impl_;
    d.frames.clear();
    d.pictures.clear();
    d.rendered.clear();
    d.states = std::make_unique<tbb::enumerable_thread_specific<EngineState>>();
    d.released = true;
    // Else the memory a conversion then finds free counts them as taken.
    ReturnFreedMemory();
}

// The sample's source frames read again, as open() read them, after
// releaseFrames().
bool SizeEstimator::Impl::readAgain(imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(input, error, options.cancelled);
    if (!reader)
        return false;
    rare.clear();
    if (!readSample(*reader, error))
        return false;
    released = false;
    return true;
}

ConvertOptions SizeEstimator::optionsFor(const SizeSettings& settings) const
{
    ConvertOptions options = impl_->options;
    options.frameStep = settings.frameStep;
    if (settings.scale < 1.0) {
        const imaging::Size size = impl_->sizeAt(settings.scale);
        options.resize = {};
        options.resize.maxWidth = size.width;
        options.resize.maxHeight = size.height;
    }
    options.output.quality = settings.quality;
    return options;
}

// Reads the source frames of the samples in one pass, at the conversion's
// size; of an animation every frame, measuring how much each changes from
// the one before and keeping the pairs of most change.
bool SizeEstimator::Impl::readSample(imaging::AnimationReader& reader, imaging::Error* error)
{
    std::set<int> sources;
    std::map<int, std::vector<int>> positionsOf; // by source frame
    for (const int position : samplePositions()) {
        sources.insert(plan[static_cast<std::size_t>(position)].source);
        positionsOf[plan[static_cast<std::size_t>(position)].source].push_back(position);
    }
    reader.setFrameSize(size); // a clip's frames come as the conversion reads them
    reader.keepPictures(keepPictures);
    const bool measure = !info.video() && !whole && written.at(1).size() > 2;
    std::set<int> read = sources;
    if (measure)
        for (const TimelineFrame& frame : plan)
            read.insert(frame.source);
    // By source frame: how much it changed from the one read before it.
    std::map<int, int> change;
    struct Pair {
        int change = 0;
        int source = 0;
        imaging::RgbaImage before, after;
    };
    std::vector<Pair> most; // at most kRareChanges, of most change
    imaging::RgbaImage frame, last, scratch, resized;
    int lastSource = -1;
    for (const int source : read) {
        imaging::ReadResult result = reader.skipTo(source, error);
        if (result)
            result = reader.readNext(frame, error);
        if (!result)
            return *error ? false
                          : imaging::Fail(error, imaging::ErrorKind::Corrupt, input,
                                          "has fewer frames than it says");
        // Shrunk to the conversion's size only when kept: of a large GIF
        // most frames are read only to be compared.
        const imaging::RgbaImage* shrunk = nullptr;
        auto sized = [&]() -> const imaging::RgbaImage& {
            if (!shrunk)
                shrunk = &SizedFrame(frame, size, resized);
            return *shrunk;
        };
        if (measure && lastSource >= 0 && lastSource == source - 1) {
            // Every second point of the conversion's frame.
            const int stride = 2 * std::max(1, frame.width / std::max(1, size.width));
            const int changed = ChangeBetween(frame, last, stride);
            change[source] = changed;
            auto least = std::min_element(most.begin(), most.end(),
                                          [](const Pair& a, const Pair& b) { return a.change < b.change; });
            if (most.size() < kRareChanges || changed > least->change) {
                // Copied into the buffers of the pair it replaces (a copy
                // keeps the memory it has room in): fresh frames each time
                // cost more in clearing new memory than in copying.
                Pair& pair = most.size() < kRareChanges ? most.emplace_back() : *least;
                pair.change = changed;
                pair.source = source;
                pair.before = SizedFrame(last, size, scratch);
                pair.after = sized();
            }
        }
        if (sources.count(source))
            for (const int position : positionsOf[source]) {
                frames[position] = sized();
                if (keepPictures)
                    pictures[position] = reader.keptPicture();
            }
        if (measure)
            std::swap(last, frame);
        lastSource = source;
        if (cancelled(error))
            return false;
    }
    if (change.empty())
        return true;
    std::vector<int> all;
    all.reserve(change.size());
    for (const auto& [source, changed] : change)
        all.push_back(changed);
    std::nth_element(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(all.size() / 2), all.end());
    const int median = all[all.size() / 2];
    // The frames written that show a pair of rare change, in order.
    const std::vector<OutputStep>& steps = written.at(1);
    for (const Pair& pair : most) {
        if (pair.change <= kRareFactor * std::max(1, median))
            continue;
        for (std::size_t i = 1; i < steps.size(); ++i) {
            const int a = plan[static_cast<std::size_t>(steps[i - 1].position)].source;
            const int b = plan[static_cast<std::size_t>(steps[i].position)].source;
            if (std::min(a, b) != pair.source - 1 || std::max(a, b) != pair.source)
                continue;
            rare.push_back(SampleBlock{static_cast<int>(i) - 1, 1});
            frames[steps[i - 1].position] = a == pair.source ? pair.after : pair.before;
            frames[steps[i].position] = b == pair.source ? pair.after : pair.before;
        }
    }
    std::sort(rare.begin(), rare.end(),
              [](const SampleBlock& a, const SampleBlock& b) { return a.lead < b.lead; });
    return true;
}

// Renders the frames of blocks at frame step and scale not rendered yet.
bool SizeEstimator::Impl::render(int step, const std::vector<SampleBlock>& blocks, double scale,
                                 imaging::Error* error)
{
    const std::vector<OutputStep>& steps = written.at(step);
    std::vector<std::pair<int, int>> missing; // position and the one before
    for (const SampleBlock& block : blocks)
        for (int i = block.lead; i <= block.lead + block.count; ++i) {
            const std::pair<int, int> wanted{steps[static_cast<std::size_t>(i)].position,
                                             before(step, block, i)};
            if (!rendered.count({wanted.first, wanted.second, scale})
                && std::find(missing.begin(), missing.end(), wanted) == missing.end())
                missing.push_back(wanted);
        }
    if (missing.empty())
        return true;
    // Frames rendered smaller are kept at one scale only (a search moves
    // from scale to scale and knows the sizes it measured).
    for (auto it = rendered.begin(); it != rendered.end();)
        it = std::get<2>(it->first) != 1.0 && std::get<2>(it->first) != scale ? rendered.erase(it)
                                                                              : std::next(it);
    const imaging::Size at = sizeAt(scale);
    std::vector<RenderedFrame> made(missing.size());
    for (RenderedFrame& frame : made)
        frame.keepSource = false; // only what is written is kept
    tbb::enumerable_thread_specific<EngineState>& states = *this->states;
    const FrameLook look{options.variant, options.switches, options.keepTransparency};
    // A clip converted smaller has its pictures scaled by the reader, which
    // keeps more of their grain than the renderer's resizing: its frames
    // are scaled so here too (the renderer's way, a 4 s film clip's estimate
    // at 70% and 50% size came to 15% and 26% under the size written), from
    // the decoded pictures where they are kept (kKeptPictureBytes), else
    // from the frames at the conversion's size. Should the library fail to,
    // the renderer resizes them.
    auto source = [&](int position, imaging::RgbaImage& smaller) -> const imaging::RgbaImage& {
        const imaging::RgbaImage& frame = frames.at(position);
        if (!info.video() || scale >= 1.0)
            return frame;
        const auto kept = pictures.find(position);
        if (kept != pictures.end() && kept->second && kept->second->toRgba(at.width, at.height, smaller)
            && smaller.width == at.width && smaller.height == at.height)
            return smaller;
        return imaging::ScaleClipPicture(frame, at.width, at.height, smaller) ? smaller : frame;
    };
    auto work = [&] {
        tbb::parallel_for(std::size_t{0}, missing.size(), [&](std::size_t i) {
            const auto [position, previous] = missing[i];
            imaging::RgbaImage smaller, smallerPrevious;
            RenderSourceFrame(states.local(), look, source(position, smaller), at, position + 1, made[i],
                              previous >= 0 ? &source(previous, smallerPrevious) : nullptr);
            made[i].resized = {};
            made[i].previousResized = {};
        });
    };
    if (options.threads > 0) {
        tbb::task_arena arena(options.threads);
        arena.execute(work);
    } else {
        work();
    }
    for (std::size_t i = 0; i < missing.size(); ++i)
        rendered[{missing[i].first, missing[i].second, scale}] = std::move(made[i]);
    return !cancelled(error);
}

// The bytes of each frame of a block encoded as an animation of its own,
// written as the conversion writes it.
bool SizeEstimator::Impl::encodeBlock(int step, const SampleBlock& block, double scale, int quality,
                                      imaging::FrameBytes* bytes, imaging::Error* error) const
{
    const std::string path = ScratchPath(scratch, webp() ? ".webp" : ".gif");
    imaging::OutputSettings output = options.output;
    output.quality = quality;
    output.mergeRepeats = output.mergeRepeats || options.mergeRepeats || info.video();
    const std::unique_ptr<imaging::AnimationWriter> writer = imaging::MakeAnimationWriter(output);
    const imaging::Size at = sizeAt(scale);
    const std::vector<OutputStep>& steps = written.at(step);
    bool ok = writer->open(path, at.width, at.height, info.loopCount, error);
    for (int i = block.lead; ok && i <= block.lead + block.count; ++i) {
        const OutputStep& frame = steps[static_cast<std::size_t>(i)];
        ok = writer->addFrame(rendered.at({frame.position, before(step, block, i), scale}).picture(),
                              frame.delay, error);
    }
    ok = ok && writer->finish(error) && imaging::MeasureFrameBytes(path, output.format, bytes, error);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!ok && error->file == path) {
        // The sample's file is this program's own: the input is the file the
        // user knows (a sample short of memory was reported as
        // "/tmp/qf-size-1259-3.gif: needs more memory than is free").
        error->reason =
            "estimating its size: "
            + (error->kind == imaging::ErrorKind::OutOfMemory ? error->reason : path + ": " + error->reason);
        error->file = input;
    }
    return ok;
}

// The size at settings from the main sample or the small one: the file's
// own bytes and the first frame as the block beginning the animation has
// them, and the other frames at the mean of those sampled.
bool SizeEstimator::Impl::sample(const SizeSettings& settings, bool useMain, double* bytes,
                                 imaging::Error* error)
{
    const auto key = std::make_tuple(settings.frameStep, settings.scale, settings.quality, useMain);
    if (const auto found = sampled.find(key); found != sampled.end()) {
        *bytes = found->second;
        return true;
    }
    if (released && !readAgain(error))
        return false;
    const bool stepped = useMain && settings.frameStep > 1;
    std::vector<SampleBlock> blocks = stepped   ? mainAt.at(settings.frameStep)
                                      : useMain ? main
                                                : small.at(settings.frameStep);
    const std::size_t ordinary = blocks.size();
    if (useMain && !stepped)
        blocks.insert(blocks.end(), rare.begin(), rare.end());
    // Then the blocks of each level past steady, blocks[levelFrom[level]]
    // up to blocks[levelFrom[level + 1]].
    const std::size_t rareEnd = blocks.size();
    std::array<std::size_t, kLevels + 1> levelFrom{0, rareEnd};
    for (std::size_t level = 1; level < kLevels; ++level) {
        if (useMain && stratum.count(settings.frameStep)) {
            const std::vector<SampleBlock>& at = stratum.at(settings.frameStep)[level];
            blocks.insert(blocks.end(), at.begin(), at.end());
        }
        levelFrom[level + 1] = blocks.size();
    }
    if (!render(settings.frameStep, blocks, settings.scale, error))
        return false;
    std::vector<imaging::FrameBytes> measured(blocks.size());
    std::vector<imaging::Error> errors(blocks.size());
    auto encode = [&] {
        tbb::parallel_for(std::size_t{0}, blocks.size(), [&](std::size_t b) {
            encodeBlock(settings.frameStep, blocks[b], settings.scale, settings.quality, &measured[b],
                        &errors[b]);
        });
    };
    if (options.threads > 0) {
        tbb::task_arena arena(options.threads);
        arena.execute(encode);
    } else {
        encode();
    }
    for (const imaging::Error& e : errors) {
        if (e) {
            *error = e;
            return false;
        }
    }
    // Frames merged with the one before them come to nothing: a block's
    // frames after its first are what it counts, however many were written.
    // A frame of rare change counts for itself, and not among the others.
    // So does a frame of any other level, among those of its level.
    std::set<int> rareFrames;
    for (std::size_t b = ordinary; b < rareEnd; ++b)
        rareFrames.insert(blocks[b].lead + 1);
    const bool strata = useMain && !levelOf.empty();
    std::array<double, kLevels> levelMean{};
    for (std::size_t level = 1; level < kLevels; ++level) {
        double bytes = 0, frames = 0;
        for (std::size_t b = levelFrom[level]; b < levelFrom[level + 1]; ++b) {
            const std::vector<long long>& sizes = measured[b].frames;
            for (std::size_t i = 1; i < sizes.size(); ++i)
                bytes += static_cast<double>(sizes[i]);
            frames += blocks[b].count; // a frame merged with the one before costs nothing
        }
        levelMean[level] = frames > 0 ? bytes / frames : 0.0;
    }
    // The main sample's blocks count their steady frames. A frame of
    // another level among them is left out, and so is a block with one that
    // was written with frames merged (which frame each size is then is not
    // known), unless no steady frame is left.
    double counted = 0, frameCount = 0, rareBytes = 0, movingBytes = 0, moving = 0;
    for (std::size_t b = 0; b < rareEnd; ++b) {
        const std::vector<long long>& sizes = measured[b].frames;
        const bool whole = sizes.size() == static_cast<std::size_t>(blocks[b].count) + 1;
        double blockBytes = 0, blockFrames = 0;
        for (std::size_t i = 1; i < sizes.size(); ++i) {
            const int frame = blocks[b].lead + static_cast<int>(i);
            if (b >= ordinary)
                rareBytes += static_cast<double>(sizes[i]);
            else if (whole && strata && levelAt(settings.frameStep, frame) > 0)
                movingBytes += static_cast<double>(sizes[i]), moving += 1;
            else if (!(whole && rareFrames.count(frame)))
                blockBytes += static_cast<double>(sizes[i]), blockFrames += 1;
        }
        bool steady = true;
        if (!whole && b < ordinary) {
            blockFrames += blocks[b].count - static_cast<double>(sizes.size() - 1);
            for (int i = 1; strata && i <= blocks[b].count; ++i)
                steady = steady && levelAt(settings.frameStep, blocks[b].lead + i) == 0;
        }
        (steady ? counted : movingBytes) += blockBytes;
        (steady ? frameCount : moving) += blockFrames;
    }
    if (frameCount == 0) {
        counted = movingBytes;
        frameCount = moving;
    }
    const double first = measured[0].frames.empty() ? 0.0 : static_cast<double>(measured[0].frames[0]);
    if (useMain && !stepped && settings.frameStep == 1 && settings.scale == 1.0
        && settings.quality == bestQuality()) {
        bestRareBytes = rareBytes;
        bestFirstBytes = first;
    }
    std::size_t rareCount = rareFrames.size();
    if (stepped) {
        // A frame step keeps each frame of rare change (or the frame after
        // it), a whole new picture like the first frame: it shrinks with
        // quality and size as the first frame does.
        rareBytes = bestFirstBytes > 0 ? bestRareBytes * first / bestFirstBytes : bestRareBytes;
        rareCount = rare.size();
    }
    // Frames of the other levels at their level's mean, measured at the
    // settings' own frame step: a moving frame kept at every 4th frame
    // differs more from the one before it than at every frame.
    double levelsBytes = 0, levelFrames = 0;
    for (std::size_t level = 1; strata && level < kLevels; ++level) {
        const double n = levelCount.at(settings.frameStep)[level];
        levelsBytes += levelMean[level] * n;
        levelFrames += n;
    }
    const double others = static_cast<double>(written.at(settings.frameStep).size()) - 1
                          - static_cast<double>(rareCount) - levelFrames;
    *bytes = sampled[key] = static_cast<double>(measured[0].shared) + first + rareBytes + levelsBytes
                            + (frameCount > 0 ? counted * std::max(0.0, others) / frameCount : 0.0);
    return !cancelled(error);
}

// At the best settings and the options' own the main sample says, and with
// frames dropped the main sample's frames that the frame step keeps, written
// at the settings (frames further apart differ more, and the start of an
// animation, where the small sample is, may change more or less than the
// rest); other settings at every frame are told by how the small sample at
// them compares with the small sample at the best.
bool SizeEstimator::estimate(const SizeSettings& settings, long long* bytes, imaging::Error* error)
{
    Impl& d = *impl_;
    const auto key = std::make_tuple(settings.frameStep, settings.scale, settings.quality);
    if (const auto found = d.sizes.find(key); found != d.sizes.end()) {
        *bytes = found->second;
        return true;
    }
    if (!d.written.count(settings.frameStep))
        return imaging::Fail(error, imaging::ErrorKind::InvalidArgument, d.input,
                             "keeps too few frames at every " + std::to_string(settings.frameStep)
                                 + "th frame");
    const SizeSettings best{d.bestQuality(), 1, 1.0};
    SizeSettings own = SettingsOf(d.options);
    own.frameStep = 1;
    double size = 0;
    if (settings == best || settings == own || d.whole) {
        if (!d.sample(settings, true, &size, error))
            return false;
    } else if (settings.frameStep > 1 && d.mainAt.at(settings.frameStep).size() > 1) {
        double bestMain = 0;
        if (!d.sample(best, true, &bestMain, error) || !d.sample(settings, true, &size, error))
            return false;
    } else {
        double bestMain = 0, bestSmall = 0, small = 0;
        if (!d.sample(best, true, &bestMain, error) || !d.sample(best, false, &bestSmall, error)
            || !d.sample(settings, false, &small, error))
            return false;
        size = bestSmall > 0 ? small * bestMain / bestSmall : small;
    }
    *bytes = d.sizes[key] = std::llround(size);
    return true;
}

std::string DescribeSettings(const SizeSettings& settings)
{
    if (settings.kilobits > 0)
        return std::to_string(settings.kilobits) + " kbit/s";
    std::string text = settings.quality >= imaging::kLosslessQuality
                           ? std::string("lossless")
                           : "quality " + std::to_string(settings.quality);
    if (settings.frameStep > 1)
        text += ", every " + std::to_string(settings.frameStep)
                + (settings.frameStep == 2   ? "nd"
                   : settings.frameStep == 3 ? "rd"
                                             : "th")
                + " frame";
    if (settings.scale < 1.0)
        text += ", " + std::to_string(static_cast<int>(std::lround(settings.scale * 100))) + "% size";
    return text;
}

} // namespace qf
