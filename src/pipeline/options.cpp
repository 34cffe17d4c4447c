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
    std::snprintf(text, sizeof text, "%g", value);
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
    const unsigned all = batch | kFramesCommand;
    using K = ValueKind;
    std::vector<OptionInfo> rows{
        {OptionId::Variant, "-v,--variant", "VARIANT", K::Text,
         "Effect variant: 0-" + std::to_string(kLastVariant) + " or its name, e.g. pencil-on-paper", "", 0, 0, "0",
         {}, kConvertCommand, true},
        {OptionId::OutDir, "--out-dir", "DIR", K::Folder,
         "Write one result per input into DIR (created if missing), named after the input", "", 0, 0, "", {},
         batch, false},
        {OptionId::Suffix, "--suffix", "TEXT", K::Text,
         "With --out-dir: add TEXT to each result's name (e.g. -sketch)", "", 0, 0, "", {}, batch, false},
        {OptionId::MaxSize, "--max-size", "WIDTHxHEIGHT", K::Text,
         "Shrink frames to fit within WIDTHxHEIGHT (e.g. 640x480), keeping the aspect ratio, before the effect",
         "", 0, 0, "", {}, batch, false},
        {OptionId::Scale, "--scale", "FACTOR", K::Number,
         "Resize frames by this factor, {range}, before the effect (e.g. 0.5)", "", kMinScale, kMaxScale, "",
         {}, batch, false},
        {OptionId::Quiet, "-q,--quiet", "", K::Flag, "No progress bar", "", 0, 0, "", {}, all, false},
        {OptionId::Format, "--format", "FORMAT", K::Choice,
         "The output format when OUT ends in none of .gif, .webp, .mp4 and .webm", "", 0, 0, "gif",
         {{"gif", "GIF animation"}, {"webp", "animated WebP"}, {"mp4", "H.264 video"}, {"webm", "VP9 video"}},
         kConvertCommand, true},
        {OptionId::Quality, "--quality", "Q", K::Number,
         "The quality, {range}: lower gives smaller files. A GIF at 100 is near-lossless; a WebP is lossy at "
         "this quality; an MP4 or WebM takes the encoder's rate factor for it",
         "", kMinQuality, kMaxQuality, "a GIF 100, a WebP lossless, a clip 70", {}, kConvertCommand, false},
        {OptionId::KeepTransparency, "--keep-transparency", "", K::Flag,
         "Where a source frame is transparent, leave the result transparent too (the effect still sees the "
         "frame over white)",
         "", 0, 0, "", {}, kConvertCommand, false},
        {OptionId::Threads, "-j,--threads", "N", K::Number, "Worker threads, {range}; 0 uses every core", "", 0,
         kMaxThreads, "0", {}, kConvertCommand, false},
        {OptionId::PngFrames, "--png-frames", "DIR", K::Folder,
         "Also write each rendered frame, before colour reduction, as DIR/frame-0001.png, ...", "", 0, 0, "", {},
         kConvertCommand, false},
        {OptionId::Start, "--start", "TIME", K::Time,
         "Begin at this time: seconds (12.5) or minutes and seconds (1:02.5)", "seconds", 0, kLatestTime, "0",
         {}, kConvertCommand, true},
        {OptionId::End, "--end", "TIME", K::Time, "End at this time (as --start; not with --duration)", "seconds",
         kShortestSpan, kLatestTime, "the end", {}, kConvertCommand, true},
        {OptionId::Duration, "--duration", "TIME", K::Time, "Take this long from --start, {range}", "seconds",
         kShortestSpan, kLatestTime, "", {}, kConvertCommand, false},
        {OptionId::Fps, "--fps", "FPS", K::Number, "Sample at {range}", "frames a second", kMinFps, kMaxFps,
         "a clip's own rate up to " + Number(kDefaultVideoFps) + "; every frame of a GIF or WebP", {},
         kConvertCommand, true},
        {OptionId::Speed, "--speed", "FACTOR", K::Number, "Play this many times as fast, {range}", "", kMinSpeed,
         kMaxSpeed, "1", {}, kConvertCommand, false},
        {OptionId::Bounce, "--bounce", "", K::Flag, "Play forward, then backward", "", 0, 0, "", {},
         kConvertCommand, false},
        {OptionId::NoAudio, "--no-audio", "", K::Flag,
         "An MP4 or WebM made from a clip without its sound (a bounce has none)", "", 0, 0, "", {},
         kConvertCommand, false},
        {OptionId::MergeRepeats, "--merge-repeats", "", K::Flag,
         "Make consecutive frames that come out the same one frame (always done for a clip)", "", 0, 0, "", {},
         kConvertCommand, false},
        {OptionId::MaxBytes, "--max-bytes", "SIZE", K::Bytes,
         "The best-looking output that fits in SIZE, {range}: 10M, 8MB, 256K, 500000 (1K = 1024). Lowers the "
         "quality, then drops frames (keeping the timing), then shrinks the frames",
         "", static_cast<double>(kMinBudget), static_cast<double>(kMaxBudget), "", {}, kConvertCommand, true},
        {OptionId::Estimate, "--estimate", "", K::Flag,
         "Print the expected size at these settings, and what --max-bytes would choose for its SIZE or else "
         "for common limits; write nothing",
         "", 0, 0, "", {}, kConvertCommand, false},
    };
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
    if (kind != ValueKind::Number && kind != ValueKind::Time && kind != ValueKind::Bytes)
        return {};
    if (kind == ValueKind::Bytes)
        return DescribeBytes(static_cast<long long>(min)) + " to " + DescribeBytes(static_cast<long long>(max));
    return Number(min) + " to " + Number(max) + (unit.empty() ? "" : " " + unit);
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
    char text[40];
    if (bytes >= 1024LL * 1024 * 1024)
        std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0));
    else if (bytes >= 1024LL * 1024)
        std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    else if (bytes >= 1024)
        std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1024.0);
    else
        std::snprintf(text, sizeof text, "%lld bytes", bytes);
    // Whole amounts without their zeros: "10 MB", "256 kB".
    std::string shown = text;
    const std::size_t dot = shown.find('.');
    if (dot != std::string::npos && shown.find_first_not_of('0', dot + 1) == shown.find(' '))
        shown.erase(dot, shown.find(' ') - dot);
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
    while (digits < text.size() && (std::isdigit(static_cast<unsigned char>(text[digits])) || text[digits] == '.'))
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
    if (!(bytes <= 1e15))
        return std::nullopt;
    return static_cast<long long>(bytes);
}

