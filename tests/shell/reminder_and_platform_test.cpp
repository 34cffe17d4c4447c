// What the window relies on around it: the update reminder's calendar
// arithmetic and stored date text, the private temporary folder, and one
// instance at a time.
#include "shell_support.h"

#include "shell/single_instance.h"
#include "shell/temp_results.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace qf::shell;
using namespace qf::shell::test;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

QString Us(const QDateTime& moment)
{
    return FormatReminderDate(moment, kUs);
}

mode_t Mode(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

class ReminderAndPlatformTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void theReminderAsksWhenOverdue_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("asks");
        const QDateTime noon(QDate(2024, 3, 20), QTime(12, 0));
        const QDateTime early(QDate(2024, 3, 20), QTime(0, 1));
        QTest::newRow("15 days ago") << Us(noon.addDays(-15)) << noon << false;
        QTest::newRow("16 days ago") << Us(noon.addDays(-16)) << noon << true;
        QTest::newRow("15 calendar days, late to early") << Us(QDateTime(QDate(2024, 3, 5), QTime(23, 59))) << early << false;
        QTest::newRow("16 calendar days in under 15 x 24 hours") << Us(QDateTime(QDate(2024, 3, 4), QTime(23, 59))) << early << true;
        QTest::newRow("midnight, date only") << Us(QDateTime(QDate(2024, 3, 10), QTime(0, 0))) << noon << false;
        QTest::newRow("tomorrow: clock set back") << Us(noon.addDays(1)) << noon << true;
        QTest::newRow("not a date") << QStringLiteral("soon") << noon << true;
        QTest::newRow("empty means 2005") << QString() << noon << true;
        QTest::newRow("the default text") << QStringLiteral("2005-1-1") << QDateTime(QDate(2005, 1, 10), QTime(9, 0)) << false;
        QTest::newRow("trailing NUL dropped") << Us(noon.addDays(-2)) + QChar(u'\0') << noon << false;
        QTest::newRow("leading NUL reads as empty") << QString(QChar(u'\0')) + Us(noon.addDays(-2)) << noon << true;
        QTest::newRow("two-digit year") << QStringLiteral("3/18/24 9:30 AM") << noon << false;
    }

    void theReminderAsksWhenOverdue()
    {
        QFETCH(QString, stored);
        QFETCH(QDateTime, now);
        QFETCH(bool, asks);
        MemorySettings settings;
        settings.values[kLastCheckUpdate] = stored;
        int questions = 0, sites = 0;
        ReminderContext context;
        context.settings = &settings;
        context.now = [now] { return now; };
        context.ask = [&](const QString& question) { return ++questions, question == kUpdateQuestion; };
        context.openMakerSite = [&] { ++sites; };
        context.locale = kUs;
        QCOMPARE(RunUpdateReminder(context), asks);
        QCOMPARE(questions, asks ? 1 : 0);
        QCOMPARE(sites, questions); // the answer is yes
        // Asking stores the moment, which reads back; not asking writes nothing.
        QCOMPARE(settings.writes, asks ? 1 : 0);
        QCOMPARE(settings.values[kLastCheckUpdate], asks ? Us(now) : stored);
        QCOMPARE(ParseReminderDate(Us(now), kUs).value(), now);
    }

    // The folder is the user's alone, even when something was planted under
    // its name first: a link elsewhere, a file, a folder opened to all.
    void theTemporaryFolderIsPrivate_data()
    {
        QTest::addColumn<QString>("plant");
        for (const char* plant : {"nothing", "open folder", "link", "file"})
            QTest::newRow(plant) << plant;
    }

    void theTemporaryFolderIsPrivate()
    {
        QFETCH(QString, plant);
        QTemporaryDir system, victim;
        const QString name = QDir(system.path()).filePath(QStringLiteral("quillframe-%1").arg(::geteuid()));
        if (plant == "open folder") {
            QVERIFY(QDir().mkdir(name));
            ::chmod(QFile::encodeName(name).constData(), 0777);
            QVERIFY(WriteFile(name + QStringLiteral("/qfTmp$_7.gif"), "stale"));
        } else if (plant == "link") {
            QVERIFY(QFile::link(victim.path(), name));
        } else if (plant == "file") {
            QVERIFY(WriteFile(name, "squatter"));
        }
        const mode_t victimMode = Mode(victim.path());
        TempResults temp(system.path());
        QVERIFY(temp.isUsable());
        QCOMPARE(QFileInfo(QDir::cleanPath(temp.folder())).dir().absolutePath(), QDir(system.path()).absolutePath());
        QVERIFY((temp.folder() == name + u'/') == (plant == "nothing" || plant == "open folder"));
        QCOMPARE(Mode(temp.folder()), mode_t(0700));
        QVERIFY(!QFile::exists(temp.file(7)));
        QVERIFY(WriteFile(temp.file(1), "result"));
        QCOMPARE(Mode(victim.path()), victimMode);
        QVERIFY(QDir(victim.path()).isEmpty());
    }

    void oneInstanceAtATime()
    {
        QTemporaryDir runtime;
        const QString lockPath = QDir(runtime.path()).filePath(QStringLiteral("quillframe.lock"));
        {
            SingleInstance first(lockPath);
            QVERIFY(first.tryAcquire());
            QVERIFY(!SingleInstance(lockPath).tryAcquire());
        }
        // A lock left by a process that is gone does not stick.
        QVERIFY(WriteFile(lockPath, "999999\nquillframe\n" + QSysInfo::machineHostName().toUtf8() + "\n"));
        SingleInstance afterACrash(lockPath);
        QVERIFY(afterACrash.tryAcquire());

        // A second program finds the lock and ends at once, quietly.
        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(env);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        QCOMPARE(SingleInstance::DefaultLockPath(), lockPath);
        second.start(QStringLiteral(QF_QUILLFRAME_EXE), {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(ReminderAndPlatformTest)
#include "reminder_and_platform_test.moc"
