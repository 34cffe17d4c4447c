#include "imaging/files/temporary_names.h"

#include <array>
#include <atomic>
#include <climits>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace qf::imaging {

namespace {

enum Slot : int { kFree, kTaken, kFile, kFolder, kMadeFolder };

struct Entry {
    std::atomic<int> state{kFree};
    int fd = -1; // a made folder's descriptor
    char path[PATH_MAX] = {};
};

// Enough for every file a run has open at once (two jobs, each with an
// output and a frame or pass or two).
std::array<Entry, 64> entries;

// Removes the files in the folder fd (not what is below them), or only
// those ending in ".png" when picturesOnly, without allocating: the
// entries are read with the system call itself.
void EmptyFolder(int fd, bool picturesOnly)
{
    alignas(8) char buffer[4096];
    for (;;) {
        const long got = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
        if (got <= 0)
            return;
        for (long at = 0; at < got;) {
            // struct linux_dirent64: inode, offset, record length, type, name
            unsigned short record = 0;
            std::memcpy(&record, buffer + at + 16, sizeof record);
            const char* name = buffer + at + 19;
            const std::size_t length = std::strlen(name);
            struct stat info {};
            const bool picture = length > 4 && std::strcmp(name + length - 4, ".png") == 0
                                 && ::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0
                                 && S_ISREG(info.st_mode);
            if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 && (!picturesOnly || picture))
                ::unlinkat(fd, name, 0);
            at += record;
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

namespace {

void Remember(const std::string& path, int kind, int fd)
{
    if (path.empty() || path.size() >= PATH_MAX)
        return;
    for (Entry& entry : entries) {
        int expected = kFree;
        if (entry.state.compare_exchange_strong(expected, kTaken)) {
            std::memcpy(entry.path, path.c_str(), path.size() + 1);
            entry.fd = fd;
            entry.state.store(kind);
            return;
        }
    }
}

} // namespace

void RememberTemporaryName(const std::string& path, bool folder)
{
    Remember(path, folder ? kFolder : kFile, -1);
}

void RememberMadeFolder(int fd, const std::string& path)
{
    Remember(path, kMadeFolder, fd);
}

void ForgetMadeFolder(int fd)
{
    for (Entry& entry : entries) {
        int expected = kMadeFolder;
        if (entry.fd == fd && entry.state.compare_exchange_strong(expected, kTaken)) {
            entry.fd = -1;
            entry.path[0] = '\0';
            entry.state.store(kFree);
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
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        const int state = entry->state.load();
        if (state == kFile) {
            ::unlink(entry->path);
        } else if (state == kFolder) {
            const int fd = ::open(entry->path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (fd >= 0) {
                EmptyFolder(fd, false);
                ::close(fd);
            }
            ::rmdir(entry->path);
        } else if (state == kMadeFolder) {
            const int fd = ::openat(entry->fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            struct stat held {
            }, named{};
            if (fd < 0)
                continue;
            EmptyFolder(fd, true);
            if (::fstat(fd, &held) == 0 && ::lstat(entry->path, &named) == 0 && held.st_dev == named.st_dev
                && held.st_ino == named.st_ino)
                ::rmdir(entry->path);
            ::close(fd);
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
