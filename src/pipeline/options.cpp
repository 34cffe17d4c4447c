#include "options.h"

#include "convert.h"
#include "engine/variants.h"
#include "imaging/errors.h"
#include "timeline.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace qf {

namespace {

// A number as help and messages write it: "0.1", "50", "0.25".
std::string Number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string Replaced(std::string text, std::string_view marker, const std::string& by)
{
    if (const std::size_t at = text.find(marker); at != std::string::npos)
        text.replace(at, marker.size(), by);
    return text;
}

std::vector<OptionInfo> MakeOptions()
{
    const unsigned batch = kConvertCommand | kSnapshotsCommand;
    using K = ValueKind;
    std::vector<OptionInfo> rows{
        {.id = OptionId::Variant,
         .flag = "-v,--variant",
         .valueName = "VARIANT",
         .kind = K::Text,
         .help = "Effect variant: 0-" + std::to_string(kLastVariant) + " or its name, e.g. pencil-on-paper",
         .defaultText = "0",
         .inWindow = true},
        {.id = OptionId::OutDir,
         .flag = "--out-dir",
         .valueName = "DIR",
         .kind = K::Folder,
         .help = "Write one result per input into DIR (created if missing), named after the input",
         .commands = batch},
        {.id = OptionId::Suffix,
         .flag = "--suffix",
         .valueName = "TEXT",
         .kind = K::Text,
         .help = "With --out-dir: add TEXT to each result's name (e.g. -sketch)",
         .commands = batch},
        {.id = OptionId::MaxSize,
         .flag = "--max-size",
         .valueName = "WIDTHxHEIGHT",
         .kind = K::Text,
         .help = "Shrink frames to fit within WIDTHxHEIGHT (e.g. 640x480), keeping the aspect ratio, before "
                 "the effect",
         .commands = batch},
        {.id = OptionId::Scale,
         .flag = "--scale",
         .valueName = "FACTOR",
         .kind = K::Number,
         .help = "Resize frames by this factor, {range}, before the effect (e.g. 0.5)",
         .min = kMinScale,
         .max = kMaxScale,
         .commands = batch},
        {.id = OptionId::Quiet,
         .flag = "-q,--quiet",
         .help = "No progress bar",
         .commands = batch | kFramesCommand},
        {.id = OptionId::Format,
         .flag = "--format",
         .valueName = "FORMAT",
         .kind = K::Choice,
         .help = "The output format when OUT ends in none of .gif, .webp, .mp4 and .webm",
         .defaultText = "gif",
         .choices = {{"gif", "GIF animation"},
                     {"webp", "animated WebP"},
                     {"mp4", "H.264 video"},
                     {"webm", "VP9 video, or AV1 with --codec av1"}},
         .inWindow = true},
        {.id = OptionId::Codec,
         .flag = "--codec",
         .valueName = "CODEC",
         .kind = K::Choice,
         .help = "The pictures' codec of a WebM: av1 gives about half the size of vp9 at the same "
                 "fidelity and takes frames of at least "
                 + std::to_string(imaging::kMinAv1Side) + " x " + std::to_string(imaging::kMinAv1Side),
         .defaultText = "vp9",
         .choices = {{"vp9", "VP9 (libvpx)"}, {"av1", "AV1 (SVT-AV1)"}}},
        {.id = OptionId::Quality,
         .flag = "--quality",
         .valueName = "Q",
         .kind = K::Number,
         .help = "The quality, {range}: lower gives smaller files. A GIF at 100 is near-lossless; a WebP is "
                 "lossy at this quality",
         .min = kMinQuality,
         .max = kMaxQuality,
         .defaultText = "a GIF 100, a WebP lossless",
         .whole = true},
        {.id = OptionId::KeepTransparency,
         .flag = "--keep-transparency",
         .help = "Where a source frame is transparent, leave the result transparent too (the effect still "
                 "sees the frame over white)"},
        {.id = OptionId::Threads,
         .flag = "-j,--threads",
         .valueName = "N",
         .kind = K::Number,
         .help = "Worker threads, {range}; 0 uses every core",
         .min = 0,
         .max = kMaxThreads,
         .defaultText = "0",
         .whole = true},
        {.id = OptionId::PngFrames,
         .flag = "--png-frames",
         .valueName = "DIR",
         .kind = K::Folder,
         .help = "Also write each rendered frame, before colour reduction, as DIR/frame-0001.png, ..."},
        {.id = OptionId::Start,
         .flag = "--start",
         .valueName = "TIME",
         .kind = K::Time,
         .help = "Begin at this time: seconds (12.5) or minutes and seconds (1:02.5)",
         .unit = "seconds",
         .min = 0,
         .max = kLatestTime,
         .inWindow = true},
        {.id = OptionId::End,
         .flag = "--end",
         .valueName = "TIME",
         .kind = K::Time,
         .help = "End at this time (as --start; not with --duration)",
         .unit = "seconds",
         .min = kShortestSpan,
         .max = kLatestTime,
         .defaultText = "the end",
         .inWindow = true},
        {.id = OptionId::Duration,
         .flag = "--duration",
         .valueName = "TIME",
         .kind = K::Time,
         .help = "Take this long from --start, {range}",
         .unit = "seconds",
         .min = kShortestSpan,
         .max = kLatestTime},
        {.id = OptionId::Fps,
         .flag = "--fps",
         .valueName = "FPS",
         .kind = K::Number,
         .help = "Sample at {range}",
         .unit = "frames a second",
         .min = kMinFps,
         .max = kMaxFps,
         .defaultText =
             "a clip's own rate up to " + Number(kDefaultVideoFps) + "; every frame of a GIF or WebP",
         .inWindow = true},
        {.id = OptionId::Speed,
         .flag = "--speed",
         .valueName = "FACTOR",
         .kind = K::Number,
         .help = "Play this many times as fast, {range}",
         .min = kMinSpeed,
         .max = kMaxSpeed,
         .defaultText = "1"},
        {.id = OptionId::Bounce,
         .flag = "--bounce",
         .help = "Play forward, then backward (an MP4 or WebM then has no sound)"},
        {.id = OptionId::NoAudio,
         .flag = "--no-audio",
         .help = "An MP4 or WebM made from a clip without its sound"},
        {.id = OptionId::MergeRepeats,
         .flag = "--merge-repeats",
         .help = "Make consecutive frames that come out the same one frame (always done for a clip)"},
        {.id = OptionId::MaxBytes,
         .flag = "--max-bytes",
         .valueName = "SIZE",
         .kind = K::Bytes,
         .help = "The best-looking output that fits in SIZE, {range}: 10M, 8MB, 256K, 500000 (1K = 1024). "
                 "Lowers the quality, then drops frames (keeping the timing), then shrinks the frames",
         .min = static_cast<double>(kMinBudget),
         .max = static_cast<double>(kMaxBudget),
         .inWindow = true},
        {.id = OptionId::Estimate,
         .flag = "--estimate",
         .help = "Print the expected size at these settings, and what --max-bytes would choose for its SIZE "
                 "or else for common limits; write nothing"},
    };
    // The style controls, with the engine's captions and help; the grain last.
    const OptionId styleIds[kStyleControlCount] = {OptionId::Ink, OptionId::Lines};
    for (int i = 0; i < kStyleControlCount; ++i) {
        const StyleControlInfo& info = kStyleControls[static_cast<std::size_t>(i)];
        rows.push_back({.id = styleIds[i],
                        .flag = std::string(info.flag),
                        .valueName = "N",
                        .kind = K::Number,
                        .help = std::string(info.help) + "; {range}",
                        .min = kMinStyle,
                        .max = kMaxStyle,
                        .defaultText = std::to_string(kDesignedStyle) + ", as designed",
                        .commands = batch,
                        .inWindow = true});
    }
    rows.push_back({.id = OptionId::Grain,
                    .flag = "--grain",
                    .valueName = "GRAIN",
                    .kind = K::Choice,
                    .help =
                        "The grain of the pencil paper (variant 2): moving changes it every three frames; "
                        "still holds it still wherever the picture does not change",
                    .defaultText = "moving, as designed",
                    .choices = {{"moving", "changes every three frames"},
                                {"still", "holds still where the picture does"}},
                    .commands = batch,
                    .inWindow = true});
    std::string sizes;
    for (const long long bytes : kFitUnderChoices)
        sizes += (sizes.empty() ? "" : ", ") + DescribeBytes(bytes);
    for (OptionInfo& row : rows)
        if (row.id == OptionId::Estimate)
            row.help = Replaced(row.help, "common limits", sizes);
    return rows;
}

} // namespace

