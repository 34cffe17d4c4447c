// quillframe: the desktop wizard that turns an animated GIF into a
// hand-drawn looking one.
//
//   quillframe [FILE.gif]
//
// opens the GIF at start. While a window runs, a second launch hands the
// file to it (or, without a file, brings it to the front) and ends.
#include "shell/appearance.h"
#include "shell/form_batch.h"
#include "shell/instance_channel.h"
#include "shell/single_instance.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    QApplication::setApplicationName(QStringLiteral("Quillframe"));
    QApplication::setApplicationVersion(QStringLiteral(QF_VERSION));
    QApplication::setWindowIcon(qf::shell::AppIcon());
    QApplication::setFont(qf::shell::WindowFont());

    const QString file = qf::shell::FileArgument(QApplication::arguments());
    qf::shell::SingleInstance instance;
    if (!instance.tryAcquire()) {
        qf::shell::InstanceChannel::handOver(file);
        return 0;
    }

    qf::shell::FormBatch window(qf::shell::DesktopServices());
    qf::shell::InstanceChannel channel;
    QObject::connect(&channel, &qf::shell::InstanceChannel::requested, &window,
                     [&window](const QString& handed) {
                         window.bringToFront();
                         window.openPath(handed);
                     });
    channel.listen();
    window.show();
    if (!file.isEmpty())
        QTimer::singleShot(0, &window, [&window, file] { window.openPath(file); });
    return QApplication::exec();
}
