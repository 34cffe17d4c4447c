// The window driven through its own controls, over a scripted desktop and the
// real frame pipeline: open, pick, convert, save, and every way back.
#include "shell_support.h"

#include "pipeline/frames.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProgressBar>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

using namespace qf::shell;
using namespace qf::shell::test;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Write(const QString& path, const qf::test::Bytes& bytes)
{
    qf::test::WriteBytes(path.toStdString(), bytes);
}

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<Fixture> fixture_;
    std::unique_ptr<FormBatch> w_;
    SnapshotList* list_ = nullptr;
    QString animated_, still_, broken_;

    QString path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }
    QString temp(int variant) const { return w_->tempResults().file(variant); }
    QAction* action(int id) const { return w_->findControl(id); }
    QWidget* button(int id) const { return w_->findChild<QToolBar*>(QStringLiteral("MainToolBar"))->widgetForAction(action(id)); }

    void start()
    {
        w_ = std::make_unique<FormBatch>(fixture_->services(path("tmp")));
        list_ = w_->findChild<SnapshotList*>(QStringLiteral("LVSnapshot"));
        w_->show();
        QVERIFY(QTest::qWaitForWindowExposed(w_.get()));
    }
    void click(int id)
    {
        QTest::mouseClick(button(id), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
    }
    void open(const QString& file)
    {
        fixture_->ui->openAnswers.append(file);
        QTest::mouseClick(w_->findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
    }
    void pick(int row) // a click on the item, as the user picks a snapshot
    {
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, list_->visualItemRect(list_->item(row)).center());
    }
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
        animated_ = path("ball.gif");
        still_ = path("still.gif");
        broken_ = path("broken.gif");
        Write(animated_, qf::test::SmallAnimation(32, 24, 3));
        Write(still_, qf::test::SmallAnimation(32, 24, 1));
        Write(broken_, {'G', 'I', 'F', '8', '9', 'a', ' ', 'n', 'o'});
        fixture_ = std::make_unique<Fixture>();
    }

    void cleanup()
    {
        w_.reset();
        fixture_.reset();
        dir_.reset();
    }

    // The whole road: open, pick, convert, save twice, back and forth. The
    // result is the pipeline's conversion with the picked variant.
    void openPickConvertSave()
    {
        start();
        QTest::mouseClick(w_->findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile")), Qt::LeftButton);
        QCOMPARE(w_->currentStep(), 1); // the dialog was cancelled
        QVERIFY(!action(ID_NEXT)->isEnabled());
        auto* progress = w_->findChild<QProgressBar*>(QStringLiteral("ProgressConvert"));
        QSignalSpy opening(progress, &QProgressBar::valueChanged);
        open(animated_);
        QCOMPARE(w_->currentStep(), 2);
        QCOMPARE(w_->frameDelays(), (QVector<int>{0, 10, 11, 12}));
        QCOMPARE(list_->count(), 17);
        QCOMPARE(ticked(), QList<int>{0});
        QCOMPARE(opening.first().first().toInt(), 50);
        QCOMPARE(progress->value(), 100);

        pick(4);
        QSignalSpy converting(progress, &QProgressBar::valueChanged);
        click(ID_NEXT);
        QCOMPARE(w_->currentStep(), 3);
        QCOMPARE(w_->chosenVariant(), 4);
        QCOMPARE(converting.first().first().toInt(), 0);
        QVERIFY(converting.size() >= 3);
        QCOMPARE(w_->findChild<ResultViewer*>(QStringLiteral("GdViewer1"))->fileName(), temp(4));
        qf::ConvertOptions options;
        options.variant = 4;
        qf::imaging::Error error;
        QVERIFY(qf::ConvertAllFrames(animated_.toStdString(), path("expected.gif").toStdString(), options, &error));
        QCOMPARE(ReadAll(temp(4)), ReadAll(path("expected.gif")));

        fixture_->ui->saveAnswers = {path("first.gif"), path("no extension")};
        click(ID_SAVE);
        click(ID_SAVE);
        QCOMPARE(ReadAll(path("first.gif")), ReadAll(temp(4)));
        QCOMPARE(ReadAll(path("no extension")), ReadAll(temp(4)));
        QVERIFY(fixture_->ui->messages.isEmpty());

        // Back keeps the tick; Next shows the result made before, even after
        // a switch changed, without converting again.
        click(ID_BACK);
        QCOMPARE(ticked(), QList<int>{4});
        w_->findChild<QCheckBox*>(QStringLiteral("CheckBlur"))->setChecked(true);
        click(ID_NEXT);
        QCOMPARE(w_->currentStep(), 3);
        QCOMPARE(fixture_->work->converts.load(), 1);
    }

    // Only one item is ticked, whichever way its box changes.
    void theListTicksOneItem()
    {
        start();
        open(animated_);
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, list_->checkBoxRect(2).center());
        QTest::mouseClick(list_->viewport(), Qt::LeftButton, {}, list_->checkBoxRect(2).center());
        QCOMPARE(ticked(), QList<int>{2});
        list_->item(9)->setCheckState(Qt::Checked);
        QCOMPARE(ticked(), QList<int>{9});
        QVERIFY(list_->selectedItems().isEmpty());
    }

    // A still or broken file is refused with a message, and what was open,
    // with its result, stays.
    void aRefusedFileKeepsWhatWasOpen()
    {
        start();
        open(broken_);
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QVERIFY(fixture_->ui->messages[0].startsWith("warn: ") && fixture_->ui->messages[0].contains(broken_));
        QVERIFY(!action(ID_NEXT)->isEnabled());
        open(animated_);
        pick(5);
        click(ID_NEXT);
        click(ID_BACK);
        click(ID_BACK);
        open(still_);
        open(broken_);
        QCOMPARE(fixture_->ui->messages.mid(1, 1), QStringList{"inform: " + kNotAnimated});
        QCOMPARE(w_->currentStep(), 1);
        QCOMPARE(w_->sourcePath(), animated_);
        QVERIFY(QFile::exists(temp(5)));
        click(ID_NEXT);
        QCOMPARE(w_->currentStep(), 2);
        QCOMPARE(ticked(), QList<int>{5});
    }

    void aConversionLocksTheCommandsAndClosingStopsIt()
    {
        start();
        open(animated_);
        fixture_->work->hold = true;
        QTest::mouseClick(button(ID_NEXT), Qt::LeftButton);
        QVERIFY(fixture_->work->converting.tryAcquire(1, 5000));
        QVERIFY(w_->isBusy());
        QVERIFY(!action(ID_BACK)->isEnabled() && !action(ID_NEXT)->isEnabled());
        w_->executeCommand(ID_BACK);
        w_->executeCommand(ID_NEXT);
        QCOMPARE(fixture_->work->converts.load(), 1);
        w_->close();
        QVERIFY(!QFile::exists(temp(0)));
        fixture_->work->release.release();
    }

    void failuresSayWhyAndKeepWhatWasThere()
    {
        start();
        open(animated_);
        fixture_->work->fail = true;
        click(ID_NEXT);
        QCOMPARE(w_->currentStep(), 2);
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QVERIFY(fixture_->ui->messages[0].contains(QStringLiteral("no space left")));
        QVERIFY(!QFile::exists(temp(0)));
        fixture_->work->fail = false;
        click(ID_NEXT);
        QCOMPARE(w_->currentStep(), 3);

        // Saving into a missing folder, then with the result gone.
        Write(path("keep.gif"), {'k', 'e', 'e', 'p'});
        fixture_->ui->saveAnswers = {path("gone/out.gif"), path("keep.gif")};
        click(ID_SAVE);
        QVERIFY(fixture_->ui->messages.last().contains(QDir::toNativeSeparators(path("gone/out.gif"))));
        QFile::remove(temp(0));
        click(ID_SAVE);
        QCOMPARE(fixture_->ui->messages.size(), 3);
        QCOMPARE(ReadAll(path("keep.gif")), QByteArray("keep"));
        QCOMPARE(w_->currentStep(), 3);
    }

    // Results live until the next GIF is opened or the window closes.
    void temporaryResultsLiveUntilTheNextOpenAndTheEnd()
    {
        start();
        const QString folder = w_->tempResults().folder();
        open(animated_);
        click(ID_NEXT);
        click(ID_BACK);
        click(ID_BACK);
        open(animated_);
        QVERIFY(QDir(folder).isEmpty());
        click(ID_NEXT);
        w_.reset();
        QVERIFY(!QFileInfo::exists(folder));
    }

    void theReminderAsksAtStartUpWhenDue()
    {
        fixture_->settings->values.clear();
        fixture_->ui->askAnswer = true;
        start();
        QTRY_COMPARE(fixture_->ui->messages, QStringList{"ask: " + kUpdateQuestion});
        QCOMPARE(fixture_->ui->openedUrls, QVector<QUrl>{QUrl(kMakerSite)});
        QCOMPARE(ParseReminderDate(fixture_->settings->values.value(kLastCheckUpdate)).value(), fixture_->now);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
