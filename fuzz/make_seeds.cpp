// Writes the seed corpora: the broken and small GIFs the tests
// build, for the reader; byte strings that reach each colour path, for the
// writer; small animated WebP files, lossless and lossy, whole and cut
// short, for the WebP reader.
// Usage: make_seeds READER_DIR WRITER_DIR [WEBP_DIR]
#include "gif_bytes.h"

#include "imaging/gif/gif_reader.h"
#include "imaging/webp/webp_writer.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

void Write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Each small GIF seed converted to WebP (lossless, and lossy at two
// qualities), and each WebP also cut short at a third and two thirds.
int WriteWebpSeeds(const std::filesystem::path& folder, const std::filesystem::path& gifs)
{
    std::filesystem::create_directories(folder);
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(gifs)) {
        if (entry.path().filename().string().rfind("animation_", 0) != 0) {
            continue;
        }
        for (const int quality : {-1, 10, 90}) {
            qf::imaging::GifReader reader;
            qf::imaging::WebpWriter writer(quality);
            qf::imaging::Error error;
            const std::string name = entry.path().stem().string() + "_q" + std::to_string(quality) + ".webp";
            const std::filesystem::path path = folder / name;
            if (!reader.open(entry.path().string(), &error)
                || !writer.open(path.string(), reader.info().width, reader.info().height,
                                reader.info().loopCount, &error)) {
                continue;
            }
            qf::imaging::RgbaImage frame;
            for (int n = 0; reader.readNext(frame, &error); ++n) {
                writer.addFrame(qf::imaging::ImageView::of(frame), reader.info().delays[n], &error);
            }
            if (!writer.finish(&error)) {
                continue;
            }
            std::ifstream in(path, std::ios::binary);
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
            Write(folder / ("third_" + name), {bytes.begin(), bytes.begin() + bytes.size() / 3});
            Write(folder / ("two_thirds_" + name), {bytes.begin(), bytes.begin() + bytes.size() * 2 / 3});
            count += 3;
        }
    }
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s READER_DIR WRITER_DIR [WEBP_DIR]\n", argv[0]);
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
    if (argc == 4) {
        count += WriteWebpSeeds(argv[3], reader);
    }
    std::printf("%d seeds written\n", count);
    return 0;
}
