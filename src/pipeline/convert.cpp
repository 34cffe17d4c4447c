#include "convert.h"

#include "free_memory.h"
#include "imaging/animation_reader.h"
#include "imaging/gif_reader.h"
#include "imaging/gif_writer.h"
#include "imaging/png_io.h"
#include "pencil_texture.h"
#include "pixel_bridge.h"

#include <oneapi/tbb/enumerable_thread_specific.h>
#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/parallel_pipeline.h>
#include <oneapi/tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>
#include <system_error>
#include <utility>

namespace qf {

void RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                 const Switches& switches, Picture& rendered)
{
    PictureToPlanes(source, state.SourcePlanes);
    state.ComputeEffectLayers(variant, frameNumber, switches);
    state.RenderVariant(variant, switches);
    rendered.reset(source.width(), source.height());
    PlanesToPicture(state.SourcePlanes, rendered);
}

std::string FramePngPath(const std::string& dir, int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04d.png", number);
    return (std::filesystem::path(dir) / name).string();
}

namespace {

// One frame on its way through the conversion. number is 1-based. The slot
// of frame n carries the encoding of frame n - 1, whose successor is then
// known.
struct FrameSlot {
    int number = 0;
    int delay = 0; // hundredths of a second
    imaging::RgbaImage decoded;
    imaging::RgbaImage resized; // decoded at the render size, when it differs
    Picture source;
    Picture rendered;
    imaging::RgbaImage withAlpha; // rendered with the source's transparency
    imaging::ImageView output;    // what is written: rendered or withAlpha
    std::shared_ptr<imaging::PackedFrame> packed;
    std::optional<imaging::FrameJob> job;
    imaging::EncodedFrame encoded;
    bool encodedReady = false; // encoded holds the frame to append
};

// Packed frames outlive their slot: a frame is the previous one of the next
// frame's encoding. They are recycled rather than allocated for every frame.
class PackedFramePool {
public:
    std::shared_ptr<imaging::PackedFrame> take()
    {
        std::unique_ptr<imaging::PackedFrame> frame;
        {
            std::lock_guard lock(state_->mutex);
            if (!state_->free.empty()) {
                frame = std::move(state_->free.back());
                state_->free.pop_back();
            }
        }
        if (!frame)
            frame = std::make_unique<imaging::PackedFrame>();
        return {frame.release(), [state = state_](imaging::PackedFrame* released) {
                    std::lock_guard lock(state->mutex);
                    state->free.emplace_back(released);
                }};
    }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::unique_ptr<imaging::PackedFrame>> free;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

// Slots are reused so that the frame buffers are allocated once per slot,
// not once per frame (fresh memory costs a page fault per page). At most one
// slot per token in flight is ever taken.
class SlotPool {
public:
    explicit SlotPool(std::size_t count)
    {
        for (std::size_t i = 0; i < count; ++i) {
            owned_.push_back(std::make_unique<FrameSlot>());
            free_.push_back(owned_.back().get());
        }
    }
    FrameSlot* take()
    {
        std::lock_guard lock(mutex_);
        if (free_.empty())
            throw std::logic_error("more frames in flight than tokens");
        FrameSlot* slot = free_.back();
        free_.pop_back();
        return slot;
    }
    void give(FrameSlot* slot)
    {
        std::lock_guard lock(mutex_);
        free_.push_back(slot);
    }

private:
    std::mutex mutex_;
    std::vector<std::unique_ptr<FrameSlot>> owned_;
    std::vector<FrameSlot*> free_;
};

// The stop flag every stage checks, and the first real failure: once a
// conversion stops, later errors are consequences and are not reported.
class RunState {
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

constexpr double kWorkerMemoryBudget = 2.0 * 1024 * 1024 * 1024;
constexpr int kMaxThreads = 256;

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

bool ConvertAllFrames(const std::string& input, const std::string& output, const ConvertOptions& options,
                      imaging::Error* error, imaging::AnimationDamage* damage)
{
    imaging::Error localError;
    imaging::Error& err = error ? *error : localError;
    err = {};

    if (options.pngFramesDir) {
        std::error_code ec;
        if (!std::filesystem::is_directory(*options.pngFramesDir, ec)) {
            err = MakeError(imaging::ErrorKind::Unwritable, *options.pngFramesDir, "no such folder");
            return false;
        }
    }

    imaging::AnimationReader reader;
    reader.setCancelCheck(options.cancelled);
    if (!reader.open(input, &err))
        return false;
    if (damage)
        *damage = reader.damage();
    imaging::AnimationInfo info = reader.info();
    std::vector<TimelineFrame> plan;
    if (!PlanTimeline(input, info, options.timeline, &plan, &err))
        return false;
    const int frameCount = static_cast<int>(plan.size());
    imaging::ResizeRequest resize = options.resize;
    if (info.video() && !resize.any())
        resize.maxWidth = resize.maxHeight = kDefaultVideoMaxSide;
    imaging::Size size;
    if (!RenderSize(input, info.width, info.height, info.work, resize, &size, &err))
        return false;
    TimelineSource source(reader, std::move(plan), output, size);
    const bool mergeRepeats = options.mergeRepeats || info.video();
    info.width = size.width;
    info.height = size.height;

    if (options.progress && !options.progress(0.0)) {
        err = MakeError(imaging::ErrorKind::Cancelled, output, "cancelled");
        return false;
    }

    // A GIF is encoded on the workers; libwebp's animation encoder takes the
    // frames in order.
    const bool webp = options.format == OutputFormat::Webp;
    imaging::GifAnimationWriter writer;
    imaging::WebpWriter webpWriter;
    if (webp ? !webpWriter.open(output, info.width, info.height, info.loopCount, options.webp, &err)
             : !writer.open(output, info.width, info.height, info.loopCount, &err))
        return false;

    const int hardware = std::max(1, tbb::info::default_concurrency());
    int threads = options.threads > 0 ? std::min(options.threads, kMaxThreads) : hardware;
    // Each worker holds an engine state (about 48 bytes a pixel of work planes),
    // a frame encoder with the colour quantiser's work space (about 28) and two
    // frames in flight (16 bytes a pixel each): for very large frames use fewer
    // workers rather than run out of memory. Output does not depend on the
    // number of workers.
    const double bytesPerWorker = 112.0 * info.width * info.height;
    // Frames that even one worker cannot hold in the memory there is are
    // refused before any work: once the planes are touched, running out of
    // memory ends the program instead of reporting an error.
    const double available = AvailableMemory();
    if (available > 0 && bytesPerWorker > available) {
        err = MakeError(imaging::ErrorKind::OutOfMemory, input,
                        "needs about " + std::to_string(static_cast<long long>(bytesPerWorker / 1048576))
                            + " MB of memory to convert frames of " + std::to_string(info.width) + " x "
                            + std::to_string(info.height) + " pixels; about "
                            + std::to_string(static_cast<long long>(available / 1048576)) + " MB are free");
        return false;
    }
    const double budget = available > 0 ? std::min(kWorkerMemoryBudget, available) : kWorkerMemoryBudget;
    const int affordable = static_cast<int>(std::max(1.0, budget / bytesPerWorker));
    threads = std::min(threads, affordable);
    // Two frames per thread keep every worker busy while the in-order stages
    // catch up, and bound the memory whatever the frame count.
    const std::size_t tokens = static_cast<std::size_t>(threads) * 2;

    RunState run;
    reader.setCancelCheck([&] { return run.stopping() || (options.cancelled && options.cancelled()); });
    SlotPool pool(tokens);
    PackedFramePool packedPool;
    tbb::enumerable_thread_specific<EngineState> states;
    tbb::enumerable_thread_specific<imaging::FrameEncoder> encoders;
    int nextNumber = 1;

    auto readStage = [&](tbb::flow_control& flow) -> FrameSlot* {
        if (run.stopping()) {
            flow.stop();
            return nullptr;
        }
        FrameSlot* slot = pool.take();
        imaging::Error readError;
        bool ok = false;
        try {
            ok = source.next(slot->decoded, &slot->delay, &readError).status == imaging::ReadStatus::Frame;
        } catch (const std::bad_alloc&) {
            readError = OutOfMemory(input, info.width, info.height);
        }
        if (!ok) {
            if (readError)
                run.fail(std::move(readError));
            pool.give(slot);
            flow.stop();
            return nullptr;
        }
        slot->number = nextNumber++;
        return slot;
    };

    auto renderStage = [&](FrameSlot* slot) -> FrameSlot* {
        if (run.stopping())
            return slot;
        try {
            EngineState& state = states.local();
            if (state.PencilTexture.empty())
                UseDefaultPencilTexture(state);
            const imaging::RgbaImage& frame = SizedFrame(slot->decoded, size, slot->resized);
            ReadFrame(frame, slot->source);
            RenderFrame(state, slot->source, options.variant, slot->number, options.switches, slot->rendered);
            slot->output = ViewOf(slot->rendered);
            if (options.keepTransparency) {
                KeepTransparency(slot->rendered, frame, slot->withAlpha);
                slot->output = imaging::ImageView::of(slot->withAlpha);
            }
            if (!webp) {
                slot->packed = packedPool.take();
                slot->packed->pack(slot->output);
            }
            // The frame pictures are independent files: compressing them here
            // keeps the in-order stages free.
            imaging::Error pngError;
            if (options.pngFramesDir
                && !imaging::WritePng(FramePngPath(*options.pngFramesDir, slot->number), slot->output,
                                      &pngError))
                run.fail(std::move(pngError));
        } catch (const std::bad_alloc&) {
            run.fail(OutOfMemory(input, info.width, info.height));
        } catch (const std::exception& e) {
            run.fail(
                MakeError(imaging::ErrorKind::Corrupt, input,
                          "frame " + std::to_string(slot->number) + " cannot be converted: " + e.what()));
        }
        return slot;
    };

    // Progress after frame number is written; a progress that asks to stop
    // cancels the run.
    auto reportFrameDone = [&](int number) {
        if (options.progress
            && !options.progress(static_cast<double>(number) / static_cast<double>(frameCount) * 100.0))
            run.fail(MakeError(imaging::ErrorKind::Cancelled, output, "cancelled"));
    };

    // A frame that repeats the one before is held back until a different one
    // comes, and then joins the animation with the delays of all its repeats.
    std::shared_ptr<imaging::PackedFrame> held;
    int heldDelay = 0;
    const auto sameFrame = [](const imaging::PackedFrame& a, const imaging::PackedFrame& b) {
        return a.width == b.width && a.height == b.height && a.pixels == b.pixels;
    };

    // In order: the frame joins the animation (the global colour table's
    // bookkeeping), which gives the previous frame everything its encoding
    // depends on.
    auto linkStage = [&](FrameSlot* slot) -> FrameSlot* {
        slot->job.reset();
        slot->encodedReady = false;
        if (!run.stopping()) {
            imaging::Error linkError;
            if (webp) {
                if (!webpWriter.addFrame(slot->output, slot->delay, &linkError))
                    run.fail(std::move(linkError));
                else
                    reportFrameDone(slot->number);
            } else if (!mergeRepeats) {
                if (!writer.link(std::move(slot->packed), slot->delay, &slot->job, &linkError))
                    run.fail(std::move(linkError));
            } else if (held && sameFrame(*held, *slot->packed)) {
                heldDelay += slot->delay;
            } else {
                if (held && !writer.link(std::move(held), heldDelay, &slot->job, &linkError))
                    run.fail(std::move(linkError));
                held = std::move(slot->packed);
                heldDelay = slot->delay;
            }
        }
        slot->packed.reset();
        return slot;
    };

    // Runs work on the slot's encoding job unless the run is stopping; a job
    // step that fails names the output, running out of memory the input.
    auto onJob = [&](FrameSlot* slot, const auto& work) {
        if (run.stopping() || !slot->job)
            return;
        try {
            std::string reason;
            if (!work(*slot->job, &reason))
                run.fail(MakeError(imaging::ErrorKind::LibraryFailed, output, reason));
        } catch (const std::bad_alloc&) {
            run.fail(OutOfMemory(input, info.width, info.height));
        }
    };

    // The colour reduction, which depends only on rendered frames.
    auto prepareStage = [&](FrameSlot* slot) -> FrameSlot* {
        onJob(slot, [&](imaging::FrameJob& job, std::string* reason) {
            return encoders.local().prepare(job, reason);
        });
        return slot;
    };

    // In order: what a decoder shows before the frame, a copy.
    auto showStage = [&](FrameSlot* slot) -> FrameSlot* {
        onJob(slot, [&](imaging::FrameJob& job, std::string*) {
            writer.show(job);
            return true;
        });
        return slot;
    };

    auto encodeStage = [&](FrameSlot* slot) -> FrameSlot* {
        onJob(slot, [&](imaging::FrameJob& job, std::string* reason) {
            slot->encodedReady = encoders.local().encode(job, slot->encoded, reason);
            return slot->encodedReady;
        });
        slot->job.reset();
        return slot;
    };

    // In order: appends the finished bytes.
    auto writeStage = [&](FrameSlot* slot) {
        if (!run.stopping() && !webp && slot->number > 1) {
            imaging::Error writeError;
            if (slot->encodedReady && !writer.append(slot->encoded, &writeError))
                run.fail(std::move(writeError));
            else
                reportFrameDone(slot->number - 1);
        }
        pool.give(slot);
    };

    try {
        auto convert = [&] {
            tbb::parallel_pipeline(
                tokens,
                tbb::make_filter<void, FrameSlot*>(tbb::filter_mode::serial_in_order, readStage)
                    & tbb::make_filter<FrameSlot*, FrameSlot*>(tbb::filter_mode::parallel, renderStage)
                    & tbb::make_filter<FrameSlot*, FrameSlot*>(tbb::filter_mode::serial_in_order, linkStage)
                    & tbb::make_filter<FrameSlot*, FrameSlot*>(tbb::filter_mode::parallel, prepareStage)
                    & tbb::make_filter<FrameSlot*, FrameSlot*>(tbb::filter_mode::serial_in_order, showStage)
                    & tbb::make_filter<FrameSlot*, FrameSlot*>(tbb::filter_mode::parallel, encodeStage)
                    & tbb::make_filter<FrameSlot*, void>(tbb::filter_mode::serial_in_order, writeStage));
        };
        if (options.inCurrentArena) {
            // Only this conversion's tasks while waiting: the caller's other
            // conversions go on on their own threads.
            tbb::this_task_arena::isolate(convert);
        } else {
            std::optional<tbb::global_control> allowMoreThreads;
            if (threads > hardware)
                allowMoreThreads.emplace(tbb::global_control::max_allowed_parallelism, threads);
            tbb::task_arena arena(threads);
            arena.execute(convert);
        }
    } catch (const std::bad_alloc&) {
        run.fail(OutOfMemory(input, info.width, info.height));
    } catch (const std::exception& e) {
        run.fail(MakeError(imaging::ErrorKind::Unwritable, output, e.what()));
    }

    // The frame held back for its repeats joins the animation, which gives
    // the one before it all its encoding needs; the writer encodes the last.
    if (held && !run.stopping()) {
        FrameSlot* slot = pool.take();
        slot->number = frameCount + 1;
        slot->job.reset();
        slot->encodedReady = false;
        imaging::Error linkError;
        try {
            if (!writer.link(std::move(held), heldDelay, &slot->job, &linkError))
                run.fail(std::move(linkError));
            writeStage(encodeStage(showStage(prepareStage(slot))));
        } catch (const std::bad_alloc&) {
            run.fail(OutOfMemory(input, info.width, info.height));
        }
    }
    if (damage)
        *damage = reader.damage();
    // The last frame, encoded when the writer finishes.
    if (!run.stopping() && options.progress && !options.progress(100.0))
        run.fail(MakeError(imaging::ErrorKind::Cancelled, output, "cancelled"));
    if (run.stopping()) {
        writer.abort();
        webpWriter.abort();
        err = run.error();
        return false;
    }
    return webp ? webpWriter.finish(&err) : writer.finish(&err);
}

} // namespace qf
