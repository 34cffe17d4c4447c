#include "imaging/animation_reader.h"

#include "imaging/clip_module.h"
#include "imaging/errors.h"
#include "imaging/file_signatures.h"
#include "imaging/gif/gif_reader.h"
#include "imaging/webp/webp_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qf::imaging {
namespace {

// A GIF or a WebP, read at its own size, counting the frames read or passed.
template <typename Reader>
class CountedAnimation : public AnimationReader {
public:
    const AnimationInfo& info() const override { return reader_.info(); }
    const AnimationDamage& damage() const override { return reader_.damage(); }
    void setFrameSize(Size) override {}
    ReadResult readNext(RgbaImage& frame, Error* error) override
    {
        const ReadResult result = reader_.readNext(frame, error);
        if (result)
            ++read_;
        return result;
    }
    ReadResult skipNext(Error* error) override { return readNext(skipped_, error); }

protected:
    Reader reader_;
    RgbaImage skipped_;
    int read_ = 0; // frames read or passed
};

// A GIF skips ahead without decoding where a frame covers the whole screen.
class GifAnimation final : public CountedAnimation<GifReader> {
public:
    bool open(const std::string& path, std::function<bool()> cancelled, Error* error)
    {
        reader_.setCancelCheck(std::move(cancelled));
        return reader_.open(path, error);
    }
    void setCancelCheck(std::function<bool()> cancelled) override
    {
        reader_.setCancelCheck(std::move(cancelled));
    }
    ReadResult skipTo(int frame, Error* error) override
    {
        if (error)
            *error = {};
        const int count = info().frameCount;
        if (frame > read_) {
            if (!reader_.skipTo(std::min(frame, count) + 1, error))
                return {ReadStatus::Failed};
            read_ = std::min(frame, count);
        }
        return {read_ < count ? ReadStatus::Frame : ReadStatus::End};
    }
    bool checkFrames(Error* error) override
    {
        read_ = 0;
        return reader_.checkData(error);
    }
    std::int64_t checkingBytes() const override { return 0; }
};

// A WebP is decoded a frame at a time; passing over frames decodes them.
class WebpAnimation final : public CountedAnimation<WebpReader> {
public:
    bool open(const std::string& path, Error* error) { return reader_.open(path, error); }
    void setCancelCheck(std::function<bool()>) override {}
    ReadResult skipTo(int frame, Error* error) override
    {
        if (error)
            *error = {};
        while (read_ < frame) {
            const ReadResult result = readNext(skipped_, error);
            if (result.status != ReadStatus::Frame)
                return result;
        }
        return {read_ < info().frameCount ? ReadStatus::Frame : ReadStatus::End};
    }
    bool checkFrames(Error* error) override { return PassAll(*this, skipped_, error); }
    std::int64_t checkingBytes() const override { return CanvasBytes(info(), 3); }
};

} // namespace

std::unique_ptr<AnimationReader> OpenAnimation(const std::string& path, Error* error,
                                               std::function<bool()> cancelled)
{
    // A pipe, a device or a socket would keep the reader waiting for a
    // writer that may never come: only files are read (the command line
    // copies a stream into one first). Opened without waiting, then looked
    // at, before a byte is read.
    unsigned char head[12] = {};
    std::size_t got = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd >= 0 && ::fstat(fd, &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
        ::close(fd);
        const char* what = S_ISFIFO(status.st_mode)   ? "is a named pipe"
                           : S_ISSOCK(status.st_mode) ? "is a socket"
                                                      : "is a device";
        Fail(error, ErrorKind::Unreadable, path,
             std::string(what) + ", not a file; save the animation to a file and open that");
        return nullptr;
    }
    if (fd >= 0) {
        const ssize_t read = ::read(fd, head, sizeof head);
        got = read > 0 ? static_cast<std::size_t>(read) : 0;
        ::close(fd);
    }
    if (LooksLikeWebp(head, got)) {
        auto webp = std::make_unique<WebpAnimation>();
        if (!webp->open(path, error))
            return nullptr;
        return webp;
    }
    // Empty and unopenable files are left to the GIF reader's errors.
    if (got >= 6 && std::memcmp(head, "GIF8", 4) != 0) {
        return OpenClip(path, std::move(cancelled), error);
    }
    auto gif = std::make_unique<GifAnimation>();
    if (!gif->open(path, std::move(cancelled), error))
        return nullptr;
    return gif;
}

} // namespace qf::imaging
