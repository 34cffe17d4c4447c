// Building the Error values every imaging call reports.
#pragma once

#include "image.h"

#include <string>

namespace qf::imaging {

// Stores an error of the given kind for file in *error (when error is not
// null) and returns false, so a failing path reads `return Fail(...)`.
bool Fail(Error* error, ErrorKind kind, const std::string& file, std::string reason);

// The system's words for errno value code, e.g. "No space left on device".
std::string SystemReason(int code);

} // namespace qf::imaging
