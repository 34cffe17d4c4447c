#include "imaging/files/atomic_file.h"

#include "imaging/errors.h"
#include "imaging/files/scratch_file.h"
#include "imaging/files/temporary_names.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <set>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::imaging {

namespace {

namespace fs = std::filesystem;

// Temporary files are named "." + the file's name + ".qf-" + process id +
// "-" + counter + "-" + clock + ".tmp": the process id tells a later run
// whether the writer is still alive.
constexpr std::string_view kTag = ".qf-";
constexpr std::string_view kSuffix = ".tmp";

std::string FolderOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A temporary name for a file called stem, cut short where the folder's file
// system limits the length of a name (at a character boundary of UTF-8).
std::string TemporaryPath(const std::string& folder, const std::string& stem)
{
    static std::atomic<unsigned> counter{0};
    const auto tick =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    const std::string tail = std::string(kTag) + std::to_string(::getpid()) + "-"
                             + std::to_string(counter.fetch_add(1)) + "-" + std::to_string(tick % 1000000)
                             + std::string(kSuffix);
    const long nameMax = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::size_t limit = nameMax > 0 ? static_cast<std::size_t>(nameMax) : 255;
    std::string kept = stem.empty() ? std::string("output") : stem;
    const std::size_t room = limit > tail.size() + 1 ? limit - tail.size() - 1 : 0;
    if (kept.size() > room) {
        std::size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(kept[cut]) & 0xC0) == 0x80)
            --cut;
        kept.resize(cut);
    }
    return (fs::path(folder) / ("." + kept + tail)).string();
}

// The process id in a temporary name of this program's making, or 0.
pid_t WriterOf(std::string_view name)
{
    if (name.size() < 2 || name.front() != '.' || name.size() < kSuffix.size()
        || name.substr(name.size() - kSuffix.size()) != kSuffix)
        return 0;
    const std::size_t tag = name.rfind(kTag);
    if (tag == std::string_view::npos)
        return 0;
    const std::string_view numbers =
        name.substr(tag + kTag.size(), name.size() - kSuffix.size() - tag - kTag.size());
    long long pid = 0;
    int groups = 1;
    bool digit = false;
    for (const char c : numbers) {
        if (c >= '0' && c <= '9') {
            if (groups == 1 && (pid = pid * 10 + (c - '0')) > INT_MAX)
                return 0;
            digit = true;
        } else if (c == '-' && digit && groups < 3) {
            ++groups;
            digit = false;
        } else {
            return 0;
        }
    }
    return groups == 3 && digit ? static_cast<pid_t>(pid) : 0;
}

// Each folder is swept once per process: a run writing thousands of frames
// into one folder reads it once.
void RemoveStaleTemporaryFilesOnce(const std::string& folder)
{
    static std::mutex mutex;
    static std::set<std::string> swept;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        if (!swept.insert(folder).second)
            return;
    }
    RemoveStaleTemporaryFiles(folder);
}

// A new file with a name no other writer picks: O_EXCL guarantees it.
int CreateNamedFile(const std::string& folder, const std::string& stem, std::string* created)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = TemporaryPath(folder, stem);
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *created = path;
            RememberTemporaryName(path, false);
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

// A file in folder that has no name at all (O_TMPFILE), or -1 with errno
// EOPNOTSUPP where the file system or the system lacks it. Giving it a name
// later goes through /proc/self/fd.
int CreateUnnamedFile(const std::string& folder)
{
#ifdef O_TMPFILE
    static const bool canLink = ::access("/proc/self/fd", X_OK) == 0;
    if (canLink) {
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
            return fd;
    }
#else
    (void)folder;
#endif
    errno = EOPNOTSUPP;
    return -1;
}

// Creates the temporary file: unnamed where possible, else named (*named).
int CreateTemporaryFile(const std::string& folder, const std::string& stem, std::string* named)
{
    const int fd = CreateUnnamedFile(folder);
    if (fd >= 0 || errno != EOPNOTSUPP)
        return fd;
    return CreateNamedFile(folder, stem, named);
}

// Gives the unnamed file fd a temporary name in folder; an errno value on failure.
int NameUnnamedFile(int fd, const std::string& folder, const std::string& stem, std::string* named)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = TemporaryPath(folder, stem);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            *named = path;
            RememberTemporaryName(path, false);
            return 0;
        }
        if (errno != EEXIST)
            return errno;
    }
    return EEXIST;
}

// The new file takes over the permission bits and, where the system allows
// it, the owner and group of the file it replaces.
void KeepAccess(int fd, const struct stat& old)
{
    if (::fchown(fd, old.st_uid, old.st_gid) != 0 && ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0) {
        // Not a member of the old group: the file keeps the user's group.
    }
    ::fchmod(fd, old.st_mode & 0777);
}

