// Output that fits a size: the expected size of a conversion, estimated from
// a sample of its frames, and the conversion that picks the best-looking
// output under a byte budget.
#pragma once

#include "convert.h"
#include "imaging/colour/gif_levels.h"
#include "options.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

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

// What the estimate aims at, as a part of a budget: room for its error.
constexpr double kBudgetAim = 0.92;
// How close to its target a chosen quality is expected to come; a rough
// answer (an estimate printed) takes less search.
constexpr double kCloseShare = 0.95;
constexpr double kRoughShare = 0.8;

// The settings options ask for (quality, frame step; scale 1).
SizeSettings SettingsOf(const ConvertOptions& options);

// Estimates output sizes for one input and one set of conversion options
// through the real renderer and encoder: measures how much each frame
// changes from the one before on the source frames, renders and encodes a
// sample of frame pairs (the first two, those of biggest change, one from
// each group of like change) and weighs each frame's bytes by the frames it
// stands for. Rendered frames and sizes are kept, so that many estimates
// cost little more than one.
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

    // The best-looking settings expected to come to at most target bytes:
    // the highest quality at full frame rate and size, else with frames
    // dropped, else smaller; *expected (when given) gets their expected
    // size. False when none does; *smallest then holds the smallest size
    // expected within reason (error stays empty). The search for a quality
    // stops at one expected to come to close times the target; below
    // kCloseShare the answer is rough: away from full frame rate and size
    // the quality is judged by how sizes grow with it at full.
    bool choose(double target, SizeSettings* chosen, long long* smallest, imaging::Error* error,
                double close = kCloseShare, long long* expected = nullptr);

    // The smallest settings within reason (lowest quality, most frames
    // dropped, smallest scale).
    SizeSettings smallestSettings() const;

    // The options of a conversion with settings.
    ConvertOptions optionsFor(const SizeSettings& settings) const;

    int frameCount() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// What ConvertWithinBudget did.
struct BudgetOutcome {
    SizeSettings settings;
    long long bytes = 0;    // of the output written
    long long smallest = 0; // when the budget cannot be met: the smallest size reached
    int fullEncodes = 0;
};

// Converts input to output at the best-looking settings whose result is at
// most maxBytes: the estimate picks them, a full conversion checks, and at
// most one more conversion, aimed by how far the estimate was off,
// corrects; the largest that fits is kept. Only when both are too big (a
// rare miss of the estimate) do a conversion aimed well below and, failing
// that, one at the smallest settings follow, so that the budget is refused
// only when those cannot meet it. The output is never larger than
// maxBytes; when nothing within reason fits, fails (TooLarge, naming the
// output and the smallest size reached) and writes nothing.
bool ConvertWithinBudget(const std::string& input, const std::string& output, const ConvertOptions& options,
                         long long maxBytes, BudgetOutcome* outcome, imaging::Error* error,
                         imaging::AnimationDamage* damage = nullptr);

// Writes the animation at shown (a result converted from input within
// maxBytes) to destination as an animated WebP of at most maxBytes: shown
// itself, losslessly, when that fits, else input converted anew with
// options as a WebP within the budget (ConvertWithinBudget, whose errors
// it gives). progress as for RewriteAnimation, for each pass.
bool WriteWebpWithinBudget(const std::string& shown, const std::string& input, const std::string& destination,
                           const ConvertOptions& options, long long maxBytes, imaging::Error* error);

// An MP4 or WebM: its expected size at options' quality, from converting
// up to three parts of a second spread over it.
bool EstimateClip(const std::string& input, const ConvertOptions& options, long long* bytes, imaging::Error* error);

// An MP4 or WebM: the bits a second of pictures ConvertWithinBudget first
// asks for to fit maxBytes; 0 when too few are left beside the sound, -1
// with error set when the input cannot be read.
int ClipRateWithin(const std::string& input, const ConvertOptions& options, long long maxBytes,
                   imaging::Error* error);

// "quality 60, every 2nd frame, 50% size", or for a clip "850 kbit/s"
std::string DescribeSettings(const SizeSettings& settings);

} // namespace qf
