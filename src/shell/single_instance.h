// One running window per user. The lock is a QLockFile keyed by the user id,
// in a folder only that user can write: the session's runtime folder, or else
// the user's private folder in the temporary folder. It records the owner's
// process id, so a lock left behind by an instance that crashed is recognised
// as stale and taken over.
#pragma once

#include <QLockFile>
#include <QString>

namespace qf::shell {

class SingleInstance {
public:
    explicit SingleInstance(const QString& lockPath = DefaultLockPath());

    // True when this process now holds the lock; false while another live
    // instance holds it, or when the lock cannot be taken at all (error()
    // then says why).
    bool tryAcquire();

    // Why the last tryAcquire() could not take the lock, naming the lock
    // file; empty when another instance holds it.
    QString error() const { return error_; }

    // "quillframe-<user id>.lock" in the user's runtime folder, in the user's
    // private folder in the temporary folder where there is none, or in the
    // user's cache folder when another user took that folder's name.
    static QString DefaultLockPath();

    // Gives the lock up at once (the program ends without unwinding).
    void release() { lock_.unlock(); }

private:
    QLockFile lock_;
    QString error_;
};

} // namespace qf::shell
