// Replacing a file in one step: write beside it, then rename over it, so a
// failure never leaves a half-written file or destroys the previous one.
#pragma once

#include "image.h"

#include <string>

namespace qf::imaging {

// Copies source to destination atomically, replacing an existing file.
bool CopyFileAtomically(const std::string& source, const std::string& destination, Error* error);

} // namespace qf::imaging
