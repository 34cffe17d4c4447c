// The folders a conversion writes pictures into: made when missing, and
// cleared of the frame pictures an earlier, longer animation left there.
#pragma once

#include "imaging/errors.h"

#include <string>

namespace qf {

// Creates dir (and its parents) when it does not exist yet. Fails
// (Unwritable, naming dir) for an empty name, a file of that name or a
// folder that cannot be created.
bool MakeFolder(const std::string& dir, imaging::Error* error);

// Removes the frame pictures that an earlier, longer animation left in dir:
// frame-NNNN.png numbered above count, named exactly as FramePngPath names
// them, so the folder holds this animation's frames and no others.
bool RemoveSurplusFrames(const std::string& dir, int count, imaging::Error* error);

// Where the rendered frame number (1-based) goes in dir: frame-0001.png, ...
std::string FramePngPath(const std::string& dir, int number);

} // namespace qf
