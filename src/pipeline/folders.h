// The folders a conversion writes pictures into: cleared of the frame pictures an earlier, longer animation
// left there.
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

// The number of a frame picture named as FramePngName names it, else 0.
int FramePngNumber(const std::string& name);

// The name of the rendered frame number (1-based): frame-0001.png, ...
std::string FramePngName(int number);

} // namespace qf
