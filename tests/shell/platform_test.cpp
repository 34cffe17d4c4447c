// What the window relies on from the system: the private temporary folder,
// one instance at a time, and the atomic copy behind Save.
#include "shell/appearance.h"
#include "shell/file_copy.h"
#include "shell/single_instance.h"
#include "shell/temp_results.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace qf::shell;

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Parent(const QString& folder)
{
    return QFileInfo(QDir::cleanPath(folder)).dir().absolutePath();
}

#ifdef Q_OS_UNIX
mode_t Mode(const QString& path)
{
    struct stat info {};
    ::lstat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}
#endif

} // namespace

class PlatformTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void tempResultsAreNamedPerVariant()
    {
        QTemporaryDir system;
        TempResults temp(system.path());
        QVERIFY(temp.isUsable());
        QVERIFY(temp.folder().endsWith(u'/'));
        QCOMPARE(Parent(temp.folder()), QDir(system.path()).absolutePath());
        QCOMPARE(temp.files().size(), 17);
        QCOMPARE(QFileInfo(temp.file(0)).fileName(), QStringLiteral("qfTmp$_0.gif"));
        QCOMPARE(QFileInfo(temp.file(3)).fileName(), QStringLiteral("qfTmp$_3.gif"));
        QCOMPARE(QFileInfo(temp.file(16)).fileName(), QStringLiteral("qfTmp$_16.gif"));
        for (const QString& file : temp.files())
            QCOMPARE(QFileInfo(file).absolutePath() + u'/', temp.folder());

        // Clearing passes over missing files and leaves strangers alone.
        QVERIFY(WriteFile(temp.file(2), "two"));
        QVERIFY(WriteFile(temp.file(16), "sixteen"));
        QVERIFY(WriteFile(temp.folder() + QStringLiteral("other.txt"), "mine"));
        temp.clear();
        QVERIFY(!QFile::exists(temp.file(2)));
        QVERIFY(!QFile::exists(temp.file(16)));
        QVERIFY(QFile::exists(temp.folder() + QStringLiteral("other.txt")));
        temp.removeAll();
        QVERIFY(QFileInfo::exists(temp.folder())); // not empty: kept
    }

#ifdef Q_OS_UNIX
    void thePrivateFolderIsTheUsersAlone()
    {
        QTemporaryDir system;
        const QString expected =
            QDir(system.path()).filePath(QStringLiteral("quillframe-%1").arg(::geteuid()));
        const mode_t oldMask = ::umask(0);
        {
            TempResults temp(system.path());
            ::umask(oldMask);
            QCOMPARE(temp.folder(), expected + u'/');
            QCOMPARE(Mode(expected), mode_t(0700));
            temp.removeAll();
            QVERIFY(!QFileInfo::exists(expected));
        }
        ::umask(oldMask);

        // A folder of ours left open by someone is closed again, and results
        // left behind by a crashed run are gone.
        QVERIFY(QDir().mkdir(expected));
        ::chmod(QFile::encodeName(expected).constData(), 0777);
        QVERIFY(WriteFile(expected + QStringLiteral("/qfTmp$_7.gif"), "stale"));
        TempResults adopted(system.path());
        QCOMPARE(adopted.folder(), expected + u'/');
        QCOMPARE(Mode(expected), mode_t(0700));
        QVERIFY(!QFile::exists(adopted.file(7)));
    }

    void aPlantedNameIsNeverUsed_data()
    {
        QTest::addColumn<QString>("plant");
        QTest::newRow("link to another folder") << "link";
        QTest::newRow("plain file") << "file";
        QTest::newRow("folder of another user") << "foreign";
    }

    void aPlantedNameIsNeverUsed()
    {
        QFETCH(QString, plant);
        QTemporaryDir system;
        QTemporaryDir victim;
        const QString name =
            QDir(system.path()).filePath(QStringLiteral("quillframe-%1").arg(::geteuid()));
        if (plant == QLatin1String("link")) {
            QVERIFY(QFile::link(victim.path(), name));
        } else if (plant == QLatin1String("file")) {
            QVERIFY(WriteFile(name, "squatter"));
        } else {
            QVERIFY(QDir().mkdir(name));
            if (::chown(QFile::encodeName(name).constData(), 65534, 65534) != 0)
                QSKIP("changing a folder's owner needs root");
        }
        const mode_t victimMode = Mode(victim.path());

        TempResults temp(system.path());
        QVERIFY(temp.isUsable());
        QVERIFY(temp.folder() != name + u'/');
        QVERIFY(!temp.folder().startsWith(victim.path()));
        QCOMPARE(Parent(temp.folder()), QDir(system.path()).absolutePath());
        QCOMPARE(Mode(temp.folder()), mode_t(0700));
        QCOMPARE(Mode(victim.path()), victimMode);
        QVERIFY(WriteFile(temp.file(1), "result"));
        QVERIFY(QDir(victim.path()).isEmpty());
    }
