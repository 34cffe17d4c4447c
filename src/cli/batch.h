// Turning a command line's files into jobs, one input and one output each,
// and standard input and output ("-") as files the pipeline can use.
#pragma once

#include "commands.h"
#include "imaging/image.h"
#include "imaging/input_stream.h"

#include <memory>

#include <string>
#include <string_view>
#include <vector>

namespace qf::cli {

inline constexpr std::string_view kStandardInput = "standard input";
inline constexpr std::string_view kStandardOutput = "standard output";

struct Job {
    std::string input;  // as given; "-" is standard input
    std::string output; // as given or built in --out-dir; "-" is standard output
};

// The jobs of IN OUT, or of IN... with --out-dir DIR, where each output is
// DIR/<input's name without extension><suffix><extension>. Returns an empty
// string, or what is wrong with the command line: a missing or surplus
// file, --suffix without --out-dir, standard input with --out-dir, an
// --out-dir that is a file, two inputs with one output, an input that
// would be replaced by its own result.
std::string PlanJobs(const BatchArgs& args, std::string_view extension, std::vector<Job>* jobs);

// Lower-case extension of path with its dot (".gif"), or "".
std::string ExtensionOf(const std::string& path);

// Standard input and output ("-") and other streams as files the pipeline
// can use: an input that is no plain file is read once into an unnamed copy,
// and the result bound for standard output waits in a private temporary
// folder until it is complete; all of it goes when this goes.
class StandardStreams {
public:
    StandardStreams() = default;
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

    // The file the readers open for input: input itself when it is a plain
    // file, else a copy of standard input ("-"), a pipe or a device.
    bool readInput(const std::string& input, std::string* path, imaging::Error* error);
    // A file name for the result, to be sent with sendOutput.
    bool outputFile(std::string_view extension, std::string* path, imaging::Error* error);
    // Copies the finished file to standard output.
    bool sendOutput(const std::string& path, imaging::Error* error);

    // Names a copy or a temporary file in error as the stream it stands for.
    void renameInError(imaging::Error& error) const;

private:
    std::vector<std::pair<std::unique_ptr<imaging::StreamCopy>, std::string>> copies_; // and what each stands for
    std::string folder_;
    std::string output_;
};

} // namespace qf::cli
