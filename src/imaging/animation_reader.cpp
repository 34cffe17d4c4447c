#include "animation_reader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace qf::imaging {

bool AnimationReader::open(const std::string& path, Error* error)
{
    gif_.reset();
    webp_.reset();
    video_.reset();
    read_ = 0;
    unsigned char head[12] = {};
    std::size_t got = 0;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        got = std::fread(head, 1, sizeof head, file);
        std::fclose(file);
    }
    if (LooksLikeWebp(head, got)) {
        webp_ = std::make_unique<WebpReader>();
        return webp_->open(path, error);
    }
    // Empty and unopenable files are left to the GIF reader's errors.
    if (got >= 6 && std::memcmp(head, "GIF8", 4) != 0) {
        video_ = std::make_unique<VideoReader>();
        video_->setCancelCheck(cancelled_);
        return video_->open(path, error);
    }
    gif_ = std::make_unique<GifReader>();
    gif_->setCancelCheck(cancelled_);
    return gif_->open(path, error);
}

void AnimationReader::setCancelCheck(std::function<bool()> cancelled)
{
    cancelled_ = std::move(cancelled);
    if (video_)
        video_->setCancelCheck(cancelled_);
}

void AnimationReader::setFrameSize(Size size)
{
    if (video_)
        video_->setFrameSize(size.width, size.height);
}

const AnimationDamage& AnimationReader::damage() const
{
    static const AnimationDamage kNone;
    return gif_ ? gif_->damage() : webp_ ? webp_->damage() : video_ ? video_->damage() : kNone;
}

const AnimationInfo& AnimationReader::info() const
{
    static const AnimationInfo kNone;
    return webp_ ? webp_->info() : gif_ ? gif_->info() : video_ ? video_->info() : kNone;
}

ReadResult AnimationReader::readNext(RgbaImage& frame, Error* error)
{
    if (video_)
        return video_->readNext(frame, error);
    ReadResult result{ReadStatus::End};
    if (webp_)
        result = webp_->readNext(frame, error);
    else if (gif_)
        result = gif_->readNext(frame, error);
    else if (error)
        *error = {};
    if (result)
        ++read_;
    return result;
}

ReadResult AnimationReader::skipNext(Error* error)
{
    return video_ ? video_->skipNext(error) : readNext(skipped_, error);
}

ReadResult AnimationReader::skipTo(int frame, Error* error)
{
    if (video_)
        return video_->skipTo(frame, error);
    if (error)
        *error = {};
    if (gif_) {
        const int count = info().frameCount;
        if (frame > read_) {
            if (!gif_->skipTo(std::min(frame, count) + 1, error))
                return {ReadStatus::Failed};
            read_ = std::min(frame, count);
        }
        return {read_ < count ? ReadStatus::Frame : ReadStatus::End};
    }
    while (read_ < frame) {
        const ReadResult result = readNext(skipped_, error);
        if (result.status != ReadStatus::Frame)
            return result;
    }
    return {read_ < info().frameCount ? ReadStatus::Frame : ReadStatus::End};
}

} // namespace qf::imaging