#endif

    void oneInstanceAtATime()
    {
        QTemporaryDir runtime;
        const QString lockPath = QDir(runtime.path()).filePath(QStringLiteral("quillframe.lock"));
        {
            SingleInstance first(lockPath);
            QVERIFY(first.tryAcquire());
            QVERIFY(first.tryAcquire()); // asking again is harmless
            SingleInstance second(lockPath);
            QVERIFY(!second.tryAcquire());
        }
        SingleInstance afterwards(lockPath);
        QVERIFY(afterwards.tryAcquire());
    }

    void aCrashedInstanceLeavesNoStuckLock()
    {
        QTemporaryDir runtime;
        const QString lockPath = QDir(runtime.path()).filePath(QStringLiteral("quillframe.lock"));
        // A lock written by a process that is gone, in QLockFile's own format.
        QProcess gone;
        gone.start(QStringLiteral("true"), {});
        QVERIFY(gone.waitForFinished());
        const qint64 pid = gone.processId() ? gone.processId() : 999999;
        QVERIFY(WriteFile(lockPath, QByteArray::number(pid > 0 ? pid : 999999) + "\nquillframe\n"
                                        + QSysInfo::machineHostName().toUtf8() + "\n"));
        SingleInstance instance(lockPath);
        QVERIFY(instance.tryAcquire());
    }

    void aSecondProgramEndsAtOnce()
    {
        QTemporaryDir runtime;
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        const QString lockPath = SingleInstance::DefaultLockPath();
        QVERIFY(lockPath.startsWith(runtime.path() + QLatin1Char('/')));
        SingleInstance running(lockPath);
        QVERIFY(running.tryAcquire());

        QProcess second;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        second.setProcessEnvironment(env);
        second.start(QStringLiteral(QF_QUILLFRAME_EXE), {});
        QVERIFY(second.waitForStarted());
        const bool ended = second.waitForFinished(20000);
        if (!ended)
            second.kill();
        QVERIFY(ended);
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(), QByteArray());
    }

    void copyingReplacesInOneStep()
    {
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("result.gif"));
        const QString target = dir.filePath(QStringLiteral("saved"));
        QByteArray bytes(200000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i * 7);
        QVERIFY(WriteFile(source, bytes));
        QVERIFY(WriteFile(target, "old"));
        QString error;
        QVERIFY(CopyFileAtomically(source, target, &error));
        QCOMPARE(ReadFile(target), bytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // nothing left beside it
    }

    void aFailedCopyKeepsWhatWasThere_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("named");
        QTest::newRow("source missing") << "missing.gif" << "keep.gif" << "missing.gif";
        QTest::newRow("folder missing") << "result.gif" << "no/such/folder/out.gif" << "out.gif";
        QTest::newRow("a folder in the way") << "result.gif" << "sub" << "sub";
    }

    void aFailedCopyKeepsWhatWasThere()
    {
        QFETCH(QString, source);
        QFETCH(QString, target);
        QFETCH(QString, named);
        QTemporaryDir dir;
        QVERIFY(WriteFile(dir.filePath(QStringLiteral("result.gif")), "GIF89a..."));
        QVERIFY(WriteFile(dir.filePath(QStringLiteral("keep.gif")), "precious"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QStringList before = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        QString error;
        QVERIFY(!CopyFileAtomically(dir.filePath(source), dir.filePath(target), &error));
        QVERIFY2(error.contains(named), qPrintable(error));
        QVERIFY(error.size() > named.size() + 2); // a reason follows the name
        QCOMPARE(ReadFile(dir.filePath(QStringLiteral("keep.gif"))), QByteArray("precious"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    void theSkinBesideTheProgramComesBeforeTheInstalledOne()
    {
        QTemporaryDir prefix; // an installed tree: bin/ and the data folder
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        const QString data = QDir::cleanPath(bin + QStringLiteral("/" QF_DATA_FROM_BIN));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(data));
        QCOMPARE(FindSkin(bin), QString()); // the system look
        QVERIFY(WriteFile(QDir(data).filePath(kSkinFileName), "QWidget {}"));
        QCOMPARE(FindSkin(bin), QDir(data).filePath(kSkinFileName));
        QVERIFY(WriteFile(QDir(bin).filePath(kSkinFileName), "QWidget {}"));
        QCOMPARE(FindSkin(bin), QDir(bin).filePath(kSkinFileName));
    }
};

QTEST_GUILESS_MAIN(PlatformTest)
#include "platform_test.moc"
