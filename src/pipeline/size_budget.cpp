#include "size_budget.h"

#include "imaging/errors.h"

#include "free_memory.h"

#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/clip_module.h"
#include "imaging/colour/gif_levels.h"
#include "imaging/files/atomic_file.h"
#include "imaging/files/temporary_names.h"
#include "imaging/frame_bytes.h"
#include "pencil_texture.h"
#include "timeline.h"

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <system_error>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qf {

namespace {

// Of a budget's attempts (at least one), the largest that fits, or null,
// and the smallest.
template <typename Attempt, typename Fits>
std::pair<const Attempt*, const Attempt*> LargestFitAndSmallest(const std::vector<Attempt>& attempts,
                                                                Fits fits)
{
    const Attempt* best = nullptr;
    const Attempt* least = &attempts[0];
    for (const Attempt& attempt : attempts) {
        if (attempt.bytes < least->bytes)
            least = &attempt;
        if (fits(attempt) && (!best || attempt.bytes > best->bytes))
            best = &attempt;
    }
    return {best, least};
}

// What a clip's second encode aims at after the first came out too big.
constexpr double kAfterOver = 0.92;
// What an animation's second conversion aims at after the first came out
// too big, its estimates corrected by how far the first was off. Corrected
// so, the second lands close: on six GIFs whose first came out 0.2-9% over
// 256 kB or 2 MB, the second came within -4% to +0.5% of its corrected
// estimate. Aimed at 0.92 it came to 87-90% of the budget, at a quality
// far below what fits (photo at variant 0: 10 where 20 fits).
constexpr double kAnimationAfterOver = 0.97;
// An animation's first conversion that came to under this part of its
// budget, at settings short of the best, is followed by a second aimed at
// kAnimationAfterOver the same way (the larger that fits is kept): a fade
// made from a photograph of water, at variant 12, came to 82% of 2 MB at
// quality 81, its estimate a tenth over the size written.
constexpr double kAnimationLowestShare = 0.85;
// After two too big: what a last conversion aims at, by the worse of their
// errors.
constexpr double kLastAim = 0.75;
// The quality a search at full frame rate and size measures first when its
// target is under kShapeBelow of the best quality's size.
constexpr int kShapeQuality = 80;
constexpr double kShapeBelow = 0.75;
// Up to kShapeQuality, where sizes grow slowly with quality, a bracket of
// at most kNarrowBracket qualities whose low end comes to kNearShare of the
// target is close enough: a quality or two more would add a few percent
// of bytes and cost one more sample.
constexpr int kNarrowBracket = 5;
constexpr double kNearShare = 0.85;
// The best quality at fewer or smaller frames, expected to come to this
// many times the target or more, is not sampled: the quality search takes
// the expected size for its bracket's top end. Sampled, it cost a panorama's
// 5 MB and 256 kB lines one setting each, and came to 1.58 and 1.99 times
// the target.
constexpr double kFarOver = 1.25;
// A quality search that has sampled a guess within its bracket and whose
// low end comes to kNearShare of the target answers from the curve through
// the bracket's ends. Samples a few qualities apart differ by little more
// than their own noise (a panorama at every 2nd frame: 4.40, 4.49 and 4.49
// MB at qualities 56, 61 and 65), and a search went on taking them, each
// costing as much as the guess, for a quality or two. Further from the
// target the curve's shape may be far off (a grainy animation's sizes
// grew fastest below quality 50), and the search goes on.
constexpr int kGuesses = 1;
// So does one whose high end, sampled inside the bracket up to
// kShapeQuality, came to at most kNearOver times the target: the answer
// lies just below a size measured near it (a panorama's 10 MB line:
// quality 80 came to 1.06 times its target, and quality 67, sampled next,
// to 0.99). Above kShapeQuality sizes climb too steeply for the curve to
// place a quality between two samples.
constexpr double kNearOver = 1.08;
// What a frame step not tried yet is expected to keep of the share of its
// bytes the step before it at the same scale kept (see worthTrying): a
// little less, for the few frames that can repeat the ones before them.
constexpr double kAfterFewerShare = 0.97;

// The qualities a search has narrowed the answer to at one frame step and
// scale: low is expected to fit, high not.
struct QualityBracket {
    int low = 0;
    long long lowBytes = 0;
    int high = 0;
    long long highBytes = 0;
};

// The search of ChooseSettings, step by step.
class SettingsSearch {
public:
    SettingsSearch(SizeEstimator& estimator, double target, imaging::Error* error)
        : estimator_(estimator), target_(target), error_(error)
    {}

    bool run(SizeSettings* chosen, long long* expected, long long* smallest);

private:
    // Estimates go through the estimator, which keeps them for later
    // searches; this search goes by the ones it asked for only, so that a
    // target gets the same answer whatever was estimated before.
    bool estimate(const SizeSettings& settings, long long* bytes)
    {
        if (!estimator_.estimate(settings, bytes, error_))
            return false;
        if (settings.frameStep == 1 && settings.scale == 1.0)
            atFull_[settings.quality] = *bytes;
        return true;
    }
    bool fits(long long bytes) const { return static_cast<double>(bytes) <= target_; }
    bool worthTrying(int step, double scale) const;
    bool lowestAt(int step, double scale, long long* bytes);
    bool qualityAt(int step, double scale, long long lowest, SizeSettings* chosen, long long* expected);
    bool searchQuality(SizeSettings settings, QualityBracket bracket, SizeSettings* chosen,
                       long long* expected);
    int guess(const QualityBracket& bracket, int round) const;
    int highestUnder(const QualityBracket& bracket, double wantedBytes, int margin, double* expected) const;
    // The middle of the sizes that end a quality search.
    double aim() const { return target_ * (1 + kCloseShare) / 2; }

    SizeEstimator& estimator_;
    const double target_;
    imaging::Error* error_;
    long long full_ = 0;  // at the best quality, full frame rate and size
    long long worst_ = 0; // at the worst quality, full frame rate and size
    // How much more than their share of worst_ the settings tried last came
    // to (0 before any), and the last tried at each frame step: shrinking a
    // picture of few colours can make its file bigger, and frames further
    // apart differ more.
    double last_ = 0;
    std::map<int, double> lastAt_;
    int lastStep_ = 0; // the frame step and scale tried last (0: none)
    double lastScale_ = 0;
    std::map<int, long long> atFull_; // sizes at full frame rate and size, by quality
};

bool SettingsSearch::run(SizeSettings* chosen, long long* expected, long long* smallest)
{
    *smallest = -1;
    const SizeSettings best{estimator_.bestQuality(), 1, 1.0};
    if (!estimate(best, &full_))
        return false;
    if (fits(full_)) {
        *chosen = best;
        *expected = full_;
        return true;
    }
    if (!estimate(SizeSettings{estimator_.worstQuality(), 1, 1.0}, &worst_))
        return false;
    for (const double scale : kScales) {
        for (int step = 1; step <= kMostFrameStep; ++step) {
            if (!worthTrying(step, scale))
                continue;
            long long lowest = 0;
            if (!lowestAt(step, scale, &lowest))
                return false;
            if (fits(lowest))
                return qualityAt(step, scale, lowest, chosen, expected);
        }
    }
    return estimate(estimator_.smallestSettings(), smallest) && false;
}

// Dropping all but every k-th frame leaves more than a k-th of the bytes
// (the frames kept differ more), and a scale s more than about s^2 of them:
// settings that cannot come near the target are not sampled. After fewer
// frames dropped at the same scale, a frame step not tried yet is expected
// to keep at least about the share the fewer kept, for the same reason (on
// 16 inputs at five budgets, each of the six steps expected over their
// targets so came out over, by 4-25%).
bool SettingsSearch::worthTrying(int step, double scale) const
{
    const double share = scale * scale / step;
    const auto known = lastAt_.find(step);
    const bool afterFewer = lastStep_ > 0 && lastStep_ < step && lastScale_ == scale;
    const double more = known != lastAt_.end() ? 0.9 * known->second
                        : afterFewer           ? kAfterFewerShare * last_
                                               : 0.85 * last_;
    return estimator_.reasonable(step, scale)
           && !(static_cast<double>(worst_) * share * std::max(0.8, more) > target_);
}

// The size at the worst quality at a frame step and scale.
bool SettingsSearch::lowestAt(int step, double scale, long long* bytes)
{
    if (!estimate(SizeSettings{estimator_.worstQuality(), step, scale}, bytes))
        return false;
    if (step > 1 || scale < 1.0) {
        last_ = lastAt_[step] =
            static_cast<double>(*bytes) / (static_cast<double>(worst_) * scale * scale / step);
        lastStep_ = step;
        lastScale_ = scale;
    }
    return true;
}

// A quality expected to fit at a frame step and scale whose worst quality
// fits, and close to the target (sizes grow with quality).
bool SettingsSearch::qualityAt(int step, double scale, long long lowest, SizeSettings* chosen,
                               long long* expected)
{
    SizeSettings settings{estimator_.bestQuality(), step, scale};
    // Fewer or smaller frames keep about the share of their bytes the best
    // quality adds at full frame rate and size: far over the target, that
    // is taken for the best quality's size, which is then not sampled.
    long long highest = std::llround(static_cast<double>(lowest) * static_cast<double>(full_)
                                     / static_cast<double>(std::max(1LL, worst_)));
    if (!(static_cast<double>(highest) > kFarOver * target_) && !estimate(settings, &highest))
        return false;
    if (fits(highest)) {
        *chosen = settings;
        *expected = highest;
        return true;
    }
    QualityBracket bracket{estimator_.worstQuality(), lowest, estimator_.bestQuality(), highest};
    return searchQuality(settings, bracket, chosen, expected);
}

// Narrows the bracket by estimates until its low end comes close to the
// target.
bool SettingsSearch::searchQuality(SizeSettings settings, QualityBracket bracket, SizeSettings* chosen,
                                   long long* expected)
{
    // At full frame rate and size, a target well below the best quality's
    // size is first narrowed by the size at a quality between the ends,
    // which gives the curve its shape where the usual growth may be off.
    const SizeSettings probe{kShapeQuality, 1, 1.0};
    bool highSampled = false; // the bracket's high end was sampled last
    if (settings.frameStep == 1 && settings.scale == 1.0 && probe.quality > bracket.low
        && probe.quality < bracket.high && target_ < kShapeBelow * static_cast<double>(bracket.highBytes)) {
        long long bytes = 0;
        if (!estimate(probe, &bytes))
            return false;
        if (fits(bytes))
            bracket = QualityBracket{probe.quality, bytes, bracket.high, bracket.highBytes};
        else
            bracket = QualityBracket{bracket.low, bracket.lowBytes, probe.quality, bytes};
        highSampled = !fits(bytes);
    }
    auto close = [&] {
        const double low = static_cast<double>(bracket.lowBytes);
        return bracket.high - bracket.low <= 1 || low >= target_ * kCloseShare
               || (bracket.high <= kShapeQuality && bracket.high - bracket.low <= kNarrowBracket
                   && low >= target_ * kNearShare);
    };
    for (int guesses = 0; !close(); ++guesses) {
        const bool nearUnder =
            guesses >= kGuesses && static_cast<double>(bracket.lowBytes) >= target_ * kNearShare;
        const bool nearOver = highSampled && bracket.high <= kShapeQuality
                              && static_cast<double>(bracket.highBytes) <= target_ * kNearOver;
        if (nearUnder || nearOver) {
            double predicted = 0;
            const int quality = highestUnder(bracket, aim(), 0, &predicted);
            if (quality > bracket.low) {
                bracket.low = quality;
                bracket.lowBytes = std::llround(predicted);
            }
            break;
        }
        settings.quality = guess(bracket, guesses);
        long long bytes = 0;
        if (!estimate(settings, &bytes))
            return false;
        if (fits(bytes)) {
            bracket.low = settings.quality;
            bracket.lowBytes = bytes;
        } else {
            bracket.high = settings.quality;
            bracket.highBytes = bytes;
        }
        highSampled = !fits(bytes);
    }
    *chosen = SizeSettings{bracket.low, settings.frameStep, settings.scale};
    *expected = bracket.lowBytes;
    return true;
}

// The quality to try between low (fits) and high (too big): where the
// curve of highestUnder meets the middle of the sizes that end the search.
// Past the first round at least an eighth of the way in from either end,
// so that the bracket keeps narrowing.
int SettingsSearch::guess(const QualityBracket& bracket, int round) const
{
    const int margin = round == 0 ? 1 : std::max(1, (bracket.high - bracket.low) / 8);
    double expected = 0;
    const int quality = highestUnder(bracket, aim(), margin, &expected);
    return std::min(std::max(quality, bracket.low + margin), imaging::kLosslessQuality - 1);
}

// The highest quality in low + margin .. high - max(margin, 1) whose size
// comes to at most wantedBytes, else low, and its size (*expected): where
// the sizes known at full frame rate and size, joined by the usual growth
// on a logarithmic scale and scaled to meet both ends of the bracket, put
// it.
int SettingsSearch::highestUnder(const QualityBracket& bracket, double wantedBytes, int margin,
                                 double* expected) const
{
    const int low = bracket.low, high = bracket.high;
    std::vector<std::pair<int, double>> known;
    for (const auto& [quality, bytes] : atFull_)
        known.emplace_back(quality, std::log(static_cast<double>(bytes)));
    // The way sizes usually grow with quality on most animations (between
    // the worst and the best, on a logarithmic scale): slowly up to 80,
    // then steeply.
    static constexpr std::pair<int, double> kUsualGrowth[] = {{1, 0.0},   {10, 0.02}, {30, 0.1},  {50, 0.26},
                                                              {70, 0.41}, {80, 0.5},  {90, 0.62}, {95, 0.75},
                                                              {99, 0.93}, {100, 1.0}};
    auto usual = [&](int quality) {
        const auto* after =
            std::lower_bound(std::begin(kUsualGrowth), std::end(kUsualGrowth), std::make_pair(quality, -1.0));
        if (after == std::end(kUsualGrowth))
            return 1.0;
        if (after == std::begin(kUsualGrowth))
            return 0.0;
        const auto* before = after - 1;
        return before->second
               + (after->second - before->second) * (quality - before->first)
                     / (after->first - before->first);
    };
    // The sizes known at full frame rate and size give the curve's shape at
    // the qualities measured, the usual growth between them; without two of
    // them, the usual growth alone.
    if (known.size() < 2)
        known = {{low, 0.0}, {high, 1.0}};
    auto curve = [&](int quality) {
        auto after = std::lower_bound(known.begin(), known.end(), std::make_pair(quality, -1e300));
        if (after == known.end())
            --after;
        if (after == known.begin())
            ++after;
        const auto before = after - 1;
        const double between = usual(after->first) - usual(before->first);
        const double part =
            between > 0 ? (usual(quality) - usual(before->first)) / between
                        : static_cast<double>(quality - before->first) / (after->first - before->first);
        return before->second + (after->second - before->second) * part;
    };
    // The curve scaled to meet the sizes at both ends of the bracket.
    const double lowLog = std::log(static_cast<double>(bracket.lowBytes));
    const double highLog = std::log(static_cast<double>(bracket.highBytes));
    const double rise = std::max(1e-9, curve(high) - curve(low));
    const double wanted = std::log(wantedBytes);
    auto size = [&](int q) { return lowLog + (curve(q) - curve(low)) * (highLog - lowLog) / rise; };
    int quality = low;
    for (int q = low + margin; q <= high - std::max(1, margin); ++q)
        if (size(q) <= wanted)
            quality = q;
    *expected = std::exp(size(quality));
    return quality;
}

long long FileBytes(const std::string& path)
{
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(bytes);
}

void Remove(const std::string& path)
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove(path, ec);
    imaging::ForgetTemporaryName(path);
}

// A name beside output for an attempt, so that the one kept moves over
// output in one step.
// The name is kept for removal (Remove) by a program ending on a stop request.
std::string AttemptPath(const std::string& output, int attempt)
{
    std::string path = output + ".qf-fit-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    imaging::RememberTemporaryName(path, false);
    return path;
}

} // namespace

