#include "size_estimate.h"

#include "frame_renderer.h"
#include "free_memory.h"
#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
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
#include <functional>
#include <numeric>
#include <set>
#include <system_error>
#include <tuple>
#include <unistd.h>

namespace qf {

namespace {

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
    auto add = [&](int j, double weight) {
        runs.push_back(SampleRun{{(j - 1) * step, j * step}, {0.0, weight}});
    };
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
        const int following =
            std::clamp(static_cast<int>(weight * std::min(spread, 1.0) / 4), 1, std::min(longest, kept - j));
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
    std::map<std::pair<int, double>, RenderedFrame> rendered;
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
    bool readTimeline(const std::function<bool(int source, const imaging::RgbaImage&)>& use, int lastSource,
                      const std::set<int>& wanted, imaging::Error* error);
    bool readSample(int fromStep, int toStep, imaging::Error* error);
    bool render(int step, double scale, imaging::Error* error);
    bool encodeRun(const SampleRun& run, double scale, int quality, imaging::FrameBytes* bytes,
                   imaging::Error* error) const;
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

// Reads the source frames wanted (0-based), up to lastSource, in one pass.
bool SizeEstimator::Impl::readTimeline(const std::function<bool(int, const imaging::RgbaImage&)>& use,
                                       int lastSource, const std::set<int>& wanted, imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(input, error, options.cancelled);
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
    std::vector<RenderedFrame> made(missing.size());
    tbb::enumerable_thread_specific<EngineState> states;
    const FrameLook look{options.variant, options.switches, options.keepTransparency};
    auto work = [&] {
        tbb::parallel_for(std::size_t{0}, missing.size(), [&](std::size_t i) {
            RenderSourceFrame(states.local(), look, frames.at(missing[i]), at, missing[i] + 1, made[i]);
            // Only what is written is kept.
            made[i].resized = {};
            made[i].source = {};
        });
    };
    if (options.threads > 0) {
        tbb::task_arena arena(options.threads);
        arena.execute(work);
    } else {
        work();
    }
    for (std::size_t i = 0; i < missing.size(); ++i)
        rendered[{missing[i], scale}] = std::move(made[i]);
    return !cancelled(error);
}

// The bytes of each frame of a run encoded as an animation of its own.
bool SizeEstimator::Impl::encodeRun(const SampleRun& run, double scale, int quality,
                                    imaging::FrameBytes* bytes, imaging::Error* error) const
{
    const std::string path = ScratchPath(webp() ? ".webp" : ".gif");
    imaging::OutputSettings output = options.output;
    output.quality = quality;
    const std::unique_ptr<imaging::AnimationWriter> writer = imaging::MakeAnimationWriter(output);
    const imaging::Size at = sizeAt(scale);
    bool ok = writer->open(path, at.width, at.height, info.loopCount, error);
    for (std::size_t i = 0; ok && i < run.positions.size(); ++i)
        ok = writer->addFrame(rendered.at({run.positions[i], scale}).picture(),
                              std::min(plan[run.positions[i]].delay, imaging::LongestDelay(output.format)),
                              error);
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
                             "keeps too few frames at every " + std::to_string(settings.frameStep)
                                 + "th frame");
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
