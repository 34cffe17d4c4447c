// Broken, odd and hostile GIFs, each built from bytes: the cases every
// entry point (reader, command line, fuzz seeds) must survive without a
// crash, answering with a clean error or with frames.
#pragma once

#include "gif_bytes.h"

#include <ostream>
#include <string>
#include <vector>

namespace qf::gifbytes {

enum class Expect {
    Refused,  // open must fail with an error naming the file
    TooLarge, // open must fail as beyond the limits
    Opens,    // open must succeed and every frame decode
    Either,   // browsers disagree; only a clean answer is required
};

struct GifCase {
    std::string name; // usable as a file name and a test name
    Bytes bytes;
    Expect expect;
    int minFrames = 0; // when it opens: at least this many frames
};

std::vector<GifCase> ConformanceCases();

// Test names show the case's name, not its bytes.
inline void PrintTo(const GifCase& c, std::ostream* out)
{
    *out << c.name;
}

} // namespace qf::gifbytes