const std::vector<OptionInfo>& Options()
{
    static const std::vector<OptionInfo> rows = MakeOptions();
    return rows;
}

const OptionInfo& Option(OptionId id)
{
    for (const OptionInfo& row : Options())
        if (row.id == id)
            return row;
    throw std::logic_error("an option missing from the table");
}

std::string OptionInfo::longFlag() const
{
    const std::size_t comma = flag.rfind(',');
    return comma == std::string::npos ? flag : flag.substr(comma + 1);
}

std::string OptionInfo::rangeText() const
{
    const auto amount = [this](double value) {
        return kind == ValueKind::Bytes ? DescribeBytes(static_cast<long long>(value))
                                        : Number(value) + (unit.empty() ? "" : " " + unit);
    };
    if (kind == ValueKind::Time || kind == ValueKind::Bytes)
        return "at least " + amount(min); // the most is far beyond any clip or file
    if (kind == ValueKind::Number)
        return Number(min) + " to " + amount(max);
    return {};
}

std::string OptionInfo::fullHelp() const
{
    std::string text = Replaced(help, "{range}", rangeText());
    if (!defaultText.empty())
        text += " (default " + defaultText + ")";
    return text;
}

std::string DescribeBytes(long long bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    const char* const units[] = {"kB", "MB", "GB"};
    int unit = 0;
    double amount = static_cast<double>(bytes) / 1024;
    for (; unit < 2 && amount >= 1024; ++unit)
        amount /= 1024;
    char text[40];
    std::snprintf(text, sizeof text, unit == 0 ? "%.1f %s" : "%.2f %s", amount, units[unit]);
    // Whole amounts without their zeros: "10 MB", "256 kB".
    std::string shown = text;
    const std::size_t dot = shown.find('.'), space = shown.find(' ');
    if (shown.find_first_not_of('0', dot + 1) == space)
        shown.erase(dot, space - dot);
    return shown;
}

