#include "common.h"

#include "engine/variants.h"
#include "imaging/errors.h"
#include "imaging/files/output_paths.h"
#include "imaging/files/temporary_names.h"
#include "pipeline/options.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <system_error>
#include <thread>

#include <semaphore.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::cli {

namespace fs = std::filesystem;

namespace {

std::atomic<bool> interrupted{false};
sem_t stopAsked;

extern "C" void OnInterrupt(int signal)
{
    interrupted.store(true);
    sem_post(&stopAsked);
    // A second Ctrl-C (or kill) is not caught: it ends the program.
    std::signal(signal, SIG_DFL);
}

// The work sees a stop request between rows, frames and files; inside one
// library call on a very large frame (encoding it, rendering it) it may not
// for seconds. Then the program ends here, 40 ms after the request: every
// output is replaced only when complete, so whatever was being written is
// left as it was; temporary files without a name go with the process, and
// those with one are removed first.
void StopWatch()
{
    while (sem_wait(&stopAsked) != 0) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    static const char kMessage[] = "error: interrupted; the files being written were left as they were\n";
    if (::write(STDERR_FILENO, kMessage, sizeof kMessage - 1) < 0) {
        // Nothing more can be said.
    }
    imaging::EndNow(kExitInterrupted);
}

// The path as the file system will resolve it, for telling whether two
// names are one file (the file need not exist yet).
std::string Canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? fs::absolute(path, ec).lexically_normal().string() : canonical.string();
}

// The resize the command line asks for, or a problem with it.
std::string ParseResize(const BatchArgs& args, imaging::ResizeRequest* request)
{
    *request = {};
    if (args.scale) {
        std::string problem;
        const std::optional<double> scale = ReadValue(OptionId::Scale, *args.scale, &problem);
        if (!scale)
            return problem;
        request->scale = *scale;
    }
    if (args.maxSize) {
        static const std::regex pattern("([0-9]{1,5})[xX]([0-9]{1,5})");
        std::smatch match;
        if (!std::regex_match(*args.maxSize, match, pattern) || std::stoi(match[1]) < 1
            || std::stoi(match[2]) < 1)
            return "--max-size must be WIDTHxHEIGHT in pixels, such as 640x480, not '" + *args.maxSize + "'";
        request->maxWidth = std::stoi(match[1]);
        request->maxHeight = std::stoi(match[2]);
    }
    return {};
}

// The worse of two exit codes: an interruption, then the highest.
int Worse(int a, int b)
{
    if (a == kExitInterrupted || b == kExitInterrupted)
        return kExitInterrupted;
    return std::max(a, b);
}

} // namespace

int ExitCodeFor(const imaging::Error& error)
{
    switch (error.kind) {
    case imaging::ErrorKind::None:
        return kExitOk;
    case imaging::ErrorKind::Unreadable:
    case imaging::ErrorKind::NotAnimation:
    case imaging::ErrorKind::Corrupt:
    case imaging::ErrorKind::NoImage:
    case imaging::ErrorKind::TooLarge:
    case imaging::ErrorKind::OutOfMemory:
        return kExitBadInput;
    case imaging::ErrorKind::Unwritable:
        return kExitBadOutput;
    case imaging::ErrorKind::InvalidArgument:
    case imaging::ErrorKind::LibraryFailed:
    case imaging::ErrorKind::Internal:
        return kExitFailed;
    case imaging::ErrorKind::Cancelled:
        return kExitInterrupted;
    }
    return kExitFailed;
}

int Report(const imaging::Error& error)
{
    std::cerr << "error: " << error.message() << "\n";
    return ExitCodeFor(error);
}

int UsageError(const std::string& problem)
{
    std::cerr << "error: " << imaging::Printable(problem)
              << "\nRun 'quillframe-cli --help' for more information.\n";
    return kExitUsage;
}

void WarnOfDamage(const std::string& file, const imaging::AnimationDamage& damage)
{
    if (damage)
        std::cerr << "warning: " << imaging::Printable(file + ": " + damage.message()) << "\n";
}

void Tally::record(int code)
{
    std::lock_guard lock(mutex_);
    worst_ = Worse(worst_, code);
    (code == kExitOk ? done_ : failed_) += 1;
}

int Tally::finish(ProgressBar& bar, const char* verb, std::size_t total, bool quiet)
{
    bar.finish();
    if (total > 1 && (!quiet || failed_ > 0)) {
        std::cerr << verb << " " << done_ << " of " << total << " files";
        if (failed_ > 0)
            std::cerr << "; " << failed_ << " failed";
        if (Interrupted())
            std::cerr << "; interrupted";
        std::cerr << "\n";
    }
    return Interrupted() ? kExitInterrupted : worst_;
}

