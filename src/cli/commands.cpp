#include "commands.h"

#include "contact_sheet.h"
#include "engine/variants.h"
#include "imaging/atomic_file.h"
#include "imaging/gif_reader.h"
#include "imaging/png_io.h"
#include "pipeline/convert.h"
#include "pipeline/snapshots.h"
#include "progress_bar.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <system_error>

namespace qf::cli {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void OnInterrupt(int signal)
{
    interrupted.store(true);
    // A second Ctrl-C (or kill) is not caught: it ends the program.
    std::signal(signal, SIG_DFL);
}

int Report(const imaging::Error& error)
{
    std::cerr << "error: " << error.message() << "\n";
    return ExitCodeFor(error);
}

// Damage that still leaves frames is no failure: the frames read are used,
// and the user is told.
void WarnOfDamage(const std::string& file, const imaging::GifDamage& damage)
{
    if (damage)
        std::cerr << "warning: " << file << ": " << damage.message() << "\n";
}

imaging::Error MakeError(imaging::ErrorKind kind, std::string file, std::string reason)
{
    imaging::Error error;
    error.kind = kind;
    error.file = std::move(file);
    error.reason = std::move(reason);
    return error;
}

// An empty name on the command line names no file; say so rather than
// report what the system makes of it.
bool HasInputName(const std::string& input, imaging::Error* error)
{
    if (input.empty())
        *error = MakeError(imaging::ErrorKind::Unreadable, input, "the input file name is empty");
    return !input.empty();
}

// Creates dir (and its parents) when it does not exist yet.
bool MakeFolder(const std::string& dir, imaging::Error* error)
{
    if (dir.empty()) {
        *error = MakeError(imaging::ErrorKind::Unwritable, dir, "the folder name is empty");
        return false;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(dir, ec))
        return true;
    if (std::filesystem::exists(dir, ec)) {
        *error = MakeError(imaging::ErrorKind::Unwritable, dir, "exists and is not a folder");
        return false;
    }
    if (!std::filesystem::create_directories(dir, ec) && ec) {
        *error = MakeError(imaging::ErrorKind::Unwritable, dir, "cannot create the folder: " + ec.message());
        return false;
    }
    return true;
}

std::string Numbered(const std::string& dir, const char* pattern, int number)
{
    char name[48];
    std::snprintf(name, sizeof name, pattern, number);
    return (std::filesystem::path(dir) / name).string();
}

// Removes the frame files that an earlier, longer animation left in dir:
// DIR/frame-NNNN.png numbered above count, named exactly as this tool names
// them, so the folder holds this animation's frames and no others.
bool RemoveSurplusFrames(const std::string& dir, int count, imaging::Error* error)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        constexpr std::string_view kPrefix = "frame-", kSuffix = ".png";
        if (name.size() <= kPrefix.size() + kSuffix.size() || name.size() > 20 || name.rfind(kPrefix, 0) != 0
            || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0)
            continue;
        const std::string digits = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
        if (digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long long number = std::stoll(digits);
        if (number <= count || number > 99999999
            || fs::path(FramePngPath(dir, static_cast<int>(number))).filename() != name
            || !fs::is_regular_file(it->symlink_status()))
            continue;
        std::error_code removed;
        if (!fs::remove(it->path(), removed) && removed) {
            *error = MakeError(imaging::ErrorKind::Unwritable, it->path().string(),
                               "cannot remove this frame of an earlier, longer animation: " + removed.message());
            return false;
        }
    }
    if (ec) {
        *error = MakeError(imaging::ErrorKind::Unwritable, dir, "cannot be listed: " + ec.message());
        return false;
    }
    return true;
}

} // namespace

int ExitCodeFor(const imaging::Error& error)
{
    switch (error.kind) {
    case imaging::ErrorKind::None:
        return kExitOk;
    case imaging::ErrorKind::Unreadable:
    case imaging::ErrorKind::NotGif:
    case imaging::ErrorKind::Corrupt:
    case imaging::ErrorKind::NoImage:
    case imaging::ErrorKind::TooLarge:
    case imaging::ErrorKind::OutOfMemory:
        return kExitBadInput;
    case imaging::ErrorKind::Unwritable:
        return kExitBadOutput;
    case imaging::ErrorKind::InvalidArgument:
    case imaging::ErrorKind::LibraryFailed:
        return kExitFailed;
    case imaging::ErrorKind::Cancelled:
        return kExitInterrupted;
    }
    return kExitFailed;
}

void InstallInterruptHandler()
{
    // Ctrl-C, a closed terminal and a plain kill stop the work the same way,
    // so no temporary file is left beside an output. A signal the caller
    // chose to ignore (nohup) stays ignored.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (std::signal(signal, OnInterrupt) == SIG_IGN)
            std::signal(signal, SIG_IGN);
    }
}

bool Interrupted()
{
    return interrupted.load();
}