std::optional<double> ParseDecimal(std::string_view text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (text.empty() || problem != std::errc() || stop != end || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> ParseBytes(std::string_view text)
{
    std::size_t digits = 0;
    while (digits < text.size()
           && (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
        ++digits;
    const std::optional<double> value = ParseDecimal(text.substr(0, digits));
    std::string unit(text.substr(digits));
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
    if (!value || factor == 0)
        return std::nullopt;
    const double bytes = std::floor(*value * factor);
    if (!(bytes >= 1 && bytes <= 1e15))
        return std::nullopt;
    return static_cast<long long>(bytes);
}

std::string CheckValue(OptionId id, double value)
{
    const OptionInfo& row = Option(id);
    if (std::isfinite(value) && value >= row.min && value <= row.max
        && (!row.whole || value == std::floor(value)))
        return {};
    if (row.whole && std::isfinite(value) && value >= row.min && value <= row.max)
        return row.longFlag() + " must be a whole number, not " + Number(value);
    const bool openEnded = row.kind == ValueKind::Time || row.kind == ValueKind::Bytes;
    const std::string shown = row.kind == ValueKind::Bytes && std::isfinite(value)
                                  ? DescribeBytes(static_cast<long long>(value))
                                  : Number(value);
    if (openEnded && value > row.max)
        return row.longFlag() + " must be at most "
               + (row.kind == ValueKind::Bytes ? DescribeBytes(static_cast<long long>(row.max))
                                               : Number(row.max) + " " + row.unit)
               + ", not " + shown;
    return row.longFlag() + " must be " + (openEnded ? "" : "from ") + row.rangeText() + ", not " + shown;
}

std::optional<double> ReadValue(OptionId id, std::string_view text, std::string* problem)
{
    const OptionInfo& row = Option(id);
    std::optional<double> value;
    if (row.kind == ValueKind::Time)
        value = ParseSeconds(std::string(text));
    else if (row.kind == ValueKind::Bytes) {
        if (const std::optional<long long> bytes = ParseBytes(text))
            value = static_cast<double>(*bytes);
    } else
        value = ParseDecimal(text);
    if (!value) {
        const char* what = row.kind == ValueKind::Time
                               ? "a time in seconds (12.5) or minutes and seconds (1:02.5)"
                           : row.kind == ValueKind::Bytes ? "a size such as 10M, 256K or 500000"
                                                          : "a decimal number";
        *problem = row.longFlag() + " must be " + what + ", not '" + std::string(text) + "'";
        return std::nullopt;
    }
    if (std::string out = CheckValue(id, *value); !out.empty()) {
        *problem = out;
        return std::nullopt;
    }
    return value;
}

namespace {

// Checks values against the table and keeps the first problem.
struct Checker {
    std::string problem;

    void operator()(OptionId id, std::optional<double> value)
    {
        if (problem.empty() && value)
            problem = CheckValue(id, *value);
    }
};

std::string TimelineProblem(const TimelineOptions& t)
{
    Checker check;
    check(OptionId::Start, t.start);
    check(OptionId::End, t.end);
    check(OptionId::Duration, t.duration);
    check(OptionId::Fps, t.fps);
    check(OptionId::Speed, t.speed);
    if (check.problem.empty() && t.end && t.duration)
        check.problem = "--end and --duration cannot both be given";
    if (check.problem.empty() && t.end && *t.end <= t.start.value_or(0))
        check.problem = "the end, " + Number(*t.end) + " s, is not after the start, "
                        + Number(t.start.value_or(0)) + " s";
    return check.problem;
}

} // namespace

bool CheckTimeline(const std::string& file, const TimelineOptions& timeline, imaging::Error* error)
{
    const std::string problem = TimelineProblem(timeline);
    return problem.empty() || imaging::Fail(error, imaging::ErrorKind::InvalidArgument, file, problem);
}

bool CheckOptions(const std::string& file, const ConvertOptions& options, long long maxBytes,
                  imaging::Error* error)
{
    Checker check{TimelineProblem(options.timeline)};
    check(OptionId::Threads, options.threads);
    if (options.resize.scale != 0) // 0 keeps the size
        check(OptionId::Scale, options.resize.scale);
    const bool webp = options.output.format == imaging::OutputFormat::Webp;
    if (options.output.quality != imaging::kLosslessQuality
        && !(webp && options.output.quality == kLowestWebpQuality))
        check(OptionId::Quality, options.output.quality);
    if (maxBytes != 0)
        check(OptionId::MaxBytes, static_cast<double>(maxBytes));
    if (check.problem.empty() && options.output.webmCodec != imaging::WebmCodec::Vp9
        && options.output.format != imaging::OutputFormat::Webm)
        check.problem = "--codec av1 is for WebM output only (.webm or --format webm)";
    check(OptionId::Ink, options.switches.Ink);
    check(OptionId::Lines, options.switches.Lines);
    return check.problem.empty()
           || imaging::Fail(error, imaging::ErrorKind::InvalidArgument, file, check.problem);
}

} // namespace qf
