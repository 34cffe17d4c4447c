// The window driven through its own controls, over a scripted desktop and a
// stand-in pipeline: steps, layout, the snapshot list, opening, converting,
// saving and the temporary files.
#include "engine/variants.h"
#include "shell/form_batch.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"
#include "test_support.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QAbstractButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>

#include <memory>

using namespace qf::shell;
using namespace qf::shell::test;

namespace {

// Handles on the window's controls, found the way a user's eye finds them.
struct Controls {
    explicit Controls(FormBatch& window)
        : w(window)
        , client(window.centralWidget())
        , open(window.findChild<QAbstractButton*>(QStringLiteral("BtnOpenFile")))
        , about(window.findChild<QWidget*>(QStringLiteral("PicAbout")))
        , site(window.findChild<QLabel*>(QStringLiteral("Label3")))
        , progressPanel(window.findChild<QWidget*>(QStringLiteral("PicProgress")))
        , progress(window.findChild<QProgressBar*>(QStringLiteral("ProgressConvert")))
        , list(window.findChild<SnapshotList*>(QStringLiteral("LVSnapshot")))
        , images(window.findChild<ImageList*>(QStringLiteral("ImageList1")))
        , viewer(window.findChild<ResultViewer*>(QStringLiteral("GdViewer1")))
        , settings(window.findChild<QGroupBox*>(QStringLiteral("GroupBox1")))
        , stepLabel(window.findChild<QLabel*>(QStringLiteral("ID_STEP")))
        , bar(window.findChild<QToolBar*>(QStringLiteral("MainToolBar")))
        , back(window.findControl(ID_BACK))
        , next(window.findControl(ID_NEXT))
        , save(window.findControl(ID_SAVE))
    {
    }

    QWidget* button(QAction* action) const { return bar->widgetForAction(action); }
    void click(QAction* action) const { QTest::mouseClick(button(action), Qt::LeftButton); }
    QList<int> tickedRows() const
    {
        QList<int> rows;
        for (int row = 0; row < list->count(); ++row)
            if (list->item(row)->checkState() == Qt::Checked)
                rows.append(row);
        return rows;
    }
    int selectedCount() const { return static_cast<int>(list->selectedItems().size()); }

    FormBatch& w;
    QWidget* client;
    QAbstractButton* open;
    QWidget* about;
    QLabel* site;
    QWidget* progressPanel;
    QProgressBar* progress;
    SnapshotList* list;
    ImageList* images;
    ResultViewer* viewer;
    QGroupBox* settings;
    QLabel* stepLabel;
    QToolBar* bar;
    QAction* back;
    QAction* next;
    QAction* save;
};

} // namespace

class FormBatchTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::shared_ptr<FakeWork> work_;
    std::unique_ptr<Fixture> fixture_;
    std::unique_ptr<FormBatch> window_;
    std::unique_ptr<Controls> c_;
    QString animated_;  // 3 frames, delays 10, 20, 30
    QString animated2_; // 2 frames, delays 5, 7
    QString still_;
    QString garbage_;

    FormBatch& startWindow()
    {
        window_ = std::make_unique<FormBatch>(fixture_->services());
        c_ = std::make_unique<Controls>(*window_);
        window_->show();
        if (!QTest::qWaitForWindowExposed(window_.get()))
            qWarning("window not exposed");
        QCoreApplication::processEvents();
        return *window_;
    }

    void openFile(const QString& path)
    {
        fixture_->ui->openAnswers.append(path);
        QTest::mouseClick(c_->open, Qt::LeftButton);
        QTRY_VERIFY(!window_->isBusy());
    }

    void runCommand(QAction* action)
    {
        c_->click(action);
        QTRY_VERIFY(!window_->isBusy());
    }

    void clickItem(int row)
    {
        const QRect rect = c_->list->visualItemRect(c_->list->item(row));
        QTest::mouseClick(c_->list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    void clickCheckBox(int row)
    {
        QTest::mouseClick(c_->list->viewport(), Qt::LeftButton, {},
                          c_->list->checkBoxRect(row).center());
    }

    QString temp(int variant) const { return window_->tempResults().file(variant); }

private Q_SLOTS:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        animated_ = dir_->filePath(QStringLiteral("ball.gif"));
        animated2_ = dir_->filePath(QStringLiteral("second.gif"));
        still_ = dir_->filePath(QStringLiteral("still.gif"));
        garbage_ = dir_->filePath(QStringLiteral("broken.gif"));
        QVERIFY(WriteTestGif(animated_, SceneFrames(3), {10, 20, 30}));
        QVERIFY(WriteTestGif(animated2_, SceneFrames(2, 24, 16), {15, 25}));
        QVERIFY(WriteTestGif(still_, SceneFrames(1), {10}));
        QFile junk(garbage_);
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("GIF89a this is not really a picture");
        junk.close();

        work_ = std::make_shared<FakeWork>();
        QDir(dir_->path()).mkdir(QStringLiteral("tmp"));
        fixture_ = std::make_unique<Fixture>(dir_->filePath(QStringLiteral("tmp")), work_);
    }

    void cleanup()
    {
        c_.reset();
        window_.reset();
        fixture_.reset();
        work_.reset();
        dir_.reset();
    }

    void startUpShowsStepOne()
    {
        FormBatch& w = startWindow();
        QCOMPARE(w.windowTitle(), QStringLiteral("Quillframe"));
        QCOMPARE(w.objectName(), QStringLiteral("FormBatch"));
        QCOMPARE(w.size(), QSize(588, 392));
        QCOMPARE(w.currentStep(), 1);
        QCOMPARE(c_->stepLabel->text(), QStringLiteral("Step 1: Please open a GIF file"));
        QVERIFY(!c_->back->isEnabled());
        QVERIFY(!c_->next->isEnabled());
        QVERIFY(c_->next->isVisible());
        QVERIFY(!c_->save->isVisible());
        QVERIFY(c_->open->isVisible());
        QCOMPARE(c_->open->text(), QStringLiteral("Click Here to Open Your GIF File"));
        QVERIFY(c_->about->isVisible());
        QVERIFY(!c_->list->isVisible());
        QVERIFY(!c_->viewer->isVisible());
        QVERIFY(!c_->progressPanel->isVisible());
        QCOMPARE(w.findControl(ID_STEP)->text(), c_->stepLabel->text());
        QCOMPARE(w.findControl(4711), nullptr);

        // The switches keep their start-up states, out of sight below the
        // client area, and the engine reads exactly those.
        const auto boxes = c_->settings->findChildren<QCheckBox*>();
        QCOMPARE(boxes.size(), qf::kSwitchCount);
        for (int i = 0; i < qf::kSwitchCount; ++i)
            QCOMPARE(boxes[i]->isChecked(), qf::kSwitches[std::size_t(i)].onByDefault);
        QVERIFY(c_->settings->y() >= c_->client->height());
        QCOMPARE(w.currentSwitches(), qf::Switches{});

        // Every control keeps its design name.
        for (const char* name : {"MainToolBar", "ToolbarStep", "MenuBar", "Label1", "Label2"})
            QVERIFY2(w.findChild<QObject*>(QLatin1String(name)), name);
        for (const int size : {16, 32, 48, 128, 256})
            QVERIFY(w.windowIcon().availableSizes().contains(QSize(size, size)));

        // A reminder given yesterday asks nothing and writes nothing.
        QTest::qWait(20);
        QVERIFY(fixture_->ui->messages.isEmpty());
        QCOMPARE(fixture_->settings->writes, 0);
    }

    void layoutFollowsTheClientArea_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("step");
        QTest::newRow("designed, step 1") << QSize(588, 392) << 1;
        QTest::newRow("wide, step 1") << QSize(900, 640) << 1;
        QTest::newRow("odd width, step 2") << QSize(701, 455) << 2;
        QTest::newRow("small, step 3") << QSize(430, 310) << 3;
    }

    void layoutFollowsTheClientArea()
    {
        QFETCH(QSize, size);
        QFETCH(int, step);
        FormBatch& w = startWindow();
        w.SetStep(step);
        w.resize(size);
        QCoreApplication::processEvents();

        const QRect free = c_->client->rect();
        const int width = free.width();
        const int height = free.height();
        QCOMPARE(c_->button(c_->back)->width(), width / 2);
        QAction* right = step == 3 ? c_->save : c_->next;
        QCOMPARE(c_->button(right)->width(), width / 2 - 5);
        QVERIFY(c_->button(right)->isVisible());
        QCOMPARE(c_->list->geometry(), free);
        QCOMPARE(c_->viewer->geometry(), free);
        QCOMPARE(c_->open->pos(), QPoint((width - 258) / 2, (height - 136) / 2));
        QCOMPARE(c_->progressPanel->pos(), QPoint((width - 293) / 2, (height - 150) / 2));
        QCOMPARE(c_->about->geometry(), QRect(0, height - 30, width, 30));
        QVERIFY(c_->settings->y() >= height);
    }

    void setStepFollowsTheTable_data()
    {
        QTest::addColumn<int>("requested");
        QTest::addColumn<int>("shown");
        QTest::addColumn<QString>("caption");
        QTest::newRow("0 clamps to 1") << 0 << 1 << "Step 1: Please open a GIF file";
        QTest::newRow("1") << 1 << 1 << "Step 1: Please open a GIF file";
        QTest::newRow("2") << 2 << 2 << "Step 2: Please select an effect, then click Next";
        QTest::newRow("3") << 3 << 3 << "Step 3: Click Save to save the GIF file.";
        QTest::newRow("7 clamps to 3") << 7 << 3 << "Step 3: Click Save to save the GIF file.";
        QTest::newRow("negative") << -5 << 1 << "Step 1: Please open a GIF file";
    }

    void setStepFollowsTheTable()
    {
        QFETCH(int, requested);
        QFETCH(int, shown);
        QFETCH(QString, caption);
        FormBatch& w = startWindow();
        w.SetStep(requested);
        QCOMPARE(w.currentStep(), shown);
        QCOMPARE(c_->stepLabel->text(), caption);
        QCOMPARE(c_->open->isVisible(), shown == 1);
        QCOMPARE(c_->about->isVisible(), shown == 1);
        QCOMPARE(c_->list->isVisible(), shown == 2);
        QCOMPARE(c_->viewer->isVisible(), shown == 3);
        QVERIFY(!c_->progressPanel->isVisible());
        QCOMPARE(c_->back->isEnabled(), shown != 1);
        QCOMPARE(c_->next->isVisible(), shown != 3);
        QCOMPARE(c_->save->isVisible(), shown == 3);
        if (shown != 3)
            QVERIFY(c_->next->isEnabled());
    }

    void openingBuildsTheSnapshots()
    {
        FormBatch& w = startWindow();
        // Cancelling the dialog changes nothing at all.
        QTest::mouseClick(c_->open, Qt::LeftButton);
        QCOMPARE(work_->opens.load(), 0);
        QCOMPARE(w.currentStep(), 1);
        QVERIFY(!c_->next->isEnabled());

        QSignalSpy progress(c_->progress, &QProgressBar::valueChanged);
        openFile(animated_);

        QCOMPARE(fixture_->ui->openFilters.last(), QStringLiteral("GIF File (*.gif)"));
        QCOMPARE(w.currentStep(), 2);
        QCOMPARE(w.sourcePath(), animated_);
        QCOMPARE(w.frameCount(), 3);
        QCOMPARE(w.frameDelays(), (QVector<int>{0, 10, 20, 30}));
        QCOMPARE(c_->images->count(), 17);
        QCOMPARE(c_->list->count(), 17);
        QVERIFY(c_->list->isVisible());
        QVERIFY(!c_->progressPanel->isVisible());
        QCOMPARE(c_->tickedRows(), QList<int>{0});
        QCOMPARE(c_->selectedCount(), 0);
        for (int row = 0; row < 17; ++row) {
            QVERIFY(c_->list->item(row)->text().isEmpty());
            QVERIFY(c_->list->item(row)->toolTip().contains(QString::fromUtf8(
                qf::kVariants[static_cast<std::size_t>(row)].name.data(),
                static_cast<qsizetype>(qf::kVariants[static_cast<std::size_t>(row)].name.size()))));
        }
        // The progress panel went from 50 up to 100.
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.first().first().toInt(), 50);
        QCOMPARE(progress.last().first().toInt(), 100);
        QVERIFY(fixture_->ui->messages.isEmpty());

        // A second GIF replaces the 17 snapshots rather than adding to them.
        w.SetStep(1);
        openFile(animated2_);
        QCOMPARE(c_->list->count(), 17);
        QCOMPARE(c_->images->count(), 17);
        QCOMPARE(w.frameDelays(), (QVector<int>{0, 15, 25}));
    }

    void theListBehavesLikeRadioButtons()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        const int opens = work_->opens;

        clickItem(4);
        QCOMPARE(c_->tickedRows(), QList<int>{4});
        QCOMPARE(c_->selectedCount(), 0);

        // Unticking the ticked item's own box leaves it ticked.
        clickCheckBox(4);
        QCOMPARE(c_->tickedRows(), QList<int>{4});

        clickCheckBox(2);
        QCOMPARE(c_->tickedRows(), QList<int>{2});
        QCOMPARE(c_->selectedCount(), 0);

        // Space on the current item toggles its box, which ends the same way.
        c_->list->setFocus();
        c_->list->setCurrentRow(6);
        QTest::keyClick(c_->list, Qt::Key_Space);
        QCOMPARE(c_->tickedRows(), QList<int>{6});
        QTest::keyClick(c_->list, Qt::Key_Space);
        QCOMPARE(c_->tickedRows(), QList<int>{6});
        QCOMPARE(c_->selectedCount(), 0);

        // A change of check mark from anywhere ends the same way.
        c_->list->item(9)->setCheckState(Qt::Checked);
        QCOMPARE(c_->tickedRows(), QList<int>{9});
        c_->list->item(9)->setCheckState(Qt::Unchecked);
        QCOMPARE(c_->tickedRows(), QList<int>{9});

        // Ticking computes nothing and writes no result.
        QCOMPARE(work_->opens.load(), opens);
        QCOMPARE(work_->converts.load(), 0);
        for (const QString& file : w.tempResults().files())
            QVERIFY(!QFile::exists(file));
    }

    void aStillGifIsRefused()
    {
        FormBatch& w = startWindow();
        openFile(still_);
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QCOMPARE(fixture_->ui->messages[0].kind, QStringLiteral("inform"));
        QCOMPARE(fixture_->ui->messages[0].title, QStringLiteral("Quillframe"));
        QCOMPARE(fixture_->ui->messages[0].text, QStringLiteral("Please open an animated GIF file"));
        QCOMPARE(w.currentStep(), 1);
        QVERIFY(c_->next->isEnabled());
        QVERIFY(c_->open->isVisible());
        QVERIFY(!c_->progressPanel->isVisible());
        QVERIFY(w.sourcePath().isEmpty());

        // With a GIF already converted, the refusal keeps that GIF and its
        // results: Next leads back to its snapshots.
        openFile(animated_);
        clickItem(5);
        runCommand(c_->next);
        QVERIFY(QFile::exists(temp(5)));
        runCommand(c_->back);
        runCommand(c_->back);
        openFile(still_);
        QCOMPARE(fixture_->ui->messages.size(), 2);
        QCOMPARE(w.currentStep(), 1);
        QVERIFY(QFile::exists(temp(5)));
        QCOMPARE(w.sourcePath(), animated_);
        QCOMPARE(w.frameCount(), 3);
        runCommand(c_->next);
        QCOMPARE(w.currentStep(), 2);
        QCOMPARE(c_->tickedRows(), QList<int>{5});
    }

    void anUnreadableFileLeavesEverythingAsItWas()
    {
        FormBatch& w = startWindow();
        openFile(garbage_);
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QCOMPARE(fixture_->ui->messages[0].kind, QStringLiteral("warn"));
        QCOMPARE(fixture_->ui->messages[0].title, QStringLiteral("Quillframe"));
        QVERIFY(fixture_->ui->messages[0].text.contains(garbage_));
        QVERIFY(fixture_->ui->messages[0].text.contains(QStringLiteral("not a GIF")));
        QCOMPARE(w.currentStep(), 1);
        QVERIFY(!c_->next->isEnabled()); // as it was: nothing opened yet
        QVERIFY(c_->open->isVisible());

        openFile(animated_);
        clickItem(3);
        runCommand(c_->next);
        runCommand(c_->back);
        runCommand(c_->back);
        openFile(garbage_);
        QCOMPARE(w.currentStep(), 1);
        QVERIFY(c_->next->isEnabled());
        QCOMPARE(w.sourcePath(), animated_);
        QCOMPARE(w.frameDelays(), (QVector<int>{0, 10, 20, 30}));
        QCOMPARE(c_->list->count(), 17);
        QVERIFY(QFile::exists(temp(3)));
        runCommand(c_->next);
        QCOMPARE(c_->tickedRows(), QList<int>{3});
    }

    void backFromStepThreeKeepsTheTickAndTheResult()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        clickItem(4);
        runCommand(c_->next);
        QCOMPARE(w.currentStep(), 3);
        QCOMPARE(w.chosenVariant(), 4);
        QCOMPARE(work_->converts.load(), 1);
        QCOMPARE(c_->viewer->fileName(), temp(4));
        QCOMPARE(c_->viewer->frameCount(), 3);
        QVERIFY(c_->save->isVisible());
        QVERIFY(!c_->next->isVisible());
        const QDateTime written = QFileInfo(temp(4)).lastModified();

        runCommand(c_->back);
        QCOMPARE(w.currentStep(), 2);
        QCOMPARE(c_->tickedRows(), QList<int>{4});
        QVERIFY(c_->list->isVisible());

        runCommand(c_->next);
        QCOMPARE(work_->converts.load(), 1);
        QCOMPARE(QFileInfo(temp(4)).lastModified(), written);
        QCOMPARE(c_->viewer->fileName(), temp(4));
    }

    void theFirstTickedItemWinsAndNoTickKeepsTheLastVariant()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        // Two ticks can only come from outside the list's own handling.
        c_->list->blockSignals(true);
        c_->list->tickOnly(c_->list->item(7));
        c_->list->item(3)->setCheckState(Qt::Checked);
        c_->list->blockSignals(false);
        runCommand(c_->next);
        QCOMPARE(w.chosenVariant(), 3);

        runCommand(c_->back);
        c_->list->blockSignals(true);
        c_->list->item(3)->setCheckState(Qt::Unchecked);
        c_->list->item(7)->setCheckState(Qt::Unchecked);
        c_->list->blockSignals(false);
        runCommand(c_->next);
        QCOMPARE(w.chosenVariant(), 3);
        QCOMPARE(work_->converts.load(), 1);
    }

    void temporaryResultsLiveUntilTheNextOpenAndTheEnd()
    {
        FormBatch& w = startWindow();
        const QString folder = w.tempResults().folder();
        const QFileDevice::Permissions permissions = QFile::permissions(folder);
        QVERIFY(permissions.testFlags(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                      | QFileDevice::ExeOwner));
        QVERIFY(!(permissions & (QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                 | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                 | QFileDevice::WriteOther | QFileDevice::ExeOther)));
        openFile(animated_);
        clickItem(2);
        runCommand(c_->next);
        runCommand(c_->back);
        clickItem(5);
        runCommand(c_->next);
        QVERIFY(QFile::exists(folder + QStringLiteral("qfTmp$_2.gif")));
        QVERIFY(QFile::exists(folder + QStringLiteral("qfTmp$_5.gif")));
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 2);

        // A new GIF throws the old results away before anything else.
        runCommand(c_->back);
        runCommand(c_->back);
        openFile(animated2_);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);

        runCommand(c_->next);
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 1);
        w.close();
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 0);
        QVERIFY(!c_->viewer->frameCount());
        window_.reset();
        QVERIFY(!QFileInfo::exists(folder));
    }

    void convertingLocksTheCommandsAndReportsProgress()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        work_->holdConvert = true;
        QSignalSpy progress(c_->progress, &QProgressBar::valueChanged);
        c_->click(c_->next);
        QVERIFY(work_->converting.tryAcquire(1, 5000));
        QCoreApplication::processEvents();

        QVERIFY(w.isBusy());
        QVERIFY(!c_->back->isEnabled());
        QVERIFY(!c_->next->isEnabled());
        QVERIFY(!c_->list->isVisible());
        QVERIFY(c_->progressPanel->isVisible());
        w.executeCommand(ID_BACK);
        w.executeCommand(ID_NEXT);
        QCOMPARE(work_->converts.load(), 1);

        work_->release.release();
        QTRY_VERIFY(!w.isBusy());
        QCOMPARE(w.currentStep(), 3);
        QVERIFY(c_->back->isEnabled());
        QCOMPARE(progress.first().first().toInt(), 0);
        QCOMPARE(c_->progress->value(), 100);
        QVERIFY(progress.size() >= 3);
    }

    void closingStopsAConversion()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        work_->holdConvert = true;
        c_->click(c_->next);
        QVERIFY(work_->converting.tryAcquire(1, 5000));
        w.close();
        QVERIFY(!QFile::exists(temp(0)));
        work_->release.release(); // nothing waits on it any more
    }

    void aFailedConversionGoesBackWithTheReason()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        work_->failConvert = true;
        runCommand(c_->next);
        QCOMPARE(w.currentStep(), 2);
        QVERIFY(c_->list->isVisible());
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QCOMPARE(fixture_->ui->messages[0].kind, QStringLiteral("warn"));
        QVERIFY(fixture_->ui->messages[0].text.contains(QStringLiteral("no space left")));
        QVERIFY(!QFile::exists(temp(0)));

        work_->failConvert = false;
        runCommand(c_->next);
        QCOMPARE(w.currentStep(), 3);
        QVERIFY(QFile::exists(temp(0)));
    }

    void nextWithoutAGifAsksForOne()
    {
        FormBatch& w = startWindow();
        openFile(still_); // refused: step 1 with Next enabled
        runCommand(c_->next);
        QCOMPARE(w.currentStep(), 2);
        QCOMPARE(c_->list->count(), 0);
        runCommand(c_->next);
        QCOMPARE(w.currentStep(), 2);
        QCOMPARE(work_->converts.load(), 0);
        QCOMPARE(fixture_->ui->messages.last().text, QStringLiteral("Please open an animated GIF file"));
    }

    void savingCopiesTheResult()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        clickItem(1);
        runCommand(c_->next);
        const QString first = dir_->filePath(QStringLiteral("first.gif"));
        const QString second = dir_->filePath(QStringLiteral("no extension"));

        // Cancelling writes nothing.
        c_->click(c_->save);
        QCOMPARE(fixture_->ui->saveFilters, QStringList{QStringLiteral("GIF File (*.gif)")});
        QCOMPARE(QDir(dir_->path()).entryList({QStringLiteral("first*")}).size(), 0);

        fixture_->ui->saveAnswers = {first, second};
        c_->click(c_->save);
        c_->click(c_->save);
        QCOMPARE(w.currentStep(), 3);
        QVERIFY(fixture_->ui->messages.isEmpty());
        QFile source(temp(1));
        QFile a(first);
        QFile b(second + QStringLiteral(".gif"));
        QVERIFY(source.open(QIODevice::ReadOnly) && a.open(QIODevice::ReadOnly)
                && b.open(QIODevice::ReadOnly));
        const QByteArray expected = source.readAll();
        QVERIFY(!expected.isEmpty());
        QCOMPARE(a.readAll(), expected);
        QCOMPARE(b.readAll(), expected);
    }

    void aFailedSaveSaysWhyAndKeepsTheOldFile()
    {
        FormBatch& w = startWindow();
        openFile(animated_);
        runCommand(c_->next);

        const QString missingFolder = dir_->filePath(QStringLiteral("gone/out.gif"));
        fixture_->ui->saveAnswers = {missingFolder};
        c_->click(c_->save);
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QCOMPARE(fixture_->ui->messages[0].kind, QStringLiteral("warn"));
        QVERIFY(fixture_->ui->messages[0].text.contains(QDir::toNativeSeparators(missingFolder)));
        QVERIFY(!QFile::exists(missingFolder));

        // The result vanished from under the window: the file the user had stays.
        const QString existing = dir_->filePath(QStringLiteral("keep.gif"));
        QFile keep(existing);
        QVERIFY(keep.open(QIODevice::WriteOnly));
        keep.write("precious");
        keep.close();
        QFile::remove(temp(0));
        fixture_->ui->saveAnswers = {existing};
        c_->click(c_->save);
        QCOMPARE(fixture_->ui->messages.size(), 2);
        QVERIFY(fixture_->ui->messages[1].text.contains(QStringLiteral("qfTmp$_0.gif")));
        QVERIFY(keep.open(QIODevice::ReadOnly));
        QCOMPARE(keep.readAll(), QByteArray("precious"));
        QCOMPARE(w.currentStep(), 3);
    }

    void theAboutLinkOpensTheSite()
    {
        startWindow();
        QCOMPARE(c_->site->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseClick(c_->site, Qt::LeftButton);
        QCOMPARE(fixture_->ui->openedUrls, QVector<QUrl>{QUrl(kMakerSite)});
    }

    void theReminderRunsAtStartUp()
    {
        fixture_->settings->values.clear();
        fixture_->ui->askAnswer = true;
        startWindow();
        QTRY_COMPARE(fixture_->ui->messages.size(), 1);
        QCOMPARE(fixture_->ui->messages[0].kind, QStringLiteral("ask"));
        QCOMPARE(fixture_->ui->messages[0].title, QStringLiteral("Quillframe"));
        QCOMPARE(fixture_->ui->messages[0].text, UpdateQuestion());
        QCOMPARE(fixture_->ui->openedUrls, QVector<QUrl>{QUrl(kMakerSite)});
        QCOMPARE(ParseReminderDate(fixture_->settings->values.value(kLastCheckUpdate)).value(),
                 fixture_->now);
    }
};

QTEST_MAIN(FormBatchTest)
#include "form_batch_test.moc"
