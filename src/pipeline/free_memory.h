// How much memory the process can still take, so that work too large for it
// is refused with a message before it starts instead of ending the program.
#pragma once

#include "imaging/image.h"

#include <string>

namespace qf {

// What the work holds, in bytes for each pixel of the frame rendered.
// An engine state's planes with one picture in and one out (measured: 177 MB
// for a 3-megapixel frame).
inline constexpr double kEngineBytesPerPixel = 60;
// A picture kept (the window keeps all 17 snapshots).
inline constexpr double kPictureBytesPerPixel = 4;
// A converting worker: an engine state, a frame encoder with the colour
// quantiser's work space (about 28) and two frames in flight (about 12
// each: the decoded frame and the pictures read and rendered).
inline constexpr double kWorkerBytesPerPixel = kEngineBytesPerPixel + 28 + 2 * 12;

// A reader decoding frames of a picture: its canvas, the area a frame
// restores and the frame it hands out.
inline constexpr double kReaderBytesPerPixel = 12;
// The WebP encoder: its canvases (the previous and the current frame) and
// the candidate sub-frames it tries, for each pixel of the output.
inline constexpr double kWebpWriterBytesPerPixel = 24;

// Bytes this process can still take: what the system reports available, no
// more than its control group's memory limit leaves, and no more than its
// address-space limit leaves; of that, the share of a MemoryShare. 0 when none
// of them is known.
double AvailableMemory();

// Held by each piece of work that runs beside others and checks its memory
// for itself (a batch converting two files at once): while n are held, each
// counts on an n-th of what is left, rather than all of them on all of it.
class MemoryShare {
public:
    MemoryShare();
    ~MemoryShare();
    MemoryShare(const MemoryShare&) = delete;
    MemoryShare& operator=(const MemoryShare&) = delete;
};

// Hands back to the system the memory that finished work freed but the heap
// kept: the frames of a conversion's workers stay mapped after it (a window
// showing a 1920 x 1080 result held 580 MB, 288 MB once they were handed
// back), counted as taken by the next work's check and by other programs.
void ReturnFreedMemory();

// Refuses work that needs more bytes than available (0: not known; then
// nothing is refused): OutOfMemory naming file, "needs about N MB of memory
// to <work>; about M MB are free". Checked before the work touches its
// memory, since running out then ends the program instead of reporting it.
bool CheckMemory(double needed, double available, const std::string& file, const std::string& work,
                 imaging::Error* error);

} // namespace qf
