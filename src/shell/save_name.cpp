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

SaveFormat SaveFormatFor(const QString& path, SaveFormat chosen)
{
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("webp"), Qt::CaseInsensitive) == 0)
        return SaveFormat::Webp;
    if (suffix.compare(QLatin1String("gif"), Qt::CaseInsensitive) == 0)
        return SaveFormat::Gif;
    return chosen;
}

QString WithExtension(const QString& path, SaveFormat format)
{
    const QFileInfo file(path);
    if (path.isEmpty() || !file.suffix().isEmpty())
        return path;
    const QString extension = format == SaveFormat::Webp ? QStringLiteral("webp") : QStringLiteral("gif");
    // "name." has an empty extension too: it gets "gif", not ".gif".
    return path + (path.endsWith(u'.') ? extension : u'.' + extension);
}

} // namespace qf::shell
