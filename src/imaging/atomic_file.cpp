#include "atomic_file.h"

#include "errors.h"
#include "scratch_file.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::imaging {

namespace {

namespace fs = std::filesystem;

std::string FolderOf(const std::string& path)
{
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// A file name in folder that no other writer picks: the process id, a
// per-process counter and the clock make it unique; O_EXCL guarantees it.
int CreateUniqueFile(const std::string& folder, const std::string& stem, std::string* created)
{
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto tick = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        const std::string name = "." + stem + "." + std::to_string(::getpid()) + "-"
            + std::to_string(counter.fetch_add(1)) + "-" + std::to_string(tick % 1000000) + ".tmp";
        const std::string path = (fs::path(folder) / name).string();
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            *created = path;
            return fd;
        }
        if (errno != EEXIST)
            return -1;
    }
    errno = EEXIST;
    return -1;
}

std::string CreateReason(int code)
{
    switch (code) {
    case ENOENT:
        return "the folder does not exist";
    case EACCES:
    case EPERM:
        return "the folder is not writable (permission denied)";
    case EROFS:
        return "the folder is on a read-only disk";
    case ENOSPC:
    case EDQUOT:
        return WriteReason(code);
    default:
        return "cannot create a file in its folder (" + SystemReason(code) + ")";
    }
}

} // namespace

struct AtomicFile::Impl {
    std::string destination;
    std::string temporary;
    FilePtr file;
    int writeErrno = 0; // first error met by write()
};

AtomicFile::AtomicFile()
    : impl_(std::make_unique<Impl>())
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

bool AtomicFile::open(const std::string& destination, Error* error)
{
    discard();
    impl_->destination = destination;
    impl_->writeErrno = 0;
    std::error_code ec;
    if (fs::is_directory(destination, ec))
        return Fail(error, ErrorKind::Unwritable, destination, "is a folder, not a file");

    const std::string folder = FolderOf(destination);
    const std::string stem = fs::path(destination).filename().string();
    const int fd = CreateUniqueFile(folder, stem.empty() ? "output" : stem, &impl_->temporary);
    if (fd < 0)
        return Fail(error, ErrorKind::Unwritable, destination, CreateReason(errno));
    impl_->file.reset(::fdopen(fd, "w+b"));
    if (!impl_->file) {
        const int code = errno;
        ::close(fd);
        ::unlink(impl_->temporary.c_str());
        impl_->temporary.clear();
        return Fail(error, ErrorKind::Unwritable, destination, CreateReason(code));
    }
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

bool AtomicFile::commit(Error* error)
{
    if (!impl_->file)
        return Fail(error, ErrorKind::InvalidArgument, impl_->destination, "is not open for writing");
    std::FILE* file = impl_->file.get();
    int code = impl_->writeErrno;
    errno = 0;
    if (code == 0 && (std::fflush(file) != 0 || std::ferror(file)))
        code = errno ? errno : EIO;
    // The data must be on disk before the rename makes it the destination,
    // or a crash could leave an empty file under the destination's name.
    if (code == 0 && ::fsync(::fileno(file)) != 0)
        code = errno;
    FILE* raw = impl_->file.release();
    if (std::fclose(raw) != 0 && code == 0)
        code = errno ? errno : EIO;
    if (code != 0) {
        ::unlink(impl_->temporary.c_str());
        impl_->temporary.clear();
        return Fail(error, ErrorKind::Unwritable, impl_->destination, WriteReason(code));
    }
    if (std::rename(impl_->temporary.c_str(), impl_->destination.c_str()) != 0) {
        code = errno;
        ::unlink(impl_->temporary.c_str());
        impl_->temporary.clear();
        return Fail(error, ErrorKind::Unwritable, impl_->destination,
                    "cannot replace the file (" + SystemReason(code) + ")");
    }
    impl_->temporary.clear();
    // Make the rename itself durable; a failure here loses nothing.
    const int folder = ::open(FolderOf(impl_->destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

void AtomicFile::discard()
{
    impl_->file.reset();
    if (!impl_->temporary.empty()) {
        ::unlink(impl_->temporary.c_str());
        impl_->temporary.clear();
    }
}

bool AtomicFile::isOpen() const
{
    return impl_->file != nullptr;
}

const std::string& AtomicFile::destination() const
{
    return impl_->destination;
}

bool CopyFileAtomically(const std::string& source, const std::string& destination, Error* error)
{
    FilePtr in(std::fopen(source.c_str(), "rb"));
    if (!in)
        return Fail(error, ErrorKind::Unreadable, source, "cannot be opened (" + SystemReason(errno) + ")");
    AtomicFile out;
    if (!out.open(destination, error))
        return false;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (got > 0 && !out.write(buffer.data(), got, error))
            return false;
        if (got < buffer.size()) {
            if (std::ferror(in.get()))
                return Fail(error, ErrorKind::Unreadable, source, "cannot be read to the end");
            break;
        }
    }
    return out.commit(error);
}

FilePtr OpenScratchFile(const std::string& besidePath, Error* error)
{
    std::string path;
    const int fd = CreateUniqueFile(FolderOf(besidePath), "scratch", &path);
    if (fd < 0) {
        Fail(error, ErrorKind::Unwritable, besidePath, CreateReason(errno));
        return nullptr;
    }
    // The open descriptor keeps the data; the name goes at once.
    ::unlink(path.c_str());
    FilePtr file(::fdopen(fd, "w+b"));
    if (!file) {
        const int code = errno;
        ::close(fd);
        Fail(error, ErrorKind::Unwritable, besidePath, CreateReason(code));
    }
    return file;
}

} // namespace qf::imaging
