// quillframe-cli frames: the decoded frames of an animation as PNG files.
#include "commands.h"
#include "common.h"
#include "imaging/errors.h"
#include "imaging/png/png_io.h"
#include "pipeline/folders.h"
#include "progress_bar.h"
#include "standard_streams.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace qf::cli {

namespace {

int WriteFrames(const FramesArgs& args)
{
    imaging::Error error;
    StandardStreams streams;
    const std::unique_ptr<imaging::AnimationReader> reader = OpenInput(args.input, streams, &error);
    if (!reader)
        return Report(error);
    imaging::OutputFolder folder;
    if (!imaging::OpenOutputFolder(args.dir, &folder, &error))
        return Report(error);

    const imaging::AnimationInfo& info = reader->info();
    ProgressBar bar("frames", args.quiet);
    // Frames are decoded in order and written a batch at a time: a file
    // waits for the disk before it replaces its name, and a batch waits once.
    // A batch holds at most about 256 MB of frames.
    const std::size_t frameBytes = std::max<std::size_t>(1, std::size_t(4) * info.width * info.height);
    const std::size_t batchSize = std::clamp<std::size_t>((std::size_t(256) << 20) / frameBytes, 1, 16);
    std::vector<imaging::RgbaImage> batch(batchSize);
    int written = 0;
    for (bool more = true; more;) {
        std::size_t got = 0;
        while (got < batchSize && more) {
            if (Interrupted()) {
                imaging::Fail(&error, imaging::ErrorKind::Cancelled, args.dir, "interrupted");
                return Report(error);
            }
            more = static_cast<bool>(reader->readNext(batch[got], &error));
            if (error) {
                streams.renameInError(error);
                return Report(error);
            }
            got += more;
        }
        std::vector<std::pair<std::string, imaging::ImageView>> pictures;
        for (std::size_t i = 0; i < got; ++i)
            pictures.emplace_back(FramePngPath(args.dir, written + static_cast<int>(i) + 1),
                                  imaging::ImageView::of(batch[i]));
        if (!imaging::WritePngs(pictures, &error))
            return Report(error);
        written += static_cast<int>(got);
        bar.update(100.0 * written / info.frameCount);
    }
    if (!RemoveSurplusFrames(folder, written, &error))
        return Report(error);
    bar.finish();
    WarnOfDamage(args.input == "-" ? std::string(kStandardInput) : args.input, reader->damage());
    return kExitOk;
}

} // namespace

int RunFrames(const FramesArgs& args)
{
    try {
        return WriteFrames(args);
    } catch (...) {
        return Report(imaging::CaughtError(args.input == "-" ? std::string(kStandardInput) : args.input));
    }
}

} // namespace qf::cli
