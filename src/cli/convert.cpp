// quillframe-cli convert: IN OUT, or IN... --out-dir DIR, through the
// pipeline's batch.
#include "commands.h"
#include "common.h"
#include "engine/variants.h"
#include "imaging/files/output_paths.h"
#include "pipeline/batch.h"
#include "pipeline/folders.h"
#include "pipeline/options.h"
#include "progress_bar.h"
#include "standard_streams.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <iterator>
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
    if (args.format) {
        const FormatName* named = FormatNamed(*args.format);
        if (!named || *args.format != named->name)
            return "--format must be gif, webp, mp4 or webm, not '" + *args.format + "'";
        requested = named->format;
    }
    for (const Job& job : plan.jobs) {
        const std::string extension = job.output == "-" ? std::string() : ExtensionOf(job.output);
        OutputFormat format = requested.value_or(OutputFormat::Gif);
        if (const FormatName* named = extension.empty() ? nullptr : FormatNamed(extension)) {
            format = named->format;
            if (requested && *requested != format)
                return job.output + " ends in " + extension + " but --format is " + *args.format;
        } else if (!extension.empty()) {
            return job.output + ": cannot write " + extension
                   + " files; the output must end in .gif, .webp, .mp4 or .webm (or name none and give "
                     "--format)";
        }
        formats->push_back(format);
    }
    return {};
}

// The WebM codec --codec names; every output must then be a WebM.
// Returns what is wrong with the command line, or "".
std::string ChooseCodec(const ConvertArgs& args, const Plan& plan, const std::vector<OutputFormat>& formats,
                        imaging::WebmCodec* codec)
{
    if (!args.codec)
        return {};
    if (*args.codec != "vp9" && *args.codec != "av1")
        return "--codec must be vp9 or av1, not '" + *args.codec + "'";
    *codec = *args.codec == "av1" ? imaging::WebmCodec::Av1 : imaging::WebmCodec::Vp9;
    for (std::size_t i = 0; i < formats.size(); ++i)
        if (formats[i] != OutputFormat::Webm)
            return "--codec is for WebM output only, but "
                   + (plan.jobs[i].output == "-" ? std::string("standard output") : plan.jobs[i].output)
                   + " is not a WebM (end it in .webm or give --format webm)";
    return {};
}

std::string ExtensionFor(OutputFormat format)
{
    for (const FormatName& known : kFormatNames)
        if (known.format == format)
            return known.extension;
    return ".gif";
}

// A value of the table read from the command line, when given; false with
// *problem set when it is no value of the option's range.
bool Read(OptionId id, const std::optional<std::string>& text, std::optional<double>* value,
          std::string* problem)
{
    if (text && problem->empty())
        *value = ReadValue(id, *text, problem);
    return problem->empty();
}

// The conversion the command line asks for (apart from the files), or a
// problem with it.
std::string ReadConvertOptions(const ConvertArgs& args, ConvertOptions* options,
                               std::optional<long long>* maxBytes)
{
    std::string problem;
    std::optional<double> quality, threads, speed, bytes;
    TimelineOptions& timeline = options->timeline;
    Read(OptionId::Start, args.start, &timeline.start, &problem);
    Read(OptionId::End, args.end, &timeline.end, &problem);
    Read(OptionId::Duration, args.duration, &timeline.duration, &problem);
    Read(OptionId::Fps, args.fps, &timeline.fps, &problem);
    Read(OptionId::Speed, args.speed, &speed, &problem);
    Read(OptionId::Quality, args.quality, &quality, &problem);
    Read(OptionId::Threads, args.threads, &threads, &problem);
    if (!Read(OptionId::MaxBytes, args.maxBytes, &bytes, &problem))
        return problem;
    timeline.speed = speed.value_or(1);
    timeline.bounce = args.bounce;
    options->output.quality = quality ? static_cast<int>(*quality) : imaging::kLosslessQuality;
    options->threads = static_cast<int>(threads.value_or(0));
    if (bytes)
        *maxBytes = static_cast<long long>(*bytes);
    // The library's own check, so that no value passes here that it refuses.
    imaging::Error error;
    if (!CheckOptions("", *options, maxBytes->value_or(0), &error))
        return error.reason;
    return {};
}

