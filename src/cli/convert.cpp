// quillframe-cli convert: IN OUT, or IN... --out-dir DIR, through the
// pipeline's batch.
#include "commands.h"
#include "common.h"
#include "engine/variants.h"
#include "pipeline/batch.h"
#include "progress_bar.h"
#include "standard_streams.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csignal>
#include <iostream>
#include <filesystem>
#include <string>

namespace qf::cli {

namespace {

// Output formats by name, as --format takes them, with their extensions.
struct FormatName {
    const char* name;
    const char* extension;
    OutputFormat format;
};
constexpr FormatName kFormatNames[] = {{"gif", ".gif", OutputFormat::Gif},
                                       {"webp", ".webp", OutputFormat::Webp},
                                       {"mp4", ".mp4", OutputFormat::Mp4},
                                       {"webm", ".webm", OutputFormat::Webm}};

const FormatName* FormatNamed(const std::string& name)
{
    for (const FormatName& known : kFormatNames)
        if (name == known.name || name == known.extension)
            return &known;
    return nullptr;
}

// The format of each output: its extension's, else --format's, else GIF.
// Returns what is wrong with the command line, or "".
std::string ChooseFormats(const ConvertArgs& args, const Plan& plan, std::vector<OutputFormat>* formats)
{
    std::optional<OutputFormat> requested;
    if (args.format)
        requested = FormatNamed(*args.format)->format;
    for (const Job& job : plan.jobs) {
        const std::string extension = job.output == "-" ? std::string() : ExtensionOf(job.output);
        OutputFormat format = requested.value_or(OutputFormat::Gif);
        if (const FormatName* named = extension.empty() ? nullptr : FormatNamed(extension)) {
            format = named->format;
            if (requested && *requested != format)
                return job.output + " ends in " + extension + " but --format is " + *args.format;
        } else if (!extension.empty()) {
            return job.output + ": cannot write " + extension
                   + " files; the output must end in .gif, .webp, .mp4 or .webm (or name none and give --format)";
        }
        formats->push_back(format);
    }
    return {};
}

std::string ExtensionFor(OutputFormat format)
{
    for (const FormatName& known : kFormatNames)
        if (known.format == format)
            return known.extension;
    return ".gif";
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
            return std::string(times[i].first)
                   + " must be a time in seconds (12.5) or minutes and seconds (1:02.5), not '"
                   + **times[i].second + "'";
    }
    timeline->fps = args.fps;
    timeline->speed = args.speed;
    timeline->bounce = args.bounce;
    return {};
}

// Bytes from "500000", "256K", "256KB", "10M", "1.5MB", "1G" (1K = 1024);
// nullopt when the text is no size.
std::optional<long long> ParseBytes(const std::string& text)
{
    std::size_t used = 0;
    double value = 0;
    try {
        value = std::stod(text, &used);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::string unit = text.substr(used);
    for (char& c : unit)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    double factor = 0;
    if (unit.empty() || unit == "B")
        factor = 1;
    else if (unit == "K" || unit == "KB" || unit == "KIB")
        factor = 1024;
    else if (unit == "M" || unit == "MB" || unit == "MIB")
        factor = 1024.0 * 1024;
    else if (unit == "G" || unit == "GB" || unit == "GIB")
        factor = 1024.0 * 1024 * 1024;
    const double bytes = std::floor(value * factor);
    if (factor == 0 || !(bytes >= 1) || bytes > 1e15)
        return std::nullopt;
    return static_cast<long long>(bytes);
}

// An MP4's or WebM's expected size and the rates common limits would get.
template <typename Limits>
int PrintClipEstimate(const BatchJob& job, const ConvertOptions& options, const Limits& limits)
{
    imaging::Error error;
    long long bytes = 0;
    if (!EstimateClip(job.input, options, &bytes, &error)) {
        std::cerr << "error: " << error.message() << "\n";
        return ExitCodeFor(error);
    }
    std::cout << job.input << ": about " << DescribeBytes(bytes) << " at quality "
              << (options.output.quality > 100 ? 70 : options.output.quality) << "\n";
    for (const auto& [limit, name] : limits) {
        const int rate = ClipRateWithin(job.input, options, limit, &error);
        if (rate < 0) {
            std::cerr << "error: " << error.message() << "\n";
            return ExitCodeFor(error);
        }
        std::cout << "  to fit in " << name << ": "
                  << (rate > 0 ? "pictures at " + std::to_string(rate / 1000) + " kbit/s" : std::string("cannot"))
                  << "\n";
    }
    return kExitOk;
}

// Prints, for each input, the expected size at the options' settings and
// the settings common limits would get.
int PrintEstimates(const std::vector<BatchJob>& jobs, const ConvertOptions& base)
{
    static constexpr std::pair<long long, const char*> kLimits[] = {
        {10LL << 20, "10 MB"}, {8LL << 20, "8 MB"}, {5LL << 20, "5 MB"}, {256LL << 10, "256 KB"}};
    int worst = kExitOk;
    for (const BatchJob& job : jobs) {
        ConvertOptions options = base;
        options.output.format = job.format;
        if (imaging::IsVideo(job.format)) {
            worst = std::max(worst, PrintClipEstimate(job, options, kLimits));
            continue;
        }
        SizeEstimator estimator;
        imaging::Error error;
        long long bytes = 0;
        if (!estimator.open(job.input, options, &error)
            || !estimator.estimate(SettingsOf(options), &bytes, &error)) {
            std::cerr << "error: " << error.message() << "\n";
            worst = std::max(worst, ExitCodeFor(error));
            continue;
        }
        std::cout << job.input << ": about " << DescribeBytes(bytes) << " at "
                  << DescribeSettings(SettingsOf(options)) << "\n";
        for (const auto& [limit, name] : kLimits) {
            SizeSettings chosen;
            long long smallest = 0;
            std::cout << "  to fit in " << name << ": ";
            long long expected = 0;
            if (estimator.choose(static_cast<double>(limit) * kBudgetAim, &chosen, &smallest, &error, kRoughShare,
                                 &expected)) {
                std::cout << DescribeSettings(chosen) << " (about " << DescribeBytes(expected) << ")\n";
            } else if (!error) {
                std::cout << "cannot (the smallest is about " << DescribeBytes(smallest) << ")\n";
            } else {
                std::cout << "\n";
                std::cerr << "error: " << error.message() << "\n";
                worst = std::max(worst, ExitCodeFor(error));
                break;
            }
        }
    }
    return worst;
}

} // namespace

int RunConvert(const ConvertArgs& args)
{
    const std::optional<int> variant = VariantFromText(args.variant);
    if (!variant) {
        std::string names;
        for (int v = 0; v < kVariantCount; ++v)
            names += (v ? ", " : "") + VariantSlug(v);
        return UsageError("--variant: '" + args.variant + "' is no variant; give 0-" + std::to_string(kLastVariant)
                          + " or one of: " + names);
    }
    const std::string batchExtension = args.format ? FormatNamed(*args.format)->extension : ".gif";
    Plan plan;
    if (std::string problem = MakePlan(args, batchExtension, &plan); !problem.empty())
        return UsageError(problem);
    std::vector<OutputFormat> formats;
    if (std::string problem = ChooseFormats(args, plan, &formats); !problem.empty())
        return UsageError(problem);
    TimelineOptions timeline;
    if (std::string problem = ParseTimeline(args, &timeline); !problem.empty())
        return UsageError(problem);

    imaging::Error error;
    imaging::OutputFolder outDir;
    if (args.outDir && !imaging::OpenOutputFolder(*args.outDir, &outDir, &error))
        return Report(error);
    StandardStreams streams;
    const bool batch = plan.jobs.size() > 1;
    std::vector<BatchJob> jobs;
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        const Job& job = plan.jobs[i];
        BatchJob& converted = jobs.emplace_back();
        converted.input = job.input;
        converted.output = job.output;
        converted.format = formats[i];
        converted.streamed = job.output == "-";
        if (!streams.readInput(job.input, &converted.input, &error))
            return Report(error);
        // The result bound for standard output is written to a file first.
        if (job.output == "-" && !streams.outputFile(ExtensionFor(formats[i]), &converted.output, &error))
            return Report(error);
        // Several inputs get a frame folder each, named like their results.
        if (args.pngFramesDir)
            converted.pngFramesDir =
                batch ? (std::filesystem::path(*args.pngFramesDir)
                         / imaging::FolderNameFor(std::filesystem::path(job.output).stem().string()))
                            .string()
                      : *args.pngFramesDir;
    }
    std::optional<long long> maxBytes;
    if (args.maxBytes && !(maxBytes = ParseBytes(*args.maxBytes)))
        return UsageError("--max-bytes: '" + *args.maxBytes + "' is no size; give e.g. 10M, 256K or 500000");
    if (plan.writesStandardOutput)
        std::signal(SIGPIPE, SIG_IGN); // a closed pipe is reported as a write error

