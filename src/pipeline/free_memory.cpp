#include "free_memory.h"

#include "imaging/errors.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace qf {

namespace {

// A number from the first word of file, or a negative value when it holds
// none ("max" for no limit).
double ReadNumber(const std::string& file)
{
    std::ifstream in(file);
    std::string word;
    if (!(in >> word) || word.empty() || word.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stod(word);
}

// Where the memory controller's hierarchy is mounted: of version 2 when
// memoryV1 is false, else of version 1 (from /proc/self/mountinfo).
std::string MountOf(bool memoryV1)
{
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, device, root, point, word;
        fields >> id >> parent >> device >> root >> point;
        while (fields >> word && word != "-") {
        }
        std::string type, source, options;
        fields >> type >> source >> options;
        if (memoryV1 ? type == "cgroup" && ("," + options + ",").find(",memory,") != std::string::npos
                     : type == "cgroup2")
            return point;
    }
    return {};
}

// What this process may still take under the memory limits of its control
// group and of every group above it, in version 2 (memory.max) and version
// 1 (memory.limit_in_bytes), or a negative value when none is set.
double ControlGroupRoom()
{
    std::ifstream cgroup("/proc/self/cgroup");
    std::string line;
    double room = -1;
    while (std::getline(cgroup, line)) {
        // "0::/path" for version 2, "4:memory:/path" or "4:cpu,memory:/path" for 1.
        const std::size_t first = line.find(':'), second = line.find(':', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            continue;
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const bool v1 = ("," + controllers + ",").find(",memory,") != std::string::npos;
        if (!v1 && line.compare(0, 3, "0::") != 0)
            continue;
        const std::string mount = MountOf(v1);
        if (mount.empty())
            continue;
        // Version 1 reports no limit as a number near 2^63.
        constexpr double kUnlimited = 4e18;
        for (std::filesystem::path dir = mount + line.substr(second + 1);; dir = dir.parent_path()) {
            const double limit = ReadNumber(dir / (v1 ? "memory.limit_in_bytes" : "memory.max"));
            const double used = ReadNumber(dir / (v1 ? "memory.usage_in_bytes" : "memory.current"));
            if (limit >= 0 && limit < kUnlimited && used >= 0) {
                const double left = std::max(1.0, limit - used);
                room = room > 0 ? std::min(room, left) : left;
            }
            if (dir.string().size() <= mount.size() || dir == dir.parent_path())
                break;
        }
    }
    return room;
}

// The MemoryShares held.
std::atomic<int> shares{0};

} // namespace

MemoryShare::MemoryShare()
{
    ++shares;
}

MemoryShare::~MemoryShare()
{
    --shares;
}

double AvailableMemory()
{
    double available = 0;
    if (std::FILE* meminfo = std::fopen("/proc/meminfo", "r")) {
        char line[128];
        unsigned long long kilobytes = 0;
        while (std::fgets(line, sizeof line, meminfo)) {
            if (std::sscanf(line, "MemAvailable: %llu kB", &kilobytes) == 1) {
                available = static_cast<double>(kilobytes) * 1024.0;
                break;
            }
        }
        std::fclose(meminfo);
    }
    const double room = ControlGroupRoom();
    if (room > 0)
        available = available > 0 ? std::min(available, room) : room;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        unsigned long long mappedPages = 0;
        if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%llu", &mappedPages) != 1)
                mappedPages = 0;
            std::fclose(statm);
        }
        // Memory freed to the heap stays mapped, and counts against the
        // limit, but is there to be taken again.
        double heapFree = 0;
#ifdef __GLIBC__
        heapFree = static_cast<double>(mallinfo2().fordblks);
#endif
        const double left =
            std::max(1.0, static_cast<double>(limit.rlim_cur)
                              - static_cast<double>(mappedPages) * static_cast<double>(sysconf(_SC_PAGESIZE))
                              + heapFree);
        available = available > 0 ? std::min(available, left) : left;
    }
    return available / std::max(1, shares.load());
}

void ReturnFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

bool CheckMemory(double needed, double available, const std::string& file, const std::string& work,
                 imaging::Error* error)
{
    if (available <= 0 || needed <= available)
        return true;
    return imaging::Fail(error, imaging::ErrorKind::OutOfMemory, file,
                         "needs about " + std::to_string(static_cast<long long>(needed / 1048576))
                             + " MB of memory to " + work + "; about "
                             + std::to_string(static_cast<long long>(available / 1048576)) + " MB are free");
}

} // namespace qf
