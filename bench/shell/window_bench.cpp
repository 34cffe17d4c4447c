// Drives the real window over the real pipeline and prints, one per line:
//   preview_start_s    from P to the ticked effect's preview on screen
//   next_to_playing_s  from Next to the result's first frame on screen
//   playing_rss_mb     the largest resident memory while the result plays 3 s
//   close_s            how long close() takes with another conversion running
//
//   qf_window_bench GIF VARIANT
#include "shell/form_batch.h"
#include "shell/pipeline_work.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/ui_services.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <cstdio>

#include <sys/resource.h>

namespace {

using namespace qf::shell;

// No dialogs: every question is answered no and nothing is chosen.
class SilentUi : public UiServices {
public:
    QString openFileName(QWidget*, const QString&, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&, const QString&, QString*) override { return {}; }
    void inform(QWidget*, const QString&, const QString& text) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    void warn(QWidget*, const QString&, const QString& text) override
    {
        std::fprintf(stderr, "%s\n", qPrintable(text));
    }
    bool ask(QWidget*, const QString&, const QString&) override { return false; }
    bool openUrl(const QUrl&) override { return true; }
};

double ResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').front().toDouble() / 1024.0;
    return 0;
}

// CPU time of the whole process so far, all threads, in seconds.
double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Runs the event loop (sleeping while there is nothing to do) until done.
void WaitUntil(const std::function<bool()>& done)
{
    while (!done())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the event loop for ms, calling sample every 100 ms.
void RunFor(int ms, const std::function<void()>& sample = {})
{
    QEventLoop loop;
    QTimer tick;
    if (sample)
        QObject::connect(&tick, &QTimer::timeout, sample);
    tick.start(100);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Trigger(FormBatch& window, const char* name)
{
    window.findChild<QAction*>(QString::fromLatin1(name))->trigger();
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qf_window_bench GIF VARIANT\n");
        return 2;
    }
    const QString gif = QString::fromLocal8Bit(argv[1]);
    const int variant = std::atoi(argv[2]);
    FormBatch window(
        {std::make_shared<SilentUi>(), nullptr, {}, std::make_shared<PipelineWork>(), QDir::tempPath(), {}});
    window.show();
    window.openPath(gif);
    WaitUntil([&] { return !window.isBusy(); });
    auto* list = window.findChild<SnapshotList*>(QStringLiteral("LVSnapshot"));
    auto* viewer = window.findChild<ResultViewer*>(QStringLiteral("GdViewer1"));
    list->item(variant)->setCheckState(Qt::Checked);

    auto* preview = window.findChild<ResultViewer*>(QStringLiteral("PreviewViewer"));
    bool previewed = false;
    QObject::connect(preview, &ResultViewer::frameShown, [&] { previewed = true; });
    QElapsedTimer previewClock;
    previewClock.start();
    Trigger(window, "ActPreview");
    WaitUntil([&] { return previewed; });
    std::printf("preview_start_s %.3f\n", previewClock.elapsed() / 1000.0);

    bool shown = false;
    QObject::connect(viewer, &ResultViewer::frameShown, [&] { shown = true; });
    QElapsedTimer clock;
    const double cpu = CpuSeconds();
    clock.start();
    Trigger(window, "ID_NEXT");
    WaitUntil([&] { return shown && viewer->isVisible(); });
    std::printf("next_to_playing_s %.3f\n", clock.elapsed() / 1000.0);
    std::fflush(stdout);
    std::printf("next_to_playing_cpu_s %.3f\n", CpuSeconds() - cpu);

    double largest = 0;
    RunFor(3000, [&] { largest = std::max(largest, ResidentMb()); });
    std::printf("playing_rss_mb %.1f\n", largest);

    // Another variant converting, then the window closed.
    Trigger(window, "ID_BACK");
    list->item((variant + 1) % list->count())->setCheckState(Qt::Checked);
    Trigger(window, "ID_NEXT");
    RunFor(1000);
    clock.restart();
    window.close();
    std::printf("close_s %.3f\n", clock.elapsed() / 1000.0);
    return 0;
}
