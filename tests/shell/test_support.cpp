#include "test_support.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QThread>

#include <gif_lib.h>

#include <map>

namespace qf::shell::test {

QString FakeUi::openFileName(QWidget*, const QString& filter, const QString& folder)
{
    openFilters.append(filter);
    openFolders.append(folder);
    return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst();
}

QString FakeUi::saveFileName(QWidget*, const QString& filter, const QString& suggested)
{
    saveFilters.append(filter);
    saveSuggestions.append(suggested);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

void FakeUi::inform(QWidget*, const QString& title, const QString& text)
{
    messages.append({QStringLiteral("inform"), title, text});
}

void FakeUi::warn(QWidget*, const QString& title, const QString& text)
{
    messages.append({QStringLiteral("warn"), title, text});
}

bool FakeUi::ask(QWidget*, const QString& title, const QString& text)
{
    messages.append({QStringLiteral("ask"), title, text});
    return askAnswer;
}

void FakeUi::openUrl(const QUrl& url)
{
    openedUrls.append(url);
}

QColor FakeWork::VariantColour(int variant)
{
    return QColor::fromHsv((variant * 21) % 360, 200, 220);
}

DecodedGif DecodeGif(const QString& path)
{
    DecodedGif gif;
    // Delays exactly as stored, read with giflib; pixels as Qt composes them.
    int status = 0;
    GifFileType* file = DGifOpenFileName(QFile::encodeName(path).constData(), &status);
    if (!file)
        return gif;
    const bool slurped = DGifSlurp(file) == GIF_OK;
    QVector<int> delays;
    for (int i = 0; slurped && i < file->ImageCount; ++i) {
        GraphicsControlBlock control{};
        delays.append(DGifSavedExtensionToGCB(file, i, &control) == GIF_OK ? control.DelayTime
                                                                            : 0);
    }
    DGifCloseFile(file, &status);
    if (!slurped)
        return gif;

    QImageReader reader(path, "gif");
    while (reader.canRead()) {
        QImage frame = reader.read();
        if (frame.isNull())
            break;
        gif.frames.append(frame.convertToFormat(QImage::Format_RGB32));
    }
    if (gif.frames.size() != delays.size())
        return {};
    gif.delays = delays;
    return gif;
}

bool FakeWork::open(const QString& path, const Switches&, const WorkProgress& progress,
                    OpenedGif* gif, WorkError* error)
{
    ++opens;
    const DecodedGif decoded = DecodeGif(path);
    if (decoded.frames.isEmpty()) {
        *error = {imaging::ErrorKind::NotGif, path + QStringLiteral(": not a GIF file")};
        return false;
    }
    OpenedGif result;
    result.width = decoded.frames[0].width();
    result.height = decoded.frames[0].height();
    result.frameCount = static_cast<int>(decoded.frames.size());
    result.delays = decoded.delays;
    if (result.frameCount >= 2) {
        for (int variant = 0; variant < 17; ++variant) {
            QImage snapshot = decoded.frames[0];
            QPainter painter(&snapshot);
            painter.setOpacity(0.5);
            painter.fillRect(snapshot.rect(), VariantColour(variant));
            painter.end();
            result.snapshots.append(snapshot);
            if (progress && !progress(variant / 16.0 * 50 + 50)) {
                *error = {imaging::ErrorKind::Cancelled, {}};
                return false;
            }
        }
    }
    *gif = result;
    return true;
}

bool FakeWork::convert(const QString& source, const QString& target, int variant,
                       const Switches&, const WorkProgress& progress, WorkError* error)
{
    ++converts;
    if (failConvert) {
        *error = {imaging::ErrorKind::Unwritable, target + QStringLiteral(": no space left on device")};
        return false;
    }
    const DecodedGif decoded = DecodeGif(source);
    QVector<QImage> frames;
    for (int i = 0; i < decoded.frames.size(); ++i) {
        QImage frame(decoded.frames[i].size(), QImage::Format_RGB32);
        frame.fill(VariantColour(variant));
        frames.append(frame);
        if (progress && !progress((i + 1) * 100.0 / decoded.frames.size())) {
            *error = {imaging::ErrorKind::Cancelled, {}};
            return false;
        }
        if (i == 0 && holdConvert) {
            converting.release();
            while (!release.tryAcquire(1, 5)) {
                if (progress && !progress((i + 1) * 100.0 / decoded.frames.size())) {
                    *error = {imaging::ErrorKind::Cancelled, {}};
                    return false;
                }
            }
        }
    }
    if (!WriteTestGif(target, frames, decoded.delays)) {
        *error = {imaging::ErrorKind::Unwritable, target + QStringLiteral(": cannot write")};
        return false;
    }
    return true;
}

bool WriteTestGif(const QString& path, const QVector<QImage>& frames, const QVector<int>& delays)
{
    if (frames.isEmpty())
        return false;
    const int width = frames[0].width();
    const int height = frames[0].height();

    std::map<QRgb, int> colours;
    for (const QImage& frame : frames) {
        const QImage rgb = frame.convertToFormat(QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                colours.emplace(rgb.pixel(x, y) | 0xff000000u, 0);
    }
    if (colours.size() > 256)
        return false;
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    int index = 0;
    for (auto& [colour, slot] : colours) {
        slot = index;
        map->Colors[index] = {static_cast<GifByteType>(qRed(colour)),
                              static_cast<GifByteType>(qGreen(colour)),
                              static_cast<GifByteType>(qBlue(colour))};
        ++index;
    }

    int status = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &status);
    if (!gif) {
        GifFreeMapObject(map);
        return false;
    }
    EGifSetGifVersion(gif, true);
    bool ok = EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK;
    GifFreeMapObject(map);

    const unsigned char netscape[] = "NETSCAPE2.0";
    const unsigned char loop[] = {1, 0, 0};
    ok = ok && EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK
         && EGifPutExtensionBlock(gif, 11, netscape) == GIF_OK
         && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK
         && EGifPutExtensionTrailer(gif) == GIF_OK;

    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int f = 0; ok && f < frames.size(); ++f) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSE_DO_NOT;
        control.DelayTime = delays.value(f, 10);
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        GifByteType extension[4];
        EGifGCBToExtension(&control, extension);
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, extension) == GIF_OK
             && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
        const QImage rgb = frames[f].convertToFormat(QImage::Format_RGB32);
        for (int y = 0; ok && y < height; ++y) {
            for (int x = 0; x < width; ++x)
                line[static_cast<std::size_t>(x)] =
                    static_cast<GifPixelType>(colours.at(rgb.pixel(x, y) | 0xff000000u));
            ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
        }
    }
    return EGifCloseFile(gif, &status) == GIF_OK && ok;
}

QVector<QImage> SceneFrames(int count, int width, int height)
{
    QVector<QImage> frames;
    for (int f = 0; f < count; ++f) {
        QImage frame(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                frame.setPixel(x, y, qRgb(40 * (x * 6 / width), 60 + 30 * (y * 5 / height), 200));
        const int radius = std::max(2, height / 4);
        const int cx = radius + (f * (width - 2 * radius)) / std::max(1, count - 1);
        const int cy = height / 2;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius)
                    frame.setPixel(x, y, qRgb(30, 20, 10));
        frames.append(frame);
    }
    return frames;
}

Fixture::Fixture(const QString& temp, std::shared_ptr<ImageWork> imageWork)
    : work(std::move(imageWork))
    , systemTemp(temp)
{
    // A recent reminder: no question at start-up unless a test asks for one.
    settings->values[kLastCheckUpdate] = FormatReminderDate(now.addDays(-1));
}

FormServices Fixture::services()
{
    FormServices services;
    services.ui = ui;
    services.settings = settings;
    services.clock = [this] { return now; };
    services.work = work;
    services.systemTemp = systemTemp;
    return services;
}

} // namespace qf::shell::test
