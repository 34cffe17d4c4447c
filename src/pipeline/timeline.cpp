#include "timeline.h"

#include "imaging/errors.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <utility>

namespace qf {

namespace {

constexpr double kMicros = 1e6;
constexpr double kMicrosPerHundredth = 1e4;
// Frames shorter than this are stretched by players to a tenth of a second.
constexpr int kShortestDelay = imaging::kShortestPlayedDelay;

std::string Seconds(std::int64_t micros)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f s", static_cast<double>(micros) / kMicros);
    return text;
}

// Every frame's start in microseconds, then the end: a clip's timestamps, or
// a GIF's delays played as browsers play them (under two hundredths as ten).
std::vector<std::int64_t> FrameTimes(const imaging::AnimationInfo& info)
{
    if (info.video())
        return info.frameTimes;
    std::vector<std::int64_t> times{0};
    for (int i = 0; i < info.frameCount; ++i) {
        const int delay = i < static_cast<int>(info.delays.size()) ? info.delays[i] : 0;
        times.push_back(times.back() + imaging::PlayedDelay(delay) * 10000LL);
    }
    return times;
}

} // namespace

std::optional<double> ParseSeconds(const std::string& text)
{
    const auto number = [](const std::string& part) -> std::optional<double> {
        if (part.empty() || part.find_first_not_of("0123456789.") != std::string::npos
            || part.find('.') != part.rfind('.') || part == ".")
            return std::nullopt;
        return std::strtod(part.c_str(), nullptr);
    };
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return number(text);
    const std::optional<double> minutes = number(text.substr(0, colon));
    const std::optional<double> seconds = number(text.substr(colon + 1));
    if (!minutes || !seconds || text.find('.') < colon || *seconds >= 60)
        return std::nullopt;
    return *minutes * 60 + *seconds;
}

bool TimelineSpan(const std::string& file, const imaging::AnimationInfo& info, const TimelineOptions& options,
                  std::int64_t* start, std::int64_t* end, imaging::Error* error)
{
    const std::int64_t length = FrameTimes(info).back();
    const std::int64_t a = options.start ? std::llround(*options.start * kMicros) : 0;
    std::int64_t b = options.end        ? std::llround(*options.end * kMicros)
                     : options.duration ? a + std::llround(*options.duration * kMicros)
                                        : length;
    b = std::min(b, length);
    if (a >= length)
        return imaging::Fail(error, imaging::ErrorKind::InvalidArgument, file,
                             "the start, " + Seconds(a) + ", is not before the end of the animation ("
                                 + Seconds(length) + ")");
    if (b <= a)
        return imaging::Fail(error, imaging::ErrorKind::InvalidArgument, file,
                             "the end, " + Seconds(b) + ", is not after the start (" + Seconds(a) + ")");
    *start = a;
    *end = b;
    return true;
}

bool PlanTimeline(const std::string& file, const imaging::AnimationInfo& info, const TimelineOptions& options,
                  std::vector<TimelineFrame>* frames, imaging::Error* error)
{
    frames->clear();
    if (!CheckTimeline(file, options, error))
        return false;
    const int n = info.frameCount;
    const bool asStored = !info.video() && !options.start && !options.end && !options.duration && !options.fps
                          && options.speed == 1 && !options.bounce;
    if (asStored) {
        for (int i = 0; i < n; ++i)
            frames->push_back({i, i < static_cast<int>(info.delays.size()) ? info.delays[i] : 0});
        return true;
    }
    const std::vector<std::int64_t> times = FrameTimes(info);
    std::int64_t a = 0;
    std::int64_t b = 0;
    if (!TimelineSpan(file, info, options, &a, &b, error))
        return false;

    // The source frame shown at each sampled time, from when it is shown.
    std::vector<std::pair<std::int64_t, int>> samples;
    std::optional<double> fps = options.fps;
    if (!fps && info.video() && info.frameRate > kDefaultVideoFps)
        fps = kDefaultVideoFps;
    if (fps) {
        for (std::int64_t k = 0;; ++k) {
            const std::int64_t s = a + std::llround(static_cast<double>(k) * kMicros / *fps);
            if (s >= b)
                break;
            const auto after = std::upper_bound(times.begin(), times.end() - 1, s);
            samples.emplace_back(s, std::max(0, static_cast<int>(after - times.begin()) - 1));
        }
    } else {
        for (int i = 0; i < n; ++i)
            if (times[i] < b && times[i + 1] > a)
                samples.emplace_back(std::max(times[i], a), i);
    }

    // Starts on the hundredths of the output; frames too short to show are
    // left to the one before.
    const double scale = 1.0 / (options.speed * kMicrosPerHundredth);
    const auto at = [&](std::int64_t t) {
        return static_cast<int>(std::nearbyint(static_cast<double>(t - a) * scale));
    };
    std::vector<std::pair<int, int>> kept; // output start, source frame
    for (const auto& [s, source] : samples) {
        const int start = at(s);
        if (kept.empty() || start - kept.back().first >= kShortestDelay)
            kept.emplace_back(start, source);
    }
    const int total = at(b);
    while (kept.size() > 1 && total - kept.back().first < kShortestDelay)
        kept.pop_back();
    for (std::size_t j = 0; j < kept.size(); ++j) {
        const int until = j + 1 < kept.size() ? kept[j + 1].first : total;
        frames->push_back({kept[j].second, until - kept[j].first});
    }
    if (options.bounce)
        for (int j = static_cast<int>(kept.size()) - 2; j >= 1; --j) {
            TimelineFrame back = (*frames)[j];
            back.replay = j;
            frames->push_back(back);
        }
    return true;
}

