// libFuzzer target: the video reader on any bytes, every frame decoded
// after passing over as many as the last byte says (a seek where the clip
// allows). A clip larger than 640 x 640 is read shrunk to fit, as a
// conversion reads it by default (at its full size a 1080p clip's 150
// frames took 82 s a run with the sanitizers). A clip that opens must give
// frames of the size asked for (or, with transparency, its own), as many as
// it counts at most, and report damage only within them.
#include "imaging/video/video_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

int MemoryFile()
{
    static const int fd = memfd_create("qf-fuzz-input.clip", 0);
    return fd;
}

void Finding(const char* what)
{
    std::fprintf(stderr, "finding: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = MemoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        std::perror("memfd");
        std::abort();
    }
    qf::imaging::VideoReader reader;
    qf::imaging::Error error;
    if (!reader.open("/proc/self/fd/" + std::to_string(fd), &error)) {
        if (!error || error.reason.empty())
            Finding("open failed without a reason");
        return 0;
    }
    const qf::imaging::AnimationInfo info = reader.info();
    if (info.frameCount < 1 || info.frameTimes.size() != static_cast<std::size_t>(info.frameCount) + 1)
        Finding("frame count and frame times disagree");
    for (std::size_t i = 1; i < info.frameTimes.size(); ++i)
        if (info.frameTimes[i] < info.frameTimes[i - 1])
            Finding("frame times go backward");
    constexpr int kFit = 640;
    int width = info.width;
    int height = info.height;
    if (width > kFit || height > kFit) {
        const double scale = std::min(static_cast<double>(kFit) / width, static_cast<double>(kFit) / height);
        width = std::max(1, static_cast<int>(width * scale));
        height = std::max(1, static_cast<int>(height * scale));
        reader.setFrameSize(width, height);
    }
    const int passed = size > 0 ? data[size - 1] % (info.frameCount + 1) : 0;
    qf::imaging::ReadResult result = reader.skipTo(passed, &error);
    if (result.status == qf::imaging::ReadStatus::Failed && (!error || error.reason.empty()))
        Finding("passing over frames failed without a reason");
    qf::imaging::RgbaImage frame;
    int frames = 0;
    while (result && (result = reader.readNext(frame, &error))) {
        ++frames;
        const bool asked = frame.width == width && frame.height == height;
        const bool own = frame.width == info.width && frame.height == info.height;
        if ((!asked && !own)
            || frame.pixels.size() != static_cast<std::size_t>(frame.width) * frame.height * 4)
            Finding("a frame is not of the stated size");
    }
    if (result.status == qf::imaging::ReadStatus::Failed && (!error || error.reason.empty()))
        Finding("reading failed without a reason");
    if (frames > info.frameCount - passed)
        Finding("more frames than counted");
    if (reader.damage() && reader.damage().afterFrame > passed + frames)
        Finding("damage reported after frames that were not read");
    return 0;
}
