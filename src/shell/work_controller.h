// All the window's background work in one place: opening a GIF, redrawing
// the snapshots after a switch changed, converting, saving as WebP and
// rendering previews. Each job runs on a worker thread and reports back on
// the window's thread through the signals; stop() ends every job and waits
// for them, so nothing runs once it returns.
#pragma once

#include "shell/file_copy.h"
#include "shell/image_work.h"

#include <QFuture>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace qf::shell {

class WorkController : public QObject {
    Q_OBJECT
public:
    explicit WorkController(std::shared_ptr<ImageWork> work, QObject* parent = nullptr);
    ~WorkController() override;

    // The jobs that lock the window's commands while they run.
    enum class Job { None, Open, Convert, Save };
    Job job() const { return job_; }
    bool busy() const { return job_ != Job::None; }

    // A newly opened file shows all of itself.
    void open(const QString& path, const Switches& switches);
    // maxBytes above 0: the best-looking result of at most that many bytes,
    // made at fitSettings() once converted() says so.
    void convert(const QString& source, const TimelineOptions& timeline, const QString& target, int variant,
                 const Switches& switches, long long maxBytes = 0);
    const SizeSettings& fitSettings() const { return fitSettings_; }
    // fitted: what a result fitted under a size limit was made from.
    void saveWebp(const QString& source, const QString& destination, const FittedResult& fitted = {});
    // Converts the result anew as an MP4 or WebM clip with its sound.
    void saveClip(const QString& destination, const FittedResult& fitted, imaging::OutputFormat format);
    // In the background, without locking anything; a newer request replaces
    // an older one.
    void renderSnapshots(const QString& path, const Switches& switches, const TimelineOptions& timeline);
    // Returns the request number its frames carry.
    int renderPreview(const QString& path, const TimelineOptions& timeline, int variant,
                      const Switches& switches, const QSize& box);
    bool renderingSnapshots() const;

    // Asks the locking job to stop; its signal still comes, with
    // ErrorKind::Cancelled unless it had already finished.
    void cancel();
    // Drops the background jobs' results from now on.
    void stopBackground();
    // Stops every job and waits until all have ended; no signal follows.
    void stop();
    // Asks every job to stop and does not wait: for a program that ends
    // now. The jobs only ever replace a file whole, so one cut short leaves
    // nothing half-written.
    void abandon();

Q_SIGNALS:
    void progress(double percent);
    void opened(const QString& path, bool ok, const qf::shell::OpenedGif& gif,
                const qf::imaging::Error& error);
    void converted(bool ok, const qf::imaging::Error& error);
    void saved(bool ok, const qf::imaging::Error& error);
    void snapshotsRendered(const QString& path, const qf::Switches& switches,
                           const qf::TimelineOptions& timeline, const qf::shell::OpenedGif& gif);
    // One frame of a preview, as soon as it is made; request tells which.
    void previewFrame(int request, const QImage& source, const QImage& rendered, int delay);
    void previewDone(int request);

private:
    // One kind of job: its stop flag and the future of its run.
    struct Slot {
        std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
        QFuture<void> future;
    };
    // Runs body on a worker with a fresh stop flag, after stopping what the
    // slot ran before; body gets the flag.
    void start(Slot& slot, std::function<void(std::shared_ptr<std::atomic<bool>>)> body);
    // Calls deliver on the window's thread unless stop() came first.
    void post(std::function<void()> deliver);
    WorkProgress progressTo(const std::shared_ptr<std::atomic<bool>>& stop);

    std::shared_ptr<ImageWork> work_;
    Slot foreground_, snapshots_, preview_;
    Job job_ = Job::None;
    SizeSettings fitSettings_;
    int previewRequest_ = 0;
    // Shared with the queued deliveries, which check it first.
    std::shared_ptr<std::atomic<bool>> stopped_ = std::make_shared<std::atomic<bool>>(false);
};

} // namespace qf::shell
