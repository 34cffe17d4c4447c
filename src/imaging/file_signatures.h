// What a file is, told from its first bytes: the signatures every reader
// and the stream copy look at before choosing how to read a file.
#pragma once

#include <cstddef>

namespace qf::imaging {

// GIF87a or GIF89a in the first 6 of size bytes.
bool LooksLikeGif(const unsigned char* head, std::size_t size);

// RIFF....WEBP in the first 12 of size bytes.
bool LooksLikeWebp(const unsigned char* head, std::size_t size);

// Whether the first 12 bytes begin a container or stream of moving pictures
// the video reader may take (which then tells whether it is one).
bool LooksLikeClip(const unsigned char* head);

} // namespace qf::imaging