// Why no file can be created in folder, from the errno value code.
std::string CreateReason(int code, const std::string& folder)
{
    struct stat info {};
    switch (code) {
    case ENOENT:
    case EINVAL:
        // What /proc and /sys answer: the folder is there but takes no new files.
        if (::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
            return "the folder does not accept new files";
        return "the folder does not exist";
    case EACCES:
    case EPERM:
        return "the folder is not writable (permission denied)";
    case EROFS:
        return "the folder is on a read-only disk";
    case ENOSPC:
    case EDQUOT:
        return WriteReason(code);
    case ENAMETOOLONG:
        return "the path is too long";
    default:
        return "cannot create a file in its folder (" + SystemReason(code) + ")";
    }
}

} // namespace

void RemoveStaleTemporaryFiles(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return;
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        const pid_t pid = WriterOf(entry->d_name);
        if (pid <= 0 || pid == ::getpid())
            continue;
        struct stat info {};
        if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0
            || !(S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) || info.st_uid != ::geteuid())
            continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        std::error_code ignored; // a folder goes with what is in it; links in it are not followed
        if (S_ISDIR(info.st_mode))
            fs::remove_all(fs::path(folder) / entry->d_name, ignored);
        else
            ::unlinkat(fd, entry->d_name, 0);
    }
    ::closedir(dir);
}

bool TemporaryFolder(std::string* folder, Error* error)
{
    const char* set = std::getenv("TMPDIR");
    const bool named = set && *set;
    *folder = named ? set : "/tmp";
    const std::string what =
        named ? "the folder for temporary files (TMPDIR)" : "the folder for temporary files";
    struct stat info {};
    if (::stat(folder->c_str(), &info) != 0)
        return Fail(error, ErrorKind::Unwritable, *folder,
                    errno == ENOENT || errno == ENOTDIR
                        ? what + " does not exist"
                        : what + " cannot be used (" + SystemReason(errno) + ")");
    return S_ISDIR(info.st_mode) || Fail(error, ErrorKind::Unwritable, *folder, what + " is not a folder");
}

bool MakeTemporaryFolder(const std::string& parent, const std::string& stem, std::string* made, Error* error)
{
    RemoveStaleTemporaryFilesOnce(parent);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string path = TemporaryPath(parent, stem);
        if (::mkdir(path.c_str(), 0700) == 0) {
            *made = path;
            RememberTemporaryName(path, true);
            return true;
        }
        if (errno != EEXIST)
            return Fail(error, ErrorKind::Unwritable, parent, CreateReason(errno, parent));
    }
    return Fail(error, ErrorKind::Unwritable, parent, CreateReason(EEXIST, parent));
}

