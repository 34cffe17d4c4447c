// Clips in and out, with their sound, go through FFmpeg's libraries, which
// bring well over a hundred others with them: linked into the programs,
// loading and binding them cost every run some 35 ms before its first frame,
// a GIF's as much as a clip's. They are linked into the clip module instead
// (quillframe-video.so, built from video/), which the programs load the
// first time a clip is opened or written, and through which they reach it.
#pragma once

#include "imaging/animation_reader.h"
#include "imaging/animation_writer.h"
#include "imaging/image.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qf::imaging {

// Which part of which clip sounds, and how long the output plays.
struct SoundPart {
    std::string file;
    std::int64_t startMicros = 0;  // in the clip's own timeline (AnimationInfo::clipStart is its first frame)
    std::int64_t lengthMicros = 0; // of the clip
    double speed = 1;              // 0.25 to 4
    // The sound is cut or padded with silence to this, the pictures' length.
    std::int64_t outputMicros = 0;
    // Asked between packets; true stops the work (Cancelled).
    std::function<bool()> cancelled;
};

enum class SoundCodec { Aac, Opus };

// What a clip's bytes are spent on, for telling a whole clip's size from
// parts of it. An encoder starts every clip with a key picture, and a part
// cut for measuring carries one its whole would not; the container's
// headers, too, come once per file.
struct ClipBytes {
    std::int64_t packets = 0; // pictures and sound
    std::int64_t packetCount = 0;
    std::int64_t pictureCount = 0;
    // The first picture beyond the mean of the others, when it is a key picture.
    std::int64_t openingExcess = 0;
};

// What the clip module offers, each callable from any thread.
struct ClipFunctions {
    const char* version; // the release it belongs to: a module of another is not used
    // The clip's reader (video_reader.h); null with error set when it cannot be read.
    std::unique_ptr<AnimationReader> (*open)(const std::string& path, std::function<bool()> cancelled,
                                             Error* error);
    // A writer of MP4 or WebM (video_writer.h).
    std::unique_ptr<AnimationWriter> (*writer)(const OutputSettings& settings);
    bool (*hasSound)(const std::string& file);
    // The bytes the part's sound takes encoded at bitRate, with its packets' framing.
    bool (*soundBytes)(const SoundPart& part, SoundCodec codec, int bitRate, double* bytes, Error* error);
    // Reads a written clip's packets; false when it cannot be read.
    bool (*measure)(const std::string& path, ClipBytes* bytes);
    // RGBA scaled as a clip's frames are (bicubic).
    bool (*scale)(const RgbaImage& frame, int width, int height, RgbaImage& out);
};

// The module's file name, and the name of its one entry point, an
// extern "C" function without arguments that returns its ClipFunctions.
inline constexpr char kClipModuleFile[] = "quillframe-video.so";
inline constexpr char kClipModuleEntry[] = "quillframe_clip_functions";

// The module, loaded the first time it is asked for: from the program's own
// folder (a build tree), else from where it is installed beside the program.
// Null, with the reason in words, when it cannot be loaded.
const ClipFunctions* ClipModule(std::string* reason = nullptr);

// A clip's reader (null with error set when it cannot be read or the
// module cannot be loaded) and writer (whose open fails when the module
// cannot be loaded).
std::unique_ptr<AnimationReader> OpenClip(const std::string& path, std::function<bool()> cancelled,
                                          Error* error);
std::unique_ptr<AnimationWriter> MakeClipWriter(const OutputSettings& settings);

// The module's functions for callers that may ask before any clip was
// opened; each fails as its module function would when the module cannot
// be loaded (ClipHasSound says no sound).
bool ClipHasSound(const std::string& file);
bool ClipSoundBytes(const SoundPart& part, SoundCodec codec, int bitRate, double* bytes, Error* error);
bool MeasureClipBytes(const std::string& path, ClipBytes* bytes);
bool ScaleClipPicture(const RgbaImage& frame, int width, int height, RgbaImage& out);

} // namespace qf::imaging
