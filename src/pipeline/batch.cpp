#include "batch.h"

#include "folders.h"
#include "free_memory.h"
#include "imaging/animation_reader.h"
#include "imaging/errors.h"
#include "imaging/files/atomic_file.h"
#include "timeline.h"

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <mutex>
#include <system_error>

namespace qf {

namespace {

// The count of an input its conversion tells as it opens.
constexpr int kCountedByConversion = -1;

// Frames each input gives on the timeline, for the progress (0 for one that
// cannot be read: its error comes when it is converted).
std::vector<int> CountFrames(const std::vector<BatchJob>& jobs, const BatchOptions& options)
{
    // One input converted once, without frame files, is counted by its
    // conversion as it opens: opening it here first would make the user
    // wait for a second reading of a clip's packets (tens of milliseconds)
    // before any work.
    if (jobs.size() == 1 && !jobs.front().pngFramesDir && options.maxBytes == 0)
        return {kCountedByConversion};
    const TimelineOptions& timeline = options.convert.timeline;
    std::vector<int> counts;
    for (const BatchJob& job : jobs) {
        const std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(job.input, nullptr);
        std::vector<TimelineFrame> plan;
        const bool planned = reader && PlanTimeline(job.input, reader->info(), timeline, &plan, nullptr);
        counts.push_back(planned ? static_cast<int>(plan.size()) : 0);
    }
    return counts;
}

class Batch {
public:
    Batch(const std::vector<BatchJob>& jobs, const BatchOptions& options)
        : jobs_(jobs), options_(options), frameCounts_(CountFrames(jobs, options)), outcomes_(jobs.size())
    {
        for (const int count : frameCounts_)
            totalFrames_ += std::max(count, 0);
    }

    std::vector<JobOutcome> run()
    {
        if (jobs_.size() == 1) {
            runJob(0, false, true);
        } else if (!jobs_.empty()) {
            runTwoAtATime();
        }
        return std::move(outcomes_);
    }

private:
    bool cancelled() const { return options_.convert.cancelled && options_.convert.cancelled(); }

    // The frames of all inputs share the worker threads: two files are
    // converted at a time, so that one file's serial start and finish
    // (opening, writing the file out) overlap the other's frames.
    void runTwoAtATime()
    {
        const int hardware = std::max(1, tbb::info::default_concurrency());
        const int threads = options_.convert.threads > 0 ? options_.convert.threads : hardware;
        std::optional<tbb::global_control> allowMoreThreads;
        if (threads > hardware)
            allowMoreThreads.emplace(tbb::global_control::max_allowed_parallelism, threads);
        tbb::task_arena arena(threads);
        std::atomic<std::size_t> next{0};
        const std::size_t lanes = std::min<std::size_t>(2, jobs_.size());
        arena.execute([&] {
            tbb::task_group lanesGroup;
            for (std::size_t lane = 0; lane < lanes; ++lane) {
                lanesGroup.run([&] {
                    for (std::size_t i; !cancelled() && (i = next++) < jobs_.size();)
                        if (!runJob(i, true, false)) {
                            const std::lock_guard lock(deferredMutex_);
                            deferred_.push_back(i);
                        }
                });
            }
            lanesGroup.wait();
            // The files refused for want of memory beside another, each
            // alone with all of it.
            std::sort(deferred_.begin(), deferred_.end());
            for (const std::size_t i : deferred_)
                if (!cancelled())
                    runJob(i, true, true);
        });
    }

