// The clip module's one entry point: the clip reader and writer, and the
// sound and size measures the pipeline asks of clips, behind the table of
// functions the programs load (clip_module.h).
#include "imaging/clip_module.h"

#include "imaging/video/sound_track.h"
#include "imaging/video/video_reader.h"
#include "imaging/video/video_writer.h"
#include "version.h"

namespace qf::imaging {
namespace {

// A clip, read through the video reader.
class VideoAnimation final : public AnimationReader {
public:
    bool open(const std::string& path, std::function<bool()> cancelled, Error* error)
    {
        video_.setCancelCheck(std::move(cancelled));
        return video_.open(path, error);
    }
    void setCancelCheck(std::function<bool()> cancelled) override
    {
        video_.setCancelCheck(std::move(cancelled));
    }
    const AnimationInfo& info() const override { return video_.info(); }
    const AnimationDamage& damage() const override { return video_.damage(); }
    void setFrameSize(Size size) override { video_.setFrameSize(size.width, size.height); }
    ReadResult readNext(RgbaImage& frame, Error* error) override { return video_.readNext(frame, error); }
    void keepPictures(bool keep) override { video_.keepPictures(keep); }
    std::shared_ptr<const ClipPicture> keptPicture() const override { return video_.keptPicture(); }
    ReadResult skipNext(Error* error) override { return video_.skipNext(error); }
    ReadResult skipTo(int frame, Error* error) override { return video_.skipTo(frame, error); }
    // The first frame decoded and converted (a picture the scaler cannot
    // take shows there), the rest decoded only: converting each of them,
    // at the clip's full size, took more time than decoding and finds no
    // damage that decoding and the size check do not.
    bool checkFrames(Error* error) override
    {
        if (video_.readNext(frame_, error))
            while (video_.skipNext(error)) {
            }
        return !(error && *error);
    }
    // The decoder's pictures too (a few at the coded size, 1.5 bytes a pixel).
    std::int64_t checkingBytes() const override { return CanvasBytes(info(), 4); }

private:
    VideoReader video_;
    RgbaImage frame_;
};

std::unique_ptr<AnimationReader> Open(const std::string& path, std::function<bool()> cancelled, Error* error)
{
    auto video = std::make_unique<VideoAnimation>();
    if (!video->open(path, std::move(cancelled), error))
        return nullptr;
    return video;
}

std::unique_ptr<AnimationWriter> Writer(const OutputSettings& settings)
{
    return std::make_unique<VideoWriter>(settings);
}

bool SoundBytes(const SoundPart& part, SoundCodec codec, int bitRate, double* bytes, Error* error)
{
    EncodedSound sound;
    if (!EncodeSound(part, codec, bitRate, &sound, error))
        return false;
    // Each packet is framed in the container too.
    *bytes = static_cast<double>(sound.bytes()) + 16.0 * static_cast<double>(sound.packets().size());
    return true;
}

constexpr ClipFunctions kFunctions = {kVersion,   Open,        Writer,        HasSound,
                                      SoundBytes, MeasureClip, ScaleClipFrame};

} // namespace
} // namespace qf::imaging

extern "C" __attribute__((visibility("default"))) const qf::imaging::ClipFunctions*
quillframe_clip_functions()
{
    return &qf::imaging::kFunctions;
}
