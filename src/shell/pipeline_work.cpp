#include "shell/pipeline_work.h"

#include "pipeline/convert.h"
#include "pipeline/preview.h"
#include "pipeline/size_budget.h"
#include "pipeline/snapshots.h"

#include "imaging/errors.h"

#include <QFile>

#include <atomic>
#include <cstring>

namespace qf::shell {

namespace {

std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

// The picture surface is exactly the layout of a QImage in RGB32.
QImage ToImage(const Picture& picture)
{
    QImage image(picture.width(), picture.height(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(y), picture.scanLine(y), static_cast<std::size_t>(picture.bytesPerLine()));
    return image;
}

bool PipelineWork::open(const QString& path, const Switches& switches, const TimelineOptions& timeline,
                        const WorkProgress& progress, OpenedGif* gif, imaging::Error* error)
{
    try {
        ChoosingOptions options;
        options.switches = switches;
        options.timeline = timeline;
        options.keepAll = true;
        options.animatedOnly = true;
        options.progress = progress;
        OpenedGif result;
        OpenedForChoosing opened;
        if (!OpenForChoosing(
                NativePath(path), options,
                [&](int, const Picture& snapshot) { result.snapshots.append(ToImage(snapshot)); }, &opened,
                error))
            return false;
        const imaging::AnimationInfo& info = opened.info;
        result.width = info.width;
        result.height = info.height;
        result.frameCount = info.frameCount;
        result.delays = QVector<int>(info.delays.begin(), info.delays.end());
        if (opened.damage)
            result.damagedAfter = opened.damage.afterFrame;
        result.info = info;
        *gif = std::move(result);
        return true;
    } catch (...) {
        *error = imaging::CaughtError(NativePath(path));
    }
    return false;
}

bool PipelineWork::convert(const QString& source, const TimelineOptions& timeline, const QString& target,
                           int variant, const Switches& switches, const WorkProgress& progress,
                           imaging::Error* error)
{
    SizeSettings chosen;
    return convertWithin(source, timeline, target, variant, switches, 0, progress, &chosen, error);
}

// maxBytes 0 converts at the default settings.
bool PipelineWork::convertWithin(const QString& source, const TimelineOptions& timeline,
                                 const QString& target, int variant, const Switches& switches,
                                 long long maxBytes, const WorkProgress& progress, SizeSettings* chosen,
                                 imaging::Error* error)
{
    try {
        ConvertOptions options;
        options.timeline = timeline;
        options.variant = variant;
        options.switches = switches;
        // A stop is heard inside a long decode too, so closing is prompt.
        std::atomic<bool> stopped{false};
        options.progress = [&](double percent) {
            if (progress && !progress(percent))
                stopped = true;
            return !stopped;
        };
        options.cancelled = [&] { return stopped || (progress && !progress(-1)); };
        if (maxBytes <= 0)
            return ConvertAllFrames(NativePath(source), NativePath(target), options, error);
        BudgetOutcome outcome;
        if (ConvertWithinBudget(NativePath(source), NativePath(target), options, maxBytes, &outcome, error)) {
            *chosen = outcome.settings;
            return true;
        }
        // The result file is the window's own: the message names the GIF.
        if (error->kind == imaging::ErrorKind::TooLarge && error->file == NativePath(target))
            error->file = NativePath(source);
        return false;
    } catch (...) {
        *error = imaging::CaughtError(NativePath(source));
    }
    return false;
}

bool PipelineWork::preview(const QString& source, const TimelineOptions& timeline, int variant,
                           const Switches& switches, const QSize& box, const std::function<bool()>& stopped,
                           const PreviewSink& sink, imaging::Error* error)
{
    try {
        PreviewOptions options;
        options.timeline = timeline;
        options.variant = variant;
        options.switches = switches;
        options.maxWidth = box.width();
        options.maxHeight = box.height();
        options.cancelled = stopped;
        std::shared_ptr<const PreviewSource> kept;
        {
            const std::lock_guard lock(previewMutex_);
            kept = previewSource_;
        }
        const std::shared_ptr<const PreviewSource> before = kept;
        const bool ok = RenderPreview(
            NativePath(source), options,
            [&](int, const Picture& original, const Picture& rendered, int delay) {
                sink(ToImage(original), ToImage(rendered), delay);
            },
            error, &kept);
        if (kept != before) {
            const std::lock_guard lock(previewMutex_);
            previewSource_ = std::move(kept);
        }
        return ok;
    } catch (...) {
        *error = imaging::CaughtError(NativePath(source));
    }
    return false;
}

} // namespace qf::shell
