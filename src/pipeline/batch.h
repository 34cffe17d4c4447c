// Converting many animations in one go, each with the same settings: the
// frames of all of them share the worker threads, two files at a time, and
// each file's failure is its own (the others go on).
#pragma once

#include "convert.h"
#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "size_budget.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qf {

// One file to convert.
struct BatchJob {
    std::string input;  // the animation read
    std::string output; // the animation written; replaced only by a whole new file
    // When set, output is the result's name in this held folder: it is
    // written and replaced through the folder's descriptor, never by walking
    // the folder's name again (OutputFolder::entry). Errors name
    // outputFolder->path/output.
    std::optional<imaging::OutputFolder> outputFolder;
    OutputFormat format = OutputFormat::Gif;
    bool streamed = false; // bound for a pipe (imaging::OutputSettings::streamed)
    // Also write each rendered frame into this folder (made when the input
    // opens, removed again when the conversion fails and it was made for it;
    // left holding exactly this animation's frames when it succeeds).
    std::optional<std::string> pngFramesDir;
    // When set, pngFramesDir is made inside this held folder under the last
    // part of its name (several inputs' folders in one --png-frames folder).
    std::optional<imaging::OutputFolder> pngFramesParent;
};

// Where a batch stands after a frame of one of its jobs.
struct BatchProgress {
    std::size_t job = 0;      // the job the frame belongs to
    long long jobFrame = 0;   // frames of that job done
    int jobFrames = 0;        // frames that job has
    long long framesDone = 0; // of all jobs
    long long totalFrames = 0;
    int filesDone = 0; // jobs finished, failed or not
    std::size_t fileCount = 0;

    // Of all jobs, 0-100.
    double percent() const
    {
        return totalFrames > 0 ? 100.0 * static_cast<double>(framesDone) / static_cast<double>(totalFrames)
                               : 0.0;
    }
};

// How one job ended. Cancelled jobs name their output, left as it was.
struct JobOutcome {
    bool ran = false;                // false for a job not started before a cancel
    imaging::Error error;            // empty when the job succeeded
    imaging::AnimationDamage damage; // damage in a source whose readable frames were converted
    BudgetOutcome budget;            // with a byte budget: the settings chosen and the size
};

struct BatchOptions {
    // The settings of every job (variant, switches, threads, resize,
    // transparency, WebP quality, cancelled). Its progress, output format,
    // pngFrames and inCurrentArena are set for each job.
    ConvertOptions convert;
    // When above 0, each output is the best-looking that fits in this many
    // bytes (ConvertWithinBudget).
    long long maxBytes = 0;
    // After each frame; false cancels. Called from worker threads, for two
    // jobs at once.
    std::function<bool(const BatchProgress&)> progress;
    // After a job's output is complete, before its outcome is known: hands
    // the output on (the command line copies it to standard output). False
    // with *error fails the job.
    std::function<bool(std::size_t job, imaging::Error*)> deliver;
    // When a job has ended, from the thread that ran it (two at once).
    std::function<void(std::size_t job, const JobOutcome&)> finished;
};

// Converts every job with ConvertAllFrames and returns their outcomes in job
// order. A single job runs on threads of its own; several run two at a time
// in one task arena of convert.threads. Once convert.cancelled answers true,
// no further job starts (its outcome has ran false).
std::vector<JobOutcome> ConvertBatch(const std::vector<BatchJob>& jobs, const BatchOptions& options);

} // namespace qf
