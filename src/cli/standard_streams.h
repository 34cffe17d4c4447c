// Standard input and output ("-" on the command line) as files the pipeline
// can read and write.
#pragma once

#include "imaging/animation_reader.h"
#include "imaging/image.h"

#include <string>
#include <string_view>

namespace qf::cli {

inline constexpr std::string_view kStandardInput = "standard input";
inline constexpr std::string_view kStandardOutput = "standard output";

// A private temporary folder holding standard input as a file and the
// result bound for standard output until it is complete; removed with
// everything in it when this goes.
class StandardStreams {
public:
    StandardStreams() = default;
    ~StandardStreams();
    StandardStreams(const StandardStreams&) = delete;
    StandardStreams& operator=(const StandardStreams&) = delete;

    // Copies all of standard input into a file; *path names it.
    bool captureInput(std::string* path, imaging::Error* error);
    // A file name for the result, to be sent with sendOutput.
    bool outputFile(std::string_view extension, std::string* path, imaging::Error* error);
    // Copies the finished file to standard output.
    bool sendOutput(const std::string& path, imaging::Error* error);

    // Names a temporary file in error as the stream it stands for.
    void renameInError(imaging::Error& error) const;

private:
    bool makeFolder(imaging::Error* error);
    std::string folder_;
    std::string input_;
    std::string output_;
};

// Opens input for reading; "-" is standard input, captured into streams.
// An error names standard input as such.
bool OpenInput(const std::string& input, StandardStreams& streams, imaging::AnimationReader& reader,
               imaging::Error* error);

} // namespace qf::cli
