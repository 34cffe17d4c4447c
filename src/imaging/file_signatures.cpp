#include "imaging/file_signatures.h"

#include <cstring>

namespace qf::imaging {

bool LooksLikeGif(const unsigned char* head, std::size_t size)
{
    return size >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

bool LooksLikeWebp(const unsigned char* head, std::size_t size)
{
    return size >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0;
}

bool LooksLikeClip(const unsigned char* head)
{
    const auto at = [&](std::size_t offset, const char* text) {
        return std::memcmp(head + offset, text, std::strlen(text)) == 0;
    };
    return at(4, "ftyp") || at(4, "moov") || at(4, "mdat") || at(4, "wide") || at(4, "free")
           || at(0, "\x1a\x45\xdf\xa3") || (at(0, "RIFF") && at(8, "AVI ")) || at(0, "\x89PNG")
           || at(0, "FLV") || at(0, "OggS") || at(0, "DKIF") || at(0, "\x30\x26\xb2\x75") || head[0] == 0x47
           || (head[0] == 0 && head[1] == 0 && (head[2] == 1 || (head[2] == 0 && head[3] == 1)));
}

} // namespace qf::imaging
