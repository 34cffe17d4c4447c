// What the commands share: the exit code of an error, the interrupt
// signals, reading the command line's values and planning the jobs of many
// inputs.
#pragma once

#include "commands.h"
#include "exit_codes.h"
#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "imaging/resize.h"
#include "progress_bar.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf::cli {

int ExitCodeFor(const imaging::Error& error);

// Prints "error: <message>" and returns the error's exit code.
int Report(const imaging::Error& error);
// Prints the problem with the command line and returns kExitUsage.
int UsageError(const std::string& problem);
// Damage that still leaves frames is no failure: the frames read are used,
// and the user is told.
void WarnOfDamage(const std::string& file, const imaging::AnimationDamage& damage);

// The outcome of a command over its inputs: the worst exit code, the files
// done and those that failed.
class Tally {
public:
    // One input's exit code; from any thread.
    void record(int code);
    // Ends the progress bar, sums up a batch ("converted 3 of 4 files; 1
    // failed", unless quiet and none failed) and returns the exit code.
    int finish(ProgressBar& bar, const char* verb, std::size_t total, bool quiet);

private:
    std::mutex mutex_;
    int worst_ = 0, done_ = 0, failed_ = 0;
};

// Ctrl-C, SIGTERM and SIGHUP ask the running command to stop cleanly; a
// second one ends the program at once.
void InstallInterruptHandler();
bool Interrupted();

// The variant a --variant value names: its number (0-16) or its name from
// the variant table in lower case with hyphens for spaces
// ("pencil-on-paper"). Empty when it names none.
std::optional<int> VariantFromText(std::string_view text);
// The name VariantFromText accepts for variant v.
std::string VariantSlug(int v);

// An empty name on the command line names no file; say so rather than
// report what the system makes of it.
bool HasInputName(const std::string& input, imaging::Error* error);

struct Job {
    std::string input;  // as given; "-" is standard input
    std::string output; // as given or built in --out-dir; "-" is standard output
};

// The jobs of IN OUT, or of IN... with --out-dir DIR, where each output is
// DIR/<input's name without extension><suffix><extension>. Returns an empty
// string, or what is wrong with the command line: a missing or surplus
// file, --suffix without --out-dir, standard input with --out-dir, an
// --out-dir that is a file, two inputs with one output, an input that
// would be replaced by its own result.
std::string PlanJobs(const BatchArgs& args, std::string_view extension, std::vector<Job>* jobs);

// What the file that standard input reads is known by, when it is
// redirected from a file.
inline constexpr const char* kStandardInputFile = "/proc/self/fd/0";

// What is wrong when input (or the file standard input reads, for "-") is
// a file in folder with a name that `writes` says the run writes there:
// it would be replaced before, or while, it is read. "" otherwise.
std::string FolderOverInput(const std::string& input, const std::string& folder,
                            const std::function<bool(const std::string&)>& writes);

// Lower-case extension of path with its dot (".gif"), or "".
std::string ExtensionOf(const std::string& path);

// The plan of a command over its inputs, checked before anything is written.
struct Plan {
    std::vector<Job> jobs;
    imaging::ResizeRequest resize;
    bool readsStandardInput = false;
    bool writesStandardOutput = false;
};

// The plan of args (PlanJobs, the resize, a terminal refused as a stream),
// or what is wrong with the command line.
std::string MakePlan(const BatchArgs& args, std::string_view extension, Plan* plan);

} // namespace qf::cli
