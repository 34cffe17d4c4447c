// The expected size of a conversion, estimated from a sample of its frames
// rendered and encoded as the conversion does it, and the settings that shape
// that size.
#pragma once

#include "convert.h"
#include "imaging/colour/gif_levels.h"
#include "options.h"

#include <map>
#include <memory>
#include <string>

namespace qf {

// The settings that shape an output's size. quality is the GIF level (1-100)
// or the lossy WebP quality (0-100); imaging::kLosslessQuality is WebP's
// lossless mode.
struct SizeSettings {
    int quality = imaging::kBestQuality;
    int frameStep = 1;  // keep every frameStep-th frame (ConvertOptions::frameStep)
    double scale = 1.0; // of the size the conversion would have
    int kilobits = 0;   // an MP4 or WebM: its pictures' kbit/s (0: at quality)

    friend bool operator==(const SizeSettings&, const SizeSettings&) = default;
};

// Settings within reason: at most a quarter of the frames dropped, frames
// shrunk by one of these scales, sides of at least kSmallestSide pixels.
constexpr int kMostFrameStep = 4;
constexpr double kScales[] = {1.0, 0.9, 0.8, 0.7, 0.6, 0.5, 0.42, 0.35, 0.3, 0.25};
constexpr int kSmallestSide = 16;

// The settings options ask for (quality, frame step; scale 1).
SizeSettings SettingsOf(const ConvertOptions& options);

// Estimates output sizes for one input and one set of conversion options
// through the real renderer and encoder: renders and writes short runs of
// following frames spread evenly over the animation, plus the frames whose
// source changes far more than the rest, each run an animation of its own,
// and counts the other frames at the mean of those sampled. Rendered frames
// and sizes are kept, so that many estimates cost little more than one.
class SizeEstimator {
public:
    SizeEstimator();
    ~SizeEstimator();

    // Reads the input's timeline and the sample's source frames. options as
    // for ConvertAllFrames; its quality and frame step are ignored
    // (estimate() takes them).
    bool open(const std::string& input, const ConvertOptions& options, imaging::Error* error);

    // The expected size in bytes of the conversion with settings.
    bool estimate(const SizeSettings& settings, long long* bytes, imaging::Error* error);

    // The best and worst quality of the output format.
    int bestQuality() const;
    int worstQuality() const;
    // Whether a frame step and scale are within reason for this input.
    bool reasonable(int frameStep, double scale) const;
    // The smallest settings within reason (lowest quality, most frames
    // dropped, smallest scale).
    SizeSettings smallestSettings() const;

    // The bytes the sample's frames hold, as read and as rendered.
    double heldBytes() const;
    // Lets go of them, so that a conversion has their memory; an estimate at
    // settings not estimated before reads them again.
    void releaseFrames();

    // The options of a conversion with settings.
    ConvertOptions optionsFor(const SizeSettings& settings) const;

    int frameCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// "quality 60, every 2nd frame, 50% size", or for a clip "850 kbit/s"
std::string DescribeSettings(const SizeSettings& settings);

} // namespace qf