bool ChooseSettings(SizeEstimator& estimator, double target, SizeSettings* chosen, long long* smallest,
                    imaging::Error* error, long long* expected)
{
    long long scratch = 0;
    return SettingsSearch(estimator, target, error).run(chosen, expected ? expected : &scratch, smallest);
}

bool ChooseForBudget(SizeEstimator& estimator, long long maxBytes, SizeSettings* chosen, long long* smallest,
                     imaging::Error* error, long long* expected)
{
    return ChooseSettings(estimator, static_cast<double>(maxBytes) * kBudgetAim, chosen, smallest, error,
                          expected);
}

namespace {

// The least bit rate a clip's pictures are asked to make do with.
constexpr double kLeastClipRate = 8000;
// A clip is encoded again when it comes to under this part of its budget,
// aiming then at kAfterUnder: a bit rate lands where it is asked to.
constexpr double kLowestShare = 0.85;
constexpr double kAfterUnder = 0.97;

// A clip's length and what its sound costs, for aiming its bit rate.
struct ClipPlan {
    double seconds = 0;
    int frames = 0;
    bool sound = false;
    imaging::SoundPart soundPart; // when sound: the part the writer lays under the pictures
};

bool PlanClip(const std::string& input, const ConvertOptions& options, ClipPlan* plan, imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(input, error, options.cancelled);
    std::vector<TimelineFrame> frames;
    if (!reader || !PlanTimeline(input, reader->info(), options.timeline, &frames, error))
        return false;
    long long hundredths = 0;
    const int step = std::max(1, options.frameStep);
    for (std::size_t i = 0; i < frames.size(); ++i)
        hundredths += frames[i].delay < 2 ? 10 : frames[i].delay; // as the clip shows them
    plan->seconds = static_cast<double>(hundredths) / 100.0;
    plan->frames = static_cast<int>((frames.size() + static_cast<std::size_t>(step) - 1)
                                    / static_cast<std::size_t>(step));
    plan->sound =
        reader->info().video() && options.sound && !options.timeline.bounce && imaging::ClipHasSound(input);
    if (plan->sound) {
        std::int64_t start = 0;
        std::int64_t end = 0;
        if (!TimelineSpan(input, reader->info(), options.timeline, &start, &end, error))
            return false;
        imaging::SoundPart& part = plan->soundPart;
        part.file = input;
        part.startMicros = reader->info().clipStart + start;
        part.lengthMicros = end - start;
        part.speed = options.timeline.speed;
        part.outputMicros = hundredths * 10000;
        part.cancelled = options.cancelled;
    }
    return true;
}

// The bytes a clip's sound comes to at rate bits a second, encoded as the
// writer encodes it (a variable rate often comes well under the rate
// asked), with what the container adds for its packets.
bool SoundBytes(const ClipPlan& plan, imaging::OutputFormat format, int rate, double* bytes,
                imaging::Error* error)
{
    *bytes = 0;
    if (!plan.sound)
        return true;
    return imaging::ClipSoundBytes(plan.soundPart,
                                   format == imaging::OutputFormat::Mp4 ? imaging::SoundCodec::Aac
                                                                        : imaging::SoundCodec::Opus,
                                   rate, bytes, error);
}

// Bits a second of sound: the format's usual rate, lowered to a fifth of a
// small budget, not below what still sounds like the clip.
int SoundRateFor(imaging::OutputFormat format, double budget, double seconds)
{
    const bool mp4 = format == imaging::OutputFormat::Mp4;
    const double usual = mp4 ? 128000 : 96000;
    const double least = mp4 ? 32000 : 16000;
    return static_cast<int>(std::clamp(budget * 8 * 0.2 / seconds, least, usual));
}

// What a clip's container adds: its headers and index, a few bytes per
// picture and per sound packet.
double ContainerBytes(const ClipPlan& plan)
{
    return 2048 + 16.0 * (plan.frames + (plan.sound ? plan.seconds * 50 : 0));
}

// SVT-AV1's one-pass bit rate lands unpredictably (and not the same way
// twice, its threads racing its rate control), where its rate factor
// gives the same bytes every time, each step up shrinking the pictures by
// about an eighth (0.12-0.14 a step in logarithm between factors 35 and 55
// on film-like clips, up to 0.29 between 62 and 63). So an AV1 clip is
// fitted by its rate factor: one-second parts at a few factors give the
// clip's own size curve (Av1Parts), the first full encode goes to the
// factor it puts nearest the middle of the 85-100% band, and a second, when
// needed, to the factor the curve gives once scaled by what the first came
// to.
// The rate factors of quality 100 and of quality 1.
constexpr int kAv1BestFactor = 23;
constexpr int kAv1WorstFactor = 63;
// Sets of parts measured to place the first full encode (the first set
// included): three of three one-second parts on a clip of 9 s or more,
// fewer on shorter ones, where a set costs much of a full encode.
int Av1PartSets(double seconds)
{
    return std::clamp(static_cast<int>(seconds / 3), 1, 3);
}

// The usual shrink of the pictures from factor to factor + 1, in logarithm:
// an eighth up to 55, steeper towards 63.
double Av1UsualStep(int factor)
{
    return factor < 55 ? 0.13 : 0.13 + 0.015 * (factor - 54);
}

// The quality (1-100) whose AV1 rate factor is factor (23-63).
int QualityForAv1Factor(int factor)
{
    return std::clamp(static_cast<int>(std::nearbyint(2.5 * (kAv1WorstFactor - factor))), 1, 100);
}

bool IsAv1(const ConvertOptions& options)
{
    return options.output.format == imaging::OutputFormat::Webm
           && options.output.webmCodec == imaging::WebmCodec::Av1;
}

// An AV1 clip's pictures' bytes by rate factor, from three one-second parts
// encoded without sound (so that budgets with different sound rates share
// them), each factor measured once. Between the factors measured the
// curve takes the usual steps scaled to meet both; beyond them, the steps
// scaled as between the nearest two.
class Av1Parts {
public:
    Av1Parts(const std::string& input, const ConvertOptions& options) : input_(input), options_(options)
    {
        options_.sound = false;
        options_.output.videoBitRate = 0;
        options_.progress = {};
    }

