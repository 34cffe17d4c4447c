// The four commands of quillframe-cli, each returning the process exit code
// (common.h), each in a file of its own.
#pragma once

#include "engine/engine.h"

#include <optional>
#include <string>
#include <vector>

namespace qf::cli {

// What convert and snapshots share: the inputs ("-" is standard input), where
// the results go, and the resize before the effect. Values are kept as given
// and read against the options table (pipeline/options.h) by the command.
struct BatchArgs {
    std::vector<std::string> files;     // IN... OUT, or IN... with outDir
    std::optional<std::string> outDir;  // one result per input in this folder
    std::optional<std::string> suffix;  // added to each input's name in outDir
    std::optional<std::string> maxSize; // "WIDTHxHEIGHT"
    std::optional<std::string> scale;   // a decimal factor
    Switches switches;
    bool quiet = false;
};

struct ConvertArgs : BatchArgs {
    std::optional<std::string> variant; // a number or a name
    std::optional<std::string> format;  // "gif", "webp", "mp4" or "webm"
    std::optional<std::string> codec;   // a WebM's: "vp9" or "av1"
    std::optional<std::string> quality;
    std::optional<std::string> threads;
    std::optional<std::string> pngFramesDir;
    // The timeline: times in seconds or mm:ss.s, a rate and a speed.
    std::optional<std::string> start, end, duration, fps, speed;
    std::optional<std::string> maxBytes; // "10M", "256K", "500000"
    bool keepTransparency = false;
    bool bounce = false;
    bool noAudio = false; // an MP4 or WebM without the clip's sound
    bool mergeRepeats = false;
    bool estimate = false; // print expected sizes, write nothing
};

using SnapshotArgs = BatchArgs;

struct FramesArgs {
    std::string input;
    std::string dir;
    bool quiet = false;
};

int RunConvert(const ConvertArgs& args);    // convert.cpp
int RunSnapshots(const SnapshotArgs& args); // snapshots.cpp
int RunFrames(const FramesArgs& args);      // frames.cpp
int RunInfo(const std::string& input);      // info.cpp

} // namespace qf::cli
