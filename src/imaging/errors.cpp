#include "imaging/errors.h"

#include <cerrno>
#include <exception>
#include <new>
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

Error CaughtError(const std::string& file)
{
    Error error;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        FailOutOfMemory(&error, file);
    } catch (const std::exception& e) {
        Fail(&error, ErrorKind::Internal, file,
             std::string("the work stopped on an unexpected error in this program (") + e.what() + ")");
    } catch (...) {
        Fail(&error, ErrorKind::Internal, file, "the work stopped on an unexpected error in this program");
    }
    return error;
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

std::string Printable(const std::string& name)
{
    std::string shown;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte != 0x7f) {
            shown += c;
        } else if (c == '\n') {
            shown += "\\n";
        } else if (c == '\t') {
            shown += "\\t";
        } else {
            static const char kHex[] = "0123456789abcdef";
            shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
        }
    }
    return shown;
}

} // namespace qf::imaging