int RunConvert(const ConvertArgs& args)
{
    imaging::Error error;
    // Refuse an output that cannot be written before any work is done.
    std::string output;
    if (!HasInputName(args.input, &error) || !imaging::ResolveOutputFile(args.output, &output, &error))
        return Report(error);
    // The frame folder is made only for an input that opens, and is left
    // holding exactly this animation's frames.
    int frameCount = 0;
    bool madeFolder = false;
    if (args.pngFramesDir) {
        imaging::GifReader reader;
        if (!reader.open(args.input, &error))
            return Report(error);
        frameCount = reader.info().frameCount;
        std::error_code ec;
        madeFolder = !std::filesystem::exists(*args.pngFramesDir, ec);
        if (!MakeFolder(*args.pngFramesDir, &error))
            return Report(error);
    }

    ProgressBar bar("converting", args.quiet);
    ConvertOptions options;
    options.variant = args.variant;
    options.switches = args.switches;
    options.threads = args.threads;
    options.pngFramesDir = args.pngFramesDir;
    options.progress = [&bar](double percent) {
        bar.update(percent);
        return !Interrupted();
    };
    options.cancelled = Interrupted;
    imaging::GifDamage damage;
    const bool ok = ConvertAllFrames(args.input, args.output, options, &error, &damage);
    bar.finish();
    if (ok && (!args.pngFramesDir || RemoveSurplusFrames(*args.pngFramesDir, frameCount, &error))) {
        WarnOfDamage(args.input, damage);
        return kExitOk;
    }
    if (!ok && madeFolder) {
        std::error_code ec;
        std::filesystem::remove(*args.pngFramesDir, ec); // only when still empty
    }
    if (error.kind == imaging::ErrorKind::Cancelled) {
        error.file = args.output;
        error.reason = "interrupted; the file was left as it was";
    }
    return Report(error);
}

int RunSnapshots(const SnapshotArgs& args)
{
    imaging::Error error;
    imaging::GifReader reader;
    reader.setCancelCheck(Interrupted);
    if (!HasInputName(args.input, &error) || !reader.open(args.input, &error))
        return Report(error);
    imaging::RgbaImage decoded;
    if (!reader.readNext(decoded, &error))
        return Report(error);
    WarnOfDamage(args.input, reader.damage());
    if (!MakeFolder(args.dir, &error))
        return Report(error);

    const Picture frame1 = ReadFrame(decoded);
    const std::string title =
        "Snapshots of " + std::filesystem::path(args.input).filename().string() + ", frame 1";
    ContactSheet sheet(frame1.width(), frame1.height(), title);
    sheet.place(ContactSheet::kCells - 1, frame1, "Source");

    ProgressBar bar("snapshots", args.quiet);
    const bool finished = BuildSnapshots(
        frame1, args.switches,
        [&](int variant, const Picture& snapshot) {
            if (error)
                return;
            imaging::WritePng(Numbered(args.dir, "variant-%02d.png", variant), ViewOf(snapshot), &error);
            const std::string label = std::to_string(variant) + " " + std::string(kVariants[variant].name);
            sheet.place(variant, snapshot, label);
        },
        [&](double percent) {
            // The pipeline reports snapshots from 50 to 100; here they are the whole job.
            bar.update((percent - 50.0) * 2.0);
            return !error && !Interrupted();
        });
    bar.finish();
    if (error)
        return Report(error);
    if (!finished)
        return Report(MakeError(imaging::ErrorKind::Cancelled, args.dir, "interrupted"));
    if (!imaging::WritePng((std::filesystem::path(args.dir) / "sheet.png").string(), ViewOf(sheet.picture()), &error))
        return Report(error);
    return kExitOk;
}

int RunFrames(const FramesArgs& args)
{
    imaging::Error error;
    imaging::GifReader reader;
    reader.setCancelCheck(Interrupted);
    if (!HasInputName(args.input, &error) || !reader.open(args.input, &error))
        return Report(error);
    if (!MakeFolder(args.dir, &error))
        return Report(error);

    const int frameCount = reader.info().frameCount;
    ProgressBar bar("frames", args.quiet);
    imaging::RgbaImage frame;
    int written = 0;
    for (int number = 1;; ++number) {
        if (Interrupted())
            return Report(MakeError(imaging::ErrorKind::Cancelled, args.dir, "interrupted"));
        const imaging::ReadResult read = reader.readNext(frame, &error);
        if (read.status == imaging::ReadStatus::Failed)
            return Report(error);
        if (read.status == imaging::ReadStatus::End)
            break;
        if (!imaging::WritePng(FramePngPath(args.dir, number), imaging::ImageView::of(frame),
                               &error))
            return Report(error);
        written = number;
        bar.update(100.0 * number / frameCount);
    }
    if (!RemoveSurplusFrames(args.dir, written, &error))
        return Report(error);
    bar.finish();
    WarnOfDamage(args.input, reader.damage());
    return kExitOk;
}

int RunInfo(const std::string& input)
{
    imaging::Error error;
    imaging::GifReader reader;
    reader.setCancelCheck(Interrupted);
    if (!HasInputName(input, &error) || !reader.open(input, &error))
        return Report(error);
    // Damaged image data shows only in decoding: every frame is decoded.
    imaging::RgbaImage frame;
    while (reader.readNext(frame, &error)) {
    }
    if (error)
        return Report(error);
    const imaging::GifDamage& damage = reader.damage();
    WarnOfDamage(input, damage);
    const imaging::GifInfo& info = reader.info();
    long long total = 0;
    std::cout << "file:     " << input << "\n"
              << "size:     " << info.width << " x " << info.height << "\n"
              << "frames:   " << info.frameCount << (info.frameCount == 1 ? " (a still)" : "") << "\n"
              << "delays:  ";
    for (const int delay : info.delays) {
        std::cout << ' ' << delay;
        total += delay;
    }
    std::cout << " (hundredths of a second)\n";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f", static_cast<double>(total) / 100.0);
    std::cout << "duration: " << seconds << " s\n"
              << "loop:     ";
    if (info.loopCount < 0)
        std::cout << "none (no loop extension: plays once)\n";
    else if (info.loopCount == 0)
        std::cout << "forever\n";
    else
        std::cout << info.loopCount << (info.loopCount == 1 ? " repeat\n" : " repeats\n");
    std::cout << "damage:   " << (damage ? damage.message() : "none") << "\n";
    return kExitOk;
}

} // namespace qf::cli
