#include "free_memory.h"

#include "imaging/errors.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace qf {

namespace {

// What the control group (version 2) of this process may still take under
// its memory.max, or a negative value when there is no such limit.
double ControlGroupRoom()
{
    std::ifstream cgroup("/proc/self/cgroup");
    std::string line;
    std::string path;
    while (std::getline(cgroup, line)) {
        if (line.rfind("0::", 0) == 0)
            path = line.substr(3);
    }
    if (path.empty())
        return -1;
    const std::string dir = "/sys/fs/cgroup" + (path == "/" ? std::string() : path);
    std::ifstream maxFile(dir + "/memory.max");
    std::ifstream currentFile(dir + "/memory.current");
    std::string max;
    double current = 0;
    if (!(maxFile >> max) || max == "max" || !(currentFile >> current))
        return -1;
    return std::max(1.0, std::stod(max) - current);
}

} // namespace

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
        const double left = std::max(1.0, static_cast<double>(limit.rlim_cur)
                                              - static_cast<double>(mappedPages)
                                                    * static_cast<double>(sysconf(_SC_PAGESIZE)));
        available = available > 0 ? std::min(available, left) : left;
    }
    return available;
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