    // The factor whose pictures are expected nearest `target` bytes (on a
    // logarithmic scale), measuring parts at the asked quality's factor
    // (once) and at up to `more` others; false with error set when a part
    // cannot be converted.
    bool factorFor(double target, int more, int* factor, imaging::Error* error)
    {
        if (known_.empty()) {
            const int asked = static_cast<int>(imaging::RateFactorFor(
                imaging::OutputFormat::Webm, options_.output.quality, imaging::WebmCodec::Av1));
            if (!measure(asked, error))
                return false;
        }
        for (;; --more) {
            *factor = nearest(target);
            // Past either end of the factors by a fifth, that end needs no parts.
            const bool beyond = (*factor == kAv1BestFactor && expected(*factor) < 0.8 * target)
                                || (*factor == kAv1WorstFactor && expected(*factor) > 1.25 * target);
            if (more <= 0 || beyond || known_.count(*factor))
                return true;
            if (!measure(*factor, error))
                return false;
        }
    }

    // A full encode's pictures at factor, where no parts were measured: a
    // point of the curve in the parts' terms, so that the curve takes the
    // clip's own slope from it.
    void pin(int factor, double pictures)
    {
        if (!known_.count(factor))
            known_[factor] = std::max(1.0, pictures / Prior(factor));
    }

