#include "imaging/files/input_stream.h"

#include "imaging/errors.h"
#include "imaging/file_signatures.h"
#include "imaging/size_limits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::imaging {

namespace {

// The length a WebP's RIFF header gives the whole file, padded to even.
std::int64_t RiffLength(const unsigned char* head)
{
    const std::int64_t size =
        head[4] | head[5] << 8 | head[6] << 16 | static_cast<std::int64_t>(head[7]) << 24;
    return 8 + size + (size & 1);
}

} // namespace

bool IsStream(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

bool StreamCopy::capture(int fd, const std::string& shown, const std::string& tempFolder,
                         const std::function<bool()>& cancelled, Error* error)
{
    path_.clear();
    file_.reset();
    // Standard input redirected from a plain file, still at its start, is
    // read in place.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::lseek(fd, 0, SEEK_CUR) == 0) {
        path_ = "/dev/fd/" + std::to_string(fd);
        return true;
    }
    file_ = OpenScratchFile(tempFolder + "/", error);
    if (!file_) {
        if (error)
            error->file = tempFolder;
        return false;
    }
    std::vector<unsigned char> buffer(1 << 16);
    unsigned char head[12] = {};
    std::int64_t total = 0;
    std::int64_t end = kMaxStreamBytes + 1; // where a WebP's RIFF header says the file ends
    for (;;) {
        if (cancelled && cancelled())
            return Fail(error, ErrorKind::Cancelled, shown, "cancelled");
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, 100);
        if (polled < 0 && errno != EINTR)
            return Fail(error, ErrorKind::Unreadable, shown, "cannot be read (" + SystemReason(errno) + ")");
        if (polled <= 0)
            continue;
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::int64_t>(static_cast<std::int64_t>(buffer.size()), end - total));
        const ssize_t got = want == 0 ? 0 : ::read(fd, buffer.data(), want);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR)
                continue;
            return Fail(error, ErrorKind::Unreadable, shown, "cannot be read (" + SystemReason(errno) + ")");
        }
        if (got == 0)
            break;
        if (total < 12) {
            const std::size_t part = std::min<std::size_t>(12 - total, static_cast<std::size_t>(got));
            std::memcpy(head + total, buffer.data(), part);
            if (total + static_cast<std::int64_t>(part) == 12) {
                if (LooksLikeWebp(head, 12))
                    end = std::min(end, RiffLength(head));
                else if (!LooksLikeGif(head, 12) && !LooksLikeClip(head))
                    return Fail(error, ErrorKind::NotAnimation, shown, "is not a GIF file");
            }
        }
        total += got;
        if (total > kMaxStreamBytes)
            return Fail(error, ErrorKind::TooLarge, shown,
                        "brings more than " + std::to_string(kMaxStreamBytes >> 20)
                            + " MB, the limit for a stream");
        if (std::fwrite(buffer.data(), 1, static_cast<std::size_t>(got), file_.get())
            != static_cast<std::size_t>(got))
            return Fail(error, ErrorKind::Unwritable, tempFolder,
                        "cannot hold a copy of " + shown + ": " + WriteReason(errno ? errno : EIO));
    }
    if (total == 0)
        return Fail(error, ErrorKind::NotAnimation, shown, "is empty");
    if (total < 12 && !LooksLikeGif(head, static_cast<std::size_t>(total)))
        return Fail(error, ErrorKind::NotAnimation, shown, "is not a GIF file");
    if (std::fflush(file_.get()) != 0)
        return Fail(error, ErrorKind::Unwritable, tempFolder,
                    "cannot hold a copy of " + shown + ": " + WriteReason(errno ? errno : EIO));
    path_ = "/dev/fd/" + std::to_string(::fileno(file_.get()));
    return true;
}

bool StreamCopy::captureNamed(const std::string& path, const std::string& tempFolder,
                              const std::function<bool()>& cancelled, Error* error)
{
    // Not blocking: a pipe without a writer yet is waited for in capture(),
    // where a stop request is seen.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return Fail(error, ErrorKind::Unreadable, path, "cannot be opened (" + SystemReason(errno) + ")");
    const bool captured = capture(fd, path, tempFolder, cancelled, error);
    ::close(fd);
    return captured;
}

} // namespace qf::imaging
