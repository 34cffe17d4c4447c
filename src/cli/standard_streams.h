// Standard input and output ("-" on the command line) as files the pipeline
// can read and write.
#pragma once

#include "imaging/animation_reader.h"
#include "imaging/files/input_stream.h"
#include "imaging/image.h"

#include <memory>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qf::cli {

inline constexpr std::string_view kStandardInput = "standard input";
inline constexpr std::string_view kStandardOutput = "standard output";

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
    std::vector<std::pair<std::unique_ptr<imaging::StreamCopy>, std::string>>
        copies_; // and what each stands for
    std::string folder_;
    std::string output_;
};

// Opens input for reading; "-" and other streams are read into streams.
// Null with error set on failure; an error names standard input as such.
std::unique_ptr<imaging::AnimationReader> OpenInput(const std::string& input, StandardStreams& streams,
                                                    imaging::Error* error);

} // namespace qf::cli
