#include "standard_streams.h"

#include "common.h"

#include "imaging/errors.h"
#include "imaging/files/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace qf::cli {

namespace fs = std::filesystem;

StandardStreams::~StandardStreams()
{
    if (!folder_.empty())
        imaging::RemoveTemporaryFolder(folder_);
}

bool StandardStreams::readInput(const std::string& input, std::string* path, imaging::Error* error)
{
    *path = input;
    if (input != "-" && !imaging::IsStream(input))
        return true;
    auto copy = std::make_unique<imaging::StreamCopy>();
    const bool standard = input == "-";
    const std::string shown = standard ? std::string(kStandardInput) : input;
    std::string temporary;
    if (!imaging::TemporaryFolder(&temporary, error)
        || !(standard ? copy->capture(STDIN_FILENO, shown, temporary, Interrupted, error)
                      : copy->captureNamed(input, temporary, Interrupted, error)))
        return false;
    *path = copy->path();
    copies_.emplace_back(std::move(copy), shown);
    return true;
}

bool StandardStreams::outputFile(std::string_view extension, std::string* path, imaging::Error* error)
{
    // Named so that a later run removes it should this one be killed.
    std::string temporary;
    if (folder_.empty()
        && !(imaging::TemporaryFolder(&temporary, error)
             && imaging::MakeTemporaryFolder(temporary, "quillframe-streams", &folder_, error)))
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

std::unique_ptr<imaging::AnimationReader> OpenInput(const std::string& input, StandardStreams& streams,
                                                    imaging::Error* error)
{
    std::string path;
    if (!HasInputName(input, error) || !streams.readInput(input, &path, error))
        return nullptr;
    std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(path, error, Interrupted);
    streams.renameInError(*error);
    return reader;
}

} // namespace qf::cli
