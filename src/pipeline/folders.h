// The folders a conversion writes pictures into: cleared of the frame pictures an earlier, longer animation left there.
#pragma once

#include "imaging/errors.h"
#include "imaging/files/output_paths.h"

#include <string>

namespace qf {

// The folders are opened (checked and made) with imaging::OpenOutputFolder.

// Removes the frame pictures that an earlier, longer animation left in the
// folder: frame-NNNN.png numbered above count, named exactly as FramePngPath
// names them, so the folder holds this animation's frames and no others;
// only as imaging::RemoveFromOutputFolder allows.
bool RemoveSurplusFrames(const imaging::OutputFolder& folder, int count, imaging::Error* error);

// Where the rendered frame number (1-based) goes in dir: frame-0001.png, ...
std::string FramePngPath(const std::string& dir, int number);

} // namespace qf
