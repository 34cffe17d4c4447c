// The sound of a part of a video clip, cut, played faster or slower and
// encoded for a video file: decoded with libavcodec, cut and retimed by
// libavfilter (atempo changes the tempo, not the pitch), then encoded
// whole, so that a writer can lay its packets between the pictures'.
#pragma once

#include "imaging/clip_module.h"
#include "imaging/image.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AVCodecParameters;
struct AVPacket;

namespace qf::imaging {

// Encoded sound: the stream's parameters and its packets in order, their
// times in timeBase (1 / sample rate).
class EncodedSound {
public:
    EncodedSound();
    ~EncodedSound();
    EncodedSound(const EncodedSound&) = delete;
    EncodedSound& operator=(const EncodedSound&) = delete;

    const AVCodecParameters* parameters() const { return parameters_; }
    int sampleRate() const { return sampleRate_; }
    const std::vector<AVPacket*>& packets() const { return packets_; }
    std::int64_t bytes() const;

private:
    friend bool EncodeSound(const SoundPart&, SoundCodec, int, EncodedSound*, Error*);
    AVCodecParameters* parameters_ = nullptr;
    int sampleRate_ = 0;
    std::vector<AVPacket*> packets_;
};

// Whether the clip at file holds a sound stream this build can decode.
bool HasSound(const std::string& file);

// Encodes the part's sound at bitRate bits a second (mono stays mono, more
// channels become stereo). A clip without sound gives true with no packets.
// Errors name the part's file.
bool EncodeSound(const SoundPart& part, SoundCodec codec, int bitRate, EncodedSound* out, Error* error);

} // namespace qf::imaging
