#include "shell/temp_results.h"

#include "engine/variants.h"
#include "imaging/files/atomic_file.h"
#include "shell/image_work.h"

#include <QDir>
#include <QFile>
#include <QObject>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qf::shell {

#ifdef Q_OS_UNIX
// Makes `path` a directory only its owner can enter, or checks that the one
// already there is exactly that. Never follows a link: the folder is opened
// without following one, and checked and changed through that descriptor.
bool MakePrivateFolder(const QString& path, imaging::Error* error)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST) {
        *error =
            MakeError(imaging::ErrorKind::Unwritable, path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = MakeError(imaging::ErrorKind::Unwritable, path,
                           errno == ENOTDIR || errno == ELOOP ? QObject::tr("it is not a folder")
                                                              : QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (!ok)
        *error =
            MakeError(imaging::ErrorKind::Unwritable, path, QString::fromLocal8Bit(std::strerror(errno)));
    else if (info.st_uid != ::geteuid()) {
        *error = MakeError(imaging::ErrorKind::Unwritable, path, QObject::tr("it belongs to another user"));
        ok = false;
    } else if ((info.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        // Our own folder: make sure no one else can enter it, whatever the
        // umask or an earlier run left.
        *error =
            MakeError(imaging::ErrorKind::Unwritable, path, QString::fromLocal8Bit(std::strerror(errno)));
        ok = false;
    }
    ::close(fd);
    return ok;
}

QString PrivateFolderName()
{
    return QStringLiteral("quillframe-%1").arg(::geteuid());
}
#else
// Elsewhere the system temporary folder already belongs to the user.
bool MakePrivateFolder(const QString& path, imaging::Error* error)
{
    if (QDir().mkpath(path))
        return true;
    *error = MakeError(imaging::ErrorKind::Unwritable, path, QObject::tr("the folder cannot be created"));
    return false;
}

QString PrivateFolderName()
{
    return QStringLiteral("Quillframe");
}
#endif

namespace {

QString FileName(int variant)
{
    return QStringLiteral("qfTmp$_%1.gif").arg(variant);
}

} // namespace

TempResults::TempResults(const QString& systemTemp)
{
    const QString preferred = QDir(systemTemp).filePath(PrivateFolderName());
    imaging::Error reason;
    if (MakePrivateFolder(preferred, &reason)) {
        folder_ = preferred;
    } else {
        // QTemporaryDir makes a fresh, randomly named folder with mode 0700.
        fallback_ = std::make_unique<QTemporaryDir>(
            QDir(systemTemp).filePath(PrivateFolderName() + QStringLiteral("-XXXXXX")));
        if (fallback_->isValid()) {
            folder_ = fallback_->path();
        } else {
            error_ = reason;
            fallback_.reset();
        }
    }
    if (folder_.isEmpty())
        return;
    if (!folder_.endsWith(u'/'))
        folder_ += u'/';
    for (int variant = 0; variant < kVariantCount; ++variant)
        files_.append(folder_ + FileName(variant));
    clear();
}

TempResults::~TempResults() = default;

void TempResults::clear()
{
    for (const QString& file : files_)
        QFile::remove(file);
    // Temporary files a killed run left while writing a result.
    if (!folder_.isEmpty())
        imaging::RemoveStaleTemporaryFiles(QFile::encodeName(folder_).toStdString());
}

void TempResults::removeAll()
{
    clear();
    if (!folder_.isEmpty())
        QDir().rmdir(folder_);
}

} // namespace qf::shell
