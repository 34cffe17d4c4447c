// Reading an animation that is no plain file: standard input, a named pipe,
// a device. The readers go over a file twice (once to learn its frames,
// once to decode them), so the stream's bytes are read once into a file
// without a name, which goes with the process however it ends. What is no
// GIF, WebP or video clip is refused from its first bytes, and the copy
// stops at a stop request, a write error or kMaxStreamBytes.
#pragma once

#include "imaging/files/scratch_file.h"
#include "imaging/image.h"

#include <functional>
#include <string>

namespace qf::imaging {

// Whether path names something that is neither a plain file nor a folder
// (a pipe, a device, a socket): it must be read once, as a stream.
bool IsStream(const std::string& path);

class StreamCopy {
public:
    // Reads the stream on fd to its end into an unnamed file in tempFolder.
    // shown names the stream in errors. cancelled is asked at least every
    // 0.1 s, also while the stream is silent (ErrorKind::Cancelled).
    bool capture(int fd, const std::string& shown, const std::string& tempFolder,
                 const std::function<bool()>& cancelled, Error* error);
    // Opens the named stream (a pipe waits for its writer) and captures it.
    bool captureNamed(const std::string& path, const std::string& tempFolder,
                      const std::function<bool()>& cancelled, Error* error);
    // A path the readers open the copy by.
    const std::string& path() const { return path_; }

private:
    FilePtr file_;
    std::string path_;
};

} // namespace qf::imaging
