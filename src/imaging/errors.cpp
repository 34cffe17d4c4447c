#include "errors.h"

#include "output_paths.h"

#include <cerrno>
#include <system_error>

namespace qf::imaging {

std::string Error::message() const
{
    return Printable(file.empty() ? reason : file + ": " + reason);
}

bool Fail(Error* error, ErrorKind kind, const std::string& file, std::string reason)
{
    if (error) {
        error->kind = kind;
        error->file = file;
        error->reason = std::move(reason);
    }
    return false;
}

bool FailOutOfMemory(Error* error, const std::string& file)
{
    return Fail(error, ErrorKind::OutOfMemory, file, "needs more memory than is free");
}

std::string SystemReason(int code)
{
    return std::generic_category().message(code);
}

std::string WriteReason(int code)
{
    if (code == ENOSPC || code == EDQUOT)
        return "the disk is full";
    if (code == EFBIG)
        return "is larger than files may be here (the file size limit, ulimit -f)";
    return "cannot be written (" + SystemReason(code) + ")";
}

} // namespace qf::imaging
