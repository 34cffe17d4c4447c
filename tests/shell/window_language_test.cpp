// The window in the user's language: run with LANG=de_DE.UTF-8, it shows
// step 1 and its buttons in German; and every translation covers every
// text of the engine's tables the window shows.
#include "shell_support.h"

#include "engine/variants.h"
#include "shell/language.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

using namespace qf::shell;
using namespace qf::shell::test;

class WindowLanguageTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(InstallTranslations(*QCoreApplication::instance(), QStringLiteral(QF_TRANSLATIONS_DIR)));
    }

    void stepOneIsGerman()
    {
        QTemporaryDir dir;
        Fixture fixture;
        FormBatch w(fixture.services(dir.path()));
        w.show();
        QCOMPARE(w.findChild<QLabel*>(QStringLiteral("ID_STEP"))->text(),
                 QStringLiteral("Schritt 1: Bitte öffnen Sie eine GIF-Datei"));
        QCOMPARE(w.findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile"))->text(),
                 QStringLiteral("Hier klicken, um Ihre GIF-Datei zu öffnen"));
        QCOMPARE(w.findChild<QAction*>(QStringLiteral("ID_BACK"))->text(), QStringLiteral("Zurück"));
        QCOMPARE(w.findChild<QAction*>(QStringLiteral("ID_NEXT"))->text(), QStringLiteral("Weiter"));
        QCOMPARE(w.findChild<QAction*>(QStringLiteral("ID_SAVE"))->text(), QStringLiteral("Speichern"));
    }

    void everyTableTextIsTranslated()
    {
        // English, the texts' own language, carries only plural forms.
        const QStringList files = QDir(QStringLiteral(QF_TRANSLATIONS_DIR))
                                      .entryList({QStringLiteral("*.qm")})
                                      .filter(QRegularExpression(QStringLiteral("^(?!quillframe_en\\.)")));
        QCOMPARE(files.size(), 6);
        for (const QString& file : files) {
            QTranslator translator;
            QVERIFY(translator.load(file, QStringLiteral(QF_TRANSLATIONS_DIR)));
            auto has = [&](const char* context, std::string_view text) {
                return !translator.translate(context, std::string(text).c_str()).isEmpty();
            };
            for (const qf::VariantInfo& v : qf::kVariants)
                QVERIFY2(has("qf::Variants", v.name) && has("qf::Variants", v.description), qPrintable(file));
            for (const qf::SwitchInfo& s : qf::kSwitches)
                QVERIFY2(has("qf::Switches", s.label) && has("qf::Switches", s.help), qPrintable(file));
            for (const qf::StyleControlInfo& s : qf::kStyleControls)
                QVERIFY2(has("qf::Switches", s.label) && has("qf::Switches", s.help), qPrintable(file));
            QVERIFY2(has("qf::Switches", qf::kStillGrainLabel) && has("qf::Switches", qf::kStillGrainHelp),
                     qPrintable(file));
        }
    }

    void englishCountsOneFrame()
    {
        QTranslator english;
        QVERIFY(english.load(QStringLiteral("quillframe_en"), QStringLiteral(QF_TRANSLATIONS_DIR)));
        QCOMPARE(english.translate("ClipBar", "%n frames", nullptr, 1), QStringLiteral("%n frame"));
        QCOMPARE(english.translate("ClipBar", "%n frames", nullptr, 2), QStringLiteral("%n frames"));
    }
};

QTEST_MAIN(WindowLanguageTest)
#include "window_language_test.moc"
