// Unnamed working files for data too large to keep in memory.
#pragma once

#include "imaging/image.h"

#include <cstdio>
#include <memory>
#include <string>

namespace qf::imaging {

struct FileCloser {
    void operator()(std::FILE* file) const
    {
        if (file)
            std::fclose(file);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A read-write file in the folder of besidePath that has no name (it is
// removed from the folder as soon as it is created), so nothing is left
// behind whatever happens to the process. Errors name besidePath.
FilePtr OpenScratchFile(const std::string& besidePath, Error* error);

} // namespace qf::imaging
