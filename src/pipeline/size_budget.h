// Output that fits a size: the settings expected to fit a budget, chosen
// from a SizeEstimator's estimates, and the conversion that writes the
// best-looking output under a byte budget.
#pragma once

#include "convert.h"
#include "size_estimate.h"

#include <optional>
#include <string>
#include <vector>

namespace qf {

// What the estimate aims at, as a part of a budget: room for its error.
constexpr double kBudgetAim = 0.92;
// How close to its target a chosen quality is expected to come.
constexpr double kCloseShare = 0.95;

// The best-looking settings expected to come to at most target bytes: the
// highest quality at full frame rate and size, else with frames dropped,
// else smaller; *expected (when given) gets their expected size. False when
// none does; *smallest then holds the smallest size expected within reason
// (error stays empty). The search for a quality stops at one expected to
// come to kCloseShare of the target or, once a guess has brought it to
// kNearShare of it or a sample up to quality 80 came to just over it, at
// the one the curve through the sizes measured puts nearest under it.
bool ChooseSettings(SizeEstimator& estimator, double target, SizeSettings* chosen, long long* smallest,
                    imaging::Error* error, long long* expected = nullptr);

// The settings a budget of maxBytes is converted at first, ConvertWithinBudget
// keeping them whenever the result fits: what an estimate says a budget
// chooses. As ChooseSettings.
bool ChooseForBudget(SizeEstimator& estimator, long long maxBytes, SizeSettings* chosen, long long* smallest,
                     imaging::Error* error, long long* expected = nullptr);

// What ConvertWithinBudget did.
struct BudgetOutcome {
    SizeSettings settings;
    long long bytes = 0;    // of the output written
    long long smallest = 0; // when the budget cannot be met: the smallest size reached
    int fullEncodes = 0;
};

// Converts input to output at the best-looking settings whose result is at
// most maxBytes: the estimate picks them (ChooseForBudget) and a full
// conversion checks; a result that fits is kept. Only when it is too big,
// or far under the budget short of the best settings (a miss of the
// estimate), does one more conversion, aimed by how far the estimate was
// off, correct (the larger that fits is kept); when a second too big
// follows a first too big, one aimed well below and, failing that, one at
// the smallest settings follow, so that the budget is refused only when
// those cannot meet it. The output is never larger than maxBytes; when
// nothing within reason fits, fails (TooLarge, naming the output and the
// smallest size reached) and writes nothing.
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
bool EstimateClip(const std::string& input, const ConvertOptions& options, long long* bytes,
                  imaging::Error* error);

// An MP4 or WebM: for each of limits, the settings ConvertWithinBudget
// first tries to fit it: the pictures' kbit/s, or for AV1 the quality of
// the rate factor its first encode takes (the parts it measures shared by
// all the limits); none when too few bits are left beside the sound.
// False with error set when the input cannot be read.
bool ClipChoicesWithin(const std::string& input, const ConvertOptions& options,
                       const std::vector<long long>& limits, std::vector<std::optional<SizeSettings>>* firsts,
                       imaging::Error* error);

} // namespace qf
