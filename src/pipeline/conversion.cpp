#include "conversion.h"

#include "folders.h"
#include "free_memory.h"
#include "imaging/clip_module.h"
#include "imaging/errors.h"
#include "imaging/png/png_io.h"

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <utility>
#include <vector>

namespace qf {

namespace {

constexpr double kWorkerMemoryBudget = 2.0 * 1024 * 1024 * 1024;
// Pictures a video encoder keeps at once: its look-ahead and references,
// and more for each of its threads (x264 takes one and a half a core). Its
// share of a conversion's peak at 1920 x 1080 (x264's slow preset, 3.1 MB
// a picture): 381 MB on one core, 447 MB on two; 100 pictures for any
// number of threads left a conversion killed in 600 MB.
constexpr double kVideoEncoderFrames = 115;
constexpr double kVideoEncoderThreadFrames = 11;

imaging::Error MakeError(imaging::ErrorKind kind, const std::string& file, std::string reason)
{
    imaging::Error error;
    error.kind = kind;
    error.file = file;
    error.reason = std::move(reason);
    return error;
}

imaging::Error OutOfMemory(const std::string& file, int width, int height)
{
    return MakeError(imaging::ErrorKind::OutOfMemory, file,
                     "not enough memory to convert frames of " + std::to_string(width) + " x "
                         + std::to_string(height) + " pixels");
}

} // namespace

std::vector<OutputStep> PlanOutput(const std::vector<TimelineFrame>& plan, int frameStep, int longestDelay)
{
    const std::size_t step = static_cast<std::size_t>(std::max(1, frameStep));
    std::vector<OutputStep> steps;
    for (std::size_t first = 0; first < plan.size(); first += step) {
        const std::size_t end = std::min(plan.size(), first + step);
        long long delay = plan[first].delay;
        if (end - first > 1) {
            delay = 0;
            for (std::size_t i = first; i < end; ++i)
                delay += imaging::PlayedDelay(plan[i].delay);
        }
        // Equal pieces, each of at least half the longest delay.
        const long long pieces = std::max(1LL, (delay + longestDelay - 1) / longestDelay);
        for (long long i = 0; i < pieces; ++i)
            steps.push_back(
                {static_cast<int>(first), static_cast<int>(delay / pieces + (i < delay % pieces ? 1 : 0))});
    }
    return steps;
}

struct Conversion::Frame {
    SourceFrame source;
    RenderedFrame rendered;
    std::unique_ptr<imaging::OutputFrame> output;
};

struct Conversion::Workers {
    tbb::enumerable_thread_specific<EngineState> states;
};

// Frames are reused so that their buffers are allocated once, not once per
// frame (fresh memory costs a page fault per page). At most one frame per
// token in flight is ever taken.
class Conversion::FramePool {
public:
    FramePool(std::size_t count, imaging::AnimationWriter& writer)
    {
        for (std::size_t i = 0; i < count; ++i) {
            owned_.push_back(std::make_unique<Frame>());
            owned_.back()->rendered.keepSource = false; // nothing shows the source
            owned_.back()->output = writer.newFrame();
            free_.push_back(owned_.back().get());
        }
    }
    Frame* take()
    {
        std::lock_guard lock(mutex_);
        if (free_.empty())
            throw std::logic_error("more frames in flight than tokens");
        Frame* frame = free_.back();
        free_.pop_back();
        return frame;
    }
    void give(Frame* frame)
    {
        std::lock_guard lock(mutex_);
        free_.push_back(frame);
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<Frame>> owned_;
    std::vector<Frame*> free_;
};

// The stop flag every stage checks, and the first real failure: once a
// conversion stops, later errors are consequences and are not reported.
class Conversion::RunState {
public:
    bool stopping() const { return stop_.load(std::memory_order_relaxed); }

    void fail(imaging::Error error)
    {
        std::lock_guard lock(mutex_);
        if (!error_)
            error_ = std::move(error);
        stop_.store(true, std::memory_order_relaxed);
    }

