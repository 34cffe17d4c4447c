#include "shell/instance_channel.h"

#include "shell/single_instance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace qf::shell {

namespace {

// Every message starts with this, so a stray client's bytes open nothing.
constexpr quint32 kMagic = 0x51464831; // "QFH1"
constexpr char kTaken = '1';

} // namespace

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent)
{}

InstanceChannel::~InstanceChannel() = default;

QString InstanceChannel::DefaultName()
{
    QString name = SingleInstance::DefaultLockPath();
    if (name.endsWith(QStringLiteral(".lock")))
        name.chop(5);
    return name + QStringLiteral(".socket");
}

bool InstanceChannel::listen(const QString& name)
{
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name))
        return false;
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection())
            serve(socket);
    });
    return true;
}

void InstanceChannel::serve(QLocalSocket* socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        QDataStream in(socket);
        in.startTransaction();
        quint32 magic = 0;
        QString file, token;
        in >> magic >> file >> token;
        if (!in.commitTransaction())
            return; // wait for the rest
        if (magic != kMagic) {
            socket->abort();
            return;
        }
        socket->write(&kTaken, 1);
        socket->flush();
        socket->disconnectFromServer();
        Q_EMIT requested(file, token);
    });
}

bool InstanceChannel::handOver(const QString& file, const QString& name, int timeoutMs)
{
    // The desktop gave this launch the right to raise a window; the running
    // window uses it.
    QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    if (token.isEmpty())
        token = qEnvironmentVariable("DESKTOP_STARTUP_ID");
    QByteArray message;
    {
        QDataStream out(&message, QIODevice::WriteOnly);
        out << kMagic << file << token;
    }
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(name);
        if (!socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            // The window holds the lock but may not listen yet.
            QThread::msleep(100);
            continue;
        }
        socket.write(message);
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return false;
        while (socket.bytesAvailable() < 1
               && socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
        }
        char answer = 0;
        return socket.read(&answer, 1) == 1 && answer == kTaken;
    }
    return false;
}

QString FileArgument(const QStringList& arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument.isEmpty() || argument.startsWith(u'-'))
            continue;
        return QFileInfo(argument).absoluteFilePath();
    }
    return QString();
}

} // namespace qf::shell