    // alone: no other file is converted beside this one (the only file, or
    // one left for later). Not alone, false when the file was refused for
    // want of memory: it is left for later (see deferred_).
    bool runJob(std::size_t i, bool inCurrentArena, bool alone)
    {
        const BatchJob& job = jobs_[i];
        int frames = std::max(frameCounts_[i], 0);
        long long shownFrames = 0; // of this job, counted in framesDone_
        ConvertOptions convert = options_.convert;
        if (frameCounts_[i] == kCountedByConversion)
            convert.planned = [&](int planned) {
                frames = planned;
                totalFrames_ = planned;
            };
        convert.output.format = job.format;
        convert.output.streamed = job.streamed;
        convert.inCurrentArena = inCurrentArena;
        convert.pngFrames.reset();
        convert.progress = [&](double percent) {
            BatchProgress at;
            at.job = i;
            at.jobFrame = std::llround(percent * frames / 100.0);
            at.jobFrames = frames;
            at.framesDone = framesDone_ += at.jobFrame - shownFrames;
            shownFrames = at.jobFrame;
            at.totalFrames = totalFrames_;
            at.filesDone = filesDone_.load();
            at.fileCount = jobs_.size();
            return !options_.progress || options_.progress(at);
        };

        const std::string output = job.outputFolder ? job.outputFolder->entry(job.output) : job.output;
        JobOutcome& outcome = outcomes_[i];
        outcome.ran = true;
        imaging::Error& error = outcome.error;
        std::string resolved;
        bool ok = false;
        if (job.input.empty()) {
            // An empty name names no file; say so rather than report what
            // the system makes of it.
            imaging::Fail(&error, imaging::ErrorKind::Unreadable, job.input, "the input file name is empty");
        } else if (imaging::ResolveOutputFile(output, &resolved, &error)) {
            // The frame folder is made only for an input that opens (one
            // that does not is reported by the conversion).
            imaging::OutputFolder framesFolder;
            const bool withFrames = job.pngFramesDir && frames > 0;
            const auto openFrames = [&] {
                const bool opened =
                    job.pngFramesParent ? imaging::OpenOutputFolder(
                        *job.pngFramesParent, std::filesystem::path(*job.pngFramesDir).filename().string(),
                        &framesFolder, &error)
                                        : imaging::OpenOutputFolder(*job.pngFramesDir, &framesFolder, &error);
                if (opened)
                    convert.pngFrames = framesFolder;
                return opened;
            };
            const auto convertOnce = [&] {
                return options_.maxBytes > 0
                           ? ConvertWithinBudget(job.input, output, convert, options_.maxBytes,
                                                 &outcome.budget, &error, &outcome.damage)
                           : ConvertAllFrames(job.input, output, convert, &error, &outcome.damage);
            };
            try {
                const MemoryShare share;
                ok = (!withFrames || openFrames()) && convertOnce()
                     && (!withFrames || RemoveSurplusFrames(framesFolder, frames, &error))
                     && (!options_.deliver || options_.deliver(i, &error));
            } catch (...) {
                // One job's failure is its own: the others go on.
                error = imaging::CaughtError(job.input);
            }
            // A folder made for frames that failed keeps none of them.
            if (!ok)
                imaging::RemoveMadeFolder(framesFolder,
                                          [](const std::string& name) { return FramePngNumber(name) > 0; });
        }
        // What this file's conversion freed goes back to the system: the
        // next file's memory check counts what the heap keeps as taken.
        ReturnFreedMemory();
        if (!ok && !alone && error.kind == imaging::ErrorKind::OutOfMemory) {
            framesDone_ -= shownFrames;
            outcome = JobOutcome{};
            return false;
        }
        framesDone_ += frames - shownFrames;
        ++filesDone_;
        if (error.kind == imaging::ErrorKind::Cancelled) {
            error.file = output;
            error.reason = "interrupted; the file was left as it was";
        }
        if (job.outputFolder && error.file == output)
            error.file = job.outputFolder->shown(job.output);
        if (options_.finished)
            options_.finished(i, outcome);
        return true;
    }

    const std::vector<BatchJob>& jobs_;
    const BatchOptions& options_;
    const std::vector<int> frameCounts_;
    std::vector<JobOutcome> outcomes_;
    long long totalFrames_ = 0;
    // The files converted at once share the memory left (a MemoryShare
    // each): each checks what it needs against its share, so that two
    // starting together do not both count on all of it (a batch of 1920 x
    // 1080 GIFs with a budget in 700 MB was killed by the system). A file
    // refused for want of memory beside another is converted again alone,
    // after the rest.
    std::mutex deferredMutex_;
    std::vector<std::size_t> deferred_;
    std::atomic<long long> framesDone_{0};
    std::atomic<int> filesDone_{0};
};

} // namespace

std::vector<JobOutcome> ConvertBatch(const std::vector<BatchJob>& jobs, const BatchOptions& options)
{
    return Batch(jobs, options).run();
}

} // namespace qf
