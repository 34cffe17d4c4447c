#include "shell/file_copy.h"

#include "imaging/files/atomic_file.h"
#include "pipeline/convert.h"
#include "pipeline/size_budget.h"
#include "shell/image_work.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#endif

namespace qf::shell {

namespace {

// Why no new file can be made beside `destination`, found by trying to make
// one. The system's word for a folder that accepts no new files (those of
// /proc or /sys, say) is "No such file or directory", which would send the
// user looking for a folder that is right there.
QString CreateFailure(const QString& destination, const QString& fallback)
{
    const QString folder = QFileInfo(destination).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QObject::tr("the folder %1 does not exist").arg(QDir::toNativeSeparators(folder));
#ifdef Q_OS_UNIX
    QByteArray probe = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".quillframe-XXXXXX")));
    const int fd = ::mkstemp(probe.data());
    if (fd >= 0) {
        ::close(fd);
        ::unlink(probe.constData());
        return fallback;
    }
    switch (errno) {
    case ENOENT:
    case ENOTDIR:
    case EINVAL:
    case EOPNOTSUPP:
        return QObject::tr("this folder does not accept new files");
    case EACCES:
    case EPERM:
        return QObject::tr("you have no permission to write into this folder");
    case EROFS:
        return QObject::tr("the disk of this folder is read-only");
    case ENOSPC:
    case EDQUOT:
        return QObject::tr("the disk is full");
    default:
        return QString::fromLocal8Bit(std::strerror(errno));
    }
#else
    return fallback;
#endif
}

} // namespace

bool CopyFileAtomically(const QString& source, const QString& destination, imaging::Error* error)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = MakeError(imaging::ErrorKind::Unreadable, source, input.errorString());
        return false;
    }
    // The command line's writer: the same rules for links in shared folders,
    // and the saved file keeps the permissions of the one it replaces.
    imaging::AtomicFile output;
    if (!output.open(QFile::encodeName(destination).toStdString(), error)) {
        error->reason = CreateFailure(destination, QString::fromStdString(error->reason)).toStdString();
        return false;
    }
    constexpr qint64 kChunk = 1 << 16;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(buffer.data(), kChunk);
        if (got < 0) {
            *error = MakeError(imaging::ErrorKind::Unreadable, source, input.errorString());
            return false;
        }
        if (got == 0)
            break;
        if (!output.write(buffer.constData(), static_cast<std::size_t>(got), error))
            return false;
    }
    return output.commit(error);
}

// A failed save's reason in the window's words; false.
bool Explained(const QString& destination, imaging::Error* error)
{
    if (error->kind == imaging::ErrorKind::Cancelled)
        error->reason = QObject::tr("the save was stopped").toStdString();
    else if (error->kind == imaging::ErrorKind::Unwritable)
        error->reason = CreateFailure(destination, QString::fromStdString(error->reason)).toStdString();
    return false;
}

bool WriteWebpFromGif(const QString& source, const QString& destination, imaging::Error* error,
                      const std::function<bool(double percent)>& progress)
{
    return WriteWebp(source, destination, {}, error, progress);
}

bool WriteWebp(const QString& source, const QString& destination, const FittedResult& fitted,
               imaging::Error* error, const std::function<bool(double percent)>& progress)
{
    const std::string shown = QFile::encodeName(source).toStdString();
    const std::string target = QFile::encodeName(destination).toStdString();
    bool ok = false;
    if (fitted.maxBytes > 0) {
        ConvertOptions options;
        options.variant = fitted.variant;
        options.switches = fitted.switches;
        options.timeline = fitted.timeline;
        options.progress = progress;
        ok = WriteWebpWithinBudget(shown, QFile::encodeName(fitted.input).toStdString(), target, options,
                                   fitted.maxBytes, error);
    } else {
        ok = RewriteAnimation(shown, target, {imaging::OutputFormat::Webp}, progress, error);
    }
    return ok || Explained(destination, error);
}

bool WriteClip(const QString& destination, const FittedResult& fitted, imaging::OutputFormat format,
               imaging::Error* error, const std::function<bool(double percent)>& progress)
{
    ConvertOptions options;
    options.variant = fitted.variant;
    options.switches = fitted.switches;
    options.timeline = fitted.timeline;
    options.progress = progress;
    options.output.format = format;
    const std::string input = QFile::encodeName(fitted.input).toStdString();
    const std::string target = QFile::encodeName(destination).toStdString();
    BudgetOutcome outcome;
    const bool ok = fitted.maxBytes > 0
                        ? ConvertWithinBudget(input, target, options, fitted.maxBytes, &outcome, error)
                        : ConvertAllFrames(input, target, options, error);
    return ok || Explained(destination, error);
}

} // namespace qf::shell
