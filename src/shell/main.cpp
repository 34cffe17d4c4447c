// quillframe: the desktop wizard that turns an animated GIF into a
// hand-drawn looking one.
//
//   quillframe [FILE.gif]
//
// opens the GIF at start. While a window runs, a second launch hands the
// file to it (or, without a file, brings it to the front) and ends.
#include "engine/variants.h"
#include "imaging/files/temporary_names.h"
#include "shell/appearance.h"
#include "shell/form_batch.h"
#include "shell/instance_channel.h"
#include "shell/language.h"
#include "shell/single_instance.h"
#include "version.h"

#include <QApplication>
#include <QLocalServer>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include <semaphore.h>
#include <unistd.h>

namespace {

void PrintHelp()
{
    std::cout << "Usage: quillframe [FILE.gif]\n"
                 "Opens the Quillframe window, a wizard that turns an animated GIF into a\n"
                 "hand-drawn looking animated GIF: open a GIF, pick one of "
              << qf::kVariantCount
              << " effects from\n"
                 "previews of its first frame, convert every frame, watch the result, save it.\n"
                 "FILE.gif, when given, is opened at start; when a Quillframe window is\n"
                 "already open, that window opens it instead and this start ends.\n"
                 "\n"
                 "Options:\n"
                 "  -h, --help     show this help and exit\n"
                 "      --version  show the version and exit\n"
                 "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n"
                 "\n"
                 "Effects:\n";
    // One effect a line, broken before column 80 with the rest indented.
    for (int v = 0; v < qf::kVariantCount; ++v) {
        std::string line = (v < 10 ? "   " : "  ") + std::to_string(v) + "  "
                           + std::string(qf::kVariants[v].name) + ": "
                           + std::string(qf::kVariants[v].description);
        while (line.size() > 79) {
            const std::size_t cut = line.rfind(' ', 79);
            std::cout << line.substr(0, cut) << "\n";
            line = "      " + line.substr(cut + 1);
        }
        std::cout << line << "\n";
    }
    std::cout << "\n"
                 "Exit status: 0 when the window is closed, and at once when another\n"
                 "Quillframe window is already open.\n";
}

// --help and --version answer on the terminal before Qt starts, so they work
// without a display (the build writes the manual page from --help).
std::optional<int> AnswerInfoOption(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--")
            break;
        if (arg == "-h" || arg == "--help") {
            PrintHelp();
            return 0;
        }
        if (arg == "--version") {
            std::cout << "quillframe (Quillframe) " << qf::kVersion << "\n" << qf::kVersionNotice << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

// A termination signal (a logout's SIGTERM, Ctrl+C's SIGINT, a closed
// terminal's SIGHUP) closes the window as its close button does, so the
// temporary files, the lock and the socket go. The handler only writes a
// byte; the window hears it in its event loop. Should the event loop not
// answer within 0.25 s (a call that does not return), the program ends from
// a watch thread: outputs are replaced only when whole, and the temporary
// files that have names are removed first.
int signalPipe[2] = {-1, -1};
sem_t stopAsked;

void OnSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
    sem_post(&stopAsked);
}

void StopWatch()
{
    while (sem_wait(&stopAsked) != 0) {
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    qf::imaging::EndNow(0);
}

void CloseOnSignals(QWidget& window)
{
    if (::pipe(signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte = 0;
        [[maybe_unused]] const auto read = ::read(signalPipe[0], &byte, 1);
        window.close();
        QApplication::quit();
    });
    sem_init(&stopAsked, 0, 0);
    std::thread(StopWatch).detach();
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = AnswerInfoOption(argc, argv))
        return *status;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Morvane"));
    QApplication::setApplicationName(QStringLiteral("Quillframe"));
    QApplication::setApplicationVersion(QStringLiteral(QF_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("example.morvane.Quillframe"));
    QApplication::setWindowIcon(qf::shell::AppIcon());
    qf::shell::InstallTranslations(app, qf::shell::FindTranslations(QCoreApplication::applicationDirPath()));
    QApplication::setFont(qf::shell::WindowFont());

    // A second copy hands its file to the running window and ends. A lock
    // that cannot be taken at all is reported, and the window starts anyway.
    const QString file = qf::shell::FileArgument(QApplication::arguments());
    qf::shell::SingleInstance instance;
    const bool single = instance.tryAcquire();
    if (!single) {
        if (instance.error().isEmpty()) {
            qf::shell::InstanceChannel::handOver(file);
            return 0;
        }
        QMessageBox::warning(
            nullptr, QApplication::applicationName(),
            QObject::tr("Cannot check for another running Quillframe window:\n%1").arg(instance.error()));
    }

    qf::shell::FormBatch window(qf::shell::DesktopServices());
    qf::shell::InstanceChannel channel;
    QObject::connect(&channel, &qf::shell::InstanceChannel::requested, &window,
                     [&window](const QString& handed, const QString& token) {
                         window.bringToFront(token);
                         window.openPath(handed);
                     });
    CloseOnSignals(window);
    if (single)
        channel.listen();
    window.show();
    if (!file.isEmpty())
        QTimer::singleShot(0, &window, [&window, file] { window.openPath(file); });
    const int status = QApplication::exec();
    // Closing the window deleted the temporary files and told the work in
    // flight to stop. The program ends now rather than waiting for it: the
    // work only ever replaces a file whole, so nothing half-written stays.
    window.close();
    if (single) {
        QLocalServer::removeServer(qf::shell::InstanceChannel::DefaultName());
        instance.release();
    }
    std::fflush(nullptr);
    qf::imaging::EndNow(status);
}