    // The pictures' expected bytes at factor. A part's first pictures lean
    // on its key picture and come cheaper than in the whole clip, which at
    // low qualities they are much of: the parts fall short by a twentieth
    // at factor 35, by a fifth from 55 (film-like clips).
    double expected(int factor) const { return measured(factor) * Prior(factor); }

private:
    static double Prior(int factor) { return 1.05 + 0.15 * std::clamp((factor - 35) / 20.0, 0.0, 1.0); }

    double measured(int factor) const
    {
        const auto above = known_.lower_bound(factor);
        if (above != known_.end() && above->first == factor)
            return above->second;
        // The two measured factors the curve is scaled between.
        auto low = above == known_.begin() ? above : std::prev(above);
        auto high = above == known_.end() ? low : above;
        if (low == high) {
            if (high != known_.begin())
                low = std::prev(high);
            else if (std::next(low) != known_.end())
                high = std::next(low);
        }
        double scale = 1.0;
        if (low != high)
            scale = std::clamp(std::log(low->second / high->second) / usualBetween(low->first, high->first),
                               0.25, 3.0);
        const auto& from = factor < low->first ? *low : factor > high->first ? *high : *low;
        return from.second * std::exp(-scale * usualBetween(from.first, factor));
    }

    // The usual shrink in logarithm from factor a to factor b (negative
    // when b is below a).
    static double usualBetween(int a, int b)
    {
        double sum = 0;
        for (int f = std::min(a, b); f < std::max(a, b); ++f)
            sum += Av1UsualStep(f);
        return b >= a ? sum : -sum;
    }

