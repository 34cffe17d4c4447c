#include "size_budget.h"

#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/gif_levels.h"
#include "pencil_texture.h"

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/parallel_for.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <set>
#include <system_error>
#include <unistd.h>

namespace qf {

namespace {

// Frames of the sample: runs of this many consecutive kept frames.
constexpr int kRunLength = 2;
constexpr int kMostRuns = 12;
// Qualities the search tries: multiples of this step, and the lowest.
constexpr int kQualityStep = 5;
// Within reason: a quarter of the frames, a quarter of the size, sides of
// at least kSmallestSide pixels.
constexpr int kMostFrameStep = 4;
constexpr double kScales[] = {1.0, 0.75, 0.5, 0.35, 0.25};
constexpr int kSmallestSide = 16;

// An output is taken when it comes to between these parts of the budget;
// the estimate aims in between.
constexpr double kLowestShare = 0.85;

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

struct SampleFrame {
    Picture rendered;
    imaging::RgbaImage withAlpha;
    imaging::ImageView view;
};

// The rendered sample at one frame step and scale.
struct Sample {
    int width = 0;
    int height = 0;
    int loopCount = -1;
    int kept = 0; // frames the conversion keeps
    std::vector<std::vector<SampleFrame>> runs;
};

// The kept frames (0-based) a sample of kept frames takes, each with its
// run: runs spread evenly, the first one at the first frame. A short
// animation is sampled whole, as one run.
std::vector<std::pair<int, int>> SampledFrames(int kept)
{
    std::vector<std::pair<int, int>> wanted;
    const int runs = std::clamp(kept / 12, 1, kMostRuns);
    if (kept <= runs * kRunLength + 2) {
        for (int k = 0; k < kept; ++k)
            wanted.emplace_back(k, 0);
        return wanted;
    }
    for (int r = 0; r < runs; ++r) {
        const int start = static_cast<int>(static_cast<long long>(kept - kRunLength) * r / runs);
        for (int k = 0; k < kRunLength; ++k)
            wanted.emplace_back(start + k, r);
    }
    return wanted;
}

} // namespace

SizeSettings SettingsOf(const ConvertOptions& options)
{
    SizeSettings settings;
    settings.frameStep = std::max(1, options.frameStep);
    const int quality = options.output.quality;
    if (options.output.format == OutputFormat::Webp)
        settings.quality = quality < 0 ? kLosslessWebp : quality;
    else
        settings.quality = quality < 0 ? imaging::kBestQuality : std::max(1, quality);
    return settings;
}

struct SizeEstimator::Impl {
    std::string input;
    ConvertOptions options;
    imaging::AnimationInfo info;
    imaging::Size size; // the conversion's own frame size
    std::map<std::pair<int, double>, Sample> samples;
    std::map<std::tuple<int, double, int>, long long> sizes;

    bool webp() const { return options.output.format == OutputFormat::Webp; }
    int bestQuality() const { return webp() ? kLosslessWebp : imaging::kBestQuality; }
    int worstQuality() const { return webp() ? 0 : 1; }
    bool reasonable(int step, double scale) const
    {
        return (step == 1 || (info.frameCount + step - 1) / step >= 2)
               && (scale == 1.0
                   || std::min(size.width, size.height) * scale >= static_cast<double>(kSmallestSide));
    }

    imaging::ResizeRequest resizeFor(double scale) const
    {
        imaging::ResizeRequest request = options.resize;
        if (scale < 1.0) {
            request = {};
            request.maxWidth = std::max(1, static_cast<int>(std::lround(size.width * scale)));
            request.maxHeight = std::max(1, static_cast<int>(std::lround(size.height * scale)));
        }
        return request;
    }

    std::map<int, imaging::RgbaImage> decoded; // source frames the samples take, by number
    SizeSettings smallest;                     // the smallest settings within reason

