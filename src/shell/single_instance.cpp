#include "shell/single_instance.h"

#include <QDir>
#include <QStandardPaths>

namespace qf::shell {

SingleInstance::SingleInstance(const QString& lockPath)
    : lock_(lockPath)
{
    // Never judge a lock by its age: a window may stay open for days. A lock
    // is stale only when the process that wrote it is gone.
    lock_.setStaleLockTime(0);
}

bool SingleInstance::tryAcquire()
{
    return lock_.isLocked() || lock_.tryLock(0);
}

QString SingleInstance::DefaultLockPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!folder.isEmpty())
        return QDir(folder).filePath(QStringLiteral("quillframe.lock"));
    // The temporary folder may be shared: one lock per user.
    return QDir(QDir::tempPath())
        .filePath(QStringLiteral("quillframe-%1.lock").arg(QDir::home().dirName()));
}

} // namespace qf::shell
