#include "shell/save_name.h"

#include "engine/variants.h"
#include "shell/table_text.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace qf::shell {

QString SuggestedSaveName(const QString& sourcePath, int variant)
{
    const QFileInfo source(sourcePath);
    QString name = source.completeBaseName();
    if (variant >= 0 && variant < kVariantCount) {
        const QString words = TableText("qf::Variants", kVariants[static_cast<std::size_t>(variant)].name)
                                  .toLower()
                                  .split(QRegularExpression(QStringLiteral("[^\\w]+")), Qt::SkipEmptyParts)
                                  .join(u'-');
        name += u'-' + words;
    }
    return source.dir().filePath(name + QStringLiteral(".gif"));
}

namespace {

constexpr std::pair<SaveFormat, QLatin1StringView> kExtensions[] = {
    {SaveFormat::Gif, QLatin1StringView("gif")},
    {SaveFormat::Webp, QLatin1StringView("webp")},
    {SaveFormat::Mp4, QLatin1StringView("mp4")},
    {SaveFormat::Webm, QLatin1StringView("webm")}};

} // namespace

SaveFormat SaveFormatFor(const QString& path, SaveFormat chosen)
{
    const QString suffix = QFileInfo(path).suffix();
    for (const auto& [format, extension] : kExtensions)
        if (suffix.compare(extension, Qt::CaseInsensitive) == 0)
            return format;
    return chosen;
}

QString WithExtension(const QString& path, SaveFormat format)
{
    const QFileInfo file(path);
    if (path.isEmpty() || !file.suffix().isEmpty())
        return path;
    QString extension = QStringLiteral("gif");
    for (const auto& [known, name] : kExtensions)
        if (known == format)
            extension = name;
    // "name." has an empty extension too: it gets "gif", not ".gif".
    return path + (path.endsWith(u'.') ? extension : u'.' + extension);
}

} // namespace qf::shell
