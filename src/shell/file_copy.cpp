#include "shell/file_copy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QObject>
#include <QSaveFile>

namespace qf::shell {

namespace {

QString Describe(const QString& file, const QString& reason)
{
    return QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(file), reason);
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
        *error = Describe(destination, output.errorString());
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