    int nearest(double target) const
    {
        int best = kAv1BestFactor;
        for (int f = kAv1BestFactor; f <= kAv1WorstFactor; ++f)
            if (std::abs(std::log(expected(f) / target)) < std::abs(std::log(expected(best) / target)))
                best = f;
        return best;
    }

    bool measure(int factor, imaging::Error* error)
    {
        ConvertOptions part = options_;
        part.output.quality = QualityForAv1Factor(factor);
        long long bytes = 0;
        if (!EstimateClip(input_, part, &bytes, error))
            return false;
        known_[factor] = std::max(1.0, static_cast<double>(bytes));
        return true;
    }

    const std::string& input_;
    ConvertOptions options_;
    std::map<int, double> known_;
};

// The rate factor of an AV1 clip's first full encode within budget, and
// its sound's bytes (SoundBytes at the budget's rate), beside the pictures
// the parts measure with their own headers.
bool Av1FirstFactor(Av1Parts& parts, const ClipPlan& plan, imaging::OutputFormat format, double budget,
                    int* factor, double* sound, imaging::Error* error)
{
    const int rate = plan.sound ? SoundRateFor(format, budget, plan.seconds) : 0;
    return SoundBytes(plan, format, rate, sound, error)
           && parts.factorFor(budget * kBudgetAim - *sound, Av1PartSets(plan.seconds) - 1, factor, error);
}

// An MP4 or WebM within maxBytes. The first encode aims its pictures' bit
// rate at the budget less the sound and the container; a second follows
// when the first came to under 85% of the budget or over it: for H.264 a
// second pass reading the first's statistics at the same aim (x264's
// second pass lands within a few percent of the rate asked, where a single
// pass of a short clip falls well short), for VP9 a single pass with the
// rate corrected by how far the first was off. Only when both are over does
// a third aim well below. AV1 is placed on its rate factor instead, by
// parts and at most two full encodes (see Av1Parts), a third only when
// both are over. The largest that fits is kept.
bool ClipWithinBudget(const std::string& input, const std::string& output, const ConvertOptions& options,
                      long long maxBytes, BudgetOutcome* outcome, imaging::Error* error,
                      imaging::AnimationDamage* damage)
{
    ClipPlan plan;
    if (!PlanClip(input, options, &plan, error))
        return false;
    const double budget = static_cast<double>(maxBytes);
    const imaging::OutputFormat format = options.output.format;
    const int soundRate = plan.sound ? SoundRateFor(format, budget, plan.seconds) : 0;
    const double soundBytes = soundRate * plan.seconds / 8;
    const double fixed = soundBytes + ContainerBytes(plan);
    const bool twoPass = format == imaging::OutputFormat::Mp4;
    std::string folder;
    // The first pass's statistics, beside the attempts.
    const std::filesystem::path beside = std::filesystem::path(output).parent_path();
    if (twoPass
        && !imaging::MakeTemporaryFolder(beside.empty() ? "." : beside.string(), "passes", &folder, error))
        return false;
    struct Attempt {
        std::string path;
        double rate = 0; // the pictures' bits a second asked for
        long long bytes = -1;
        int factor = -1; // AV1: the rate factor asked for instead of a rate
    };
    std::vector<Attempt> attempts;
    auto cleanUp = [&] {
        for (const Attempt& attempt : attempts)
            Remove(attempt.path);
        if (!folder.empty())
            imaging::RemoveTemporaryFolder(folder);
    };
    auto convert = [&](double rate, int pass, int factor = -1) {
        Attempt attempt{AttemptPath(output, static_cast<int>(attempts.size()) + 1),
                        std::max(rate, kLeastClipRate), -1, factor};
        ConvertOptions clip = options;
        clip.output.videoBitRate = factor < 0 ? std::llround(attempt.rate) : 0;
        if (factor >= 0)
            clip.output.quality = QualityForAv1Factor(factor);
        clip.output.soundBitRate = soundRate;
        clip.output.pass = twoPass ? pass : 0;
        clip.output.passLog = folder + "/pass";
        ++outcome->fullEncodes;
        if (!ConvertAllFrames(input, attempt.path, clip, error, damage)) {
            Remove(attempt.path);
            return false;
        }
        attempt.bytes = FileBytes(attempt.path);
        attempts.push_back(attempt);
        return attempt.bytes >= 0
               || imaging::Fail(error, imaging::ErrorKind::Unwritable, output,
                                "the converted file went missing");
    };
    auto fits = [&](const Attempt& attempt) { return attempt.bytes >= 0 && attempt.bytes <= maxBytes; };
    auto rateFor = [&](double share, const Attempt* before) {
        const double pictures = budget * share - fixed;
        if (!before)
            return pictures * 8 / plan.seconds;
        const double got = std::max(1.0, static_cast<double>(before->bytes) - fixed);
        return before->rate * pictures / got;
    };
    const bool av1 = IsAv1(options);
    bool ok = true;
    if (av1) {
        Av1Parts parts(input, options);
        int first = 0;
        double beside = 0; // the sound's bytes
        ok = Av1FirstFactor(parts, plan, format, budget, &first, &beside, error) && convert(0, 0, first);
        auto aimed = [&](double share, double ratio) { return (budget * share - beside) / ratio; };
        if (ok && !(fits(attempts[0]) && static_cast<double>(attempts[0].bytes) >= budget * kLowestShare)) {
            // What the whole came to against the parts' curve scales it
            // for the second encode, a step at least the way the budget lies.
            const bool over = !fits(attempts[0]);
            parts.pin(first, static_cast<double>(attempts[0].bytes) - beside);
            const double ratio =
                std::max(1.0, static_cast<double>(attempts[0].bytes) - beside) / parts.expected(first);
            auto expectedBytes = [&](int f) { return parts.expected(f) * ratio + beside; };
            int second = 0;
            ok = parts.factorFor(aimed(kBudgetAim, ratio), Av1PartSets(plan.seconds) / 3, &second, error);
            if (over) {
                second = std::max(second, first + 1);
                while (second < kAv1WorstFactor && expectedBytes(second) > budget * kAfterUnder)
                    ++second;
            } else
                second = std::min(second, first - 1);
            // A second expected over the budget is not tried.
            if (ok && second >= kAv1BestFactor && second <= kAv1WorstFactor
                && (over || expectedBytes(second) <= budget))
                ok = convert(0, 0, second);
            // Both over (rare): well below by the curve, else a bit rate.
            if (ok && std::none_of(attempts.begin(), attempts.end(), fits)) {
                parts.pin(attempts.back().factor,
                          (static_cast<double>(attempts.back().bytes) - beside) / ratio);
                int last = attempts.back().factor + 1;
                while (last < kAv1WorstFactor && expectedBytes(last) > budget * kLastAim)
                    ++last;
                ok = last <= kAv1WorstFactor && attempts.back().factor < kAv1WorstFactor
                         ? convert(0, 0, last)
                         : convert(rateFor(kLastAim, nullptr), 0);
            }
        }
    } else
        ok = convert(rateFor(kBudgetAim, nullptr), 1);
    if (ok && !av1) {
        const Attempt first = attempts[0];
        if (!fits(first) || static_cast<double>(first.bytes) < budget * kLowestShare) {
            // A second pass lands on the rate asked for; a single pass
            // misses by about as much as the first did.
            ok = convert(rateFor(fits(first) ? kAfterUnder - 0.02 : kAfterOver, twoPass ? nullptr : &first),
                         2);
            if (ok && std::none_of(attempts.begin(), attempts.end(), fits))
                ok = convert(rateFor(kLastAim, &attempts.back()), 2);
        }
    }
    if (!ok) {
        cleanUp();
        return false;
    }
    const auto [best, least] = LargestFitAndSmallest(attempts, fits);
    SizeSettings settings;
    const Attempt& told = best ? *best : *least;
    if (told.factor >= 0)
        settings.quality = QualityForAv1Factor(told.factor);
    else
        settings.kilobits = static_cast<int>(std::lround(told.rate / 1000));
    if (!best) {
        cleanUp();
        outcome->smallest = least->bytes;
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, output,
                             "cannot be made to fit in " + DescribeBytes(maxBytes) + " ("
                                 + std::to_string(maxBytes) + " bytes): the smallest it came to was "
                                 + DescribeBytes(least->bytes) + ", at " + DescribeSettings(settings)
                                 + "; nothing was written");
    }
    std::error_code ec;
    std::filesystem::rename(best->path, output, ec);
    if (ec) {
        cleanUp();
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, output, ec.message());
    }
    outcome->settings = settings;
    outcome->bytes = best->bytes;
    cleanUp();
    return true;
}

} // namespace

