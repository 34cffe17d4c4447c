// quillframe-cli frames: the decoded frames of an animation as PNG files.
#include "commands.h"
#include "common.h"
#include "imaging/errors.h"
#include "imaging/png_io.h"
#include "pipeline/folders.h"
#include "progress_bar.h"
#include "standard_streams.h"

namespace qf::cli {

namespace {

int WriteFrames(const FramesArgs& args)
{
    imaging::Error error;
    StandardStreams streams;
    imaging::AnimationReader reader;
    if (!OpenInput(args.input, streams, reader, &error))
        return Report(error);
    if (!MakeFolder(args.dir, &error))
        return Report(error);

    const int frameCount = reader.info().frameCount;
    ProgressBar bar("frames", args.quiet);
    imaging::RgbaImage frame;
    int written = 0;
    for (int number = 1;; ++number) {
        if (Interrupted()) {
            imaging::Fail(&error, imaging::ErrorKind::Cancelled, args.dir, "interrupted");
            return Report(error);
        }
        if (!reader.readNext(frame, &error)) {
            streams.renameInError(error);
            if (error)
                return Report(error);
            break;
        }
        if (!imaging::WritePng(FramePngPath(args.dir, number), imaging::ImageView::of(frame), &error))
            return Report(error);
        written = number;
        bar.update(100.0 * number / frameCount);
    }
    if (!RemoveSurplusFrames(args.dir, written, &error))
        return Report(error);
    bar.finish();
    WarnOfDamage(args.input == "-" ? std::string(kStandardInput) : args.input, reader.damage());
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
