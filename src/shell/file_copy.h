// Copies a finished result to where the user saves it.
#pragma once

#include "engine/engine.h"
#include "imaging/animation_writer.h"
#include "imaging/image.h"
#include "pipeline/timeline.h"

#include <QString>

#include <functional>

namespace qf::shell {

// Copies source to destination in one step: the bytes go to a new file beside
// the destination that then replaces it, so a failure (missing source, folder
// not writable, disk full) never leaves a half-written file or destroys the
// file that was there. The destination path is used exactly as given. On
// failure *error says what went wrong, naming the file; a folder that takes
// no new file is told apart from one that is missing.
bool CopyFileAtomically(const QString& source, const QString& destination, imaging::Error* error);

// Writes the animation in the GIF at source to destination as a lossless
// animated WebP with the GIF's delays and loop count (RewriteAnimation),
// replacing the destination in one step as CopyFileAtomically does.
// progress, when set, gets i / n * 100 after frame i; false stops the work
// and leaves the destination as it was.
bool WriteWebpFromGif(const QString& source, const QString& destination, imaging::Error* error,
                      const std::function<bool(double percent)>& progress = {});

// What a GIF that was fitted under a size limit was made from.
struct FittedResult {
    QString input; // the animation converted
    int variant = 0;
    Switches switches;
    long long maxBytes = 0;   // the limit; 0 for none
    TimelineOptions timeline; // the part of a clip converted
};

// As WriteWebpFromGif, and with fitted.maxBytes set the WebP is at most that
// big: the GIF itself when its WebP fits, else fitted.input converted anew
// as a WebP within the limit (WriteWebpWithinBudget). When nothing fits,
// fails saying the smallest size reached, and the destination stays as it was.
bool WriteWebp(const QString& source, const QString& destination, const FittedResult& fitted,
               imaging::Error* error, const std::function<bool(double percent)>& progress = {});

// Converts fitted.input anew as an MP4 or a WebM clip (format) with its
// sound, within fitted.maxBytes when that is set; errors as WriteWebp's.
bool WriteClip(const QString& destination, const FittedResult& fitted, imaging::OutputFormat format,
               imaging::Error* error, const std::function<bool(double percent)>& progress = {});

} // namespace qf::shell
