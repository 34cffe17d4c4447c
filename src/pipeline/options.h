// The options of a conversion (and of the other commands), each declared
// once: its flag, help, unit, range, default and whether the window shows it.
// The command line makes its parser, --help, the manual and the completions
// from this table, the window its ranges and lists, and the library checks
// every value it is given against the same rows, so no front end can pass
// what another refuses.
#pragma once

#include "imaging/image.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf {

struct ConvertOptions;
struct TimelineOptions;

// The commands an option belongs to, as bits.
enum CommandMask : unsigned {
    kConvertCommand = 1,
    kSnapshotsCommand = 2,
    kFramesCommand = 4,
    kInfoCommand = 8,
};

enum class OptionId {
    Variant,
    OutDir,
    Suffix,
    MaxSize,
    Scale,
    Quiet,
    Format,
    Codec,
    Quality,
    KeepTransparency,
    Threads,
    PngFrames,
    Start,
    End,
    Duration,
    Fps,
    Speed,
    Bounce,
    NoAudio,
    MergeRepeats,
    MaxBytes,
    Estimate,
    Ink,
    Lines,
    Grain,
};

// What an option's value is, which decides how it is read and checked.
enum class ValueKind {
    Flag,   // no value
    Number, // a decimal number within [min, max]
    Time,   // seconds (12.5) or minutes and seconds (1:02.5) within [min, max]
    Bytes,  // a size: 500000, 256K, 10M (1K = 1024) within [min, max]
    Choice, // one of choices
    Text,   // any text, checked by its command (a variant, WIDTHxHEIGHT)
    Folder, // a folder's path
};

struct OptionInfo {
    OptionId id{};
    std::string flag{};      // "--fps", or "-j,--threads"
    std::string valueName{}; // "FPS"; empty for a flag
    ValueKind kind = ValueKind::Flag;
    // What the option does. "{range}" stands for the range in words ("0.1 to
    // 50 frames a second"); the default, when there is one, is added after.
    std::string help{};
    std::string unit{}; // "seconds", "frames a second", ""
    double min = 0, max = 0;
    std::string defaultText{};                                  // "1", "a clip's own rate up to 25", or empty
    std::vector<std::pair<std::string, std::string>> choices{}; // word, what it means
    unsigned commands = kConvertCommand;
    bool inWindow = false; // the window offers it too (its ranges come from here)
    bool whole = false;    // a Number without a fraction

    // "--fps" of "-j,--threads" style flags: the long spelling.
    std::string longFlag() const;
    // The help as printed: help with its range, then the default.
    std::string fullHelp() const;
    // "0.1 to 50 frames a second", "1 kB to 1 TB"; empty without a range.
    std::string rangeText() const;
};

// Every option, in the order help lists them.
const std::vector<OptionInfo>& Options();
const OptionInfo& Option(OptionId id);

// The ranges the library and both front ends hold values to.
constexpr double kMinFps = 0.1;
// The most frames a second sampled: GIF frames last whole hundredths, and
// players stretch those of one hundredth.
constexpr double kMaxFps = 50;
// A clip's own rate above this is sampled down unless --fps says otherwise.
constexpr double kDefaultVideoFps = 25;
constexpr double kMinSpeed = 0.25, kMaxSpeed = 4;
constexpr double kMinScale = 0.01, kMaxScale = 100;
// A GIF's delays count hundredths of a second: no part of a clip is shorter.
constexpr double kShortestSpan = 0.01;
// Times beyond this many seconds (about 11 days) name no part of any clip.
constexpr double kLatestTime = 1e6;
constexpr int kMinQuality = 1, kMaxQuality = 100;
// The size budget's search takes a WebP down to libwebp's lowest lossy
// quality, below what --quality offers; the library accepts it for a WebP.
constexpr int kLowestWebpQuality = 0;
constexpr int kMaxThreads = 256;
// The style controls (Switches::Ink, Switches::Lines) run from 0 to 100.
constexpr int kMinStyle = 0, kMaxStyle = 100;
// No animation fits in fewer bytes: the headers of a one-pixel GIF or WebP
// take more (a 1 x 1 still comes to 54 and 38). The largest budget is far
// beyond any output.
constexpr long long kMinBudget = 32;
constexpr long long kMaxBudget = 1LL << 40;

// The sizes an output can be asked to fit under, largest first: the
// window's Fit under list and the estimate's common limits.
constexpr long long kFitUnderChoices[] = {10LL << 20, 8LL << 20, 5LL << 20, 256LL << 10};

// "1.50 MB", "256 kB", "10 MB", "900 bytes": 1 kB = 1024 bytes (and 1 MB =
// 1024 kB), as the window shows.
std::string DescribeBytes(long long bytes);

// A decimal number, all of text: "12", "0.5", "-3". Not "0x10", "1e3",
// "nan", "inf" or "".
std::optional<double> ParseDecimal(std::string_view text);

// Bytes from "500000", "256K", "256KB", "10M", "1.5MB", "1G" (1K = 1024),
// the number decimal; empty when the text is no size.
std::optional<long long> ParseBytes(std::string_view text);

// What is wrong with value for option id: out of its range, NaN or
// infinite, a fraction where a whole number is asked for. Empty when it is
// fine.
std::string CheckValue(OptionId id, double value);

// The value of option id read from text as its kind says (Number, Time or
// Bytes) and checked; the problem, naming the option and the text, in
// *problem otherwise.
std::optional<double> ReadValue(OptionId id, std::string_view text, std::string* problem);

// The timeline's values checked against the table, and its parts against
// each other: an end after the start, not an end and a duration both.
// Fails with InvalidArgument naming file and the option.
bool CheckTimeline(const std::string& file, const TimelineOptions& timeline, imaging::Error* error);

// Every value of options checked as CheckTimeline does, and the others
// (threads, scale, quality, the budget maxBytes, 0 for none) against the
// table.
bool CheckOptions(const std::string& file, const ConvertOptions& options, long long maxBytes,
                  imaging::Error* error);

} // namespace qf