    bool decodeSources(imaging::Error* error);
    bool sample(int step, double scale, const Sample** out, imaging::Error* error);
    bool encodeRun(const Sample& sample, const std::vector<SampleFrame>& frames, std::size_t count,
                   int quality, long long* bytes, imaging::Error* error) const;
};

SizeEstimator::SizeEstimator() : impl_(std::make_unique<Impl>())
{}

SizeEstimator::~SizeEstimator() = default;

SizeSettings SizeEstimator::smallestSettings() const
{
    return impl_->smallest;
}

int SizeEstimator::frameCount() const
{
    return impl_->info.frameCount;
}

bool SizeEstimator::open(const std::string& input, const ConvertOptions& options, imaging::Error* error)
{
    Impl& d = *impl_;
    d.input = input;
    d.options = options;
    d.samples.clear();
    d.sizes.clear();
    d.decoded.clear();
    imaging::AnimationReader reader;
    if (!reader.open(input, error))
        return false;
    d.info = reader.info();
    return RenderSize(input, d.info.width, d.info.height, d.info.work, options.resize, &d.size, error);
}

ConvertOptions SizeEstimator::optionsFor(const SizeSettings& settings) const
{
    ConvertOptions options = impl_->options;
    options.frameStep = settings.frameStep;
    options.resize = impl_->resizeFor(settings.scale);
    options.output.quality = settings.quality >= kLosslessWebp ? -1 : settings.quality;
    return options;
}

// The source frames of the samples at every frame step, decoded in one
// pass.
bool SizeEstimator::Impl::decodeSources(imaging::Error* error)
{
    std::set<int> numbers;
    for (int step = 1; step <= kMostFrameStep; ++step) {
        for (const auto& [kept, run] : SampledFrames((info.frameCount + step - 1) / step))
            numbers.insert(kept * step + 1);
    }
    imaging::AnimationReader reader;
    reader.setCancelCheck(options.cancelled);
    if (!reader.open(input, error))
        return false;
    imaging::RgbaImage frame;
    for (int number = 1; number <= *numbers.rbegin(); ++number) {
        if (reader.readNext(frame, error).status != imaging::ReadStatus::Frame)
            return *error ? false
                          : imaging::Fail(error, imaging::ErrorKind::Corrupt, input,
                                          "has fewer frames than it says");
        if (numbers.count(number))
            decoded[number] = frame;
    }
    return true;
}

// Renders the kept frames the sample takes.
bool SizeEstimator::Impl::sample(int step, double scale, const Sample** out, imaging::Error* error)
{
    const auto key = std::make_pair(step, scale);
    if (const auto found = samples.find(key); found != samples.end()) {
        *out = &found->second;
        return true;
    }
    imaging::Size renderSize;
    if (!RenderSize(input, info.width, info.height, info.work, resizeFor(scale), &renderSize, error))
        return false;

    if (decoded.empty() && !decodeSources(error))
        return false;
    Sample sample;
    sample.width = renderSize.width;
    sample.height = renderSize.height;
    sample.loopCount = info.loopCount;
    sample.kept = (info.frameCount + step - 1) / step;
    const std::vector<std::pair<int, int>> wanted = SampledFrames(sample.kept);
    sample.runs.resize(static_cast<std::size_t>(wanted.back().second + 1));
    std::vector<imaging::RgbaImage> sources(wanted.size());
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        imaging::RgbaImage resized;
        sources[i] = SizedFrame(decoded.at(wanted[i].first * step + 1), renderSize, resized);
    }

    std::vector<SampleFrame> rendered(wanted.size());
    tbb::enumerable_thread_specific<EngineState> states;
    auto render = [&] {
        tbb::parallel_for(std::size_t{0}, wanted.size(), [&](std::size_t i) {
            EngineState& state = states.local();
            if (state.PencilTexture.empty())
                UseDefaultPencilTexture(state);
            Picture source;
            ReadFrame(sources[i], source);
            const int sourceNumber = wanted[i].first * step + 1;
            RenderFrame(state, source, options.variant, sourceNumber, options.switches, rendered[i].rendered);
        });
    };
    if (options.threads > 0) {
        tbb::task_arena arena(options.threads);
        arena.execute(render);
    } else {
        render();
    }
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (options.keepTransparency)
            KeepTransparency(rendered[i].rendered, sources[i], rendered[i].withAlpha);
        sample.runs[static_cast<std::size_t>(wanted[i].second)].push_back(std::move(rendered[i]));
    }
    // The views once the frames have found their place.
    Sample& kept = samples[key] = std::move(sample);
    for (auto& run : kept.runs) {
        for (SampleFrame& frame : run)
            frame.view =
                options.keepTransparency ? imaging::ImageView::of(frame.withAlpha) : ViewOf(frame.rendered);
    }
    *out = &kept;
    return true;
}

