#include "shell/work_controller.h"

#include "pipeline/free_memory.h"
#include "shell/file_copy.h"

#include <QtConcurrent/QtConcurrentRun>

#include <utility>

namespace qf::shell {

WorkController::WorkController(std::shared_ptr<ImageWork> work, QObject* parent)
    : QObject(parent), work_(std::move(work))
{}

WorkController::~WorkController()
{
    stop();
}

void WorkController::start(Slot& slot, std::function<void(std::shared_ptr<std::atomic<bool>>)> body)
{
    slot.stop->store(true);
    slot.stop = std::make_shared<std::atomic<bool>>(false);
    // The window lives on after each piece of work: what the work freed goes
    // back to the system, not only to the heap.
    slot.future = QtConcurrent::run([body = std::move(body), flag = slot.stop] {
        body(flag);
        ReturnFreedMemory();
    });
}

void WorkController::post(std::function<void()> deliver)
{
    QMetaObject::invokeMethod(
        this,
        [deliver = std::move(deliver), stopped = stopped_] {
            if (!stopped->load())
                deliver();
        },
        Qt::QueuedConnection);
}

WorkProgress WorkController::progressTo(const std::shared_ptr<std::atomic<bool>>& stop)
{
    return [this, stop](double percent) {
        if (percent >= 0)
            post([this, percent] { Q_EMIT progress(percent); });
        return !stop->load();
    };
}

void WorkController::open(const QString& path, const Switches& switches)
{
    job_ = Job::Open;
    start(foreground_, [this, path, switches](const std::shared_ptr<std::atomic<bool>>& stop) {
        OpenedGif gif;
        imaging::Error error;
        const bool ok = work_->open(path, switches, {}, progressTo(stop), &gif, &error);
        post([this, path, ok, gif, error] {
            job_ = Job::None;
            Q_EMIT opened(path, ok, gif, error);
        });
    });
}

void WorkController::convert(const QString& source, const TimelineOptions& timeline, const QString& target,
                             int variant, const Switches& switches, long long maxBytes)
{
    job_ = Job::Convert;
    start(foreground_, [=, this](const std::shared_ptr<std::atomic<bool>>& stop) {
        imaging::Error error;
        SizeSettings chosen;
        const bool ok = maxBytes > 0 ? work_->convertWithin(source, timeline, target, variant, switches,
                                                            maxBytes, progressTo(stop), &chosen, &error)
                                     : work_->convert(source, timeline, target, variant, switches,
                                                      progressTo(stop), &error);
        post([this, ok, error, chosen] {
            job_ = Job::None;
            fitSettings_ = chosen;
            Q_EMIT converted(ok, error);
        });
    });
}

void WorkController::saveWebp(const QString& source, const QString& destination, const FittedResult& fitted)
{
    job_ = Job::Save;
    start(foreground_, [=, this](const std::shared_ptr<std::atomic<bool>>& stop) {
        imaging::Error error;
        const bool ok = WriteWebp(source, destination, fitted, &error, progressTo(stop));
        post([this, ok, error] {
            job_ = Job::None;
            Q_EMIT saved(ok, error);
        });
    });
}

void WorkController::saveClip(const QString& destination, const FittedResult& fitted,
                              imaging::OutputFormat format)
{
    job_ = Job::Save;
    start(foreground_, [=, this](const std::shared_ptr<std::atomic<bool>>& stop) {
        imaging::Error error;
        const bool ok = WriteClip(destination, fitted, format, &error, progressTo(stop));
        post([this, ok, error] {
            job_ = Job::None;
            Q_EMIT saved(ok, error);
        });
    });
}

void WorkController::renderSnapshots(const QString& path, const Switches& switches,
                                     const TimelineOptions& timeline)
{
    start(snapshots_, [=, this](const std::shared_ptr<std::atomic<bool>>& stop) {
        OpenedGif gif;
        imaging::Error error;
        const bool ok = work_->open(
            path, switches, timeline, [stop](double) { return !stop->load(); }, &gif, &error);
        if (ok && !stop->load())
            post([this, path, switches, timeline, gif, stop] {
                if (!stop->load())
                    Q_EMIT snapshotsRendered(path, switches, timeline, gif);
            });
    });
}

bool WorkController::renderingSnapshots() const
{
    return snapshots_.future.isRunning();
}

int WorkController::renderPreview(const QString& path, const TimelineOptions& timeline, int variant,
                                  const Switches& switches, const QSize& box)
{
    const int request = ++previewRequest_;
    start(preview_, [=, this](const std::shared_ptr<std::atomic<bool>>& stop) {
        imaging::Error error;
        work_->preview(
            path, timeline, variant, switches, box, [stop] { return stop->load(); },
            [&](const QImage& source, const QImage& rendered, int delay) {
                post([this, request, source, rendered, delay, stop] {
                    if (!stop->load())
                        Q_EMIT previewFrame(request, source, rendered, delay);
                });
            },
            &error);
        post([this, request, stop] {
            if (!stop->load())
                Q_EMIT previewDone(request);
        });
    });
    return request;
}

void WorkController::cancel()
{
    foreground_.stop->store(true);
}

void WorkController::stopBackground()
{
    snapshots_.stop->store(true);
    preview_.stop->store(true);
}

void WorkController::abandon()
{
    stopped_->store(true);
    for (Slot* slot : {&foreground_, &snapshots_, &preview_})
        slot->stop->store(true);
    job_ = Job::None;
}

void WorkController::stop()
{
    stopped_->store(true);
    for (Slot* slot : {&foreground_, &snapshots_, &preview_})
        slot->stop->store(true);
    for (Slot* slot : {&foreground_, &snapshots_, &preview_})
        slot->future.waitForFinished();
    job_ = Job::None;
}

} // namespace qf::shell