// An MP4's or WebM's expected size and the rates the limits would get.
int PrintClipEstimate(const BatchJob& job, const ConvertOptions& options,
                      const std::vector<long long>& limits)
{
    imaging::Error error;
    long long bytes = 0;
    if (!EstimateClip(job.input, options, &bytes, &error)) {
        std::cerr << "error: " << error.message() << "\n";
        return ExitCodeFor(error);
    }
    std::cout << job.input << ": about " << DescribeBytes(bytes) << " at quality "
              << (options.output.quality > 100 ? 70 : options.output.quality) << "\n";
    std::vector<std::optional<SizeSettings>> firsts;
    if (!ClipChoicesWithin(job.input, options, limits, &firsts, &error)) {
        std::cerr << "error: " << error.message() << "\n";
        return ExitCodeFor(error);
    }
    for (std::size_t i = 0; i < limits.size(); ++i) {
        const std::optional<SizeSettings>& first = firsts[i];
        std::cout << "  to fit in " << DescribeBytes(limits[i]) << ": "
                  << (!first ? std::string("cannot")
                             : (first->kilobits > 0 ? "pictures at " : "") + DescribeSettings(*first))
                  << "\n";
    }
    return kExitOk;
}

// The expected size of one input and the settings each limit gets.
int PrintEstimate(const BatchJob& job, const ConvertOptions& base, const std::vector<long long>& limits)
{
    ConvertOptions options = base;
    options.output.format = job.format;
    if (imaging::IsVideo(job.format))
        return PrintClipEstimate(job, options, limits);
    SizeEstimator estimator;
    imaging::Error error;
    long long bytes = 0;
    if (!estimator.open(job.input, options, &error)
        || !estimator.estimate(SettingsOf(options), &bytes, &error)) {
        std::cerr << "error: " << error.message() << "\n";
        return ExitCodeFor(error);
    }
    std::cout << job.input << ": about " << DescribeBytes(bytes) << " at "
              << DescribeSettings(SettingsOf(options)) << "\n";
    for (const long long limit : limits) {
        SizeSettings chosen;
        long long smallest = 0;
        std::cout << "  to fit in " << DescribeBytes(limit) << ": ";
        long long expected = 0;
        if (ChooseForBudget(estimator, limit, &chosen, &smallest, &error, &expected)) {
            std::cout << DescribeSettings(chosen) << " (about " << DescribeBytes(expected) << ")\n";
        } else if (!error) {
            std::cout << "cannot (the smallest is about " << DescribeBytes(smallest) << ")\n";
        } else {
            std::cout << "\n";
            std::cerr << "error: " << error.message() << "\n";
            return ExitCodeFor(error);
        }
    }
    return kExitOk;
}

// Prints, for each input, the expected size at the options' settings and
// the settings --max-bytes chooses: for maxBytes when given, else for each
// of the Fit under choices.
int PrintEstimates(const std::vector<BatchJob>& jobs, const ConvertOptions& base,
                   std::optional<long long> maxBytes)
{
    std::vector<long long> limits(std::begin(kFitUnderChoices), std::end(kFitUnderChoices));
    if (maxBytes)
        limits = {*maxBytes};
    int worst = kExitOk;
    for (const BatchJob& job : jobs) {
        // A fault while estimating one input (a thread the system refuses, a
        // block it cannot give) names that input and leaves the others.
        try {
            worst = std::max(worst, PrintEstimate(job, base, limits));
        } catch (...) {
            const imaging::Error error = imaging::CaughtError(job.input);
            std::cerr << "error: " << error.message() << "\n";
            worst = std::max(worst, ExitCodeFor(error));
        }
    }
    return worst;
}

} // namespace

