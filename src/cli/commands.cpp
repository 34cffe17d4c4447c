#include "commands.h"

#include "batch.h"
#include "contact_sheet.h"
#include "engine/variants.h"
#include "imaging/animation_reader.h"
#include "imaging/atomic_file.h"
#include "imaging/png_io.h"
#include "pipeline/convert.h"
#include "pipeline/snapshots.h"
#include "progress_bar.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <regex>
#include <string_view>
#include <system_error>

#include <oneapi/tbb/global_control.h>
#include <oneapi/tbb/info.h>
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>

#include <unistd.h>

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
void WarnOfDamage(const std::string& file, const imaging::AnimationDamage& damage)
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
            *error =
                MakeError(imaging::ErrorKind::Unwritable, it->path().string(),
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

std::optional<int> VariantFromText(std::string_view text)
{
    if (!text.empty()
        && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        if (text.size() > 2)
            return std::nullopt;
        const int number = std::stoi(std::string(text));
        return number < kVariantCount ? std::optional<int>(number) : std::nullopt;
    }
    for (int v = 0; v < kVariantCount; ++v) {
        if (VariantSlug(v) == text)
            return v;
    }
    return std::nullopt;
}

std::string VariantSlug(int v)
{
    std::string slug(kVariants[v].name);
    for (char& c : slug)
        c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return slug;
}

namespace {

int UsageError(const std::string& problem)
{
    std::cerr << "error: " << problem << "\nRun 'quillframe-cli --help' for more information.\n";
    return kExitUsage;
}

// The resize the command line asks for, or a problem with it.
std::string ParseResize(const BatchArgs& args, imaging::ResizeRequest* request)
{
    *request = {};
    if (args.scale) {
        if (!(*args.scale > 0) || !std::isfinite(*args.scale))
            return "--scale must be a number above 0, such as 0.5";
        request->scale = *args.scale;
    }
    if (args.maxSize) {
        static const std::regex pattern("([0-9]{1,5})[xX]([0-9]{1,5})");
        std::smatch match;
        if (!std::regex_match(*args.maxSize, match, pattern) || std::stoi(match[1]) < 1
            || std::stoi(match[2]) < 1)
            return "--max-size must be WIDTHxHEIGHT in pixels, such as 640x480, not '" + *args.maxSize + "'";
        request->maxWidth = std::stoi(match[1]);
        request->maxHeight = std::stoi(match[2]);
    }
    return {};
}

// The plan of a command over its inputs, checked before anything is written.
struct Plan {
    std::vector<Job> jobs;
    imaging::ResizeRequest resize;
    bool readsStandardInput = false;
    bool writesStandardOutput = false;
};

std::string MakePlan(const BatchArgs& args, std::string_view extension, Plan* plan)
{
    if (std::string problem = ParseResize(args, &plan->resize); !problem.empty())
        return problem;
    if (std::string problem = PlanJobs(args, extension, &plan->jobs); !problem.empty())
        return problem;
    for (const Job& job : plan->jobs) {
        plan->readsStandardInput = plan->readsStandardInput || job.input == "-";
        plan->writesStandardOutput = plan->writesStandardOutput || job.output == "-";
    }
    if (plan->readsStandardInput && isatty(STDIN_FILENO) == 1)
        return "standard input is a terminal; pipe an animation into it (cat IN.gif | quillframe-cli ... - "
               "...)";
    if (plan->writesStandardOutput && isatty(STDOUT_FILENO) == 1)
        return "refusing to write a binary animation to a terminal; redirect standard output to a file or a "
               "pipe";
    return {};
}

// Frames each input holds, for the progress bar (0 for one that cannot be
// read: its error comes when it is converted).
std::vector<int> CountFrames(const std::vector<std::string>& inputs, const TimelineOptions& timeline)
{
    std::vector<int> counts;
    for (const std::string& input : inputs) {
        imaging::AnimationReader reader;
        std::vector<TimelineFrame> plan;
        counts.push_back(reader.open(input, nullptr) && PlanTimeline(input, reader.info(), timeline, &plan, nullptr)
                             ? static_cast<int>(plan.size())
                             : 0);
    }
    return counts;
}

// The timeline the command line asks for, or a problem with it.
std::string ParseTimeline(const ConvertArgs& args, TimelineOptions* timeline)
{
    const std::pair<const char*, const std::optional<std::string>*> times[] = {
        {"--start", &args.start}, {"--end", &args.end}, {"--duration", &args.duration}};
    std::optional<double>* targets[] = {&timeline->start, &timeline->end, &timeline->duration};
    for (int i = 0; i < 3; ++i) {
        if (!*times[i].second)
            continue;
        *targets[i] = ParseSeconds(**times[i].second);
        if (!*targets[i])
            return std::string(times[i].first) + " must be a time in seconds (12.5) or minutes and seconds (1:02.5), not '"
                   + **times[i].second + "'";
    }
    timeline->fps = args.fps;
    timeline->speed = args.speed;
    timeline->bounce = args.bounce;
    return {};
}

void PrintSummary(const char* verb, std::size_t total, int done, int failed)
{
    std::cerr << verb << " " << done << " of " << total << (total == 1 ? " file" : " files");
    if (failed > 0)
        std::cerr << "; " << failed << " failed";
    if (Interrupted())
        std::cerr << "; interrupted";
    std::cerr << "\n";
}

// The worse of two exit codes: an interruption, then the highest.
int Worse(int a, int b)
{
    if (a == kExitInterrupted || b == kExitInterrupted)
        return kExitInterrupted;
    return std::max(a, b);
}

} // namespace

int RunConvert(const ConvertArgs& args)
{
    const std::optional<int> variant = VariantFromText(args.variant);
    if (!variant) {
        std::string names;
        for (int v = 0; v < kVariantCount; ++v)
            names += (v ? ", " : "") + VariantSlug(v);
        return UsageError("--variant: '" + args.variant + "' is no variant; give 0-16 or one of: " + names);
    }
    std::optional<OutputFormat> requested;
    if (args.format)
        requested = *args.format == "webp" ? OutputFormat::Webp : OutputFormat::Gif;
    const std::string_view batchExtension = requested == OutputFormat::Webp ? ".webp" : ".gif";

    Plan plan;
    if (std::string problem = MakePlan(args, batchExtension, &plan); !problem.empty())
        return UsageError(problem);
    TimelineOptions timeline;
    if (std::string problem = ParseTimeline(args, &timeline); !problem.empty())
        return UsageError(problem);
    // The format of each output: its extension's, else --format's, else GIF.
    std::vector<OutputFormat> formats;
    for (const Job& job : plan.jobs) {
        const std::string extension = job.output == "-" ? std::string() : ExtensionOf(job.output);
        OutputFormat format = requested.value_or(OutputFormat::Gif);
        if (extension == ".gif" || extension == ".webp") {
            format = extension == ".gif" ? OutputFormat::Gif : OutputFormat::Webp;
            if (requested && *requested != format)
                return UsageError(job.output + " ends in " + extension + " but --format is " + *args.format);
        } else if (!extension.empty()) {
            return UsageError(
                job.output + ": cannot write " + extension
                + " files; the output must end in .gif or .webp (or name none and give --format)");
        }
        if (args.quality && format != OutputFormat::Webp)
            return UsageError("--quality sets lossy WebP output; " + job.output + " is written as a GIF");
        formats.push_back(format);
    }

    imaging::Error error;
    if (args.outDir && !MakeFolder(*args.outDir, &error))
        return Report(error);
    StandardStreams streams;
    std::vector<std::string> inputs;
    for (const Job& job : plan.jobs) {
        inputs.push_back(job.input);
        if (job.input == "-" && !streams.captureInput(&inputs.back(), &error))
            return Report(error);
    }
    if (plan.writesStandardOutput)
        std::signal(SIGPIPE, SIG_IGN); // a closed pipe is reported as a write error

    const bool batch = plan.jobs.size() > 1;
    const std::vector<int> frameCounts = CountFrames(inputs, timeline);
    long long totalFrames = 0;
    for (const int count : frameCounts)
        totalFrames += count;
    ProgressBar bar("converting", args.quiet);
    std::atomic<long long> framesDone{0};
    std::atomic<int> filesDone{0};

    // Converts job i and returns its exit code; reports its failure.
    auto convertJob = [&](std::size_t i) -> int {
        const Job& job = plan.jobs[i];
        const OutputFormat format = formats[i];
        const int frames = frameCounts[i];
        long long shownFrames = 0; // of this job, counted in framesDone
        ConvertOptions options;
        options.variant = *variant;
        options.switches = args.switches;
        options.threads = args.threads;
        options.resize = plan.resize;
        options.timeline = timeline;
        options.mergeRepeats = args.mergeRepeats;
        options.keepTransparency = args.keepTransparency;
        options.format = format;
        options.webp.quality = args.quality.value_or(-1);
        options.inCurrentArena = batch;
        options.cancelled = Interrupted;
        options.progress = [&](double percent) {
            const long long frame = std::llround(percent * frames / 100.0);
            const long long done = framesDone += frame - shownFrames;
            shownFrames = frame;
            const std::string detail =
                batch ? "files " + std::to_string(filesDone.load()) + "/" + std::to_string(plan.jobs.size())
                            + ", frames " + std::to_string(done) + "/" + std::to_string(totalFrames)
                      : "frame " + std::to_string(frame) + "/" + std::to_string(frames);
            bar.update(totalFrames > 0 ? 100.0 * static_cast<double>(done) / static_cast<double>(totalFrames)
                                       : 0.0,
                       detail);
            return !Interrupted();
        };

        imaging::Error error;
        std::string output = job.output; // the file written, a temporary one for standard output
        std::string resolved;
        imaging::AnimationDamage damage;
        bool ok = false;
        if (HasInputName(job.input, &error)
            && (job.output == "-"
                    ? streams.outputFile(format == OutputFormat::Webp ? ".webp" : ".gif", &output, &error)
                    : imaging::ResolveOutputFile(job.output, &resolved, &error))) {
            // The frame folder is made only for an input that opens (one
            // that does not is reported by the conversion), and is left
            // holding exactly this animation's frames. Several inputs get a
            // folder each, named like their results.
            bool madeFolder = false;
            if (args.pngFramesDir && frames > 0) {
                options.pngFramesDir = batch ? (std::filesystem::path(*args.pngFramesDir)
                                                / std::filesystem::path(job.output).stem())
                                                   .string()
                                             : *args.pngFramesDir;
                std::error_code ec;
                madeFolder = !std::filesystem::exists(*options.pngFramesDir, ec);
            }
            try {
                ok = (!options.pngFramesDir || MakeFolder(*options.pngFramesDir, &error))
                     && ConvertAllFrames(inputs[i], output, options, &error, &damage)
                     && (!options.pngFramesDir || RemoveSurplusFrames(*options.pngFramesDir, frames, &error))
                     && (job.output != "-" || streams.sendOutput(output, &error));
            } catch (const std::bad_alloc&) {
                error = MakeError(imaging::ErrorKind::OutOfMemory, inputs[i],
                                  "not enough memory to process this file");
            }
            if (!ok && madeFolder) {
                std::error_code ec;
                std::filesystem::remove(*options.pngFramesDir, ec); // only when still empty
            }
        }
        framesDone += frames - shownFrames;
        ++filesDone;
        if (ok) {
            if (damage)
                bar.print("warning: " + (job.input == "-" ? std::string(kStandardInput) : job.input) + ": "
                          + damage.message());
            return kExitOk;
        }
        if (error.kind == imaging::ErrorKind::Cancelled) {
            error.file = job.output == "-" ? std::string(kStandardOutput) : job.output;
            error.reason = "interrupted; the file was left as it was";
        }
        streams.renameInError(error);
        bar.print("error: " + error.message());
        return ExitCodeFor(error);
    };

    std::mutex resultMutex;
    int worst = kExitOk, converted = 0, failed = 0;
    auto record = [&](int code) {
        std::lock_guard lock(resultMutex);
        worst = Worse(worst, code);
        (code == kExitOk ? converted : failed) += 1;
    };
    if (!batch) {
        record(convertJob(0));
    } else {
        // The frames of all inputs share the worker threads: two files are
        // converted at a time, so that one file's serial start and finish
        // (opening, writing the file out) overlap the other's frames.
        const int hardware = std::max(1, tbb::info::default_concurrency());
        const int threads = args.threads > 0 ? args.threads : hardware;
        std::optional<tbb::global_control> allowMoreThreads;
        if (threads > hardware)
            allowMoreThreads.emplace(tbb::global_control::max_allowed_parallelism, threads);
        tbb::task_arena arena(threads);
        std::atomic<std::size_t> next{0};
        const std::size_t lanes = std::min<std::size_t>(2, plan.jobs.size());
        arena.execute([&] {
            tbb::task_group lanesGroup;
            for (std::size_t lane = 0; lane < lanes; ++lane) {
                lanesGroup.run([&] {
                    for (std::size_t i; !Interrupted() && (i = next++) < plan.jobs.size();)
                        record(convertJob(i));
                });
            }
            lanesGroup.wait();
        });
    }
    bar.finish();
    if (batch && (!args.quiet || failed > 0))
        PrintSummary("converted", plan.jobs.size(), converted, failed);
    if (Interrupted())
        return kExitInterrupted;
    return worst;
}

namespace {

// Frame 1 of input in all 17 variants into dir, with the contact sheet. The
// error is empty when all is written.
imaging::Error Snapshots(const std::string& input, const std::string& shownInput, const std::string& dir,
                         const imaging::ResizeRequest& resize, const Switches& switches, ProgressBar& bar,
                         const std::string& detail)
{
    imaging::Error error;
    imaging::AnimationReader reader;
    reader.setCancelCheck(Interrupted);
    if (!HasInputName(input, &error) || !reader.open(input, &error))
        return error;
    WarnOfDamage(shownInput, reader.damage());
    imaging::RgbaImage decoded;
    if (!reader.readNext(decoded, &error))
        return error ? error : MakeError(imaging::ErrorKind::NoImage, input, "holds no frame");
    imaging::Size size;
    if (!RenderSize(input, decoded.width, decoded.height, 0, resize, &size, &error)
        || !EnoughMemoryForSnapshots(size.width, size.height, false, input, &error)
        || !MakeFolder(dir, &error))
        return error;

    imaging::RgbaImage resized;
    const Picture frame1 = ReadFrame(SizedFrame(decoded, size, resized));
    const std::string title =
        "Snapshots of " + std::filesystem::path(shownInput).filename().string() + ", frame 1";
    ContactSheet sheet(frame1.width(), frame1.height(), title);
    sheet.place(ContactSheet::kCells - 1, frame1, "Source");

    const bool finished = BuildSnapshots(
        frame1, switches,
        [&](int variant, const Picture& snapshot) {
            if (error)
                return;
            imaging::WritePng(Numbered(dir, "variant-%02d.png", variant), ViewOf(snapshot), &error);
            const std::string label = std::to_string(variant) + " " + std::string(kVariants[variant].name);
            sheet.place(variant, snapshot, label);
        },
        [&](double percent) {
            // The pipeline reports snapshots from 50 to 100; here they are the whole job.
            bar.update((percent - 50.0) * 2.0, detail);
            return !error && !Interrupted();
        });
    if (!error && !finished)
        error = MakeError(imaging::ErrorKind::Cancelled, dir, "interrupted");
    if (!error)
        imaging::WritePng((std::filesystem::path(dir) / "sheet.png").string(), ViewOf(sheet.picture()),
                          &error);
    return error;
}

} // namespace

int RunSnapshots(const SnapshotArgs& args)
{
    Plan plan;
    if (std::string problem = MakePlan(args, "", &plan); !problem.empty())
        return UsageError(problem);
    imaging::Error error;
    if (args.outDir && !MakeFolder(*args.outDir, &error))
        return Report(error);
    StandardStreams streams;
    const bool batch = plan.jobs.size() > 1;
    ProgressBar bar("snapshots", args.quiet);
    int worst = kExitOk, done = 0, failed = 0;
    for (std::size_t i = 0; i < plan.jobs.size() && !Interrupted(); ++i) {
        const Job& job = plan.jobs[i];
        std::string input = job.input;
        if (job.input != "-" || streams.captureInput(&input, &error)) {
            const std::string detail =
                batch ? "file " + std::to_string(i + 1) + "/" + std::to_string(plan.jobs.size())
                      : std::string();
            const std::string shown = job.input == "-" ? std::string(kStandardInput) : job.input;
            error = Snapshots(input, shown, job.output, plan.resize, args.switches, bar, detail);
            streams.renameInError(error);
        }
        int code = kExitOk;
        if (error) {
            bar.finish();
            code = Report(error);
        }
        worst = Worse(worst, code);
        (code == kExitOk ? done : failed) += 1;
    }
    bar.finish();
    if (batch && (!args.quiet || failed > 0))
        PrintSummary("made snapshots of", plan.jobs.size(), done, failed);
    if (Interrupted())
        return kExitInterrupted;
    return worst;
}

namespace {

// Opens input for reading; "-" is standard input, captured into streams.
bool OpenInput(const std::string& input, StandardStreams& streams, imaging::AnimationReader& reader,
               imaging::Error* error)
{
    std::string path = input;
    if (!HasInputName(input, error) || (input == "-" && !streams.captureInput(&path, error)))
        return false;
    reader.setCancelCheck(Interrupted);
    const bool opened = reader.open(path, error);
    streams.renameInError(*error);
    return opened;
}

} // namespace

int RunFrames(const FramesArgs& args)
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
        if (Interrupted())
            return Report(MakeError(imaging::ErrorKind::Cancelled, args.dir, "interrupted"));
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

int RunInfo(const std::string& input)
{
    imaging::Error error;
    StandardStreams streams;
    imaging::AnimationReader reader;
    if (!OpenInput(input, streams, reader, &error))
        return Report(error);
    // Damaged image data shows only in decoding: every frame is decoded.
    imaging::RgbaImage frame;
    while (reader.readNext(frame, &error)) {
    }
    streams.renameInError(error);
    if (error)
        return Report(error);
    const std::string shown = input == "-" ? std::string(kStandardInput) : input;
    const imaging::AnimationDamage& damage = reader.damage();
    WarnOfDamage(shown, damage);
    const imaging::AnimationInfo& info = reader.info();
    long long total = 0;
    std::cout << "file:     " << shown << "\n"
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
