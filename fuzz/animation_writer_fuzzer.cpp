// libFuzzer target: the animation writer's colour and transparency paths,
// checked by decoding what it wrote.
#include "writer_checks.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

std::string& FolderPath()
{
    static std::string path;
    return path;
}

void RemoveFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(FolderPath(), ignored);
}

// One private folder per fuzzing process, in memory where possible.
const std::string& Folder()
{
    if (FolderPath().empty()) {
        const std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "qf-fuzz-writer-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        FolderPath() = pattern;
        std::atexit(RemoveFolder);
    }
    return FolderPath();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string problem = qf::fuzz::CheckAnimationWriter(Folder(), data, size);
    if (!problem.empty()) {
        std::fprintf(stderr, "finding: %s\n", problem.c_str());
        std::abort();
    }
    return 0;
}
