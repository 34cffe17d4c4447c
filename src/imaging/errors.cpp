#include "errors.h"

#include <system_error>

namespace qf::imaging {

bool Fail(Error* error, ErrorKind kind, const std::string& file, std::string reason)
{
    if (error) {
        error->kind = kind;
        error->file = file;
        error->reason = std::move(reason);
    }
    return false;
}

std::string SystemReason(int code)
{
    return std::generic_category().message(code);
}

} // namespace qf::imaging
