// quillframe-cli frames: the decoded frames of an animation as PNG files.
#include "commands.h"
#include "common.h"
#include "imaging/errors.h"
#include "imaging/png/png_io.h"
#include "pipeline/folders.h"
#include "pipeline/free_memory.h"
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
    const auto framePng = [](const std::string& name) { return FramePngNumber(name) > 0; };
    if (std::string problem = FolderOverInput(args.input, args.dir, framePng); !problem.empty())
        return UsageError(problem);
    imaging::Error error;
    StandardStreams streams;
    const std::unique_ptr<imaging::AnimationReader> reader = OpenInput(args.input, streams, &error);
    if (!reader)
        return Report(error);
    imaging::OutputFolder folder;
    if (!imaging::OpenOutputFolder(args.dir, &folder, &error))
        return Report(error);
    // A failure leaves no frame in a folder made for them.
    const auto fail = [&] {
        imaging::RemoveMadeFolder(folder, framePng);
        return Report(error);
    };

    const imaging::AnimationInfo& info = reader->info();
    ProgressBar bar("frames", args.quiet);
    // Frames are decoded in order and written a batch at a time: a file
    // waits for the disk before it replaces its name, and a batch waits once.
    // A batch holds at most about 256 MB of frames, and no more than the
    // memory left beside the reader's canvas.
    const double frameBytes = std::max(1.0, 4.0 * info.width * info.height);
    const double available = AvailableMemory();
    const double readerBytes = kReaderBytesPerPixel * info.width * info.height;
    if (!CheckMemory(
            readerBytes + frameBytes, available, args.input == "-" ? std::string(kStandardInput) : args.input,
            "write frames of " + std::to_string(info.width) + " x " + std::to_string(info.height) + " pixels",
            &error))
        return fail();
    const double room =
        available > 0 ? std::min(256.0 * 1048576, (available - readerBytes) / 2) : 256.0 * 1048576;
    const std::size_t batchSize = static_cast<std::size_t>(std::clamp(room / frameBytes, 1.0, 16.0));
    std::vector<imaging::RgbaImage> batch(batchSize);
    int written = 0;
    for (bool more = true; more;) {
        std::size_t got = 0;
        while (got < batchSize && more) {
            if (Interrupted()) {
                imaging::Fail(&error, imaging::ErrorKind::Cancelled, args.dir, "interrupted");
                return fail();
            }
            more = static_cast<bool>(reader->readNext(batch[got], &error));
            if (error) {
                streams.renameInError(error);
                return fail();
            }
            got += more;
        }
        std::vector<std::pair<std::string, imaging::ImageView>> pictures;
        for (std::size_t i = 0; i < got; ++i)
            pictures.emplace_back(FramePngName(written + static_cast<int>(i) + 1),
                                  imaging::ImageView::of(batch[i]));
        if (!imaging::WritePngs(folder, pictures, &error))
            return fail();
        written += static_cast<int>(got);
        bar.update(100.0 * written / info.frameCount);
    }
    if (!RemoveSurplusFrames(folder, written, &error))
        return fail();
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
