#include "imaging/frame_bytes.h"

#include <webp/demux.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <numeric>

namespace qf::imaging {

namespace {

// Walks a GIF's blocks; a frame owns its graphic control, descriptor, local
// colour table and image data.
bool SplitGif(const std::vector<std::uint8_t>& data, std::vector<long long>* frames)
{
    const std::size_t size = data.size();
    if (size < 13)
        return false;
    std::size_t at = 13;
    if (data[10] & 0x80)
        at += 3u << ((data[10] & 7) + 1);
    auto skipSubBlocks = [&] {
        while (at < size && data[at] != 0)
            at += data[at] + 1u;
        return at++ < size;
    };
    long long control = 0;
    while (at < size) {
        const std::size_t start = at;
        if (data[at] == 0x3B)
            return true;
        if (data[at] == 0x21 && at + 1 < size) {
            const bool graphicControl = data[at + 1] == 0xF9;
            at += 2;
            if (!skipSubBlocks())
                return false;
            if (graphicControl)
                control = static_cast<long long>(at - start);
        } else if (data[at] == 0x2C && at + 10 < size) {
            const std::uint8_t flags = data[at + 9];
            at += 10;
            if (flags & 0x80)
                at += 3u << ((flags & 7) + 1);
            ++at; // the minimum code size
            if (!skipSubBlocks())
                return false;
            frames->push_back(control + static_cast<long long>(at - start));
            control = 0;
        } else {
            return false;
        }
    }
    return false;
}

bool SplitWebp(const std::vector<std::uint8_t>& data, std::vector<long long>* frames)
{
    const WebPData whole{data.data(), data.size()};
    WebPDemuxer* demux = WebPDemux(&whole);
    if (!demux)
        return false;
    WebPIterator frame;
    if (WebPDemuxGetFrame(demux, 1, &frame)) {
        do {
            // The frame's data and its ANMF chunk header.
            frames->push_back(static_cast<long long>(frame.fragment.size) + 24);
        } while (WebPDemuxNextFrame(&frame));
        WebPDemuxReleaseIterator(&frame);
    }
    WebPDemuxDelete(demux);
    return !frames->empty();
}

} // namespace

bool MeasureFrameBytes(const std::string& path, OutputFormat format, FrameBytes* bytes, Error* error)
{
    std::ifstream file(path, std::ios::binary);
    const std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(file)),
                                         std::istreambuf_iterator<char>());
    bytes->frames.clear();
    const bool ok =
        format == OutputFormat::Gif ? SplitGif(data, &bytes->frames) : SplitWebp(data, &bytes->frames);
    if (!ok)
        return Fail(error, ErrorKind::Corrupt, path, "is no animation that can be measured");
    bytes->shared = static_cast<long long>(data.size())
                    - std::accumulate(bytes->frames.begin(), bytes->frames.end(), 0LL);
    return true;
}

} // namespace qf::imaging