std::string CheckValue(OptionId id, double value)
{
    const OptionInfo& row = Option(id);
    if (std::isfinite(value) && value >= row.min && value <= row.max)
        return {};
    return row.longFlag() + " must be from " + row.rangeText() + ", not "
           + (row.kind == ValueKind::Bytes && std::isfinite(value) ? DescribeBytes(static_cast<long long>(value))
                                                                     : Number(value));
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
        const char* what = row.kind == ValueKind::Time    ? "a time in seconds (12.5) or minutes and seconds (1:02.5)"
                           : row.kind == ValueKind::Bytes ? "a size such as 10M, 256K or 500000"
                                                          : "a decimal number";
        *problem = row.longFlag() + " must be " + what + " from " + row.rangeText() + ", not '" + std::string(text)
                   + "'";
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
        check.problem = "the end, " + Number(*t.end) + " s, is not after the start, " + Number(t.start.value_or(0))
                        + " s";
    return check.problem;
}

} // namespace

bool CheckTimeline(const std::string& file, const TimelineOptions& timeline, imaging::Error* error)
{
    const std::string problem = TimelineProblem(timeline);
    return problem.empty() || imaging::Fail(error, imaging::ErrorKind::InvalidArgument, file, problem);
}

bool CheckOptions(const std::string& file, const ConvertOptions& options, long long maxBytes, imaging::Error* error)
{
    Checker check{TimelineProblem(options.timeline)};
    check(OptionId::Threads, options.threads);
    if (options.resize.scale != 0) // 0 keeps the size
        check(OptionId::Scale, options.resize.scale);
    if (options.output.quality != imaging::kLosslessQuality)
        check(OptionId::Quality, options.output.quality);
    if (maxBytes != 0)
        check(OptionId::MaxBytes, static_cast<double>(maxBytes));
    return check.problem.empty() || imaging::Fail(error, imaging::ErrorKind::InvalidArgument, file, check.problem);
}

} // namespace qf
