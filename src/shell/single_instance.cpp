#include "shell/single_instance.h"

#include "shell/temp_results.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qf::shell {

namespace {

#ifdef Q_OS_UNIX
// The session's runtime folder, when it is a folder of the user's own that
// no one else can write to; empty otherwise.
QString OwnRuntimeFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    struct stat info {};
    if (runtime.isEmpty() || ::stat(runtime.constData(), &info) != 0 || !S_ISDIR(info.st_mode)
        || info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return {};
    return QFile::decodeName(runtime);
}
#endif

} // namespace

SingleInstance::SingleInstance(const QString& lockPath) : lock_(lockPath)
{
    // Never judge a lock by its age: a window may stay open for days. A lock
    // is stale only when the process that wrote it is gone.
    lock_.setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    error_.clear();
    if (lock_.isLocked() || lock_.tryLock(0))
        return true;
    if (lock_.error() != QLockFile::LockFailedError)
        error_ =
            QDir::toNativeSeparators(lock_.fileName()) + QStringLiteral(": ")
            + (lock_.error() == QLockFile::PermissionError ? QObject::tr("permission denied")
                                                           : QObject::tr("the lock file cannot be written"));
    return false;
}

QString SingleInstance::DefaultLockPath()
{
#ifdef Q_OS_UNIX
    const QString name = QStringLiteral("quillframe-%1.lock").arg(::geteuid());
    QString folder = OwnRuntimeFolder();
    // Without one, the user's private folder in the temporary folder; a
    // folder of that name that another user made is never used.
    imaging::Error reason;
    if (folder.isEmpty() && MakePrivateFolder(QDir(QDir::tempPath()).filePath(PrivateFolderName()), &reason))
        folder = QDir(QDir::tempPath()).filePath(PrivateFolderName());
    // Else the user's own cache folder.
    if (folder.isEmpty()) {
        folder = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
        QDir().mkpath(folder);
    }
    return QDir(folder).filePath(name);
#else
    return QDir(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation))
        .filePath(QStringLiteral("quillframe.lock"));
#endif
}

} // namespace qf::shell
