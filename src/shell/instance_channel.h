// The line between a second launch and the running window. The window
// listens on a local socket beside its lock; a second launch hands over the
// GIF it was given (or nothing, which only brings the window to the front)
// and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace qf::shell {

class InstanceChannel : public QObject {
    Q_OBJECT
public:
    explicit InstanceChannel(QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Listens at `name`; a socket a crashed run left there is replaced, so
    // only the holder of the single-instance lock may call this. The socket
    // is open to the user alone.
    bool listen(const QString& name = DefaultName());

    // Hands `file` (an absolute path, or empty) to the window listening at
    // `name`, trying for up to `timeoutMs` while that window is still
    // starting. True once the window has taken it.
    static bool handOver(const QString& file, const QString& name = DefaultName(), int timeoutMs = 5000);

    // Beside the single-instance lock, in a folder only the user can write:
    // "quillframe-<user id>.socket".
    static QString DefaultName();

Q_SIGNALS:
    // A second launch asked for the window; `file` is empty when it was given
    // no file; `activationToken` is what the desktop gave that launch to
    // raise a window with, or empty.
    void requested(const QString& file, const QString& activationToken);

private:
    void serve(QLocalSocket* socket);
    QLocalServer* server_ = nullptr;
};

// The GIF named on the command line, as an absolute path, or empty text.
// Options (arguments starting with "-") are not files.
QString FileArgument(const QStringList& arguments);

} // namespace qf::shell