void RemoveTemporaryFolder(const std::string& folder)
{
    ForgetTemporaryName(folder);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

struct AtomicFile::Impl {
    std::string destination; // as the caller named it, for messages
    std::string target;      // the file replaced or created
    std::string temporary;   // the temporary file's name; empty while it has none
    // The file's buffer, which must outlive it: larger than the C library's
    // own (a block of the file system), so that writing a large file out
    // takes a call to the system for every 256 kB rather than every 4 kB.
    std::unique_ptr<char[]> buffer;
    FilePtr file;
    int writeErrno = 0; // first error met by write()

    int flush(bool sync);
    bool create(Error* error);
    bool replace(int code, Error* error);
    void removeTemporary()
    {
        if (!temporary.empty()) {
            ::unlink(temporary.c_str());
            ForgetTemporaryName(temporary);
        }
        temporary.clear();
    }
};

AtomicFile::AtomicFile() : impl_(std::make_unique<Impl>())
{}

AtomicFile::~AtomicFile()
{
    discard();
}

AtomicFile::AtomicFile(AtomicFile&&) noexcept = default;
AtomicFile& AtomicFile::operator=(AtomicFile&&) noexcept = default;

bool AtomicFile::open(const std::string& destination, Error* error)
{
    discard();
    Impl& d = *impl_;
    d.destination = destination;
    d.writeErrno = 0;
    if (!ResolveOutputFile(destination, &d.target, error))
        return false;
    return impl_->create(error);
}

bool AtomicFile::open(const OutputFolder& folder, const std::string& name, Error* error)
{
    discard();
    Impl& d = *impl_;
    d.destination = folder.shown(name);
    d.writeErrno = 0;
    if (!folder.held)
        return open(d.destination, error);
    struct stat info {};
    if (::fstatat(*folder.held, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode))
        return Fail(error, ErrorKind::Unwritable, d.destination, "is a folder, not a file");
    d.target = folder.entry(name);
    return impl_->create(error);
}

bool AtomicFile::Impl::create(Error* error)
{
    Impl& d = *this;
    const std::string& destination = d.destination;
    const std::string folder = FolderOf(d.target);
    // A held folder's descriptor number may name another folder later.
    if (folder.rfind("/proc/self/fd/", 0) != 0)
        RemoveStaleTemporaryFilesOnce(folder);

    const int fd = CreateTemporaryFile(folder, fs::path(d.target).filename().string(), &d.temporary);
    if (fd < 0) {
        std::string reason = CreateReason(errno, folder);
        if (d.target != destination && d.target.rfind("/proc/self/fd/", 0) != 0)
            reason += " (the link leads to " + d.target + ")";
        return Fail(error, ErrorKind::Unwritable, destination, reason);
    }
    struct stat old {};
    if (::lstat(d.target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        KeepAccess(fd, old);
    d.file.reset(::fdopen(fd, "w+b"));
    if (!d.file) {
        const int code = errno;
        ::close(fd);
        d.removeTemporary();
        return Fail(error, ErrorKind::Unwritable, destination, CreateReason(code, folder));
    }
    constexpr std::size_t kBufferBytes = 256 << 10;
    d.buffer = std::make_unique_for_overwrite<char[]>(kBufferBytes);
    std::setvbuf(d.file.get(), d.buffer.get(), _IOFBF, kBufferBytes);
    return true;
}

bool AtomicFile::write(const void* data, std::size_t size, Error* error)
{
    if (!impl_->file)
        return Fail(error, ErrorKind::InvalidArgument, impl_->destination, "is not open for writing");
    if (size == 0)
        return true;
    if (std::fwrite(data, 1, size, impl_->file.get()) != size) {
        if (impl_->writeErrno == 0)
            impl_->writeErrno = errno ? errno : EIO;
        return Fail(error, ErrorKind::Unwritable, impl_->destination, WriteReason(impl_->writeErrno));
    }
    return true;
}

std::FILE* AtomicFile::stream() const
{
    return impl_->file.get();
}

// The first errno of writing the file out (0 for none), synced to disk
// when sync is set.
int AtomicFile::Impl::flush(bool sync)
{
    std::FILE* stream = file.get();
    int code = writeErrno;
    errno = 0;
    if (code == 0 && (std::fflush(stream) != 0 || std::ferror(stream)))
        code = errno ? errno : EIO;
    if (code == 0 && sync && ::fsync(::fileno(stream)) != 0)
        code = errno;
    return code;
}

// Names the temporary file, closes it and moves it over the target, or
// removes it after the failure code or one of its own.
bool AtomicFile::Impl::replace(int code, Error* error)
{
    std::FILE* stream = file.get();
    if (code == 0 && temporary.empty())
        code = NameUnnamedFile(::fileno(stream), FolderOf(target), fs::path(target).filename().string(),
                               &temporary);
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0 && code == 0)
        code = errno ? errno : EIO;
    if (code != 0) {
        removeTemporary();
        return Fail(error, ErrorKind::Unwritable, destination, WriteReason(code));
    }
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        code = errno;
        removeTemporary();
        return Fail(error, ErrorKind::Unwritable, destination,
                    "cannot replace the file (" + SystemReason(code) + ")");
    }
    // The folder is not synced: after a crash it shows the old file or the
    // new one, each whole.
    ForgetTemporaryName(temporary);
    temporary.clear();
    return true;
}

bool AtomicFile::commit(Error* error)
{
    Impl& d = *impl_;
    if (!d.file)
        return Fail(error, ErrorKind::InvalidArgument, d.destination, "is not open for writing");
    // The data must be on disk before the rename makes it the destination,
    // or a crash could leave an empty file under the destination's name.
    return d.replace(d.flush(true), error);
}

bool AtomicFile::commitAll(std::vector<AtomicFile>& files, Error* error)
{
    std::vector<int> codes;
    for (AtomicFile& f : files) {
        if (!f.impl_->file)
            return Fail(error, ErrorKind::InvalidArgument, f.impl_->destination, "is not open for writing");
        codes.push_back(f.impl_->flush(false));
    }
    // One request puts the data of every file on disk (a sync per file
    // waits for the disk once per file); where it fails each file is
    // synced on its own.
    if (!files.empty() && ::syncfs(::fileno(files.front().impl_->file.get())) != 0) {
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (codes[i] == 0 && ::fsync(::fileno(files[i].impl_->file.get())) != 0)
                codes[i] = errno;
        }
    }
    bool ok = true;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!ok)
            files[i].discard();
        else
            ok = files[i].impl_->replace(codes[i], error);
    }
    return ok;
}

void AtomicFile::discard()
{
    if (!impl_)
        return;
    impl_->file.reset();
    impl_->removeTemporary();
}

FilePtr OpenScratchFile(const std::string& besidePath, Error* error)
{
    const std::string folder = FolderOf(besidePath);
    std::string named;
    const int fd = CreateTemporaryFile(folder, "scratch", &named);
    if (fd < 0) {
        Fail(error, ErrorKind::Unwritable, besidePath, CreateReason(errno, folder));
        return nullptr;
    }
    // The open descriptor keeps the data; a name goes at once.
    if (!named.empty()) {
        ::unlink(named.c_str());
        ForgetTemporaryName(named);
    }
    FilePtr file(::fdopen(fd, "w+b"));
    if (!file) {
        const int code = errno;
        ::close(fd);
        Fail(error, ErrorKind::Unwritable, besidePath, CreateReason(code, folder));
    }
    return file;
}

} // namespace qf::imaging