bool EstimateClip(const std::string& input, const ConvertOptions& options, long long* bytes,
                  imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(input, error, options.cancelled);
    std::int64_t start = 0;
    std::int64_t end = 0;
    if (!reader || !TimelineSpan(input, reader->info(), options.timeline, &start, &end, error))
        return false;
    std::string temporary, folder;
    if (!imaging::TemporaryFolder(&temporary, error)
        || !imaging::MakeTemporaryFolder(temporary, "estimate", &folder, error))
        return false;
    // Up to three parts of a second, at the start, the middle and the end
    // of the span, stand for the whole.
    constexpr double kPart = 1.0;
    // What an MP4's index or a WebM's block headers take for each picture
    // or sound packet.
    const double indexBytesPerPacket = options.output.format == imaging::OutputFormat::Mp4 ? 12 : 6;
    const double span = static_cast<double>(end - start) / 1e6;
    std::vector<double> parts;
    if (span <= 3 * kPart || options.timeline.bounce)
        parts.push_back(static_cast<double>(start) / 1e6);
    else
        for (double at : {0.0, 0.5, 1.0})
            parts.push_back(static_cast<double>(start) / 1e6 + (span - kPart) * at);
    // Each part opens with a key picture, which the whole clip has only at
    // its start (and at cuts, which the parts keep), and has its own
    // headers: both are counted once, the rest of the pictures and the
    // sound for the whole span.
    double spread = 0;
    double once = 0;
    double excess = 0;   // of the parts' key pictures over their others
    double pictures = 0; // in the parts
    bool ok = true;
    for (std::size_t i = 0; ok && i < parts.size(); ++i) {
        ConvertOptions part = options;
        part.progress = {};
        if (parts.size() > 1) {
            part.timeline.start = parts[i];
            part.timeline.end = parts[i] + kPart;
            part.timeline.duration.reset();
        }
        const std::string path = folder + "/part-" + std::to_string(i);
        imaging::ClipBytes measured;
        ok = ConvertAllFrames(input, path, part, error)
             && (imaging::MeasureClipBytes(path, &measured)
                 || imaging::Fail(error, imaging::ErrorKind::Unreadable, path,
                                  "the measured part cannot be read"));
        if (!ok)
            break;
        spread += static_cast<double>(measured.packets - measured.openingExcess);
        excess += static_cast<double>(measured.openingExcess);
        pictures += static_cast<double>(measured.pictureCount);
        if (i == 0) {
            once = static_cast<double>(FileBytes(path) - measured.packets + measured.openingExcess);
            if (parts.size() > 1) // the index's entries for the packets the part leaves out
                once += indexBytesPerPacket * static_cast<double>(measured.packetCount) * (span / kPart - 1);
        }
    }
    imaging::RemoveTemporaryFolder(folder);
    if (!ok)
        return false;
    const double count = static_cast<double>(parts.size());
    // An AV1 clip starts a key picture every kAv1KeyInterval pictures;
    // at a low quality they come to much of it.
    if (parts.size() > 1 && IsAv1(options)) {
        const double keys = std::ceil(pictures * span / (kPart * count) / imaging::kAv1KeyInterval);
        once += (keys - 1) * excess / count;
    }
    *bytes = std::llround(once + (parts.size() > 1 ? spread * span / (kPart * count) : spread));
    return true;
}

