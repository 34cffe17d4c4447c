// libFuzzer targets: a reader (GIF or WebP, chosen by QF_READER_CHECK at
// build time), every decoded frame, and the engine on the first frames.
#include "fuzz_checks.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

namespace {

// The reader opens files by name; an in-memory file reached through
// /proc/self/fd keeps each run off the disk.
int MemoryFile()
{
    static const int fd = memfd_create("qf-fuzz-input", 0);
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = MemoryFile();
    if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, data, size, 0) != static_cast<ssize_t>(size)) {
        std::perror("memfd");
        std::abort();
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    const std::string problem = qf::fuzz::QF_READER_CHECK(path, data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "finding: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
