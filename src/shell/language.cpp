#include "shell/language.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstring>
#include <memory>

namespace qf::shell {

namespace {

// lupdate files the texts of a class declared in a nested namespace
// definition ("namespace qf::shell {") under the class's bare name, while
// tr() asks for "qf::shell::FormBatch": a text not found under the full
// name is looked up under the bare one.
class WindowTranslator : public QTranslator {
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        QString text = QTranslator::translate(context, sourceText, disambiguation, n);
        if (!text.isNull() || context == nullptr)
            return text;
        const char* bare = context;
        for (const char* colon = std::strstr(context, "::"); colon; colon = std::strstr(colon + 2, "::"))
            bare = colon + 2;
        return bare == context ? text : QTranslator::translate(bare, sourceText, disambiguation, n);
    }
};

} // namespace

QString FindTranslations(const QString& programDir)
{
    const QDir dir(programDir);
    for (const QString& path : {dir.filePath(QStringLiteral("translations")),
                                dir.filePath(QStringLiteral(QF_DATA_FROM_BIN "/translations"))})
        if (QFileInfo(path).isDir())
            return QDir::cleanPath(path);
    return {};
}

std::unique_ptr<QTranslator> LoadWindowTranslations(const QLocale& locale, const QString& folder,
                                                    bool* ownLanguage)
{
    *ownLanguage = false;
    if (folder.isEmpty())
        return nullptr;
    auto translator = std::make_unique<WindowTranslator>();
    if (translator->load(locale, QStringLiteral("quillframe"), QStringLiteral("_"), folder)) {
        *ownLanguage = true;
        return translator;
    }
    // The texts are English, but their counts need its plural forms.
    if (translator->load(QStringLiteral("quillframe_en"), folder))
        return translator;
    return nullptr;
}

bool InstallTranslations(QCoreApplication& app, const QString& folder)
{
    const QLocale locale;
    auto* qt = new QTranslator(&app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    bool ownLanguage = false;
    std::unique_ptr<QTranslator> own = LoadWindowTranslations(locale, folder, &ownLanguage);
    if (own) {
        own->setParent(&app);
        QCoreApplication::installTranslator(own.release());
    }
    return ownLanguage;
}

} // namespace qf::shell
