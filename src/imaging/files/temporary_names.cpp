#include "imaging/files/temporary_names.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qf::imaging {

namespace {

enum Slot : int { kFree, kTaken, kFile, kFolder };

struct Entry {
    std::atomic<int> state{kFree};
    char path[PATH_MAX] = {};
};

// Enough for every file a run has open at once (two jobs, each with an
// output and a frame or pass or two).
std::array<Entry, 64> entries;

// Removes the files in the folder fd (not what is below them), without
// allocating: the entries are read with the system call itself.
void EmptyFolder(int fd)
{
    alignas(8) char buffer[4096];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (long at = 0; at < got;) {
            // struct linux_dirent64: inode, offset, record length, type, name
            unsigned short length = 0;
            std::memcpy(&length, buffer + at + 16, sizeof length);
            const char* name = buffer + at + 19;
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
                ::unlinkat(fd, name, 0);
            at += length;
        }
    }
}

// The helper's stack: the program's memory is shared, so it needs only this.
alignas(16) char helperStack[64 * 1024];

// The helper: closes what it inherited but the read end of the pipe, whose
// other end only the program holds, and waits for the program to end (the
// pipe closes after the program has let go of its memory). Then it ends,
// the last holder of that memory, and the system frees it. Only system
// calls: it runs in the program's memory on its own stack.
int AwaitEnd(void* argument)
{
    const int readEnd = *static_cast<const int*>(argument);
    if (readEnd > 0)
        ::syscall(SYS_close_range, 0U, static_cast<unsigned>(readEnd - 1), 0U);
    ::syscall(SYS_close_range, static_cast<unsigned>(readEnd + 1), ~0U, 0U);
    char byte = 0;
    while (::syscall(SYS_read, readEnd, &byte, 1) != 0) {
    }
    ::syscall(SYS_exit, 0);
    return 0;
}

} // namespace

void RememberTemporaryName(const std::string& path, bool folder)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return;
    for (Entry& entry : entries) {
        int expected = kFree;
        if (entry.state.compare_exchange_strong(expected, kTaken)) {
            std::memcpy(entry.path, path.c_str(), path.size() + 1);
            entry.state.store(folder ? kFolder : kFile);
            return;
        }
    }
}

void ForgetTemporaryName(const std::string& path)
{
    for (Entry& entry : entries) {
        const int state = entry.state.load();
        if ((state == kFile || state == kFolder) && path == entry.path) {
            int expected = state;
            if (entry.state.compare_exchange_strong(expected, kTaken)) {
                entry.path[0] = '\0';
                entry.state.store(kFree);
                return;
            }
        }
    }
}

void RemoveTemporaryNamesNow()
{
    for (Entry& entry : entries) {
        const int state = entry.state.load();
        if (state == kFile) {
            ::unlink(entry.path);
        } else if (state == kFolder) {
            const int fd = ::open(entry.path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                EmptyFolder(fd);
                ::close(fd);
            }
            ::rmdir(entry.path);
        }
    }
}

void EndNow(int status)
{
    RemoveTemporaryNamesNow();
    static int ends[2] = {-1, -1};
    if (::pipe(ends) == 0) {
        // Not told to the program's parent when it ends; the system's
        // reaper takes it.
        if (::clone(AwaitEnd, helperStack + sizeof helperStack, CLONE_VM, &ends[0]) < 0)
            ::close(ends[1]);
        ::close(ends[0]);
    }
    ::_exit(status);
}

} // namespace qf::imaging