// The size of the first count frames of a run encoded as an animation.
bool SizeEstimator::Impl::encodeRun(const Sample& sample, const std::vector<SampleFrame>& frames,
                                    std::size_t count, int quality, long long* bytes,
                                    imaging::Error* error) const
{
    const std::string path = ScratchPath(webp() ? ".webp" : ".gif");
    imaging::OutputSettings output = options.output;
    output.quality = quality >= kLosslessWebp ? -1 : quality;
    const std::unique_ptr<imaging::AnimationWriter> writer = imaging::MakeAnimationWriter(output);
    bool ok = writer->open(path, sample.width, sample.height, sample.loopCount, error);
    for (std::size_t i = 0; ok && i < count; ++i)
        ok = writer->addFrame(frames[i].view, 10, error);
    ok = ok && writer->finish(error);
    *bytes = ok ? FileBytes(path) : -1;
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return ok;
}

// The first frame as the first run shows it alone, plus every other kept
// frame at the mean cost of a frame that follows another in the runs.
bool SizeEstimator::estimate(const SizeSettings& settings, long long* bytes, imaging::Error* error)
{
    Impl& d = *impl_;
    const auto key = std::make_tuple(settings.frameStep, settings.scale, settings.quality);
    if (const auto found = d.sizes.find(key); found != d.sizes.end()) {
        *bytes = found->second;
        return true;
    }
    const Sample* sample = nullptr;
    if (!d.sample(settings.frameStep, settings.scale, &sample, error))
        return false;
    const std::size_t runs = sample->runs.size();
    std::vector<long long> whole(runs, 0), first(runs, 0);
    std::vector<imaging::Error> errors(runs * 2);
    auto encode = [&] {
        tbb::parallel_for(std::size_t{0}, runs * 2, [&](std::size_t job) {
            const std::size_t r = job / 2;
            const auto& run = sample->runs[r];
            if (job % 2 == 0)
                d.encodeRun(*sample, run, run.size(), settings.quality, &whole[r], &errors[job]);
            else if (run.size() > 1)
                d.encodeRun(*sample, run, 1, settings.quality, &first[r], &errors[job]);
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
    long long total = whole[0];
    if (sample->runs[0].size() < static_cast<std::size_t>(sample->kept)) {
        double following = 0;
        for (std::size_t r = 0; r < runs; ++r)
            following +=
                static_cast<double>(whole[r] - first[r]) / static_cast<double>(sample->runs[r].size() - 1);
        following /= static_cast<double>(runs);
        total = first[0] + std::llround(following * (sample->kept - 1));
    }
    d.sizes[key] = total;
    *bytes = total;
    return true;
}

bool SizeEstimator::choose(double target, SizeSettings* chosen, long long* smallest, imaging::Error* error)
{
    Impl& d = *impl_;
    *smallest = -1;
    // Dropping all but every k-th frame leaves more than a k-th of the
    // bytes (the frames kept differ more), and a scale s more than about s^2
    // of them: settings that cannot come near the target are not sampled.
    long long full = 0;
    if (!estimate(SizeSettings{d.bestQuality(), 1, 1.0}, &full, error))
        return false;
    if (static_cast<double>(full) <= target) {
        *chosen = SizeSettings{d.bestQuality(), 1, 1.0};
        return true;
    }
    if (!estimate(SizeSettings{d.worstQuality(), 1, 1.0}, &full, error))
        return false;
    SizeSettings last{d.worstQuality(), 1, 1.0};
    for (const double scale : kScales) {
        for (int step = 1; step <= kMostFrameStep; ++step) {
            if (!d.reasonable(step, scale))
                continue;
            last = SizeSettings{d.worstQuality(), step, scale};
            if (static_cast<double>(full) * scale * scale / step * 0.8 > target)
                continue;
            SizeSettings settings = last;
            long long bytes = 0;
            if (!estimate(settings, &bytes, error))
                return false;
            if (static_cast<double>(bytes) > target)
                continue;
            // The highest quality expected to fit (sizes grow with quality),
            // among the lowest, the multiples of the step and the best.
            const int best = d.bestQuality();
            auto qualityAt = [&](int i) {
                return i == 0 ? d.worstQuality() : std::min(best, i * kQualityStep);
            };
            int low = 0; // fits
            int high = (best + kQualityStep - 1) / kQualityStep + 1;
            while (high - low > 1) {
                const int middle = (low + high) / 2;
                settings.quality = qualityAt(middle);
                if (!estimate(settings, &bytes, error))
                    return false;
                (static_cast<double>(bytes) <= target ? low : high) = middle;
            }
            *chosen = SizeSettings{qualityAt(low), step, scale};
            return true;
        }
    }
    d.smallest = last;
    return estimate(last, smallest, error) && false;
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

std::string DescribeBytes(long long bytes)
{
    char text[32];
    if (bytes >= 1024LL * 1024)
        std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%lld bytes", bytes);
    return text;
}

bool ConvertWithinBudget(const std::string& input, const std::string& output, const ConvertOptions& options,
                         long long maxBytes, BudgetOutcome* outcome, imaging::Error* error,
                         imaging::AnimationDamage* damage)
{
    *outcome = BudgetOutcome{};
    SizeEstimator estimator;
    if (!estimator.open(input, options, error))
        return false;
    const double budget = static_cast<double>(maxBytes);
    // When even the smallest settings are expected not to fit, they are
    // converted (a quarter of the frames at a quarter of the size costs
    // little) so that the size said is the one reached.
    SizeSettings first;
    long long smallest = 0;
    const bool expectedToFit = estimator.choose(budget * kBudgetAim, &first, &smallest, error);
    if (*error)
        return false;
    if (!expectedToFit)
        first = estimator.smallestSettings();
    long long expected = 0;
    if (!estimator.estimate(first, &expected, error))
        return false;

    // Up to two full conversions; the second corrects the estimate by how
    // far the first was off.
    struct Attempt {
        std::string path;
        SizeSettings settings;
        long long bytes = -1;
    };
    std::vector<Attempt> attempts;
    auto convert = [&](const SizeSettings& settings) {
        Attempt attempt{AttemptPath(output, static_cast<int>(attempts.size()) + 1), settings, -1};
        ++outcome->fullEncodes;
        if (!ConvertAllFrames(input, attempt.path, estimator.optionsFor(settings), error, damage))
            return false;
        attempt.bytes = FileBytes(attempt.path);
        attempts.push_back(attempt);
        return true;
    };
    auto cleanUp = [&] {
        for (const Attempt& attempt : attempts)
            Remove(attempt.path);
    };
    if (!convert(first)) {
        cleanUp();
        return false;
    }
    const long long got = attempts[0].bytes;
    const bool fits = got >= 0 && got <= maxBytes;
    if (expectedToFit && !(fits && static_cast<double>(got) >= budget * kLowestShare)) {
        const double correction =
            expected > 0 && got > 0 ? static_cast<double>(got) / static_cast<double>(expected) : 1.0;
        // After an overshoot, aim low: the error may not scale evenly
        // across settings.
        const double aim = fits ? kBudgetAim : kLowestShare;
        SizeSettings second;
        if (estimator.choose(budget * aim / correction, &second, &smallest, error)) {
            if (!(second == first) && !convert(second)) {
                cleanUp();
                return false;
            }
        } else if (*error) {
            cleanUp();
            return false;
        }
    }
    // The largest attempt within the budget.
    const Attempt* best = nullptr;
    long long least = -1;
    for (const Attempt& attempt : attempts) {
        if (attempt.bytes >= 0 && (least < 0 || attempt.bytes < least))
            least = attempt.bytes;
        if (attempt.bytes >= 0 && attempt.bytes <= maxBytes && (!best || attempt.bytes > best->bytes))
            best = &attempt;
    }
    if (!best) {
        cleanUp();
        outcome->smallest = least;
        return imaging::Fail(
            error, imaging::ErrorKind::TooLarge, output,
            "cannot be made to fit in " + DescribeBytes(maxBytes) + " (" + std::to_string(maxBytes)
                + " bytes): the smallest it came to was " + DescribeBytes(least)
                + (expectedToFit ? std::string()
                                 : ", at quality 1 with a quarter of the frames and a quarter of "
                                   "the size")
                + "; nothing was written");
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