bool ClipChoicesWithin(const std::string& input, const ConvertOptions& options,
                       const std::vector<long long>& limits, std::vector<std::optional<SizeSettings>>* firsts,
                       imaging::Error* error)
{
    ClipPlan plan;
    if (!PlanClip(input, options, &plan, error))
        return false;
    firsts->assign(limits.size(), std::nullopt);
    Av1Parts parts(input, options); // measured once for all the limits
    for (std::size_t i = 0; i < limits.size(); ++i) {
        const double budget = static_cast<double>(limits[i]);
        const int soundRate = plan.sound ? SoundRateFor(options.output.format, budget, plan.seconds) : 0;
        const double fixed = soundRate * plan.seconds / 8 + ContainerBytes(plan);
        SizeSettings settings;
        if (IsAv1(options)) {
            int factor = 0;
            double sound = 0;
            if (!Av1FirstFactor(parts, plan, options.output.format, budget, &factor, &sound, error))
                return false;
            settings.quality = QualityForAv1Factor(factor);
            (*firsts)[i] = settings;
        } else if (const double pictures = budget * kBudgetAim - fixed;
                   pictures * 8 / plan.seconds >= kLeastClipRate) {
            settings.kilobits = static_cast<int>(std::lround(pictures * 8 / plan.seconds / 1000));
            (*firsts)[i] = settings;
        }
    }
    return true;
}

bool WriteWebpWithinBudget(const std::string& shown, const std::string& input, const std::string& destination,
                           const ConvertOptions& options, long long maxBytes, imaging::Error* error)
{
    const std::string attempt = AttemptPath(destination, 0);
    if (!RewriteAnimation(shown, attempt, {imaging::OutputFormat::Webp}, options.progress, error)) {
        Remove(attempt);
        return false;
    }
    const long long bytes = FileBytes(attempt);
    if (bytes >= 0 && bytes <= maxBytes) {
        std::error_code ec;
        std::filesystem::rename(attempt, destination, ec);
        Remove(attempt);
        return !ec || imaging::Fail(error, imaging::ErrorKind::Unwritable, destination, ec.message());
    }
    Remove(attempt);
    ConvertOptions webp = options;
    webp.output = {imaging::OutputFormat::Webp};
    BudgetOutcome outcome;
    return ConvertWithinBudget(input, destination, webp, maxBytes, &outcome, error);
}

namespace {

// ConvertWithinBudget, step by step: each attempt is a full conversion
// beside the output; the largest that fits is moved over the output.
class BudgetFit {
public:
    BudgetFit(const std::string& input, const std::string& output, const ConvertOptions& options,
              long long maxBytes, BudgetOutcome* outcome, imaging::Error* error,
              imaging::AnimationDamage* damage)
        : input_(input), output_(output), options_(options), maxBytes_(maxBytes),
          budget_(static_cast<double>(maxBytes)), outcome_(outcome), error_(error), damage_(damage)
    {}
    ~BudgetFit()
    {
        for (const Attempt& attempt : attempts_)
            Remove(attempt.path);
    }
    BudgetFit(const BudgetFit&) = delete;
    BudgetFit& operator=(const BudgetFit&) = delete;

    bool run();

private:
    struct Attempt {
        std::string path;
        SizeSettings settings;
        long long bytes = -1;
        long long expected = 0;
    };

    bool convert(const SizeSettings& settings);
    bool fits(const Attempt& attempt) const { return attempt.bytes <= maxBytes_; }
    bool anyFits() const
    {
        return std::any_of(attempts_.begin(), attempts_.end(), [&](const Attempt& a) { return fits(a); });
    }
    bool firstAttempt(bool* expectedToFit);
    bool correctedAttempt(double aim, double ratio);
    bool lastAttempts(double ratio);
    bool keepLargestFit();

