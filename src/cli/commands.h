// The four commands of quillframe-cli, each returning the process exit code.
#pragma once

#include "engine/engine.h"
#include "imaging/image.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qf::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,      // anything else
    kExitUsage = 2,       // bad command line
    kExitBadInput = 3,    // input missing, unreadable, not a GIF or animated WebP, corrupt or too large
    kExitBadOutput = 4,   // output file or folder cannot be written
    kExitInterrupted = 5, // stopped with Ctrl-C or a kill; outputs left as they were
};

int ExitCodeFor(const imaging::Error& error);

// Ctrl-C, SIGTERM and SIGHUP ask the running command to stop cleanly; a
// second one ends the program at once.
void InstallInterruptHandler();
bool Interrupted();

// The variant a --variant value names: its number (0-16) or its name from
// the variant table in lower case with hyphens for spaces
// ("pencil-on-paper"). Empty when it names none.
std::optional<int> VariantFromText(std::string_view text);
// The name VariantFromText accepts for variant v.
std::string VariantSlug(int v);

// What convert and snapshots share: the inputs ("-" is standard input), where
// the results go, and the resize before the effect.
struct BatchArgs {
    std::vector<std::string> files;     // IN... OUT, or IN... with outDir
    std::optional<std::string> outDir;  // one result per input in this folder
    std::optional<std::string> suffix;  // added to each input's name in outDir
    std::optional<std::string> maxSize; // "WIDTHxHEIGHT"
    std::optional<double> scale;
    Switches switches;
    bool quiet = false;
};

struct ConvertArgs : BatchArgs {
    std::string variant = "0";
    std::optional<std::string> format; // "gif" or "webp"
    std::optional<int> quality;        // lossy WebP at this quality
    bool keepTransparency = false;
    int threads = 0;
    std::optional<std::string> pngFramesDir;
    // The timeline, as given: times in seconds or mm:ss.s.
    std::optional<std::string> start, end, duration;
    std::optional<double> fps;
    double speed = 1;
    bool bounce = false;
    bool mergeRepeats = false;
};

using SnapshotArgs = BatchArgs;

struct FramesArgs {
    std::string input;
    std::string dir;
    bool quiet = false;
};

int RunConvert(const ConvertArgs& args);
int RunSnapshots(const SnapshotArgs& args);
int RunFrames(const FramesArgs& args);
int RunInfo(const std::string& input);

} // namespace qf::cli
