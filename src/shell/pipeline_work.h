// ImageWork over the frame pipeline.
#pragma once

#include "shell/image_work.h"

#include "pipeline/picture.h"
#include "pipeline/preview.h"

#include <memory>
#include <mutex>

namespace qf::shell {

// A frame of the pipeline as the window draws it.
QImage ToImage(const Picture& picture);

class PipelineWork : public ImageWork {
public:
    bool open(const QString& path, const Switches& switches, const TimelineOptions& timeline,
              const WorkProgress& progress, OpenedGif* gif, imaging::Error* error) override;
    bool convert(const QString& source, const TimelineOptions& timeline, const QString& target, int variant,
                 const Switches& switches, const WorkProgress& progress, imaging::Error* error) override;
    bool convertWithin(const QString& source, const TimelineOptions& timeline, const QString& target,
                       int variant, const Switches& switches, long long maxBytes,
                       const WorkProgress& progress, SizeSettings* chosen, imaging::Error* error) override;
    bool preview(const QString& source, const TimelineOptions& timeline, int variant,
                 const Switches& switches, const QSize& box, const std::function<bool()>& stopped,
                 const PreviewSink& sink, imaging::Error* error) override;

private:
    // The source frames of the last preview, for the next variant; previews
    // may overlap while one stops.
    std::mutex previewMutex_;
    std::shared_ptr<const PreviewSource> previewSource_;
};

} // namespace qf::shell
