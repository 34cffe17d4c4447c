// What the reader fuzzers do with one input, kept apart from libFuzzer so
// that the regression tests replay saved inputs through exactly the same
// checks.
// Each function returns a description of what went wrong, or an empty
// string; a crash or a sanitizer report is a finding of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qf::fuzz {

// Opens the GIF at path (whose bytes are data), decodes every frame in
// order and some by number, and renders the first frames through the
// engine, cropped to at most 64 x 64, with a variant and switches picked
// from the bytes.
std::string CheckGifFile(const std::string& path, const std::uint8_t* data, std::size_t size);
// The same for an animated WebP, without the random access; a frame that
// does not decode must fail with a reason naming the file.
std::string CheckWebpFile(const std::string& path, const std::uint8_t* data, std::size_t size);

} // namespace qf::fuzz
