// What the animation writer fuzzer does with one input. Its saved inputs
// are replayed by scripts/fuzz.sh before each run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qf::fuzz {

// Builds same-sized frames from the bytes (few colours, exactly 256, more
// than 256, transparency coming and going, each pixel layout), writes them
// as an animation into folder, decodes it again and requires the frames back
// exactly wherever a frame has at most 256 colours. Some inputs abandon the
// animation half-way instead, which must leave the folder empty.
std::string CheckAnimationWriter(const std::string& folder, const std::uint8_t* data, std::size_t size);

} // namespace qf::fuzz
