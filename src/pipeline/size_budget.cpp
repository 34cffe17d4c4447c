#include "size_budget.h"

#include "free_memory.h"

#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/frame_bytes.h"
#include "imaging/colour/gif_levels.h"
#include "imaging/files/atomic_file.h"
#include "imaging/video/sound_track.h"
#include "pencil_texture.h"
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
#include <functional>
#include <numeric>
#include <set>
#include <system_error>
#include <unistd.h>

namespace qf {

namespace {

// Within reason: a quarter of the frames, a quarter of the size, sides of
// at least kSmallestSide pixels.
constexpr int kMostFrameStep = 4;
constexpr double kScales[] = {1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.42, 0.35, 0.3, 0.25};
constexpr int kSmallestSide = 16;

// An output is taken when it comes to between these parts of the budget;
// the estimate aims in between.
constexpr double kLowestShare = 0.85;
// What the second conversion aims at after the first came out too big, or
// fitted with room to spare.
constexpr double kAfterOver = 0.92;
constexpr double kAfterUnder = 0.97;
// After two too big: what a last conversion aims at, by the worse of their
// errors.
constexpr double kLastAim = 0.75;

// The sample: the frames that change most from the frame before (a screen
// recording's rare big changes cost most of its bytes), and of the others
// runs from groups of like change (ChooseRuns). A point of a frame counts
// as changed when a channel moved by more than kChangeStep.
constexpr std::size_t kBiggestChanges = 2;
constexpr int kMostChangeGroups = 16;
constexpr int kLongestRun = 6; // frames following the first
// The sample's source frames are kept in at most this many bytes (at the
// conversion's size): past it, shorter runs and fewer groups.
constexpr double kSampleBytes = 96.0 * 1024 * 1024;
constexpr int kChangeStep = 8;

std::string ScratchPath(const std::string& extension)
{
    static std::atomic<int> counter{0};
    const std::string name =
        "qf-size-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + extension;
    return (std::filesystem::temp_directory_path() / name).string();
}

long long FileBytes(const std::string& path)
{
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(path, ec);
    return ec ? -1 : static_cast<long long>(bytes);
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
            changed += static_cast<int>((std::abs(p[0] - q[0]) > kChangeStep) | (std::abs(p[1] - q[1]) > kChangeStep)
                                        | (std::abs(p[2] - q[2]) > kChangeStep));
    }
    return changed;
}

// One run of the sample: two kept frames in a row (one for an animation of
// one frame), encoded as an animation of their own; each frame's bytes
// count weight times.
struct SampleRun {
    std::vector<int> positions; // in the timeline
    std::vector<double> weights;
};

// The runs that sample kept frames 1..change.size()-1 (0-based, each
// following the one before, change[j] how much kept frame j differs from
// j - 1) at frame step step: the first two frames as they are, which also
// gives the first frame and the file's own bytes; the frames of biggest
// change each for itself; and one frame from each group of like change for
// the whole group, the one whose change is nearest the group's mean.
std::vector<SampleRun> ChooseRuns(const std::vector<int>& change, int step, bool transparent,
                                  int mostGroups = kMostChangeGroups, int longest = kLongestRun)
{
    const int kept = static_cast<int>(change.size());
    if (kept == 1)
        return {SampleRun{{0}, {1.0}}};
    std::vector<SampleRun> runs{SampleRun{{0, step}, {1.0, 1.0}}};
    std::vector<int> rest(static_cast<std::size_t>(kept - 2));
    std::iota(rest.begin(), rest.end(), 2);
    // Most change first; like change in timeline order.
    std::stable_sort(rest.begin(), rest.end(), [&](int a, int b) { return change[a] > change[b]; });
    auto add = [&](int j, double weight) { runs.push_back(SampleRun{{(j - 1) * step, j * step}, {0.0, weight}}); };
    // Frames of big change stand alone only when their change stands out
    // (twice the median's): where all frames change alike, the groups
    // serve as well at fewer encodings.
    std::size_t alone = rest.size() <= kBiggestChanges + 2 ? rest.size() : kBiggestChanges;
    if (alone == kBiggestChanges && change[rest[0]] <= 2 * change[rest[rest.size() / 2]])
        alone = 0;
    for (std::size_t i = 0; i < alone; ++i)
        add(rest[i], 1.0);
    // Groups that each hold an equal share of the change, so that the few
    // frames of big change are not weighed like the many of little; the
    // more the change varies, the more groups.
    double total = 0, squares = 0;
    for (std::size_t i = alone; i < rest.size(); ++i) {
        total += change[rest[i]] + 1.0;
        squares += (change[rest[i]] + 1.0) * (change[rest[i]] + 1.0);
    }
    const double others = static_cast<double>(rest.size() - alone);
    const double mean = total / std::max(1.0, others);
    const double spread = others > 0 ? std::sqrt(std::max(0.0, squares / others - mean * mean)) / mean : 0;
    const int groups = std::clamp(static_cast<int>(std::lround(2 + 3 * spread)), 2, mostGroups);
    std::size_t from = alone;
    double sum = 0;
    for (int g = 1; g <= groups && from < rest.size(); ++g) {
        std::size_t to = from;
        while (to < rest.size() && (g == groups || to == from || sum < total * g / groups))
            sum += change[rest[to++]] + 1.0;
        double middle = 0;
        for (std::size_t i = from; i < to; ++i)
            middle += change[rest[i]];
        middle /= static_cast<double>(to - from);
        std::size_t pick = from;
        for (std::size_t i = from; i < to; ++i)
            if (std::abs(change[rest[i]] - middle) < std::abs(change[rest[pick]] - middle))
                pick = i;
        // The frames after the one picked count too, more of them for a big
        // group of varied change, at one encoding more each.
        const int j = rest[pick];
        const double weight = static_cast<double>(to - from);
        SampleRun run{{(j - 1) * step}, {0.0}};
        const int following = std::clamp(static_cast<int>(weight * std::min(spread, 1.0) / 4), 1,
                                         std::min(longest, kept - j));
        for (int i = 0; i < following; ++i) {
            run.positions.push_back((j + i) * step);
            run.weights.push_back(weight / following);
        }
        runs.push_back(std::move(run));
        from = to;
    }
    // Where frames have transparent pixels, a frame is encoded knowing the
    // one after it (what it must clear for that frame): each run goes on
    // with the next kept frame, which counts for nothing.
    for (SampleRun& run : runs)
        if (transparent && run.positions.back() + step < kept * step) {
            run.positions.push_back(run.positions.back() + step);
            run.weights.push_back(0.0);
        }
    return runs;
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
    ConvertOptions options;
    imaging::AnimationInfo info;
    std::vector<TimelineFrame> plan;
    imaging::Size size; // the conversion's own frame size
    // By frame step: the sample's runs.
    std::map<int, std::vector<SampleRun>> runs;
    // The timeline frames the runs take, at the conversion's own size.
    std::map<int, imaging::RgbaImage> frames;
    // Rendered frames by timeline position and scale.
    struct Rendered {
        Picture picture;
        imaging::RgbaImage withAlpha;
        imaging::ImageView view;
    };
    std::map<std::pair<int, double>, Rendered> rendered;
    std::map<std::tuple<int, double, int>, long long> sizes;
    SizeSettings smallest; // the smallest settings within reason

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

    bool cancelled(imaging::Error* error) const
    {
        return options.cancelled && options.cancelled()
               && !imaging::Fail(error, imaging::ErrorKind::Cancelled, input, "cancelled");
    }
    bool readTimeline(const std::function<bool(int source, const imaging::RgbaImage&)>& use,
                      int lastSource, const std::set<int>& wanted, imaging::Error* error);
    bool readSample(int fromStep, int toStep, imaging::Error* error);
    bool render(int step, double scale, imaging::Error* error);
    int guess(const SizeSettings& settings, int low, long long lowBytes, int high, long long highBytes,
              double target, int round, double* predicted = nullptr) const;
    bool encodeRun(const SampleRun& run, double scale, int quality, imaging::FrameBytes* bytes,
                   imaging::Error* error) const;
};

// The quality to try between low (fits) and high (too big) at the frame
// step and scale of settings: where the sizes known at full frame rate and
// size, drawn straight on a logarithmic scale and scaled to meet both ends,
// meet the target. Past the first round at least an eighth of the way in
// from either end, so that the bracket keeps narrowing.
int SizeEstimator::Impl::guess(const SizeSettings& settings, int low, long long lowBytes, int high,
                               long long highBytes, double target, int round, double* predicted) const
{
    std::vector<std::pair<int, double>> known;
    for (auto it = sizes.lower_bound({1, 1.0, 0}); it != sizes.end() && std::get<0>(it->first) == 1
                                                    && std::get<1>(it->first) == 1.0;
         ++it)
        known.emplace_back(std::get<2>(it->first), std::log(static_cast<double>(it->second)));
    const bool reference = !(settings.frameStep == 1 && settings.scale == 1.0) && known.size() >= 2;
    auto curve = [&](int quality) {
        if (!reference)
            return static_cast<double>(quality);
        auto after = std::lower_bound(known.begin(), known.end(), std::make_pair(quality, -1e300));
        if (after == known.end())
            --after;
        if (after == known.begin())
            ++after;
        const auto before = after - 1;
        return before->second
               + (after->second - before->second) * (quality - before->first) / (after->first - before->first);
    };
    const double lowOff = std::log(static_cast<double>(lowBytes)) - curve(low);
    const double highOff = std::log(static_cast<double>(highBytes)) - curve(high);
    const double wanted = std::log(target);
    const int margin = round == 0 ? 1 : std::max(1, (high - low) / 8);
    auto size = [&](int q) {
        return curve(q) + lowOff + (highOff - lowOff) * static_cast<double>(q - low) / (high - low);
    };
    int quality = low + margin;
    for (int q = low + margin; q <= high - margin; ++q)
        if (size(q) <= wanted)
            quality = q;
    quality = std::min(quality, imaging::kLosslessQuality - 1);
    if (predicted)
        *predicted = std::exp(size(quality));
    return quality;
}

SizeEstimator::SizeEstimator() : impl_(std::make_unique<Impl>())
{}

SizeEstimator::~SizeEstimator() = default;

SizeSettings SizeEstimator::smallestSettings() const
{
    return impl_->smallest;
}

int SizeEstimator::frameCount() const
{
    return static_cast<int>(impl_->plan.size());
}

// Reads the source frames wanted (0-based), up to lastSource, in one pass.
bool SizeEstimator::Impl::readTimeline(const std::function<bool(int, const imaging::RgbaImage&)>& use,
                                       int lastSource, const std::set<int>& wanted, imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(input, error, options.cancelled);
    if (!reader)
        return false;
    reader->setFrameSize(size); // a clip's frames come as the conversion reads them
    imaging::RgbaImage frame;
    for (const int source : wanted) {
        if (source > lastSource)
            break;
        imaging::ReadResult result = reader->skipTo(source, error);
        if (result)
            result = reader->readNext(frame, error);
        if (!result)
            return *error ? false
                          : imaging::Fail(error, imaging::ErrorKind::Corrupt, input,
                                          "has fewer frames than it says");
        if (!use(source, frame))
            return false;
    }
    return true;
}

// Reads the timeline, measures how much each kept frame changes at every
// frame step, picks the sample and reads its frames: two passes over the
// source, the frames kept at the conversion's size.
bool SizeEstimator::open(const std::string& input, const ConvertOptions& options, imaging::Error* error)
{
    Impl& d = *impl_;
    d = Impl{};
    if (!CheckOptions(input, options, 0, error))
        return false;
    d.input = input;
    d.options = options;
    {
        const std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(input, error);
        if (!reader)
            return false;
        d.info = reader->info();
    }
    if (!PlanTimeline(input, d.info, options.timeline, &d.plan, error)
        || !RenderSize(input, d.info, static_cast<int>(d.plan.size()), ResizeFor(d.info, options.resize),
                       &d.size, error))
        return false;
    // The reader's canvas, the sample's frames and a worker rendering them,
    // weighed before any is taken.
    if (!CheckMemory(kReaderBytesPerPixel * d.info.width * d.info.height + kSampleBytes
                         + kWorkerBytesPerPixel * d.size.width * d.size.height,
                     AvailableMemory(), input,
                     "estimate the size of frames of " + std::to_string(d.size.width) + " x "
                         + std::to_string(d.size.height) + " pixels",
                     error))
        return false;

    // How much each timeline frame changes from the one step frames before,
    // for every step; forward frames are read in order, keeping the last
    // few, and a bounce's way back changes as the way forward did.
    const int count = static_cast<int>(d.plan.size());
    int forward = 0;
    std::set<int> sources;
    while (forward < count && d.plan[forward].replay < 0)
        sources.insert(d.plan[forward++].source);
    std::vector<std::array<int, kMostFrameStep + 1>> changeAt(static_cast<std::size_t>(count));
    // A short animation whose frames come at the conversion's size (one
    // at its own size, a clip) is kept whole on the first reading, which
    // saves the second.
    const double frameBytes = 4.0 * d.size.width * d.size.height;
    const bool keepAll = static_cast<double>(sources.size()) * frameBytes <= kSampleBytes;
    std::map<int, imaging::RgbaImage> all;
    {
        std::vector<imaging::RgbaImage> recent(kMostFrameStep + 1);
        int position = 0;
        if (!d.readTimeline(
                [&](int source, const imaging::RgbaImage& frame) {
                    // Every second point of the conversion's frame: a source
                    // frame much larger than that is looked at more sparsely.
                    const int stride = 2 * std::max(1, frame.width / std::max(1, d.size.width));
                    for (; position < forward && d.plan[position].source == source; ++position) {
                        for (int step = 1; step <= kMostFrameStep && step <= position; ++step)
                            changeAt[position][step] =
                                ChangeBetween(frame, recent[(position - step) % recent.size()], stride);
                        recent[position % recent.size()] = frame;
                    }
                    if (keepAll && frame.width == d.size.width && frame.height == d.size.height)
                        all[source] = frame;
                    return !d.cancelled(error);
                },
                *sources.rbegin(), sources, error))
            return false;
    }
    for (int position = forward; position < count; ++position)
        for (int step = 1; step <= kMostFrameStep; ++step)
            changeAt[position][step] = changeAt[std::min(d.plan[position].replay + step, forward - 1)][step];

    std::set<int> positions;
    // Past the byte cap, shorter runs and fewer groups: first at the
    // frame steps other than 1 (rarely chosen), then at 1.
    struct Shape {
        int groups = kMostChangeGroups;
        int longest = kLongestRun;
        bool shrink()
        {
            if (longest > 1)
                return --longest, true;
            if (groups > 2)
                return groups = std::max(2, groups / 2), true;
            return false;
        }
    };
    Shape everyFrame, dropping;
    do {
        positions.clear();
        for (int step = 1; step <= kMostFrameStep; ++step) {
            if (step > 1 && d.keptAt(step) < 2)
                break;
            std::vector<int> change(static_cast<std::size_t>(d.keptAt(step)), 0);
            for (int j = 1; j < d.keptAt(step); ++j)
                change[j] = changeAt[j * step][step];
            const Shape& shape = step == 1 ? everyFrame : dropping;
            d.runs[step] = ChooseRuns(change, step, options.keepTransparency, shape.groups, shape.longest);
            for (const SampleRun& run : d.runs[step])
                positions.insert(run.positions.begin(), run.positions.end());
        }
    } while (static_cast<double>(positions.size()) * frameBytes > kSampleBytes
             && (dropping.shrink() || everyFrame.shrink()));
    // The frames of every frame step are read now when the animation was
    // kept whole or is a clip (a pass more costs more than the memory
    // saved) or resized; else those of every frame (what an estimate at the
    // options' own settings needs), the others when first rendered.
    if (keepAll) {
        for (const int position : positions)
            if (const auto found = all.find(d.plan[position].source); found != all.end())
                d.frames[position] = found->second;
        all.clear();
    }
    const bool allNow = d.info.video() || d.info.width != d.size.width || d.info.height != d.size.height;
    if (!d.readSample(1, allNow ? kMostFrameStep : 1, error))
        return false;

    d.smallest = SizeSettings{d.worstQuality(), 1, 1.0};
    for (const double scale : kScales)
        for (int step = 1; step <= kMostFrameStep; ++step)
            if (d.reasonable(step, scale))
                d.smallest = SizeSettings{d.worstQuality(), step, scale};
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

// Reads the source frames of the sample's runs at frame steps fromStep to
// toStep not read yet, at the conversion's size, in one pass.
bool SizeEstimator::Impl::readSample(int fromStep, int toStep, imaging::Error* error)
{
    std::map<int, std::vector<int>> bySource; // the positions each source frame serves
    for (auto it = runs.lower_bound(fromStep); it != runs.end() && it->first <= toStep; ++it)
        for (const SampleRun& run : it->second)
            for (const int position : run.positions)
                if (!frames.count(position))
                    bySource[plan[position].source].push_back(position);
    if (bySource.empty())
        return true;
    std::set<int> wanted;
    for (const auto& [source, at] : bySource)
        wanted.insert(source);
    return readTimeline(
        [&](int source, const imaging::RgbaImage& frame) {
            imaging::RgbaImage resized;
            const imaging::RgbaImage& sized = SizedFrame(frame, size, resized);
            for (const int position : bySource[source])
                frames[position] = sized;
            return !cancelled(error);
        },
        *wanted.rbegin(), wanted, error);
}

// Renders the sample's frames at frame step and scale not rendered yet.
bool SizeEstimator::Impl::render(int step, double scale, imaging::Error* error)
{
    if (!readSample(step, step == 1 ? 1 : kMostFrameStep, error))
        return false;
    std::vector<int> missing;
    for (const SampleRun& run : runs.at(step))
        for (const int position : run.positions)
            if (!rendered.count({position, scale})
                && std::find(missing.begin(), missing.end(), position) == missing.end())
                missing.push_back(position);
    if (missing.empty())
        return true;
    // Frames rendered smaller are kept at one scale only (a search moves
    // from scale to scale and knows the sizes it measured): the sample
    // stays within about twice its cap.
    for (auto it = rendered.begin(); it != rendered.end();)
        it = it->first.second != 1.0 && it->first.second != scale ? rendered.erase(it) : std::next(it);
    const imaging::Size at = sizeAt(scale);
    std::vector<Rendered> made(missing.size());
    tbb::enumerable_thread_specific<EngineState> states;
    auto work = [&] {
        tbb::parallel_for(std::size_t{0}, missing.size(), [&](std::size_t i) {
            EngineState& state = states.local();
            if (state.PencilTexture.empty())
                UseDefaultPencilTexture(state);
            imaging::RgbaImage resized;
            const imaging::RgbaImage& source = SizedFrame(frames.at(missing[i]), at, resized);
            Picture picture;
            ReadFrame(source, picture);
            RenderFrame(state, picture, options.variant, missing[i] + 1, options.switches, made[i].picture);
            if (options.keepTransparency)
                KeepTransparency(made[i].picture, source, made[i].withAlpha);
        });
    };
    if (options.threads > 0) {
        tbb::task_arena arena(options.threads);
        arena.execute(work);
    } else {
        work();
    }
    for (std::size_t i = 0; i < missing.size(); ++i) {
        Rendered& kept = rendered[{missing[i], scale}] = std::move(made[i]);
        kept.view = options.keepTransparency ? imaging::ImageView::of(kept.withAlpha) : ViewOf(kept.picture);
    }
    return !cancelled(error);
}

// The bytes of each frame of a run encoded as an animation of its own.
bool SizeEstimator::Impl::encodeRun(const SampleRun& run, double scale, int quality, imaging::FrameBytes* bytes,
                                    imaging::Error* error) const
{
    const std::string path = ScratchPath(webp() ? ".webp" : ".gif");
    imaging::OutputSettings output = options.output;
    output.quality = quality;
    const std::unique_ptr<imaging::AnimationWriter> writer = imaging::MakeAnimationWriter(output);
    const imaging::Size at = sizeAt(scale);
    bool ok = writer->open(path, at.width, at.height, info.loopCount, error);
    for (std::size_t i = 0; ok && i < run.positions.size(); ++i)
        ok = writer->addFrame(rendered.at({run.positions[i], scale}).view, plan[run.positions[i]].delay, error);
    ok = ok && writer->finish(error) && imaging::MeasureFrameBytes(path, output.format, bytes, error);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return ok;
}

// The file's own bytes and the first frame as the first run shows them,
// plus each sampled frame's bytes as often as its weight says.
bool SizeEstimator::estimate(const SizeSettings& settings, long long* bytes, imaging::Error* error)
{
    Impl& d = *impl_;
    const auto key = std::make_tuple(settings.frameStep, settings.scale, settings.quality);
    if (const auto found = d.sizes.find(key); found != d.sizes.end()) {
        *bytes = found->second;
        return true;
    }
    if (!d.runs.count(settings.frameStep))
        return imaging::Fail(error, imaging::ErrorKind::InvalidArgument, d.input,
                             "keeps too few frames at every " + std::to_string(settings.frameStep) + "th frame");
    if (!d.render(settings.frameStep, settings.scale, error))
        return false;
    const std::vector<SampleRun>& runs = d.runs.at(settings.frameStep);
    std::vector<imaging::FrameBytes> measured(runs.size());
    std::vector<imaging::Error> errors(runs.size());
    auto encode = [&] {
        tbb::parallel_for(std::size_t{0}, runs.size(), [&](std::size_t r) {
            d.encodeRun(runs[r], settings.scale, settings.quality, &measured[r], &errors[r]);
        });
    };
    if (d.options.threads > 0) {
        tbb::task_arena arena(d.options.threads);
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
    double total = static_cast<double>(measured[0].shared);
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (std::size_t i = 0; i < runs[r].weights.size() && i < measured[r].frames.size(); ++i)
            total += runs[r].weights[i] * static_cast<double>(measured[r].frames[i]);
    *bytes = d.sizes[key] = std::llround(total);
    return !d.cancelled(error);
}

bool SizeEstimator::choose(double target, SizeSettings* chosen, long long* smallest, imaging::Error* error,
                           double close, long long* expected)
{
    Impl& d = *impl_;
    *smallest = -1;
    long long scratch = 0;
    if (!expected)
        expected = &scratch;
    long long full = 0;
    if (!estimate(SizeSettings{d.bestQuality(), 1, 1.0}, &full, error))
        return false;
    if (static_cast<double>(full) <= target) {
        *chosen = SizeSettings{d.bestQuality(), 1, 1.0};
        *expected = full;
        return true;
    }
    long long bytes = 0;
    // Dropping all but every k-th frame leaves more than a k-th of the
    // bytes (the frames kept differ more), and a scale s more than about s^2
    // of them: settings that cannot come near the target are not sampled.
    long long worst = 0;
    if (!estimate(SizeSettings{d.worstQuality(), 1, 1.0}, &worst, error))
        return false;
    // How much more than that the settings tried last came to (0 before
    // any): shrinking a picture of few colours can make its file bigger.
    double last = 0;
    for (const double scale : kScales) {
        for (int step = 1; step <= kMostFrameStep; ++step) {
            const double share = scale * scale / step;
            if (!d.reasonable(step, scale)
                || static_cast<double>(worst) * share * std::max(0.8, 0.85 * last) > target)
                continue;
            SizeSettings settings{d.worstQuality(), step, scale};
            // A rough answer encodes one setting away from full frame rate
            // and size and judges the others by how much more than their
            // share that one came to.
            const bool calibrated = last > 0 && (step > 1 || scale < 1.0);
            if (close < kCloseShare && calibrated && !d.sizes.count({step, scale, settings.quality}))
                bytes = std::llround(static_cast<double>(worst) * share * last);
            else if (!estimate(settings, &bytes, error))
                return false;
            else if (step > 1 || scale < 1.0)
                last = static_cast<double>(bytes) / (static_cast<double>(worst) * share);
            if (static_cast<double>(bytes) > target)
                continue;
            // A quality expected to fit, and close to the target (sizes grow
            // with quality), by narrowing a bracket (Impl::guess). A rough
            // answer away from full frame rate and size takes the sizes
            // there to grow with quality as they do at full.
            const bool rough = close < kCloseShare && !(step == 1 && scale == 1.0);
            settings.quality = d.bestQuality();
            long long highBytes = std::llround(static_cast<double>(bytes) * full / worst);
            if (!rough && !estimate(settings, &highBytes, error))
                return false;
            if (static_cast<double>(highBytes) <= target) {
                *chosen = settings;
                *expected = highBytes;
                return true;
            }
            int lowQuality = d.worstQuality(), highQuality = d.bestQuality();
            long long lowBytes = bytes;
            // The bracket narrowed by the sizes already known at these
            // settings (an earlier search, another target).
            for (auto it = d.sizes.lower_bound({step, scale, lowQuality + 1});
                 it != d.sizes.end() && std::get<0>(it->first) == step && std::get<1>(it->first) == scale
                 && std::get<2>(it->first) < highQuality;
                 ++it) {
                if (static_cast<double>(it->second) <= target) {
                    lowQuality = std::get<2>(it->first);
                    lowBytes = it->second;
                } else {
                    highQuality = std::get<2>(it->first);
                    highBytes = it->second;
                    break;
                }
            }
            if (rough) {
                double predicted = 0;
                settings.quality = d.guess(settings, lowQuality, lowBytes, highQuality, highBytes, target, 0, &predicted);
                *chosen = settings;
                *expected = std::llround(predicted);
                return true;
            }
            // A rough answer takes the quality the sizes known point to,
            // after measuring the middle quality when nothing between the
            // ends is known, so that all its targets share one encoding.
            const bool wide = lowQuality == d.worstQuality() && highQuality == d.bestQuality();
            for (int round = 0; highQuality - lowQuality > 1 && static_cast<double>(lowBytes) < target * close
                   && (close >= kCloseShare || (round < 1 && wide));
                 ++round) {
                settings.quality =
                    close >= kCloseShare
                        ? d.guess(settings, lowQuality, lowBytes, highQuality, highBytes, target, round)
                        : (lowQuality + highQuality) / 2;
                if (!estimate(settings, &bytes, error))
                    return false;
                if (static_cast<double>(bytes) <= target) {
                    lowQuality = settings.quality;
                    lowBytes = bytes;
                } else {
                    highQuality = settings.quality;
                    highBytes = bytes;
                }
            }
            *chosen = SizeSettings{lowQuality, step, scale};
            *expected = lowBytes;
            if (highQuality - lowQuality > 1
                && (close < kCloseShare || static_cast<double>(lowBytes) < target * close)) {
                double predicted = 0;
                chosen->quality = d.guess(settings, lowQuality, lowBytes, highQuality, highBytes, target, 0,
                                          &predicted);
                *expected = std::llround(predicted);
            }
            return true;
        }
    }
    return estimate(d.smallest, smallest, error) && false;
}

namespace {

void Remove(const std::string& path)
{
    std::error_code ec;
    if (!path.empty())
        std::filesystem::remove(path, ec);
}

// A name beside output for an attempt, so that the one kept moves over
// output in one step.
std::string AttemptPath(const std::string& output, int attempt)
{
    return output + ".qf-fit-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
}

} // namespace

namespace {

// The least bit rate a clip's pictures are asked to make do with.
constexpr double kLeastClipRate = 8000;

// A clip's length and what its sound costs, for aiming its bit rate.
struct ClipPlan {
    double seconds = 0;
    int frames = 0;
    bool sound = false;
};

bool PlanClip(const std::string& input, const ConvertOptions& options, ClipPlan* plan, imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(input, error, options.cancelled);
    std::vector<TimelineFrame> frames;
    if (!reader || !PlanTimeline(input, reader->info(), options.timeline, &frames, error))
        return false;
    long long hundredths = 0;
    const int step = std::max(1, options.frameStep);
    for (std::size_t i = 0; i < frames.size(); ++i)
        hundredths += frames[i].delay < 2 ? 10 : frames[i].delay; // as the clip shows them
    plan->seconds = static_cast<double>(hundredths) / 100.0;
    plan->frames = static_cast<int>((frames.size() + static_cast<std::size_t>(step) - 1) / static_cast<std::size_t>(step));
    plan->sound = reader->info().video() && options.sound && !options.timeline.bounce && imaging::HasSound(input);
    return true;
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

// An MP4 or WebM within maxBytes. The first encode aims its pictures' bit
// rate at the budget less the sound and the container; a second follows
// when the first came to under 85% of the budget or over it: for H.264 a
// second pass reading the first's statistics at the same aim (x264's
// second pass lands within a few percent of the rate asked, where a single
// pass of a short clip falls well short), for VP9 a single pass with the
// rate corrected by how far the first was off. Only when both are over does
// a third aim well below. The largest that fits is kept.
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
    if (twoPass && !imaging::MakeTemporaryFolder(beside.empty() ? "." : beside.string(), "passes", &folder, error))
        return false;
    struct Attempt {
        std::string path;
        double rate = 0; // the pictures' bits a second asked for
        long long bytes = -1;
    };
    std::vector<Attempt> attempts;
    auto cleanUp = [&] {
        for (const Attempt& attempt : attempts)
            Remove(attempt.path);
        std::error_code ec;
        if (!folder.empty())
            std::filesystem::remove_all(folder, ec);
    };
    auto convert = [&](double rate, int pass) {
        Attempt attempt{AttemptPath(output, static_cast<int>(attempts.size()) + 1), std::max(rate, kLeastClipRate)};
        ConvertOptions clip = options;
        clip.output.videoBitRate = std::llround(attempt.rate);
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
               || imaging::Fail(error, imaging::ErrorKind::Unwritable, output, "the converted file went missing");
    };
    auto fits = [&](const Attempt& attempt) { return attempt.bytes >= 0 && attempt.bytes <= maxBytes; };
    auto rateFor = [&](double share, const Attempt* before) {
        const double pictures = budget * share - fixed;
        if (!before)
            return pictures * 8 / plan.seconds;
        const double got = std::max(1.0, static_cast<double>(before->bytes) - fixed);
        return before->rate * pictures / got;
    };
    bool ok = convert(rateFor(kBudgetAim, nullptr), 1);
    if (ok) {
        const Attempt first = attempts[0];
        if (!fits(first) || static_cast<double>(first.bytes) < budget * kLowestShare) {
            // A second pass lands on the rate asked for; a single pass
            // misses by about as much as the first did.
            ok = convert(rateFor(fits(first) ? kAfterUnder - 0.02 : kAfterOver, twoPass ? nullptr : &first), 2);
            if (ok && std::none_of(attempts.begin(), attempts.end(), fits))
                ok = convert(rateFor(kLastAim, &attempts.back()), 2);
        }
    }
    if (!ok) {
        cleanUp();
        return false;
    }
    const Attempt* best = nullptr;
    const Attempt* least = &attempts[0];
    for (const Attempt& attempt : attempts) {
        if (attempt.bytes < least->bytes)
            least = &attempt;
        if (fits(attempt) && (!best || attempt.bytes > best->bytes))
            best = &attempt;
    }
    SizeSettings settings;
    settings.kilobits = static_cast<int>(std::lround((best ? best : least)->rate / 1000));
    if (!best) {
        cleanUp();
        outcome->smallest = least->bytes;
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, output,
                             "cannot be made to fit in " + DescribeBytes(maxBytes) + " (" + std::to_string(maxBytes)
                                 + " bytes): the smallest it came to was " + DescribeBytes(least->bytes) + ", at "
                                 + DescribeSettings(settings) + "; nothing was written");
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

bool EstimateClip(const std::string& input, const ConvertOptions& options, long long* bytes, imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(input, error, options.cancelled);
    std::int64_t start = 0;
    std::int64_t end = 0;
    if (!reader || !TimelineSpan(input, reader->info(), options.timeline, &start, &end, error))
        return false;
    std::error_code ec;
    std::string folder;
    if (!imaging::MakeTemporaryFolder(std::filesystem::temp_directory_path(ec).string(), "estimate", &folder, error))
        return false;
    // Up to three parts of a second, at the start, the middle and the end
    // of the span, stand for the whole.
    constexpr double kPart = 1.0;
    const double span = static_cast<double>(end - start) / 1e6;
    std::vector<double> parts;
    if (span <= 3 * kPart || options.timeline.bounce)
        parts.push_back(static_cast<double>(start) / 1e6);
    else
        for (double at : {0.0, 0.5, 1.0})
            parts.push_back(static_cast<double>(start) / 1e6 + (span - kPart) * at);
    double sum = 0;
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
        ok = ConvertAllFrames(input, path, part, error);
        sum += static_cast<double>(FileBytes(path));
    }
    std::filesystem::remove_all(folder, ec);
    if (ok)
        *bytes = std::llround(parts.size() > 1 ? sum * span / (kPart * static_cast<double>(parts.size())) : sum);
    return ok;
}

int ClipRateWithin(const std::string& input, const ConvertOptions& options, long long maxBytes,
                   imaging::Error* error)
{
    ClipPlan plan;
    if (!PlanClip(input, options, &plan, error))
        return -1;
    const double budget = static_cast<double>(maxBytes);
    const int soundRate = plan.sound ? SoundRateFor(options.output.format, budget, plan.seconds) : 0;
    const double pictures = budget * kBudgetAim - soundRate * plan.seconds / 8 - ContainerBytes(plan);
    return pictures * 8 / plan.seconds < kLeastClipRate ? 0 : static_cast<int>(pictures * 8 / plan.seconds);
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

std::string DescribeSettings(const SizeSettings& settings)
{
    if (settings.kilobits > 0)
        return std::to_string(settings.kilobits) + " kbit/s";
    std::string text = settings.quality >= imaging::kLosslessQuality
                           ? std::string("lossless")
                           : "quality " + std::to_string(settings.quality);
    if (settings.frameStep > 1)
        text += ", every " + std::to_string(settings.frameStep)
                + (settings.frameStep == 2 ? "nd" : settings.frameStep == 3 ? "rd" : "th") + " frame";
    if (settings.scale < 1.0)
        text += ", " + std::to_string(static_cast<int>(std::lround(settings.scale * 100))) + "% size";
    return text;
}

bool ConvertWithinBudget(const std::string& input, const std::string& output, const ConvertOptions& options,
                         long long maxBytes, BudgetOutcome* outcome, imaging::Error* error,
                         imaging::AnimationDamage* damage)
{
    *outcome = BudgetOutcome{};
    if (!CheckOptions(input, options, maxBytes, error))
        return false;
    if (imaging::IsVideo(options.output.format))
        return ClipWithinBudget(input, output, options, maxBytes, outcome, error, damage);
    SizeEstimator estimator;
    if (!estimator.open(input, options, error))
        return false;
    const double budget = static_cast<double>(maxBytes);

    struct Attempt {
        std::string path;
        SizeSettings settings;
        long long bytes = -1;
        long long expected = 0;
    };
    std::vector<Attempt> attempts;
    auto cleanUp = [&] {
        for (const Attempt& attempt : attempts)
            Remove(attempt.path);
    };
    auto convert = [&](const SizeSettings& settings) {
        Attempt attempt{AttemptPath(output, static_cast<int>(attempts.size()) + 1), settings};
        ++outcome->fullEncodes;
        if (!estimator.estimate(settings, &attempt.expected, error)
            || !ConvertAllFrames(input, attempt.path, estimator.optionsFor(settings), error, damage))
            return false;
        attempt.bytes = FileBytes(attempt.path);
        attempts.push_back(attempt);
        return attempt.bytes >= 0
               || imaging::Fail(error, imaging::ErrorKind::Unwritable, output, "the converted file went missing");
    };
    auto fits = [&](const Attempt& attempt) { return attempt.bytes <= maxBytes; };
    auto landed = [&](const Attempt& attempt) {
        return fits(attempt) && static_cast<double>(attempt.bytes) >= budget * kLowestShare;
    };
    // The first conversion at the settings the estimate picks; when even
    // the smallest settings are expected not to fit, at those (a quarter of
    // the frames at a quarter of the size costs little), so that a refusal
    // says the size really reached.
    SizeSettings settings;
    long long smallest = 0;
    const bool expectedToFit = estimator.choose(budget * kBudgetAim, &settings, &smallest, error);
    if (*error)
        return false;
    if (!convert(expectedToFit ? settings : estimator.smallestSettings())) {
        cleanUp();
        return false;
    }
    // The second aims by how far the first was off: low after an
    // overshoot; after a result that fits, close to the budget, as one
    // that does not fit leaves the first.
    const Attempt first = attempts[0];
    const bool tooBig = !fits(first);
    if (!landed(first) && !(tooBig && !expectedToFit)) {
        const double ratio = first.expected > 0 ? static_cast<double>(first.bytes) / first.expected : 1.0;
        SizeSettings second;
        const double aim = tooBig ? kAfterOver : kAfterUnder;
        if (estimator.choose(budget * aim / ratio, &second, &smallest, error)) {
            if (!(second == first.settings) && !convert(second)) {
                cleanUp();
                return false;
            }
        } else if (*error) {
            cleanUp();
            return false;
        }
        // Both too big (rare): a conversion aimed well below by the worse
        // of their errors, then, should that not fit either, the smallest
        // settings settle whether the budget can be met at all.
        if (std::none_of(attempts.begin(), attempts.end(), fits)) {
            double worst = ratio;
            for (const Attempt& attempt : attempts)
                if (attempt.expected > 0)
                    worst = std::max(worst, static_cast<double>(attempt.bytes) / attempt.expected);
            SizeSettings last;
            const bool found = estimator.choose(budget * kLastAim / worst, &last, &smallest, error);
            if (*error) {
                cleanUp();
                return false;
            }
            for (const SizeSettings& settings : {found ? last : estimator.smallestSettings(),
                                                 estimator.smallestSettings()}) {
                if (std::any_of(attempts.begin(), attempts.end(), fits))
                    break;
                if (!(attempts.back().settings == settings) && !convert(settings)) {
                    cleanUp();
                    return false;
                }
            }
        }
    }
    // The largest attempt within the budget.
    const Attempt* best = nullptr;
    const Attempt* least = &attempts[0];
    for (const Attempt& attempt : attempts) {
        if (attempt.bytes < least->bytes)
            least = &attempt;
        if (fits(attempt) && (!best || attempt.bytes > best->bytes))
            best = &attempt;
    }
    if (!best) {
        cleanUp();
        outcome->smallest = least->bytes;
        return imaging::Fail(error, imaging::ErrorKind::TooLarge, output,
                             "cannot be made to fit in " + DescribeBytes(maxBytes)
                                 + (maxBytes >= 1024 ? " (" + std::to_string(maxBytes) + " bytes)" : "")
                                 + ": the smallest it came to was " + DescribeBytes(least->bytes) + ", at "
                                 + DescribeSettings(least->settings) + "; nothing was written");
    }
    std::error_code ec;
    std::filesystem::rename(best->path, output, ec);
    if (ec) {
        cleanUp();
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, output, ec.message());
    }
    outcome->settings = best->settings;
    outcome->bytes = best->bytes;
    cleanUp();
    return true;
}

} // namespace qf
