#include "shell/pipeline_work.h"

#include "imaging/animation_reader.h"
#include "pipeline/convert.h"
#include "pipeline/snapshots.h"

#include <QFile>
#include <QObject>

#include <cstring>
#include <exception>
#include <new>

namespace qf::shell {

namespace {

std::string NativePath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

WorkError FromImaging(const imaging::Error& error)
{
    return {error.kind, QString::fromStdString(error.message())};
}

WorkError OutOfMemory(const QString& path)
{
    return {imaging::ErrorKind::OutOfMemory, QObject::tr("%1: not enough memory for this GIF").arg(path)};
}

WorkError Unexpected(const QString& path, const std::exception& e)
{
    return {imaging::ErrorKind::Unreadable,
            QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(e.what()))};
}

// The picture surface is exactly the layout of a QImage in RGB32.
QImage ToImage(const Picture& picture)
{
    QImage image(picture.width(), picture.height(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(y), picture.scanLine(y), static_cast<std::size_t>(picture.bytesPerLine()));
    return image;
}

} // namespace

bool PipelineWork::open(const QString& path, const Switches& switches, const WorkProgress& progress,
                        OpenedGif* gif, WorkError* error)
{
    try {
        imaging::AnimationReader reader;
        imaging::Error failure;
        if (!reader.open(NativePath(path), &failure)) {
            *error = FromImaging(failure);
            return false;
        }
        const imaging::AnimationInfo& info = reader.info();
        OpenedGif result;
        result.width = info.width;
        result.height = info.height;
        result.frameCount = info.frameCount;
        result.delays = QVector<int>(info.delays.begin(), info.delays.end());
        if (reader.damage())
            result.damagedAfter = reader.damage().afterFrame;
        if (info.frameCount >= 2) {
            imaging::RgbaImage frame;
            if (!reader.readNext(frame, &failure)
                || !EnoughMemoryForSnapshots(frame.width, frame.height, true, NativePath(path), &failure)) {
                *error = FromImaging(failure);
                return false;
            }
            bool stopped = false;
            const std::vector<Picture> snapshots =
                BuildSnapshots(ReadFrame(frame), switches, [&](double percent) {
                    if (progress && !progress(percent))
                        stopped = true;
                    return !stopped;
                });
            if (stopped) {
                *error = {imaging::ErrorKind::Cancelled, QString()};
                return false;
            }
            for (const Picture& snapshot : snapshots)
                result.snapshots.append(ToImage(snapshot));
        }
        *gif = std::move(result);
        return true;
    } catch (const std::bad_alloc&) {
        *error = OutOfMemory(path);
    } catch (const std::exception& e) {
        *error = Unexpected(path, e);
    }
    return false;
}

bool PipelineWork::convert(const QString& source, const QString& target, int variant,
                           const Switches& switches, const WorkProgress& progress, WorkError* error)
{
    try {
        ConvertOptions options;
        options.variant = variant;
        options.switches = switches;
        options.progress = progress;
        imaging::Error failure;
        if (ConvertAllFrames(NativePath(source), NativePath(target), options, &failure))
            return true;
        *error = FromImaging(failure);
    } catch (const std::bad_alloc&) {
        *error = OutOfMemory(source);
    } catch (const std::exception& e) {
        *error = Unexpected(source, e);
    }
    return false;
}

} // namespace qf::shell
