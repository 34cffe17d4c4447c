// One running window per user. The lock is a QLockFile in the user's runtime
// folder: it records the owner's process id, so a lock left behind by an
// instance that crashed is recognised as stale and taken over.
#pragma once

#include <QLockFile>
#include <QString>

namespace qf::shell {

class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = DefaultLockPath());

    // True when this process now holds the lock; false while another live
    // instance holds it.
    bool tryAcquire();

    // "quillframe.lock" in the per-user runtime folder, or in the temporary
    // folder where there is none.
    static QString DefaultLockPath();

private:
    QLockFile lock_;
};

} // namespace qf::shell