int RunConvert(const ConvertArgs& args)
{
    const std::string variantText = args.variant.value_or("0");
    const std::optional<int> variant = VariantFromText(variantText);
    if (!variant) {
        std::string names;
        for (int v = 0; v < kVariantCount; ++v)
            names += (v ? ", " : "") + VariantSlug(v);
        return UsageError("--variant: '" + variantText + "' is no variant; give 0-"
                          + std::to_string(kLastVariant) + " or one of: " + names);
    }
    const FormatName* batchFormat = args.format ? FormatNamed(*args.format) : nullptr;
    Plan plan;
    if (std::string problem = MakePlan(args, batchFormat ? batchFormat->extension : ".gif", &plan);
        !problem.empty())
        return UsageError(problem);
    std::vector<OutputFormat> formats;
    if (std::string problem = ChooseFormats(args, plan, &formats); !problem.empty())
        return UsageError(problem);
    imaging::WebmCodec codec = imaging::WebmCodec::Vp9;
    if (std::string problem = ChooseCodec(args, plan, formats, &codec); !problem.empty())
        return UsageError(problem);
    BatchOptions options;
    std::optional<long long> maxBytes;
    if (std::string problem = ReadConvertOptions(args, &options.convert, &maxBytes); !problem.empty())
        return UsageError(problem);
    options.convert.output.webmCodec = codec;

    const bool batch = plan.jobs.size() > 1;
    for (const Job& job : plan.jobs) {
        if (!args.pngFramesDir)
            break;
        const std::string folder =
            batch ? (std::filesystem::path(*args.pngFramesDir)
                     / imaging::FolderNameFor(std::filesystem::path(job.output).stem().string()))
                        .string()
                  : *args.pngFramesDir;
        if (std::string problem = FolderOverInput(
                job.input, folder, [](const std::string& name) { return FramePngNumber(name) > 0; });
            !problem.empty())
            return UsageError(problem);
    }

    imaging::Error error;
    imaging::OutputFolder outDir;
    if (args.outDir && !imaging::OpenOutputFolder(*args.outDir, &outDir, &error))
        return Report(error);
    // Several inputs' frame folders are made in one folder, held from here on.
    imaging::OutputFolder framesParent;
    if (batch && args.pngFramesDir && !imaging::OpenOutputFolder(*args.pngFramesDir, &framesParent, &error))
        return Report(error);
    StandardStreams streams;
    std::vector<BatchJob> jobs;
    for (std::size_t i = 0; i < plan.jobs.size(); ++i) {
        const Job& job = plan.jobs[i];
        BatchJob& converted = jobs.emplace_back();
        converted.input = job.input;
        converted.output = job.output;
        converted.format = formats[i];
        converted.streamed = job.output == "-";
        // Results go into the --out-dir folder held open above.
        if (args.outDir) {
            converted.output = std::filesystem::path(job.output).lexically_relative(*args.outDir).string();
            converted.outputFolder = outDir;
        }
        if (!streams.readInput(job.input, &converted.input, &error))
            return Report(error);
        // The result bound for standard output is written to a file first.
        if (job.output == "-" && !streams.outputFile(ExtensionFor(formats[i]), &converted.output, &error))
            return Report(error);
        // Several inputs get a frame folder each, named like their results.
        if (args.pngFramesDir) {
            converted.pngFramesDir =
                batch ? (std::filesystem::path(*args.pngFramesDir)
                         / imaging::FolderNameFor(std::filesystem::path(job.output).stem().string()))
                            .string()
                      : *args.pngFramesDir;
            if (batch)
                converted.pngFramesParent = framesParent;
        }
    }
    if (plan.writesStandardOutput)
        std::signal(SIGPIPE, SIG_IGN); // a closed pipe is reported as a write error

    ProgressBar bar("converting", args.quiet);
    Tally tally;

    options.convert.variant = *variant;
    options.convert.switches = args.switches;
    options.convert.resize = plan.resize;
    options.convert.mergeRepeats = args.mergeRepeats;
    options.convert.keepTransparency = args.keepTransparency;
    options.convert.cancelled = Interrupted;
    options.convert.sound = !args.noAudio;
    options.maxBytes = maxBytes.value_or(0);
    // Said once for the run, whatever the inputs.
    const bool clips =
        std::any_of(formats.begin(), formats.end(), [](OutputFormat f) { return imaging::IsVideo(f); });
    if (clips && !args.quiet && !args.estimate) {
        std::cerr << "note: an MP4 or WebM holds one pass of the animation; players loop it as they choose\n";
        if (args.bounce && !args.noAudio)
            std::cerr
                << "note: --bounce leaves the sound out (played backward it would not match the pictures)\n";
    }
    if (args.estimate)
        return PrintEstimates(jobs, options.convert, maxBytes);
    options.progress = [&](const BatchProgress& at) {
        const std::string detail =
            batch ? "files " + std::to_string(at.filesDone) + "/" + std::to_string(at.fileCount) + ", frames "
                        + std::to_string(at.framesDone) + "/" + std::to_string(at.totalFrames)
                  : "frame " + std::to_string(at.jobFrame) + "/" + std::to_string(at.jobFrames);
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
            // The settings a budget chose are a result, printed also with
            // --quiet (which hides the progress bar).
            if (maxBytes)
                bar.print((job.output == "-" ? std::string("standard output") : job.output) + ": "
                          + DescribeBytes(outcome.budget.bytes) + " at "
                          + DescribeSettings(outcome.budget.settings)
                          + (imaging::IsVideo(jobs[i].format)
                                 ? ", " + std::to_string(outcome.budget.fullEncodes)
                                       + (outcome.budget.fullEncodes == 1 ? " encode" : " encodes")
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
    imaging::RemoveMadeFolder(framesParent, [](const std::string&) { return false; }); // when left empty
    return tally.finish(bar, "converted", plan.jobs.size(), args.quiet);
}

} // namespace qf::cli