    const std::string& input_;
    const std::string& output_;
    const ConvertOptions& options_;
    const long long maxBytes_;
    const double budget_;
    BudgetOutcome* outcome_;
    imaging::Error* error_;
    imaging::AnimationDamage* damage_;
    SizeEstimator estimator_;
    std::vector<Attempt> attempts_;
};

bool BudgetFit::run()
{
    *outcome_ = BudgetOutcome{};
    if (!CheckOptions(input_, options_, maxBytes_, error_) || !estimator_.open(input_, options_, error_))
        return false;
    bool expectedToFit = false;
    if (!firstAttempt(&expectedToFit))
        return false;
    // A first result that fits near the budget is kept: the settings are
    // the ones the estimate said a budget chooses. One too big is followed
    // by a second conversion aimed low by how far the first was off; one
    // far under, short of the best settings, by a second aimed higher the
    // same way, and the larger that fits is kept.
    const Attempt first = attempts_[0];
    const double ratio = first.expected > 0 ? static_cast<double>(first.bytes) / first.expected : 1.0;
    if (!fits(first) && expectedToFit) {
        if (!correctedAttempt(kAnimationAfterOver, ratio))
            return false;
        if (!anyFits() && !lastAttempts(ratio))
            return false;
    } else if (expectedToFit && static_cast<double>(first.bytes) < budget_ * kAnimationLowestShare
               && first.settings != SizeSettings{estimator_.bestQuality(), 1, 1.0}) {
        // The first result fits: a second that could not be made (a full
        // disk, too little memory) leaves it to be kept. A stop does not.
        if (!correctedAttempt(kAnimationAfterOver, ratio)) {
            if (error_->kind == imaging::ErrorKind::Cancelled)
                return false;
            *error_ = imaging::Error{};
        }
    }
    return keepLargestFit();
}

// The share of the memory left the estimate's frames may hold through a
// conversion.
constexpr double kHeldShare = 0.5;

// A full conversion at settings, beside the output.
bool BudgetFit::convert(const SizeSettings& settings)
{
    Attempt attempt{AttemptPath(output_, static_cast<int>(attempts_.size()) + 1), settings};
    ++outcome_->fullEncodes;
    if (!estimator_.estimate(settings, &attempt.expected, error_))
        return false;
    // Where the sample's frames hold much of the memory left, the
    // conversion gets it (of a 1920 x 1080 GIF, in 600 MB, a conversion
    // found too little left); elsewhere they are kept, for a later search
    // not to read them again.
    const double available = AvailableMemory();
    if (available > 0 && estimator_.heldBytes() > kHeldShare * available)
        estimator_.releaseFrames();
    if (!ConvertAllFrames(input_, attempt.path, estimator_.optionsFor(settings), error_, damage_))
        return false;
    attempt.bytes = FileBytes(attempt.path);
    attempts_.push_back(attempt);
    return attempt.bytes >= 0
           || imaging::Fail(error_, imaging::ErrorKind::Unwritable, output_,
                            "the converted file went missing");
}

// The first conversion at the settings the estimate picks; when even the
// smallest settings are expected not to fit, at those (a quarter of the
// frames at a quarter of the size costs little), so that a refusal says the
// size really reached.
bool BudgetFit::firstAttempt(bool* expectedToFit)
{
    SizeSettings settings;
    long long smallest = 0;
    *expectedToFit = ChooseForBudget(estimator_, maxBytes_, &settings, &smallest, error_);
    if (*error_)
        return false;
    return convert(*expectedToFit ? settings : estimator_.smallestSettings());
}

// A second conversion aimed at aim of the budget, corrected by ratio (what
// the first came to against its estimate).
bool BudgetFit::correctedAttempt(double aim, double ratio)
{
    SizeSettings second;
    long long smallest = 0;
    if (ChooseSettings(estimator_, budget_ * aim / ratio, &second, &smallest, error_))
        return second == attempts_[0].settings || convert(second);
    return !*error_;
}

// Both too big (rare): a conversion aimed well below by the worse of their
// errors, then, should that not fit either, the smallest settings settle
// whether the budget can be met at all.
bool BudgetFit::lastAttempts(double ratio)
{
    double worst = ratio;
    for (const Attempt& attempt : attempts_)
        if (attempt.expected > 0)
            worst = std::max(worst, static_cast<double>(attempt.bytes) / attempt.expected);
    SizeSettings last;
    long long smallest = 0;
    const bool found = ChooseSettings(estimator_, budget_ * kLastAim / worst, &last, &smallest, error_);
    if (*error_)
        return false;
    for (const SizeSettings& settings :
         {found ? last : estimator_.smallestSettings(), estimator_.smallestSettings()}) {
        if (anyFits())
            break;
        if (!(attempts_.back().settings == settings) && !convert(settings))
            return false;
    }
    return true;
}

// The largest attempt within the budget becomes the output; with none, the
// budget is refused with the smallest size reached.
bool BudgetFit::keepLargestFit()
{
    const auto [best, least] =
        LargestFitAndSmallest(attempts_, [this](const Attempt& attempt) { return fits(attempt); });
    if (!best) {
        outcome_->smallest = least->bytes;
        return imaging::Fail(error_, imaging::ErrorKind::TooLarge, output_,
                             "cannot be made to fit in " + DescribeBytes(maxBytes_)
                                 + (maxBytes_ >= 1024 ? " (" + std::to_string(maxBytes_) + " bytes)" : "")
                                 + ": the smallest it came to was " + DescribeBytes(least->bytes) + ", at "
                                 + DescribeSettings(least->settings) + "; nothing was written");
    }
    std::error_code ec;
    std::filesystem::rename(best->path, output_, ec);
    if (ec)
        return imaging::Fail(error_, imaging::ErrorKind::Unwritable, output_, ec.message());
    outcome_->settings = best->settings;
    outcome_->bytes = best->bytes;
    return true;
}

} // namespace

bool ConvertWithinBudget(const std::string& input, const std::string& output, const ConvertOptions& options,
                         long long maxBytes, BudgetOutcome* outcome, imaging::Error* error,
                         imaging::AnimationDamage* damage)
{
    if (imaging::IsVideo(options.output.format)) {
        *outcome = BudgetOutcome{};
        return CheckOptions(input, options, maxBytes, error)
               && ClipWithinBudget(input, output, options, maxBytes, outcome, error, damage);
    }
    return BudgetFit(input, output, options, maxBytes, outcome, error, damage).run();
}

} // namespace qf
