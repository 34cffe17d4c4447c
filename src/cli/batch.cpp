#include "batch.h"

#include "imaging/atomic_file.h"
#include "imaging/errors.h"
#include "imaging/output_paths.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <system_error>

#include <unistd.h>

namespace qf::cli {

namespace fs = std::filesystem;

std::string ExtensionOf(const std::string& path)
{
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

namespace {

// The path as the file system will resolve it, for telling whether two
// names are one file (the file need not exist yet).
std::string Canonical(const std::string& path)
{
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(path, ec);
    return ec ? fs::absolute(path, ec).lexically_normal().string() : canonical.string();
}

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
            if (other.input == "-" || (output != Canonical(other.input) && !imaging::SameFile(job.output, other.input)))
                continue;
            return other.input
                   + (&other == &job ? " would be replaced by its own result"
                                     : " would be replaced by the result of " + job.input)
                   + "; choose another output name, --out-dir or --suffix";
        }
    }
    return {};
}

} // namespace

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

StandardStreams::~StandardStreams()
{
    if (!folder_.empty()) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
}

namespace {

std::string TemporaryFolder()
{
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

bool StandardStreams::readInput(const std::string& input, std::string* path, imaging::Error* error)
{
    *path = input;
    if (input != "-" && !imaging::IsStream(input))
        return true;
    auto copy = std::make_unique<imaging::StreamCopy>();
    const bool standard = input == "-";
    const std::string shown = standard ? std::string(kStandardInput) : input;
    if (!(standard ? copy->capture(STDIN_FILENO, shown, TemporaryFolder(), Interrupted, error)
                   : copy->captureNamed(input, TemporaryFolder(), Interrupted, error)))
        return false;
    *path = copy->path();
    copies_.emplace_back(std::move(copy), shown);
    return true;
}

bool StandardStreams::outputFile(std::string_view extension, std::string* path, imaging::Error* error)
{
    // Named so that a later run removes it should this one be killed.
    if (folder_.empty()
        && !imaging::MakeTemporaryFolder(TemporaryFolder(), "quillframe-streams", &folder_, error))
        return false;
    output_ = (fs::path(folder_) / ("output" + std::string(extension))).string();
    *path = output_;
    return true;
}

bool StandardStreams::sendOutput(const std::string& path, imaging::Error* error)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, std::string(kStandardOutput),
                             "the result is lost (" + imaging::SystemReason(errno) + ")");
    // Written past stdio, so that nothing of a failed write stays buffered
    // to fail (and be reported) once more at exit.
    char buffer[65536];
    std::size_t got = 0;
    int code = 0;
    while (code == 0 && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        for (std::size_t sent = 0; sent < got && code == 0;) {
            const ssize_t put = ::write(STDOUT_FILENO, buffer + sent, got - sent);
            if (put > 0)
                sent += static_cast<std::size_t>(put);
            else if (put < 0 && errno != EINTR)
                code = errno;
        }
    }
    std::fclose(file);
    if (code != 0)
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, std::string(kStandardOutput),
                             imaging::WriteReason(code));
    return true;
}

void StandardStreams::renameInError(imaging::Error& error) const
{
    for (const auto& [copy, shown] : copies_) {
        if (error.file == copy->path())
            error.file = shown;
    }
    if (!output_.empty() && error.file == output_)
        error.file = kStandardOutput;
}

} // namespace qf::cli
