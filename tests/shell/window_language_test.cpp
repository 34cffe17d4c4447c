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

    void countsOneFrame()
    {
        // A still clip becomes one frame: "1 frames" reads as a mistake, also
        // where the window has no translation of its own (LANG=C, Italian)
        // and shows its English texts.
        const char* info = "%1 \u00d7 %2 pixels, %n frames, %3 s, %4";
        const QString english1 = QStringLiteral("%1 \u00d7 %2 pixels, %n frame, %3 s, %4");
        const struct {
            QLocale locale;
            bool ownLanguage;
            const char* context;
            const char* text;
            int count;
            QString shown;
        } cases[] = {
            {QLocale::c(), false, "qf::shell::FormBatch", info, 1, english1},
            {QLocale::c(), false, "qf::shell::FormBatch", info, 150, QString::fromUtf8(info)},
            {QLocale(QLocale::Italian), false, "qf::shell::FormBatch", info, 1, english1},
            {QLocale(QLocale::English), true, "qf::shell::ClipBar", "%n frames", 1,
             QStringLiteral("%n frame")},
            {QLocale(QLocale::English), true, "qf::shell::ClipBar", "%n frames", 2,
             QStringLiteral("%n frames")},
            {QLocale(QLocale::German), true, "qf::shell::FormBatch", info, 1,
             QStringLiteral("%1 \u00d7 %2 Pixel, %n Bild, %3 s, %4")},
            {QLocale(QLocale::German), true, "qf::shell::FormBatch", info, 2,
             QStringLiteral("%1 \u00d7 %2 Pixel, %n Bilder, %3 s, %4")},
        };
        for (const auto& c : cases) {
            bool ownLanguage = false;
            const std::unique_ptr<QTranslator> translator =
                LoadWindowTranslations(c.locale, QStringLiteral(QF_TRANSLATIONS_DIR), &ownLanguage);
            QVERIFY(translator);
            QCOMPARE(ownLanguage, c.ownLanguage);
            QCOMPARE(translator->translate(c.context, c.text, nullptr, c.count), c.shown);
        }
    }
};

QTEST_MAIN(WindowLanguageTest)
#include "window_language_test.moc"
