#include "shell/file_copy.h"

#include "imaging/animation_reader.h"
#include "imaging/atomic_file.h"
#include "imaging/webp_writer.h"

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

QString Describe(const QString& file, const QString& reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), reason);
}

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

bool CopyFileAtomically(const QString& source, const QString& destination, QString* error)
{
    QFile input(source);
    if (!input.open(QIODevice::ReadOnly)) {
        *error = Describe(source, input.errorString());
        return false;
    }
    // The command line's writer: the same rules for links in shared folders,
    // and the saved file keeps the permissions of the one it replaces.
    imaging::AtomicFile output;
    imaging::Error failure;
    if (!output.open(QFile::encodeName(destination).toStdString(), &failure)) {
        *error = Describe(destination, CreateFailure(destination, QString::fromStdString(failure.reason)));
        return false;
    }
    constexpr qint64 kChunk = 1 << 16;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(buffer.data(), kChunk);
        if (got < 0) {
            *error = Describe(source, input.errorString());
            return false;
        }
        if (got == 0)
            break;
        if (!output.write(buffer.constData(), static_cast<std::size_t>(got), &failure)) {
            *error = Describe(destination, QString::fromStdString(failure.reason));
            return false;
        }
    }
    if (!output.commit(&failure)) {
        *error = Describe(destination, QString::fromStdString(failure.reason));
        return false;
    }
    return true;
}

bool WriteWebpFromGif(const QString& source, const QString& destination, QString* error,
                      const std::function<bool()>& cancelled)
{
    imaging::AnimationReader reader;
    imaging::Error failure;
    if (!reader.open(QFile::encodeName(source).toStdString(), &failure)) {
        *error = Describe(source, QString::fromStdString(failure.reason));
        return false;
    }
    const imaging::AnimationInfo& info = reader.info();
    imaging::WebpWriter writer;
    if (!writer.open(QFile::encodeName(destination).toStdString(), info.width, info.height, info.loopCount,
                     &failure)) {
        const QString reason = QString::fromStdString(failure.reason);
        *error = Describe(destination, failure.kind == imaging::ErrorKind::Unwritable
                                           ? CreateFailure(destination, reason)
                                           : reason);
        return false;
    }
    imaging::RgbaImage frame;
    for (std::size_t index = 0;; ++index) {
        if (cancelled && cancelled()) {
            writer.abort();
            *error = Describe(destination, QObject::tr("the save was stopped"));
            return false;
        }
        const imaging::ReadResult read = reader.readNext(frame, &failure);
        if (read.status == imaging::ReadStatus::End)
            break;
        if (read.status == imaging::ReadStatus::Failed) {
            writer.abort();
            *error = Describe(source, QString::fromStdString(failure.reason));
            return false;
        }
        const int delay = index < info.delays.size() ? info.delays[index] : 0;
        if (!writer.addFrame(imaging::ImageView::of(frame), delay, &failure)) {
            writer.abort();
            *error = Describe(destination, QString::fromStdString(failure.reason));
            return false;
        }
    }
    if (!writer.finish(&failure)) {
        *error = Describe(destination, QString::fromStdString(failure.reason));
        return false;
    }
    return true;
}

} // namespace qf::shell
