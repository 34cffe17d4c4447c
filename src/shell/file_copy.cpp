#include "shell/file_copy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>

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
    if (QFileInfo(destination).isDir()) {
        *error = Describe(destination, QObject::tr("a folder of that name is in the way"));
        return false;
    }

    QSaveFile output(destination);
    if (!output.open(QIODevice::WriteOnly)) {
        *error = Describe(destination, CreateFailure(destination, output.errorString()));
        return false;
    }
    constexpr qint64 kChunk = 1 << 16;
    QByteArray buffer(kChunk, Qt::Uninitialized);
    for (;;) {
        const qint64 got = input.read(buffer.data(), kChunk);
        if (got < 0) {
            *error = Describe(source, input.errorString());
            output.cancelWriting();
            return false;
        }
        if (got == 0)
            break;
        if (output.write(buffer.constData(), got) != got) {
            *error = Describe(destination, output.errorString());
            output.cancelWriting();
            return false;
        }
    }
    if (!output.commit()) {
        *error = Describe(destination, output.errorString());
        return false;
    }
    return true;
}

} // namespace qf::shell
