#include "standard_streams.h"

#include "common.h"

#include "imaging/atomic_file.h"
#include "imaging/errors.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace qf::cli {

namespace fs = std::filesystem;

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

bool OpenInput(const std::string& input, StandardStreams& streams, imaging::AnimationReader& reader,
               imaging::Error* error)
{
    std::string path = input;
    if (!HasInputName(input, error) || (input == "-" && !streams.captureInput(&path, error)))
        return false;
    reader.setCancelCheck(Interrupted);
    const bool opened = reader.open(path, error);
    streams.renameInError(*error);
    return opened;
}

} // namespace qf::cli