    imaging::Error error()
    {
        std::lock_guard lock(mutex_);
        return error_;
    }

private:
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    imaging::Error error_;
};

// Frames resized to the render size, kept by the picture they show
// (SourceFrame::picture), so that frames that show the same picture are
// resized once: a screen recording holding still, a frame repeated to
// hold a long delay, the frame before read again for a still grain.
// Resizing a large frame costs more than rendering it small (a 1920 x 1080
// frame takes about 40 ms to shrink, more than its whole conversion at 640
// x 360). Frames come in order, so only the latest pictures are kept: the
// one read last, and the one before it, which a still grain reads; the rest
// are handed back when no frame uses them, for the next to be resized into.
class Conversion::Resized {
public:
    explicit Resized(imaging::Size size) : size_(size) {}

    std::shared_ptr<const imaging::RgbaImage> get(int picture, const imaging::RgbaImage& source)
    {
        std::shared_ptr<imaging::RgbaImage> image;
        {
            std::lock_guard lock(mutex_);
            if (auto kept = find(picture))
                return kept;
            if (!spare_.empty()) {
                image = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        if (!image)
            image = std::make_shared<imaging::RgbaImage>();
        imaging::Resize(source, size_.width, size_.height, *image);
        std::lock_guard lock(mutex_);
        // Another worker may have resized the same picture meanwhile.
        if (auto kept = find(picture)) {
            spare_.push_back(std::move(image));
            return kept;
        }
        kept_.emplace_back(picture, image);
        if (kept_.size() > kKept) {
            // The earliest picture is the least likely to be shown again.
            const auto earliest = std::min_element(
                kept_.begin(), kept_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
            if (earliest->second.use_count() == 1)
                spare_.push_back(std::move(earliest->second));
            kept_.erase(earliest);
        }
        return image;
    }

private:
    std::shared_ptr<const imaging::RgbaImage> find(int picture) const
    {
        for (const auto& [number, image] : kept_)
            if (number == picture)
                return image;
        return nullptr;
    }

    static constexpr std::size_t kKept = 2;
    imaging::Size size_;
    std::mutex mutex_;
    std::vector<std::pair<int, std::shared_ptr<imaging::RgbaImage>>> kept_;
    std::vector<std::shared_ptr<imaging::RgbaImage>> spare_;
};

Conversion::Conversion(const ConvertOptions& options, std::unique_ptr<imaging::AnimationWriter> writer)
    : options_(options), look_{options.variant, options.switches, options.keepTransparency},
      writer_(std::move(writer)), run_(std::make_unique<RunState>()), workers_(std::make_unique<Workers>())
{}

Conversion::~Conversion()
{
    if (writer_)
        writer_->abort();
}

bool Conversion::open(const std::string& input, const std::string& output, imaging::Error* error)
{
    input_ = input;
    output_ = output;
    if (!CheckOptions(input, options_, 0, error))
        return false;
    reader_ = imaging::OpenAnimation(input, error, options_.cancelled);
    if (!reader_)
        return false;
    damage_ = reader_->damage();
    info_ = reader_->info();
    std::vector<TimelineFrame> plan;
    if (!PlanTimeline(input, info_, options_.timeline, &plan, error))
        return false;
    if (options_.planned)
        options_.planned(static_cast<int>(plan.size()));
    if (!RenderSize(input, info_, static_cast<int>(plan.size()), ResizeFor(info_, options_.resize), &size_,
                    error))
        return false;
    reader_->setFrameSize(size_);
    const double sourceArea = static_cast<double>(info_.width) * info_.height;
    info_.width = size_.width;
    info_.height = size_.height;
    info_.frameCount = static_cast<int>(plan.size());
    steps_ = PlanOutput(plan, options_.frameStep, imaging::LongestDelay(options_.output.format));
    long long hundredths = 0; // as long as the pictures play
    for (const OutputStep& step : steps_)
        hundredths += step.delay;
    source_ = std::make_unique<TimelineSource>(*reader_, std::move(plan), output, size_);
    const bool video = imaging::IsVideo(options_.output.format);
    const int hardware = std::max(1, tbb::info::default_concurrency());
    const double available = AvailableMemory();
    // For very large frames use fewer workers rather than run out of memory
    // (output does not depend on the number of workers); frames that even
    // one worker, with the reader's canvas and the writer's, cannot hold are
    // refused before the writer or a worker takes any.
    const double bytesPerWorker = kWorkerBytesPerPixel * info_.width * info_.height;
    // Frames read at the source's size and resized keep the picture read
    // last, to tell a frame that shows it again.
    const bool resizing = !info_.video() && sourceArea != static_cast<double>(info_.width) * info_.height;
    const double fixedBytes = (kReaderBytesPerPixel + (resizing ? 4.0 : 0.0)) * sourceArea
                              + (options_.output.format == imaging::OutputFormat::Webp
                                     ? kWebpWriterBytesPerPixel * info_.width * info_.height
                                     : 0.0);
    // A video encoder holds its pictures besides; where the memory left
    // cannot hold them with the threads it would take, it runs on one.
    auto encoderBytes = [&](int threads) {
        return video ? (kVideoEncoderFrames + kVideoEncoderThreadFrames * threads) * 1.5 * info_.width
                           * info_.height
                     : 0.0;
    };
    int encoderThreads = 0; // as many as the encoder takes for the cores
    double encoderNeeds = encoderBytes(std::max(1, hardware * 3 / 2));
    if (video && available > 0 && fixedBytes + bytesPerWorker + encoderNeeds > available) {
        encoderThreads = 1;
        encoderNeeds = encoderBytes(1);
    }
    if (!writer_) {
        imaging::OutputSettings settings = options_.output;
        settings.mergeRepeats = settings.mergeRepeats || options_.mergeRepeats || info_.video();
        settings.encoderThreads = encoderThreads;
        writer_ = imaging::MakeAnimationWriter(settings);
    }
    // A clip written as a clip keeps its sound: the same part, at the same
    // speed, as long as the pictures. Played backward it would not match
    // them, so a bounce has none.
    if (video && info_.video() && options_.sound && !options_.timeline.bounce
        && imaging::ClipHasSound(input)) {
        std::int64_t start = 0;
        std::int64_t end = 0;
        if (!TimelineSpan(input, info_, options_.timeline, &start, &end, error))
            return false;
        imaging::SoundPart part;
        part.file = input;
        part.startMicros = info_.clipStart + start;
        part.lengthMicros = end - start;
        part.speed = options_.timeline.speed;
        part.outputMicros = hundredths * 10000;
        part.cancelled = options_.cancelled;
        writer_->setSound(part);
    }

    if (options_.progress && !options_.progress(0.0))
        return imaging::Fail(error, imaging::ErrorKind::Cancelled, output, "cancelled");

    threads_ = options_.threads > 0 ? std::min(options_.threads, kMaxThreads) : hardware;
    if (!CheckMemory(fixedBytes + bytesPerWorker + encoderNeeds, available, input,
                     "convert frames of " + std::to_string(info_.width) + " x " + std::to_string(info_.height)
                         + " pixels",
                     error))
        return false;
    if (!writer_->open(output, info_.width, info_.height, info_.loopCount, error))
        return false;
    // The workers share what the reader and the video encoder leave.
    const double budget = available > 0 ? std::min(kWorkerMemoryBudget, available - fixedBytes - encoderNeeds)
                                        : kWorkerMemoryBudget;
    const int affordable = static_cast<int>(std::max(1.0, budget / bytesPerWorker));
    threads_ = std::min(threads_, affordable);
    if (resizing)
        resized_ = std::make_unique<Resized>(size_);
    return true;
}

bool Conversion::read(SourceFrame& source)
{
    if (run_->stopping() || nextNumber_ > keptFrames())
        return false;
    const OutputStep& step = steps_[static_cast<std::size_t>(nextNumber_ - 1)];
    const bool repeatedNext =
        nextNumber_ < keptFrames() && steps_[static_cast<std::size_t>(nextNumber_)].position == step.position;
    imaging::Error readError;
    try {
        if (step.position == readPosition_) {
            source.decoded = held_;
        } else {
            if (source_->next(source.decoded, &source.delay, &readError).status
                != imaging::ReadStatus::Frame) {
                if (readError)
                    run_->fail(std::move(readError));
                return false;
            }
            // The frames dropped after this one are read past.
            const int dropped =
                std::min(std::max(1, options_.frameStep), info_.frameCount - step.position) - 1;
            for (int skip = 0; skip < dropped; ++skip) {
                int delay = 0;
                if (source_->next(skipped_, &delay, &readError).status != imaging::ReadStatus::Frame) {
                    if (readError)
                        run_->fail(std::move(readError));
                    break;
                }
            }
            readPosition_ = step.position;
        }
        if (repeatedNext)
            held_ = source.decoded;
        source.picture = source.previousPicture = -1;
        if (resized_ && (source.decoded.width != size_.width || source.decoded.height != size_.height)) {
            // The frame before was the picture read last.
            source.previousPicture = picture_;
            if (picture_ < 0 || source.decoded != lastRead_) {
                ++picture_;
                lastRead_ = source.decoded;
            }
            source.picture = picture_;
        }
        if (ReadsPreviousFrame(options_.variant, options_.switches)) {
            // Frames are rendered out of order: each takes the one before along.
            source.previous = lastKept_;
            lastKept_ = source.decoded;
        }
    } catch (const std::bad_alloc&) {
        run_->fail(OutOfMemory(input_, info_.width, info_.height));
        return false;
    }
    source.number = nextNumber_++;
    source.sourceNumber = step.position + 1;
    source.delay = step.delay;
    return true;
}

void Conversion::render(const SourceFrame& source, RenderedFrame& rendered, imaging::OutputFrame& output)
{
    if (run_->stopping())
        return;
    try {
        const imaging::RgbaImage* decoded = &source.decoded;
        const imaging::RgbaImage* previous = source.previous.pixels.empty() ? nullptr : &source.previous;
        std::shared_ptr<const imaging::RgbaImage> sized, previousSized;
        if (source.picture >= 0) {
            sized = resized_->get(source.picture, source.decoded);
            decoded = sized.get();
        }
        if (previous && source.previousPicture >= 0) {
            previousSized = resized_->get(source.previousPicture, source.previous);
            previous = previousSized.get();
        }
        RenderSourceFrame(workers_->states.local(), look_, *decoded, size_, source.sourceNumber, rendered,
                          previous);
        const imaging::ImageView picture = rendered.picture();
        writer_->take(output, picture);
        // The frame pictures are independent files: compressing them here
        // keeps the in-order stages free.
        imaging::Error pngError;
        if (options_.pngFrames
            && !imaging::WritePng(*options_.pngFrames, FramePngName(source.number), picture, &pngError))
            run_->fail(std::move(pngError));
    } catch (const std::bad_alloc&) {
        run_->fail(OutOfMemory(input_, info_.width, info_.height));
    }
}

template <typename Stage>
void Conversion::guard(const Stage& stage)
{
    if (run_->stopping())
        return;
    try {
        imaging::Error error;
        if (!stage(&error))
            run_->fail(std::move(error));
    } catch (const std::bad_alloc&) {
        run_->fail(OutOfMemory(input_, info_.width, info_.height));
    }
}

void Conversion::link(const SourceFrame& source, imaging::OutputFrame& output)
{
    guard([&](imaging::Error* error) { return writer_->link(output, source.delay, error); });
}

void Conversion::prepare(imaging::OutputFrame& output)
{
    guard([&](imaging::Error* error) { return writer_->prepare(output, error); });
}

void Conversion::show(imaging::OutputFrame& output)
{
    guard([&](imaging::Error*) {
        writer_->show(output);
        return true;
    });
}

void Conversion::compress(imaging::OutputFrame& output)
{
    guard([&](imaging::Error* error) { return writer_->compress(output, error); });
}

void Conversion::append(const SourceFrame& source, imaging::OutputFrame& output)
{
    guard([&](imaging::Error* error) {
        int completed = 0;
        if (!writer_->append(output, &completed, error))
            return false;
        // Repeats merged into one frame count as done once they are through.
        completed = std::max(completed, source.number - 1);
        if (completed > reported_) {
            reported_ = completed;
            reportFrameDone(completed);
        }
        return true;
    });
}

// Progress after frame number is written; a progress that asks to stop
// cancels the run.
void Conversion::reportFrameDone(int number)
{
    if (options_.progress
        && !options_.progress(static_cast<double>(number) / static_cast<double>(keptFrames()) * 100.0))
        run_->fail(MakeError(imaging::ErrorKind::Cancelled, output_, "cancelled"));
}

bool Conversion::run(imaging::Error* error)
{
    reader_->setCancelCheck([&] { return run_->stopping() || (options_.cancelled && options_.cancelled()); });
    // Two frames per thread keep every worker busy while the in-order stages
    // catch up, and two more while one of them takes long (the GIF writer
    // choosing a run's colours as it links its first frame); the count
    // bounds the memory whatever the frame count.
    const std::size_t tokens = static_cast<std::size_t>(threads_) * 2 + 2;
    pool_ = std::make_unique<FramePool>(tokens, *writer_);

    try {
        auto convert = [&] {
            using tbb::filter_mode;
            auto stage = [](auto work) {
                return [work](Frame* frame) {
                    work(*frame);
                    return frame;
                };
            };
            auto readFrame = [&](tbb::flow_control& flow) -> Frame* {
                Frame* frame = pool_->take();
                if (read(frame->source))
                    return frame;
                pool_->give(frame);
                flow.stop();
                return nullptr;
            };
            tbb::parallel_pipeline(
                tokens,
                tbb::make_filter<void, Frame*>(filter_mode::serial_in_order, readFrame)
                    & tbb::make_filter<Frame*, Frame*>(filter_mode::parallel, stage([&](Frame& f) {
                                                           render(f.source, f.rendered, *f.output);
                                                       }))
                    & tbb::make_filter<Frame*, Frame*>(filter_mode::serial_in_order,
                                                       stage([&](Frame& f) { link(f.source, *f.output); }))
                    & tbb::make_filter<Frame*, Frame*>(filter_mode::parallel,
                                                       stage([&](Frame& f) { prepare(*f.output); }))
                    & tbb::make_filter<Frame*, Frame*>(filter_mode::serial_in_order,
                                                       stage([&](Frame& f) { show(*f.output); }))
                    & tbb::make_filter<Frame*, Frame*>(filter_mode::parallel,
                                                       stage([&](Frame& f) { compress(*f.output); }))
                    & tbb::make_filter<Frame*, void>(filter_mode::serial_in_order, [&](Frame* frame) {
                          append(frame->source, *frame->output);
                          pool_->give(frame);
                      }));
        };
        if (options_.inCurrentArena) {
            // Only this conversion's tasks while waiting: the caller's other
            // conversions go on on their own threads.
            tbb::this_task_arena::isolate(convert);
        } else {
            const int hardware = std::max(1, tbb::info::default_concurrency());
            std::optional<tbb::global_control> allowMoreThreads;
            if (threads_ > hardware)
                allowMoreThreads.emplace(tbb::global_control::max_allowed_parallelism, threads_);
            tbb::task_arena arena(threads_);
            arena.execute(convert);
        }
    } catch (const std::bad_alloc&) {
        run_->fail(OutOfMemory(input_, info_.width, info_.height));
    } catch (...) {
        // Any other exception is a fault of this program, not of the files.
        run_->fail(imaging::CaughtError(input_));
    }

    damage_ = reader_->damage();
    // No frame read at all: the part asked for lies past where the source
    // is damaged, which is the source's fault and not the output's.
    if (!run_->stopping() && nextNumber_ == 1 && damage_)
        run_->fail(MakeError(imaging::ErrorKind::Corrupt, input_,
                             damage_.message() + "; no frame from the start asked for decodes"));
    // The last frame, encoded when the writer finishes.
    if (!run_->stopping() && options_.progress && !options_.progress(100.0))
        run_->fail(MakeError(imaging::ErrorKind::Cancelled, output_, "cancelled"));
    if (run_->stopping()) {
        writer_->abort();
        if (error)
            *error = run_->error();
        return false;
    }
    return writer_->finish(error);
}

} // namespace qf
