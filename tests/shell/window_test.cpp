// The window driven through its own controls, over a scripted desktop and the
// real frame pipeline: open, pick, convert, save, and every way back; and
// the update reminder's calendar arithmetic and stored date text, and where
// the skin is found.
#include "shell_support.h"

#include "shell/appearance.h"
#include "shell/result_viewer.h"
#include "shell/single_instance.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qf::shell;
using namespace qf::shell::test;

namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

QString Us(const QDateTime& moment)
{
    return FormatReminderDate(moment, kUs);
}

void Write(const QString& path, const qf::test::Bytes& bytes)
{
    qf::test::WriteBytes(path.toStdString(), bytes);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<Fixture> fixture_;
    std::unique_ptr<FormBatch> w_;
    SnapshotList* list_ = nullptr;
    QToolBar* bar_ = nullptr;
    QAbstractButton* openButton_ = nullptr;
    QString animated_, still_, broken_;

    QString path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }
    QString temp(int variant) const { return w_->tempResults().file(variant); }
    QAction* action(const char* name) const { return w_->findChild<QAction*>(name); }
    QStringList& messages() { return fixture_->ui->messages; }
    void start()
    {
        w_ = std::make_unique<FormBatch>(fixture_->services(path("tmp")));
        list_ = w_->findChild<SnapshotList*>(QStringLiteral("LVSnapshot"));
        bar_ = w_->findChild<QToolBar*>(QStringLiteral("MainToolBar"));
        openButton_ = w_->findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile"));
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    }
    void press(const char* name) { QTest::mouseClick(bar_->widgetForAction(action(name)), Qt::LeftButton); }
    void click(const char* name)
    {
        press(name);
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
    }
    void open(const QString& file)
    {
        fixture_->ui->openAnswers.append(file);
        QTest::mouseClick(openButton_, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
    }
    void clickList(const QRect& area)
    {
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, area.center());
    }
    void pick(int row) { clickList(list_->visualItemRect(list_->item(row))); } // as the user picks a snapshot
    void tickBox(int row) { clickList(list_->checkBoxRect(row)); }
    QList<int> ticked() const
    {
        QList<int> rows;
        for (int row = 0; row < list_->count(); ++row)
            if (list_->item(row)->checkState() == Qt::Checked)
                rows.append(row);
        return rows;
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("tmp")));
        animated_ = path("ball.gif"), still_ = path("still.gif"), broken_ = path("broken.gif");
        Write(animated_, qf::test::SmallAnimation(32, 24, 3));
        Write(still_, qf::test::SmallAnimation(32, 24, 1));
        Write(broken_, {'G', 'I', 'F', '8', '9', 'a', ' ', 'n', 'o'});
        fixture_ = std::make_unique<Fixture>();
    }
    void cleanup() { w_.reset(), fixture_.reset(), dir_.reset(); }

    // The whole road with the shapes animation: open, pick, convert, save
    // twice, back and forth. The result looks as a person expects: shapes
    // in their places, outlined, in their colours, for 0.2 s and 3 s,
    // three repeats; in GIF and in WebP. Progress counts the frames done.
    void openPickConvertSave()
    {
        start();
        QTest::mouseClick(openButton_, Qt::LeftButton);
        QVERIFY(w_->currentStep() == Step::Open
                && !action("ID_NEXT")->isEnabled()); // the dialog was cancelled
        const QString shapes = QString::fromStdString(qf::test::Shapes("gif"));
        open(shapes);
        QCOMPARE(w_->currentStep(), Step::Choose);
        QCOMPARE(list_->count(), 17);
        QCOMPARE(ticked(), QList<int>{0});
        pick(5);
        QSignalSpy converting(w_->findChild<QProgressBar*>(), &QProgressBar::valueChanged);
        click("ID_NEXT");
        QCOMPARE(w_->currentStep(), Step::Result);
        // Each frame moves the bar by its share as it is done.
        QCOMPARE(converting, (QList<QVariantList>{{0}, {50}, {100}}));
        const std::vector<int>& reported = fixture_->work->reported;
        QVERIFY(reported.size() >= 3);
        QCOMPARE(std::vector<int>(reported.begin(), reported.begin() + 3), (std::vector<int>{0, 50, 100}));
        QCOMPARE(w_->findChild<ResultViewer*>("GdViewer1")->fileName(), temp(5));
        struct stat folder {};
        QVERIFY(stat(QFile::encodeName(w_->tempResults().folder()).constData(), &folder) == 0);
        QCOMPARE(folder.st_mode & 07777, 0700u);

        fixture_->ui->saveAnswers = {path("first.gif"), path("no extension"), path("moving")};
        fixture_->ui->saveFilters = {{}, {}, QStringLiteral("Animated WebP (*.webp)")};
        for (int i = 0; i < 3; ++i)
            click("ID_SAVE");
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 20000);
        for (const char* file : {"first.gif", "no extension.gif", "moving.webp"}) {
            qf::imaging::AnimationInfo info;
            const auto frames = qf::test::ReadAnimation(path(file).toStdString(), &info);
            QCOMPARE(frames.size(), 2u);
            for (int n = 1; n <= 2; ++n)
                QCOMPARE(qf::test::Looks(frames[n - 1]), qf::test::ShapesSketch(n, "RB", false));
            QVERIFY(info.delays == (std::vector<int>{20, 300}) && info.loopCount == 3);
        }
        QVERIFY(messages().isEmpty());

        // Back keeps the tick; Next shows the result made before without
        // converting again.
        click("ID_BACK");
        QCOMPARE(w_->currentStep(), Step::Choose);
        QCOMPARE(ticked(), QList<int>{5});
        click("ID_NEXT");
        QCOMPARE(w_->currentStep(), Step::Result);
        QCOMPARE(fixture_->work->converts.load(), 1);
        // Another pick, another look: dense dots over the dark red and blue.
        click("ID_BACK");
        pick(4);
        click("ID_NEXT");
        const auto dotted = qf::test::ReadAnimation(temp(4).toStdString());
        QCOMPARE(dotted.size(), 2u);
        for (int n = 1; n <= 2; ++n)
            QCOMPARE(qf::test::Looks(dotted[n - 1]), qf::test::ShapesSketch(n, "##", false));
    }

    // Only one item is ticked, whichever way its box changes.
    void theListTicksOneItem()
    {
        start();
        open(animated_);
        tickBox(2);
        tickBox(2);
        QCOMPARE(ticked(), QList<int>{2});
        list_->item(9)->setCheckState(Qt::Checked);
        QCOMPARE(ticked(), QList<int>{9});
        QVERIFY(list_->selectedItems().isEmpty());
    }

    // A broken or still file is refused with a message; what was open,
    // with its result, stays.
    void aRefusedFileKeepsWhatWasOpen()
    {
        start();
        open(broken_);
        QVERIFY(messages().size() == 1 && messages()[0].startsWith("warn: ")
                && messages()[0].contains(broken_));
        QVERIFY(!action("ID_NEXT")->isEnabled());
        open(animated_);
        pick(5);
        click("ID_NEXT");
        click("ID_BACK");
        click("ID_BACK");
        open(still_);
        open(broken_);
        QCOMPARE(messages().mid(1, 1), QStringList{"inform: " + NotAnimatedText()});
        QVERIFY(w_->currentStep() == Step::Open && w_->sourcePath() == animated_ && QFile::exists(temp(5)));
        click("ID_NEXT");
        QCOMPARE(ticked(), QList<int>{5});
    }

    // What the window shows at each step and while it works: the caption
    // (dimmed while locked), the controls on screen ("off" when disabled)
    // and the commands.
    QString state() const
    {
        QStringList shown;
        for (const char* name : {"BtnOpenFile", "PicAbout", "LVSnapshot", "PreviewViewer", "GdViewer1",
                                 "PicProgress", "BtnOptions"}) {
            const auto* widget = w_->findChild<QWidget*>(name);
            if (widget->isVisible())
                shown << QString::fromLatin1(name) + (widget->isEnabled() ? "" : " off");
        }
        QStringList commands;
        for (const char* name : {"ID_BACK", "ID_NEXT", "ID_SAVE"})
            commands << QString::fromLatin1(name)
                            + (!action(name)->isVisible()  ? " hidden"
                               : action(name)->isEnabled() ? ""
                                                           : " off");
        const auto* caption = w_->findChild<QLabel*>("ID_STEP");
        return caption->text() + (caption->isEnabled() ? "" : " (dimmed)") + " | " + shown.join(", ") + " | "
               + commands.join(", ");
    }

    void theStepTable()
    {
        const QString one = "Step 1: Please open a GIF file | BtnOpenFile, PicAbout | ";
        const QString two = "Step 2: Please select an effect, then click Next";
        const QString three = "Step 3: Click Save to save the GIF file.";
        start();
        QCOMPARE(state(), one + "ID_BACK off, ID_NEXT off, ID_SAVE hidden");
        fixture_->work->hold = true;
        open(animated_);
        QCOMPARE(state(),
                 two + " | LVSnapshot, PreviewViewer, BtnOptions | ID_BACK, ID_NEXT, ID_SAVE hidden");
        press("ID_NEXT");
        QVERIFY(fixture_->work->converting.tryAcquire(1, 5000));
        QCOMPARE(state(),
                 two + " (dimmed) | PicProgress, BtnOptions off | ID_BACK off, ID_NEXT off, ID_SAVE hidden");
        fixture_->work->release.release();
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
        QCOMPARE(state(), three + " | GdViewer1 | ID_BACK, ID_NEXT hidden, ID_SAVE");
        fixture_->ui->saveAnswers = {path("out.webp")};
        press("ID_SAVE"); // a WebP save locks the window as a conversion does
        QCOMPARE(state(), three + " (dimmed) | PicProgress | ID_BACK off, ID_NEXT hidden, ID_SAVE off");
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
        QCOMPARE(state(), three + " | GdViewer1 | ID_BACK, ID_NEXT hidden, ID_SAVE");
        click("ID_BACK");
        QCOMPARE(state(),
                 two + " | LVSnapshot, PreviewViewer, BtnOptions | ID_BACK, ID_NEXT, ID_SAVE hidden");
        click("ID_BACK");
        QCOMPARE(state(), one + "ID_BACK off, ID_NEXT, ID_SAVE hidden");
    }

    // While work runs the commands do nothing; a file handed over asks
    // first, and only a yes stops the work for it; closing stops it too.
    void aConversionLocksTheCommandsAndAHandOverAsks()
    {
        start();
        open(animated_);
        fixture_->work->hold = true;
        press("ID_NEXT");
        QVERIFY(fixture_->work->converting.tryAcquire(1, 5000));
        Trigger(*w_, "ID_BACK");
        Trigger(*w_, "ID_NEXT");
        QCOMPARE(fixture_->work->converts.load(), 1);
        Write(path("other.gif"), qf::test::SmallAnimation(40, 20, 2));
        w_->openPath(path("other.gif"));
        QCOMPARE(messages(), QStringList{"ask: Stop the work in progress and open other.gif?"});
        QVERIFY(w_->isBusy() && w_->currentStep() != Step::Result);
        fixture_->ui->yes = true;
        w_->openPath(path("other.gif"));
        QTRY_VERIFY_WITH_TIMEOUT(w_->sourcePath() == path("other.gif") && !w_->isBusy(), 30000);
        QVERIFY(w_->currentStep() == Step::Choose && w_->frameCount() == 2);

        press("ID_NEXT");
        QVERIFY(fixture_->work->converting.tryAcquire(1, 5000));
        w_->close();
        QVERIFY(!QFile::exists(temp(0)));
        fixture_->work->release.release();
    }

    void failuresSayWhyAndKeepWhatWasThere()
    {
        start();
        open(animated_);
        fixture_->work->fail = true;
        click("ID_NEXT");
        QVERIFY(w_->currentStep() == Step::Choose && !QFile::exists(temp(0)));
        QVERIFY(messages().size() == 1 && messages()[0].contains(QStringLiteral("no space left")));
        fixture_->work->fail = false;
        click("ID_NEXT");
        // Saving into a missing folder, then with the result gone.
        Write(path("keep.gif"), {'k', 'e', 'e', 'p'});
        fixture_->ui->saveAnswers = {path("gone/out.gif"), path("keep.gif")};
        click("ID_SAVE");
        QVERIFY(messages().last().contains(path("gone/out.gif")));
        QFile::remove(temp(0));
        click("ID_SAVE");
        QCOMPARE(messages().size(), 3);
        QVERIFY(qf::test::ReadBytes(path("keep.gif").toStdString()) == (qf::test::Bytes{'k', 'e', 'e', 'p'}));
        QCOMPARE(w_->currentStep(), Step::Result);
    }

    // Results live until the next GIF is opened or the window closes.
    void temporaryResultsLiveUntilTheNextOpenAndTheEnd()
    {
        start();
        const QString folder = w_->tempResults().folder();
        open(animated_);
        click("ID_NEXT");
        click("ID_BACK");
        click("ID_BACK");
        open(animated_);
        QVERIFY(QDir(folder).isEmpty());
        click("ID_NEXT");
        w_.reset();
        QVERIFY(!QFileInfo::exists(folder));
    }

    // In a temporary folder shared with other users, a planted link in place
    // of the private folder is neither used nor changed, for the results or
    // for the lock; a killed writer's leftovers go with the results; and a
    // lock that cannot be taken says why, unlike one another window holds.
    void privateFilesStayPrivate()
    {
        QTemporaryDir shared, elsewhere;
        const QString mine = QDir(shared.path()).filePath(PrivateFolderName());
        QVERIFY(QFile::setPermissions(elsewhere.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                            | QFile::ReadOther | QFile::ExeOther));
        QVERIFY(QFile::link(elsewhere.path(), mine));
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), tmp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(shared.path()));
        const QString lockPath = SingleInstance::DefaultLockPath();
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("TMPDIR", tmp);
        QVERIFY2(!lockPath.startsWith(shared.path() + u'/') && !lockPath.startsWith(elsewhere.path()),
                 qPrintable(lockPath));
        {
            TempResults planted(shared.path());
            QVERIFY(planted.isUsable() && !planted.file(0).startsWith(mine + u'/'));
        }
        QVERIFY(QFileInfo(elsewhere.path()).permission(QFile::ReadOther));

        QVERIFY(QFile::remove(mine));
        TempResults results(shared.path());
        const pid_t gone = fork();
        if (gone == 0)
            _exit(0);
        waitpid(gone, nullptr, 0);
        const QString leftover = QDir(mine).filePath(QStringLiteral(".qfTmp$_3.gif.qf-%1-0-0.tmp").arg(gone));
        Write(leftover, {1});
        results.clear();
        QVERIFY(!QFileInfo::exists(leftover));

        SingleInstance first(QDir(shared.path()).filePath(QStringLiteral("q.lock")));
        SingleInstance second(QDir(shared.path()).filePath(QStringLiteral("q.lock")));
        SingleInstance nowhere(QDir(shared.path()).filePath(QStringLiteral("missing/q.lock")));
        QVERIFY(first.tryAcquire() && !second.tryAcquire() && second.error().isEmpty());
        QVERIFY(!nowhere.tryAcquire() && nowhere.error().contains(QStringLiteral("missing/q.lock")));
    }

    void theReminderAsksWhenOverdue_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<bool>("asks");
        const QDateTime noon(QDate(2024, 3, 20), QTime(12, 0)), early(QDate(2024, 3, 20), QTime(0, 1));
        QTest::newRow("15 days ago") << Us(noon.addDays(-15)) << noon << false;
        QTest::newRow("16 days ago") << Us(noon.addDays(-16)) << noon << true;
        const QTime late(23, 59);
        QTest::newRow("15 calendar days, late to early")
            << Us(QDateTime(QDate(2024, 3, 5), late)) << early << false;
        QTest::newRow("16 calendar days in under 15 x 24 h")
            << Us(QDateTime(QDate(2024, 3, 4), late)) << early << true;
        QTest::newRow("tomorrow: clock set back") << Us(noon.addDays(1)) << noon << true;
        QTest::newRow("not a date") << QStringLiteral("soon") << noon << true;
        QTest::newRow("empty means 2005") << QString() << noon << true;
        QTest::newRow("trailing NUL dropped") << Us(noon.addDays(-2)) + QChar(u'\0') << noon << false;
        QTest::newRow("leading NUL reads as empty")
            << QString(QChar(u'\0')) + Us(noon.addDays(-2)) << noon << true;
        QTest::newRow("two-digit year") << QStringLiteral("3/18/24 9:30 AM") << noon << false;
    }

    void theReminderAsksWhenOverdue()
    {
        QFETCH(QString, stored);
        QFETCH(QDateTime, now);
        QFETCH(bool, asks);
        MemorySettings settings;
        settings.values[kLastCheckUpdate] = stored;
        int questions = 0;
        const auto ask = [&](const QString&) { return ++questions, false; };
        ReminderContext context{&settings, [now] { return now; }, ask, {}, kUs};
        QCOMPARE(RunUpdateReminder(context), asks);
        QCOMPARE(questions, asks ? 1 : 0);
        // Asking stores the moment, which reads back; not asking writes nothing.
        QCOMPARE(settings.writes, asks ? 1 : 0);
        QCOMPARE(settings.values[kLastCheckUpdate], asks ? Us(now) : stored);
        QCOMPARE(ParseReminderDate(Us(now), kUs).value(), now);
    }

    // The skin beside the program comes before the installed one.
    void theSkinIsFoundBesideTheProgramOrInstalled()
    {
        QTemporaryDir prefix; // an installed tree: bin/ and the data folder
        const QString bin = prefix.filePath(QStringLiteral("bin"));
        const QString data = QDir::cleanPath(bin + QStringLiteral("/" QF_DATA_FROM_BIN));
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(data));
        QCOMPARE(FindSkin(bin), QString()); // the system look
        Write(QDir(data).filePath(kSkinFileName), {'*'});
        QCOMPARE(FindSkin(bin), QDir(data).filePath(kSkinFileName));
        Write(QDir(bin).filePath(kSkinFileName), {'*'});
        QCOMPARE(FindSkin(bin), QDir(bin).filePath(kSkinFileName));
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