TimelineSource::TimelineSource(imaging::AnimationReader& reader, std::vector<TimelineFrame> plan,
                               std::string scratchBeside, imaging::Size renderSize)
    : reader_(reader), plan_(std::move(plan)), scratchBeside_(std::move(scratchBeside)), size_(renderSize)
{
    for (const TimelineFrame& frame : plan_)
        if (frame.replay < 0)
            ++forward_;
}

imaging::ReadResult TimelineSource::next(imaging::RgbaImage& frame, int* delay, imaging::Error* error)
{
    if (error)
        *error = {};
    if (next_ >= plan_.size())
        return {imaging::ReadStatus::End};
    const TimelineFrame& entry = plan_[next_];
    const bool bouncing = forward_ < static_cast<int>(plan_.size());
    const std::size_t bytes = static_cast<std::size_t>(size_.width) * size_.height * 4;
    if (entry.replay >= 0) {
        frame.width = size_.width;
        frame.height = size_.height;
        frame.pixels.resize(bytes);
        if (std::fseek(scratch_.get(), static_cast<long>(bytes * static_cast<std::size_t>(entry.replay)),
                       SEEK_SET)
                != 0
            || std::fread(frame.pixels.data(), 1, bytes, scratch_.get()) != bytes) {
            imaging::Fail(error, imaging::ErrorKind::Unwritable, scratchBeside_,
                          "a working file beside it cannot be read back");
            return {imaging::ReadStatus::Failed};
        }
    } else {
        if (read_ <= entry.source) {
            imaging::ReadResult result = reader_.skipTo(entry.source, error);
            if (result)
                result = reader_.readNext(current_, error);
            if (!result)
                return result;
            read_ = entry.source + 1;
        }
        if (!bouncing) {
            // Handed over, not copied, unless the next entry shows the same
            // source frame again (a rate above the clip's).
            const bool shownAgain = next_ + 1 < plan_.size() && plan_[next_ + 1].replay < 0
                                    && plan_[next_ + 1].source == entry.source;
            if (shownAgain)
                frame = current_;
            else
                std::swap(frame, current_);
        } else {
            // Held at the size it is rendered, for the way back.
            if (!scratch_ && !(scratch_ = imaging::OpenScratchFile(scratchBeside_, error)))
                return {imaging::ReadStatus::Failed};
            if (current_.width == size_.width && current_.height == size_.height) {
                frame = current_;
            } else {
                if (current_ != resizedFrom_) {
                    imaging::Resize(current_, size_.width, size_.height, resized_);
                    resizedFrom_ = current_;
                }
                frame = resized_;
            }
            if (std::fseek(scratch_.get(), static_cast<long>(bytes * next_), SEEK_SET) != 0
                || std::fwrite(frame.pixels.data(), 1, bytes, scratch_.get()) != bytes) {
                imaging::Fail(error, imaging::ErrorKind::Unwritable, scratchBeside_,
                              imaging::WriteReason(errno) + " (a working file beside it)");
                return {imaging::ReadStatus::Failed};
            }
        }
    }
    *delay = entry.delay;
    ++next_;
    return {imaging::ReadStatus::Frame};
}

} // namespace qf