    ProgressBar bar("converting", args.quiet);
    Tally tally;

    BatchOptions options;
    options.convert.variant = *variant;
    options.convert.switches = args.switches;
    options.convert.threads = args.threads;
    options.convert.resize = plan.resize;
    options.convert.timeline = timeline;
    options.convert.mergeRepeats = args.mergeRepeats;
    options.convert.keepTransparency = args.keepTransparency;
    options.convert.output.quality = args.quality.value_or(imaging::kLosslessQuality);
    options.convert.sound = !args.noAudio;
    // Said once for the run, whatever the inputs.
    const bool clips = std::any_of(formats.begin(), formats.end(), [](OutputFormat f) { return imaging::IsVideo(f); });
    if (clips && !args.quiet && !args.estimate) {
        std::cerr << "note: an MP4 or WebM holds one pass of the animation; players loop it as they choose\n";
        if (args.bounce && !args.noAudio)
            std::cerr << "note: --bounce leaves the sound out (played backward it would not match the pictures)\n";
    }
    options.convert.cancelled = Interrupted;
    options.maxBytes = maxBytes.value_or(0);
    if (args.estimate)
        return PrintEstimates(jobs, options.convert);
    options.progress = [&](const BatchProgress& at) {
        const std::string detail = batch ? "files " + std::to_string(at.filesDone) + "/"
                                               + std::to_string(at.fileCount) + ", frames "
                                               + std::to_string(at.framesDone) + "/"
                                               + std::to_string(at.totalFrames)
                                         : "frame " + std::to_string(at.jobFrame) + "/"
                                               + std::to_string(at.jobFrames);
        bar.update(at.percent(), detail);
        return !Interrupted();
    };
    options.deliver = [&](std::size_t i, imaging::Error* failure) {
        return plan.jobs[i].output != "-" || streams.sendOutput(jobs[i].output, failure);
    };
    options.finished = [&](std::size_t i, const JobOutcome& outcome) {
        const Job& job = plan.jobs[i];
        int code = kExitOk;
        if (!outcome.error) {
            if (maxBytes && !args.quiet)
                bar.print((job.output == "-" ? std::string("standard output") : job.output) + ": "
                          + DescribeBytes(outcome.budget.bytes) + " at "
                          + DescribeSettings(outcome.budget.settings)
                          + (outcome.budget.settings.kilobits > 0
                                 ? ", " + std::to_string(outcome.budget.fullEncodes) + " encodes"
                                 : std::string()));
            if (outcome.damage)
                bar.print("warning: "
                          + imaging::Printable((job.input == "-" ? std::string(kStandardInput) : job.input)
                                               + ": " + outcome.damage.message()));
        } else {
            imaging::Error error = outcome.error;
            streams.renameInError(error);
            bar.print("error: " + error.message());
            code = ExitCodeFor(error);
        }
        tally.record(code);
    };
    ConvertBatch(jobs, options);
    return tally.finish(bar, "converted", plan.jobs.size(), args.quiet);
}

} // namespace qf::cli
