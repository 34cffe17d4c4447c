// The four commands of quillframe-cli, each returning the process exit code.
#pragma once

#include "engine/engine.h"
#include "imaging/image.h"

#include <optional>
#include <string>

namespace qf::cli {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailed = 1,      // anything else
    kExitUsage = 2,       // bad command line
    kExitBadInput = 3,    // input missing, unreadable, not a GIF, corrupt or too large (also for memory)
    kExitBadOutput = 4,   // output file or folder cannot be written
    kExitInterrupted = 5, // stopped with Ctrl-C or a kill; outputs left as they were
};

int ExitCodeFor(const imaging::Error& error);

// Ctrl-C, SIGTERM and SIGHUP ask the running command to stop cleanly; a
// second one ends the program at once.
void InstallInterruptHandler();
bool Interrupted();

struct ConvertArgs {
    std::string input;
    std::string output;
    int variant = 0;
    Switches switches;
    int threads = 0;
    std::optional<std::string> pngFramesDir;
    bool quiet = false;
};

struct SnapshotArgs {
    std::string input;
    std::string dir;
    Switches switches;
    bool quiet = false;
};

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
