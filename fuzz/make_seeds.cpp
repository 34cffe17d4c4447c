// Writes the seed corpora: the broken and small GIFs the tests
// build, for the reader; byte strings that reach each colour path, for the
// writer. Usage: make_seeds READER_DIR WRITER_DIR
#include "gif_bytes.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s READER_DIR WRITER_DIR\n", argv[0]);
        return 2;
    }
    const std::filesystem::path reader = argv[1];
    const std::filesystem::path writer = argv[2];
    std::filesystem::create_directories(reader);
    std::filesystem::create_directories(writer);

    int count = 0;
    for (const auto& c : qf::gifbytes::BrokenGifs()) {
        Write(reader / (c.name + ".gif"), c.bytes);
        ++count;
    }
    for (int frames : {1, 2, 5}) {
        for (int side : {1, 3, 16, 33}) {
            Write(reader / ("animation_" + std::to_string(side) + "_" + std::to_string(frames) + ".gif"),
                  qf::gifbytes::SmallAnimation(side, side, frames, frames - 2));
            ++count;
        }
    }

    // Writer inputs: size, frame count and flags first, then each frame's
    // mode byte followed by pixel choices. A small generator of varied
    // bytes keeps the seeds reproducible.
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<std::uint8_t>(state >> 16);
    };
    for (int flags = 0; flags < 256; flags += 9) {
        for (int mode = 0; mode <= 4; ++mode) {
            std::vector<std::uint8_t> bytes = {
                static_cast<std::uint8_t>(next() % 40), static_cast<std::uint8_t>(next() % 30),
                static_cast<std::uint8_t>(1 + mode % 3), static_cast<std::uint8_t>(flags)};
            for (int f = 0; f < 3; ++f) {
                bytes.push_back(static_cast<std::uint8_t>((mode + f) % 5));
                for (int i = 0; i < 1500; ++i) {
                    bytes.push_back(next());
                }
            }
            Write(writer / ("writer_" + std::to_string(flags) + "_" + std::to_string(mode)), bytes);
            ++count;
        }
    }
    std::printf("%d seeds written\n", count);
    return 0;
}
