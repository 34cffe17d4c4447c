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
        const QString words =
            TableText("qf::Variants", kVariants[static_cast<std::size_t>(variant)].name)
                .toLower()
                .split(QRegularExpression(QStringLiteral("[^\\w]+")), Qt::SkipEmptyParts)
                .join(u'-');
        name += u'-' + words;
    }
    return source.dir().filePath(name + QStringLiteral(".gif"));
}

QString WithGifExtension(const QString& path)
{
    const QFileInfo file(path);
    if (path.isEmpty() || !file.suffix().isEmpty())
        return path;
    // "name." has an empty extension too: it gets "gif", not ".gif".
    return path + (path.endsWith(u'.') ? QStringLiteral("gif") : QStringLiteral(".gif"));
}

} // namespace qf::shell
