// quillframe: the desktop wizard that turns an animated GIF into a
// hand-drawn looking one.
#include "shell/appearance.h"
#include "shell/form_batch.h"
#include "shell/single_instance.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    QApplication::setApplicationName(QStringLiteral("Quillframe"));
    QApplication::setApplicationVersion(QStringLiteral(QF_VERSION));
    QApplication::setWindowIcon(qf::shell::AppIcon());
    QApplication::setFont(qf::shell::WindowFont());

    // A second copy ends at once, without a word. A lock that cannot be
    // taken at all is reported, and the window starts anyway.
    qf::shell::SingleInstance instance;
    if (!instance.tryAcquire()) {
        if (instance.error().isEmpty())
            return 0;
        QMessageBox::warning(nullptr, QApplication::applicationName(),
                             QObject::tr("Cannot check for another running Quillframe window:\n%1")
                                 .arg(instance.error()));
    }

    qf::shell::FormBatch window(qf::shell::DesktopServices());
    window.show();
    return QApplication::exec();
}