void InstallInterruptHandler()
{
    // Ctrl-C, a closed terminal and a plain kill stop the work the same way,
    // so no temporary file is left beside an output. A signal the caller
    // chose to ignore (nohup) stays ignored.
    sem_init(&stopAsked, 0, 0);
    std::thread(StopWatch).detach();
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (std::signal(signal, OnInterrupt) == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
    // A file size limit (ulimit -f) fails the write that passes it, which is
    // reported, rather than ending the program without a word.
    std::signal(SIGXFSZ, SIG_IGN);
}

bool Interrupted()
{
    return interrupted.load();
}

std::optional<int> VariantFromText(std::string_view text)
{
    if (!text.empty()
        && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        if (text.size() > 2)
            return std::nullopt;
        const int number = std::stoi(std::string(text));
        return number < kVariantCount ? std::optional<int>(number) : std::nullopt;
    }
    for (int v = 0; v < kVariantCount; ++v) {
        if (VariantSlug(v) == text)
            return v;
    }
    return std::nullopt;
}

std::string VariantSlug(int v)
{
    std::string slug(kVariants[v].name);
    for (char& c : slug)
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return slug;
}

bool HasInputName(const std::string& input, imaging::Error* error)
{
    if (input.empty()) {
        error->kind = imaging::ErrorKind::Unreadable;
        error->file = input;
        error->reason = "the input file name is empty";
    }
    return !input.empty();
}

std::string ExtensionOf(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

namespace {

// What is wrong when an output of jobs is one of the inputs, by name or as
// the same file under another name (a link, a hard link): the result would
// replace its own source, or another input before it is read.
std::string OutputOverInput(const std::vector<Job>& jobs)
{
    for (const Job& job : jobs) {
        if (job.output == "-")
            continue;
        const std::string output = Canonical(job.output);
        for (const Job& other : jobs) {
            // Standard input redirected from a file is read in place: the
            // file it reads is compared, whatever it was named.
            const bool overInput = other.input == "-" ? imaging::SameFile(job.output, kStandardInputFile)
                                                      : output == Canonical(other.input)
                                                            || imaging::SameFile(job.output, other.input);
            if (!overInput)
                continue;
            const std::string shown =
                other.input == "-" ? job.output + ", read as standard input," : other.input;
            return shown
                   + (&other == &job ? " would be replaced by its own result"
                                     : " would be replaced by the result of " + job.input)
                   + "; choose another output name, --out-dir or --suffix";
        }
    }
    return {};
}

} // namespace

std::string FolderOverInput(const std::string& input, const std::string& folder,
                            const std::function<bool(const std::string&)>& writes)
{
    const std::string file = input == "-" ? std::string(kStandardInputFile) : input;
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return {};
    // The name the file has in its folder: for standard input, the one the
    // system gives its descriptor.
    std::error_code ec;
    const fs::path named = input == "-" ? fs::read_symlink(file, ec) : fs::path(input);
    if (ec || !writes(named.filename().string()))
        return {};
    const fs::path parent = named.parent_path().empty() ? fs::path(".") : named.parent_path();
    if (!imaging::SameFile(parent.string(), folder))
        return {};
    return (input == "-" ? named.string() + ", read as standard input," : input)
           + " would be replaced by a file written to " + folder + "; choose another folder";
}

std::string PlanJobs(const BatchArgs& args, std::string_view extension, std::vector<Job>* jobs)
{
    jobs->clear();
    if (!args.outDir) {
        if (args.suffix)
            return "--suffix names the results in --out-dir DIR; give --out-dir too";
        if (args.files.size() < 2)
            return "give IN and OUT, or IN... with --out-dir DIR";
        if (args.files.size() > 2)
            return std::to_string(args.files.size() - 1) + " inputs need --out-dir DIR for their results";
        jobs->push_back({args.files[0], args.files[1]});
        return extension.empty() ? std::string() : OutputOverInput(*jobs);
    }

    const std::string& dir = *args.outDir;
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
        return "--out-dir " + dir + " is a file, not a folder";
    std::map<std::string, std::string> inputOf; // canonical output -> input
    for (const std::string& input : args.files) {
        if (input == "-")
            return "standard input (-) has no name to name a result after; convert it as - OUT";
        std::string name = fs::path(input).stem().string() + args.suffix.value_or("");
        // A result named after the input: a file with the extension, or a folder.
        name = extension.empty() ? imaging::FolderNameFor(name) : name + std::string(extension);
        const std::string output = (fs::path(dir) / name).string();
        const std::string key = Canonical(output);
        const auto [it, added] = inputOf.emplace(key, input);
        if (!added)
            return it->second + " and " + input + " would both be written to " + output
                   + "; use separate runs or rename one";
        jobs->push_back({input, output});
    }
    return extension.empty() ? std::string() : OutputOverInput(*jobs);
}

std::string MakePlan(const BatchArgs& args, std::string_view extension, Plan* plan)
{
    if (std::string problem = ParseResize(args, &plan->resize); !problem.empty())
        return problem;
    if (std::string problem = PlanJobs(args, extension, &plan->jobs); !problem.empty())
        return problem;
    for (const Job& job : plan->jobs) {
        plan->readsStandardInput = plan->readsStandardInput || job.input == "-";
        plan->writesStandardOutput = plan->writesStandardOutput || job.output == "-";
    }
    if (plan->readsStandardInput && isatty(STDIN_FILENO) == 1)
        return "standard input is a terminal; pipe an animation into it (cat IN.gif | quillframe-cli ... - "
               "...)";
    if (plan->writesStandardOutput && isatty(STDOUT_FILENO) == 1)
        return "refusing to write a binary animation to a terminal; redirect standard output to a file or a "
               "pipe";
    return {};
}

} // namespace qf::cli
