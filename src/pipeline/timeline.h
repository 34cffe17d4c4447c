// Which source frames an animation shows and for how long: a part of the
// clip (start, end), sampled at a frame rate, played faster or slower, and
// forward then backward. TimelineSource reads the frames in that order.
//
// Times are mapped onto the output's whole hundredths of a second without
// drift: every frame's start and end are rounded on their own (ties to
// even), so the total is the span divided by the speed, rounded once, and 10 s
// of a 30 fps clip lasts exactly 10.00 s. A frame would otherwise last less
// than two hundredths, which players stretch to a tenth of a second, is left
// out and the frame before it shown longer.
#pragma once

#include "imaging/animation_reader.h"
#include "imaging/files/scratch_file.h"
#include "imaging/resize.h"
#include "options.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qf {

struct TimelineOptions {
    std::optional<double> start;    // seconds from the first frame
    std::optional<double> end;      // seconds from the first frame
    std::optional<double> duration; // seconds from start (instead of end)
    std::optional<double> fps;      // sample at this rate
    double speed = 1;               // kMinSpeed to kMaxSpeed
    bool bounce = false;            // forward, then backward without the end frames twice

    friend bool operator==(const TimelineOptions&, const TimelineOptions&) = default;
};

// A time as the user writes it: seconds ("12.5") or minutes and seconds
// ("1:02.5"), never negative. Empty when the text is neither.
std::optional<double> ParseSeconds(const std::string& text);

struct TimelineFrame {
    int source = 0;  // 0-based source frame
    int delay = 0;   // hundredths of a second
    int replay = -1; // on the way back: the position of the same frame going forward
};

// The part of the source shown, [*start, *end) in microseconds from its
// first frame. Fails (InvalidArgument, naming file) when it is empty.
bool TimelineSpan(const std::string& file, const imaging::AnimationInfo& info, const TimelineOptions& options,
                  std::int64_t* start, std::int64_t* end, imaging::Error* error);

// The frames shown, in order. Without any option a GIF or WebP keeps every
// frame with its delay exactly as stored; a clip keeps its own frames up to
// kDefaultVideoFps a second, and above that is sampled at that rate. Fails
// (InvalidArgument, naming file) when an option is out of its range
// (CheckTimeline) or the options leave nothing to show.
bool PlanTimeline(const std::string& file, const imaging::AnimationInfo& info, const TimelineOptions& options,
                  std::vector<TimelineFrame>* frames, imaging::Error* error);

// Reads the frames of a plan in order from an opened reader, with their
// delays. A bounce plays its backward part from a scratch file beside
// scratchBeside, holding the forward frames at the size they are rendered.
class TimelineSource {
public:
    TimelineSource(imaging::AnimationReader& reader, std::vector<TimelineFrame> plan,
                   std::string scratchBeside, imaging::Size renderSize);
    // The next frame and its delay; End after the last (or when the source
    // ends early, its damage then told by the reader), Failed with error set.
    imaging::ReadResult next(imaging::RgbaImage& frame, int* delay, imaging::Error* error);
    int frameCount() const { return static_cast<int>(plan_.size()); }

private:
    imaging::AnimationReader& reader_;
    std::vector<TimelineFrame> plan_;
    std::string scratchBeside_;
    imaging::Size size_;
    std::size_t next_ = 0;
    int read_ = 0; // source frames read so far
    imaging::RgbaImage current_;
    // Bouncing: the source frame resized last and what it became, for a
    // frame that shows it again (a screen holding still) to be resized once.
    imaging::RgbaImage resizedFrom_;
    imaging::RgbaImage resized_;
    // Bouncing: forward frames stored at the render size, in plan order.
    imaging::FilePtr scratch_;
    int forward_ = 0;
};

} // namespace qf
