// The window's view of the frame pipeline: open an animation (GIF, WebP or
// video clip) and render its 17 snapshots, convert it whole with one
// variant, and render a short small preview of one variant; each of a part
// of the animation at a frame rate (the timeline). All run on a worker thread; progress
// comes back through the callback, which may stop the work
// by returning false. Tests put a scripted implementation in its place.
#pragma once

#include "engine/engine.h"
#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "pipeline/size_estimate.h"
#include "pipeline/timeline.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QSize>
#include <QString>
#include <QVector>

#include <functional>

namespace qf::shell {

// Percent done (0-100); returning false asks the work to stop. A negative
// percent carries no news: it only asks whether to go on.
using WorkProgress = std::function<bool(double percent)>;

// Why a piece of work did not finish is an imaging::Error, as everywhere:
// its kind decides what the window does, ErrorText is what the user reads.
// Its file is in the system's encoding (QFile::encodeName).

// "<file>: <reason>", the file as the system shows it.
inline QString ErrorText(const imaging::Error& error)
{
    const QString file = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(error.file)));
    const QString reason = QString::fromStdString(error.reason);
    return file.isEmpty() ? reason : QStringLiteral("%1: %2").arg(file, reason);
}

// An error of kind about file (a path as the window holds it).
inline imaging::Error MakeError(imaging::ErrorKind kind, const QString& file, const QString& reason)
{
    return {kind, QFile::encodeName(file).toStdString(), reason.toStdString()};
}

struct OpenedGif {
    int width = 0;
    int height = 0;
    int frameCount = 0;
    QVector<int> delays;       // one per frame, in hundredths of a second
    QVector<QImage> snapshots; // variants 0 to 16 of frame 1; empty for a still GIF
    // The last whole frame before damage in the file (the frames after it
    // are lost), or -1 for a whole file. The window says so.
    int damagedAfter = -1;
    imaging::AnimationInfo info; // as the reader tells it: a clip's frame times and rate
};

class ImageWork {
public:
    virtual ~ImageWork() = default;

    // Reads the animation's size, frame count and delays; when it has at
    // least two frames, also renders the first frame the timeline shows in
    // all 17 variants, reporting 50 to 100 (OpenForChoosing). False with *error when the file cannot be
    // read as an animation, or with ErrorKind::Cancelled when the work was
    // stopped.
    virtual bool open(const QString& path, const Switches& switches, const TimelineOptions& timeline,
                      const WorkProgress& progress, OpenedGif* gif, imaging::Error* error) = 0;

    // Renders every frame the timeline shows of the animation at source with
    // the variant and writes it as a GIF, with their delays, to target, reporting
    // i / n * 100 after frame i. On failure or stop (ErrorKind::Cancelled) the target is
    // left as it was.
    virtual bool convert(const QString& source, const TimelineOptions& timeline, const QString& target,
                         int variant, const Switches& switches, const WorkProgress& progress,
                         imaging::Error* error) = 0;

    // As convert, at the best-looking settings whose file is at most maxBytes
    // (fewer colours, then fewer frames, then a smaller size), which go to
    // *chosen. When none is, fails with ErrorKind::TooLarge saying the
    // smallest size reached.
    virtual bool convertWithin(const QString& source, const TimelineOptions& timeline, const QString& target,
                               int variant, const Switches& switches, long long maxBytes,
                               const WorkProgress& progress, SizeSettings* chosen, imaging::Error* error) = 0;

    // The first seconds the timeline shows of the animation at source in the
    // variant, sampled as the conversion samples them, each frame reduced to fit box: sink gets the reduced
    // source frame, the rendered frame and its delay (hundredths) as soon as each is made. stopped is asked
    // between frames.
    using PreviewSink = std::function<void(const QImage& source, const QImage& rendered, int delay)>;
    virtual bool preview(const QString& source, const TimelineOptions& timeline, int variant,
                         const Switches& switches, const QSize& box, const std::function<bool()>& stopped,
                         const PreviewSink& sink, imaging::Error* error) = 0;
};

} // namespace qf::shell
