#include "shell/file_copy.h"

#include "imaging/atomic_file.h"

#include <QDir>
#include <QFile>

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
    // The command line's writer: the same rules for links in shared folders,
    // and the saved file keeps the permissions of the one it replaces.
    imaging::AtomicFile output;
    imaging::Error failure;
    if (!output.open(QFile::encodeName(destination).toStdString(), &failure)) {
        *error = Describe(destination, QString::fromStdString(failure.reason));
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

} // namespace qf::shell
