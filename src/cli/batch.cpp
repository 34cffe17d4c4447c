#include "batch.h"

#include "imaging/atomic_file.h"
#include "imaging/errors.h"

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
        return {};
    }

    const std::string& dir = *args.outDir;
    std::error_code ec;
    if (fs::exists(dir, ec) && !fs::is_directory(dir, ec))
        return "--out-dir " + dir + " is a file, not a folder";
    std::map<std::string, std::string> inputOf; // canonical output -> input
    for (const std::string& input : args.files) {
        if (input == "-")
            return "standard input (-) has no name to name a result after; convert it as - OUT";
        const std::string name =
            fs::path(input).stem().string() + args.suffix.value_or("") + std::string(extension);
        const std::string output = (fs::path(dir) / name).string();
        const std::string key = Canonical(output);
        const auto [it, added] = inputOf.emplace(key, input);
        if (!added)
            return it->second + " and " + input + " would both be written to " + output
                   + "; use separate runs or rename one";
        if (!extension.empty() && key == Canonical(input))
            return input + " would be replaced by its own result; choose another --out-dir or a --suffix";
        jobs->push_back({input, output});
    }
    return {};
}

StandardStreams::~StandardStreams()
{
    if (!folder_.empty()) {
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
}

bool StandardStreams::makeFolder(imaging::Error* error)
{
    if (!folder_.empty())
        return true;
    // Named so that a later run removes it should this one be killed.
    const char* tmp = std::getenv("TMPDIR");
    return imaging::MakeTemporaryFolder(tmp && *tmp ? tmp : "/tmp", "quillframe-streams", &folder_, error);
}

bool StandardStreams::captureInput(std::string* path, imaging::Error* error)
{
    if (!makeFolder(error))
        return false;
    input_ = (fs::path(folder_) / "input").string();
    std::FILE* file = std::fopen(input_.c_str(), "wb");
    if (!file)
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, input_,
                             "cannot be created (" + imaging::SystemReason(errno) + ")");
    char buffer[65536];
    std::size_t got = 0;
    bool written = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, stdin)) > 0)
        written = written && std::fwrite(buffer, 1, got, file) == got;
    const bool readFailed = std::ferror(stdin) != 0;
    const int code = errno;
    written = std::fclose(file) == 0 && written;
    if (readFailed)
        return imaging::Fail(error, imaging::ErrorKind::Unreadable, std::string(kStandardInput),
                             "cannot be read (" + imaging::SystemReason(code) + ")");
    if (!written)
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, input_,
                             "cannot hold standard input (" + imaging::SystemReason(code) + ")");
    *path = input_;
    return true;
}

bool StandardStreams::outputFile(std::string_view extension, std::string* path, imaging::Error* error)
{
    if (!makeFolder(error))
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
    char buffer[65536];
    std::size_t got = 0;
    bool sent = true;
    while (sent && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        sent = std::fwrite(buffer, 1, got, stdout) == got;
    std::fclose(file);
    sent = std::fflush(stdout) == 0 && sent;
    if (!sent)
        return imaging::Fail(error, imaging::ErrorKind::Unwritable, std::string(kStandardOutput),
                             "cannot be written (" + imaging::SystemReason(errno) + ")");
    return true;
}

void StandardStreams::renameInError(imaging::Error& error) const
{
    if (!input_.empty() && error.file == input_)
        error.file = kStandardInput;
    else if (!output_.empty() && error.file == output_)
        error.file = kStandardOutput;
}

} // namespace qf::cli
