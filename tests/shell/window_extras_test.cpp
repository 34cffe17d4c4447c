// The window beyond the wizard: switches out of the keyboard's reach until
// Options shows them, options that redraw the previews and key the results,
// cancelling, opening by drop, by argument, by keyboard or from a second
// launch, a damaged file said out loud, the viewer's fit, the names Save
// offers, and the part of a long clip that is converted.
#include "shell_support.h"

#include "engine/variants.h"
#include "shell/clip_bar.h"
#include "shell/document.h"
#include "shell/instance_channel.h"
#include "shell/result_viewer.h"
#include "shell/save_name.h"
#include "shell/single_instance.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"
#include "shell/work_controller.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>
#include <numeric>

using namespace qf::shell;
using namespace qf::shell::test;

class WindowExtrasTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<Fixture> fixture_;
    std::unique_ptr<FormBatch> w_;
    QString animated_, still_;

    QString path(const char* name) const { return dir_->filePath(QString::fromLatin1(name)); }
    template <typename T>
    T* child(const char* name) const
    {
        return w_->findChild<T*>(name);
    }
    QImage thumbnail() const { return child<ImageList>("ImageList1")->pixmap(0).toImage(); }
    void start()
    {
        w_ = std::make_unique<FormBatch>(fixture_->services(path("tmp")));
        w_->show();
        QApplication::setActiveWindow(w_.get());
        QVERIFY(QTest::qWaitForWindowActive(w_.get()));
    }
    // Returns the moment the work ends, before anything the window left
    // for later: what a key pressed next reaches must be in place by then.
    void run(const std::function<void()>& action)
    {
        action();
        QTimer wake;
        wake.start(50);
        const QDeadlineTimer deadline(30000);
        while (w_->isBusy() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QVERIFY(!w_->isBusy());
    }
    void open(const QString& file)
    {
        run([&] { w_->openPath(file); });
    }

private Q_SLOTS:
    void init()
    {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("tmp")));
        animated_ = path("ball.gif");
        still_ = path("still.gif");
        for (const auto& [file, frames] : {std::pair{animated_, 3}, std::pair{still_, 1}})
            qf::test::WriteBytes(file.toStdString(), qf::test::SmallAnimation(48, 32, frames));
        fixture_ = std::make_unique<Fixture>();
    }

    void cleanup() { w_.reset(), fixture_.reset(), dir_.reset(); }

    // Tab walks the step's own controls, then Back and Next (or Save), and
    // never a switch while Options is closed. Arrows move between cards from
    // the first press and Enter ticks one; in step 3 the viewer has the keys.
    QStringList tabWalk(int presses) const
    {
        QStringList names;
        for (int i = 0; i < presses; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names << QApplication::focusWidget()->objectName();
        }
        return names;
    }

    void tabReachesEveryCommandAndNoHiddenSwitch()
    {
        start();
        open(animated_);
        auto* list = child<SnapshotList>("LVSnapshot");
        QCOMPARE(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_Right);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(list->firstTickedRow(), 1);
        QCOMPARE(tabWalk(7), (QStringList{"PreviewViewer", "BtnPreview", "BtnActualSize", "ID_BACK_BUTTON",
                                          "ID_NEXT_BUTTON", "BtnOptions", "LVSnapshot"}));
        QCOMPARE(w_->currentSwitches(), qf::Switches{});
        child<QAbstractButton>("BtnOptions")->click();
        QVERIFY(qobject_cast<QCheckBox*>(QApplication::focusWidget()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QVERIFY(!child<QGroupBox>("GroupBox1")->isVisible());

        run([&] { Trigger(*w_, "ID_NEXT"); });
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("GdViewer1"));
        QCOMPARE(tabWalk(8), (QStringList{"BtnPlay", "BtnStepFrame", "BtnActualSize", "BtnBefore", "ComboFit",
                                          "ID_BACK_BUTTON", "ID_SAVE_BUTTON", "GdViewer1"}));
    }

    // A size limit chosen for one result applies to the next, and step 3
    // says so with a way back to the original size. The fit says what it
    // does from its start. The window opens again at the size it was left.
    void aRememberedLimitIsShownAndTheWindowKeepsItsSize()
    {
        fixture_->settings->values[kFitUnder] = QStringLiteral("262144");
        start();
        const QSize screen = w_->screen()->availableGeometry().size();
        QCOMPARE(w_->size(), (screen * 2 / 3).expandedTo(w_->minimumSize()));
        open(animated_);
        run([&] {
            Trigger(*w_, "ID_NEXT");
            QVERIFY(child<QLabel>("Label1")->text().startsWith("Making the GIF fit under 256"));
            QCOMPARE(child<QProgressBar>("ProgressConvert")->maximum(), 0); // moving, not empty
        });
        QVERIFY(child<QLabel>("LabelFitted")->isVisible());
        // Nothing had to change for so small an animation.
        QCOMPARE(child<QLabel>("LabelFitted")->text(), QStringLiteral("Made to fit under 256 kB."));
        run([&] { child<QAbstractButton>("BtnOriginal")->click(); });
        QCOMPARE(w_->document().shownBudget(), 0LL);
        QVERIFY(!child<QLabel>("LabelFitted")->isVisible());
        QCOMPARE(fixture_->settings->values.value(kFitUnder), QStringLiteral("0"));

        w_->resize(w_->minimumSize() + QSize(33, 21));
        const QSize left = w_->size();
        w_->close();
        start();
        QCOMPARE(w_->size(), left);
    }

    // Yes to the first-start question on a machine without a browser shows
    // the address rather than nothing.
    void withoutABrowserTheAddressIsShown()
    {
        if (!QF_UPDATE_REMINDER)
            QSKIP("built without the update reminder (QF_UPDATE_REMINDER off), which never asks");
        fixture_->settings->values.remove(kLastCheckUpdate);
        fixture_->ui->yes = true;
        fixture_->ui->browser = false;
        start();
        QTRY_COMPARE_WITH_TIMEOUT(fixture_->ui->messages.size(), 2, 5000);
        QVERIFY(fixture_->ui->messages[1].startsWith("warn: "));
        QVERIFY(fixture_->ui->messages[1].contains(kMakerSite));
    }

    // A switch redraws the previews, is stored under its own key, and gets
    // its own result file: Back, another switch and Next never show a stale
    // result, and a result already made is reused.
    void optionsRedrawThePreviewsAndKeyTheResults()
    {
        start();
        open(animated_);
        child<QAbstractButton>("BtnOptions")->click();
        const QImage plain = thumbnail();
        QCOMPARE(qf::kSwitches[4].member, &qf::Switches::Blur);
        QCheckBox* blur = child<QGroupBox>("GroupBox1")->findChildren<QCheckBox*>()[4];
        blur->click();
        QTRY_VERIFY_WITH_TIMEOUT(thumbnail() != plain, 20000);
        QCOMPARE(fixture_->settings->values.value(QStringLiteral("Switches/Blur")), QStringLiteral("1"));
        QVERIFY(child<QAbstractButton>("BtnOptions")->text() != QStringLiteral("&Options"));

        const qf::Switches blurred = w_->currentSwitches();
        run([&] { Trigger(*w_, "ID_NEXT"); });
        QVERIFY(QFileInfo::exists(w_->resultFile(0, blurred)));
        QVERIFY(!QFileInfo::exists(w_->resultFile(0, qf::Switches{})));
        run([&] { Trigger(*w_, "ID_BACK"); });
        child<QAbstractButton>("BtnRestoreDefaults")->click();
        QTRY_COMPARE_WITH_TIMEOUT(thumbnail(), plain, 20000);
        run([&] { Trigger(*w_, "ID_NEXT"); });
        run([&] { Trigger(*w_, "ID_BACK"); });
        blur->click();
        run([&] { Trigger(*w_, "ID_NEXT"); });
        QCOMPARE(fixture_->work->converts.load(), 2);

        w_.reset(); // the next start remembers the switch
        start();
        QCOMPARE(w_->currentSwitches(), blurred);
    }

    // The ink slider redraws the cards and is remembered with the still
    // grain; both key the result file, and Restore defaults puts them back.
    void styleControlsRedrawAndAreRemembered()
    {
        start();
        open(animated_);
        const QImage plain = thumbnail();
        child<QAbstractButton>("BtnOptions")->click();
        child<QSlider>("SliderInk")->setValue(0); // the black of the picture is no longer ink
        child<QCheckBox>("CheckStillGrain")->click();
        QTRY_VERIFY_WITH_TIMEOUT(thumbnail() != plain, 20000);
        QCOMPARE(fixture_->settings->values.value(QStringLiteral("Switches/Ink")), QStringLiteral("0"));
        const qf::Switches styled = w_->currentSwitches();
        QVERIFY(styled.Ink == 0 && styled.StillGrain);
        QVERIFY(w_->resultFile(2, styled) != w_->resultFile(2, {.StillGrain = true}));

        w_.reset();
        start();
        QCOMPARE(w_->currentSwitches(), styled);
        child<QAbstractButton>("BtnRestoreDefaults")->click();
        QCOMPARE(w_->currentSwitches(), qf::Switches{});
        QCOMPARE(child<QSlider>("SliderInk")->value(), qf::kDesignedStyle);
    }

    // Esc goes back to the choice at once; the conversion stops and leaves
    // no file, whole or partial.
    void cancelLeavesNothingBehind()
    {
        const QString many = path("many.gif");
        qf::test::WriteBytes(many.toStdString(), qf::test::SmallAnimation(320, 240, 80));
        start();
        open(many);
        Trigger(*w_, "ID_NEXT");
        auto* frames = child<QLabel>("LabelFrames");
        QTRY_VERIFY_WITH_TIMEOUT(frames->text().endsWith(" of 80") && !frames->text().startsWith("Frame 1 "),
                                 30000);
        QTest::keyClick(w_.get(), Qt::Key_Escape);
        QCOMPARE(w_->currentStep(), Step::Choose);
        QTRY_VERIFY_WITH_TIMEOUT(!w_->isBusy(), 30000);
        QCOMPARE(w_->currentStep(), Step::Choose);
        QCOMPARE(QDir(w_->tempResults().folder()).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(fixture_->ui->messages, QStringList());
    }

    // A drop takes the open dialog's road: a still GIF is refused, a folder
    // is not taken at all.
    void dropAndArgumentOpenTheSameWay()
    {
        start();
        // The drop hint lights up while a file it takes is over the window.
        QList<bool> lit;
        auto drop = [&](const QString& file) { // true when the window takes it
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(file)});
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(w_.get(), &enter);
            lit << child<QLabel>("LabelDrop")->isEnabled();
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            run([&] { QApplication::sendEvent(w_.get(), &dropped); });
            lit << child<QLabel>("LabelDrop")->isEnabled();
            return enter.isAccepted();
        };
        QVERIFY(!drop(dir_->path()));
        QVERIFY(drop(still_));
        QCOMPARE(lit, (QList<bool>{false, false, true, false}));
        QCOMPARE(fixture_->ui->messages, QStringList{"inform: " + NotAnimatedText()});
        QVERIFY(drop(animated_));
        QCOMPARE(w_->currentStep(), Step::Choose);
        QCOMPARE(w_->sourcePath(), animated_);

        QCOMPARE(FileArgument({"quillframe", "a.gif"}), QDir::current().filePath("a.gif"));
        QCOMPARE(FileArgument({"quillframe", "-style", "/b.gif"}), QStringLiteral("/b.gif"));
        QCOMPARE(FileArgument({"quillframe", "--version"}), QString());
    }

    // This test is the running window; quillframe started again hands its
    // file (given relative to its own folder) over and ends.
    void aSecondLaunchHandsItsFileOver()
    {
        SingleInstance lock;
        QVERIFY(lock.tryAcquire());
        InstanceChannel channel;
        QVERIFY(channel.listen());
        start();
        connect(&channel, &InstanceChannel::requested, w_.get(), &FormBatch::openPath);
        QSignalSpy requests(&channel, &InstanceChannel::requested);
        for (const QStringList& arguments : {QStringList{"ball.gif"}, QStringList{}}) {
            QProcess second;
            second.setWorkingDirectory(dir_->path());
            second.start(QStringLiteral(QF_QUILLFRAME_EXE), arguments);
            QTRY_VERIFY_WITH_TIMEOUT(second.state() == QProcess::NotRunning, 20000);
            QCOMPARE(second.exitCode(), 0);
            QTRY_COMPARE_WITH_TIMEOUT(requests.last().first().toString(),
                                      arguments.isEmpty() ? QString() : animated_, 20000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(w_->sourcePath(), animated_, 20000);
    }

    void saveOffersANameAndAddsTheExtension()
    {
        QCOMPARE(SuggestedSaveName("/p/a.b.GIF", 4), QStringLiteral("/p/a.b-vivid-colour-with-dots.gif"));
        // The file type chosen in the dialog counts only for a name that
        // ends in none of ".gif", ".webp", ".mp4" and ".webm".
        constexpr SaveFormat G = SaveFormat::Gif, W = SaveFormat::Webp, M = SaveFormat::Mp4,
                             V = SaveFormat::Webm;
        const struct {
            const char* typed;
            SaveFormat chosen;
            const char* saved;
            SaveFormat format;
        } names[] = {
            {"out", G, "out.gif", G},     {"out.", G, "out.gif", G},      {"d.x/out", G, "d.x/out.gif", G},
            {"out.GIF", W, "out.GIF", G}, {"out.png", G, "out.png", G},   {"out", W, "out.webp", W},
            {"out.", W, "out.webp", W},   {"out.WebP", G, "out.WebP", W}, {"out.png", W, "out.png", W},
            {"out", M, "out.mp4", M},     {"out.WEBM", M, "out.WEBM", V}, {"out.mp4", G, "out.mp4", M}};
        for (const auto& name : names) {
            QCOMPARE(SaveFormatFor(name.typed, name.chosen), name.format);
            QCOMPARE(WithExtension(name.typed, name.format), QString::fromLatin1(name.saved));
        }

        start();
        open(animated_);
        run([&] { Trigger(*w_, "ID_NEXT"); });
        QDir(dir_->path()).mkdir("out");
        fixture_->ui->saveAnswers = {path("out/first"), path("out/first")};
        Trigger(*w_, "ID_SAVE");
        QCOMPARE(fixture_->ui->suggestions.last(), path("ball-line-sketch.gif"));
        QCOMPARE(qf::test::ReadBytes(path("out/first.gif").toStdString()),
                 qf::test::ReadBytes(w_->tempResults().file(0).toStdString()));
        // The next save starts where this one went; the name with ".gif"
        // added is not replaced without asking.
        qf::test::WriteBytes(path("out/first.gif").toStdString(), {'m', 'i', 'n', 'e'});
        Trigger(*w_, "ID_SAVE");
        QCOMPARE(fixture_->ui->suggestions.last(), path("out/ball-line-sketch.gif"));
        QCOMPARE(fixture_->ui->messages.size(), 1);
        QCOMPARE(qf::test::ReadBytes(path("out/first.gif").toStdString()),
                 (qf::test::Bytes{'m', 'i', 'n', 'e'}));

        // The WebP type: the result's frames, delays and loop count,
        // lossless, with the progress of its three frames shown.
        fixture_->ui->saveAnswers = {path("out/moving")},
        fixture_->ui->saveFilters = {"Animated WebP (*.webp)"};
        QSignalSpy saving(child<QProgressBar>("ProgressConvert"), &QProgressBar::valueChanged);
        run([&] { Trigger(*w_, "ID_SAVE"); });
        QCOMPARE(saving, (QList<QVariantList>{{0}, {33}, {67}, {100}}));
        QCOMPARE(fixture_->ui->messages.size(), 1);
        const auto frames = [](const QString& file, qf::imaging::AnimationInfo& info) {
            qf::imaging::Error error;
            std::vector<std::vector<std::uint8_t>> pixels;
            const auto reader = qf::imaging::OpenAnimation(file.toStdString(), &error);
            if (reader) {
                for (qf::imaging::RgbaImage frame; reader->readNext(frame, &error);)
                    pixels.push_back(frame.pixels);
                info = reader->info();
            }
            return error ? decltype(pixels){} : pixels;
        };
        qf::imaging::AnimationInfo gif, webp;
        const auto expected = frames(w_->tempResults().file(0), gif);
        QVERIFY(expected.size() >= 2 && frames(path("out/moving.webp"), webp) == expected);
        QVERIFY(webp.delays == gif.delays && webp.loopCount == gif.loopCount);

        // The MP4 type: the source converted anew, a clip of as many frames.
        fixture_->ui->saveAnswers = {path("out/moving")};
        fixture_->ui->saveFilters = {"MP4 video (*.mp4)"};
        run([&] { Trigger(*w_, "ID_SAVE"); });
        QCOMPARE(fixture_->ui->messages.size(), 1);
        qf::imaging::AnimationInfo clip;
        QCOMPARE(frames(path("out/moving.mp4"), clip).size(), expected.size());
        QVERIFY(clip.video() && clip.width % 2 == 0 && clip.height % 2 == 0);
        // Step 3 plays the clip saved, with the source under Before; Alt+Right
        // (Next, not on offer here) neither pauses it nor steps a frame.
        auto* viewer = child<ResultViewer>("GdViewer1");
        QVERIFY(viewer->fileName() == path("out/moving.mp4") && viewer->hasOriginal());
        QTest::keyClick(viewer, Qt::Key_Right, Qt::AltModifier);
        QVERIFY(viewer->isPlaying());

        // Opened as a source, the WebP shows its own frames under Before.
        const QImage firstFrame = QImage(w_->tempResults().file(0)).convertToFormat(QImage::Format_RGB32);
        open(path("out/moving.webp"));
        run([&] { Trigger(*w_, "ID_NEXT"); });
        viewer->stepFrame(-viewer->currentFrame());
        auto* before = viewer->parentWidget()->findChild<QAbstractButton*>("BtnBefore");
        QVERIFY(before->isEnabled());
        QTest::mousePress(before, Qt::LeftButton);
        QCOMPARE(viewer->currentImage(), firstFrame);
        QTest::mouseRelease(before, Qt::LeftButton);
        QVERIFY(viewer->currentImage() != firstFrame);
    }
    // Enter on the open button opens, and the dialog starts in the folder
    // last opened from, in this run and the next. A file cut short in its
    // third frame opens with a line saying so, until a whole file opens.
    void keyboardOpenTheLastFolderAndTheDamageLine()
    {
        QVERIFY(QDir(dir_->path()).mkdir(QStringLiteral("sub")));
        qf::test::Bytes cut = qf::test::SmallAnimation(48, 32, 3);
        cut.resize(cut.size() - 40);
        qf::test::WriteBytes(path("sub/cut.gif").toStdString(), cut);
        start();
        auto* button = child<QAbstractButton>("BtnOpenFile");
        button->setFocus();
        fixture_->ui->openAnswers = {path("sub/cut.gif")};
        run([&] { QTest::keyClick(button, Qt::Key_Return); });
        QCOMPARE(w_->sourcePath(), path("sub/cut.gif"));
        auto* notice = child<QLabel>("NoticeBar");
        QVERIFY(notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("The file is damaged after frame 2; 2 frames were read."));
        run([&] { Trigger(*w_, "ID_NEXT"); });
        QVERIFY(notice->isVisible());
        run([&] { Trigger(*w_, "ID_BACK"); });
        run([&] { Trigger(*w_, "ID_BACK"); });
        fixture_->ui->openAnswers = {animated_, animated_};
        run([&] { button->click(); });
        QVERIFY(w_->currentStep() == Step::Choose && !notice->isVisible());

        w_.reset();
        start();
        run([&] { child<QAbstractButton>("BtnOpenFile")->click(); });
        QCOMPARE(fixture_->ui->openFolders.mid(1), (QStringList{path("sub"), dir_->path()}));
    }

    // A clip longer than 10 s gets start, end and rate controls beside
    // Options; a GIF and a short clip play whole. twelve.mp4 (32 x 24, 5 fps,
    // 12 s) shows a black square on the left for 6 s, then on the right, and
    // a block below it that moves every frame.
    void theClipControlsShapeALongClip_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("controls");
        QTest::addColumn<double>("from"); // seconds; -1 leaves the control as it is
        QTest::addColumn<double>("to");
        QTest::addColumn<int>("fps");      // 0 leaves it
        QTest::addColumn<QChar>("square"); // where the first picture has it: Left, Right
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("hundredths"); // how long the result plays
        QTest::addColumn<int>("previewDelay");
        const QString clips = QStringLiteral(QF_CLIPS "/");
        QTest::newRow("GIF") << QString::fromStdString(qf::test::Shapes("gif")) << false << -1.0 << -1.0 << 0
                             << QChar() << 2 << 320 << 20;
        QTest::newRow("1 s clip") << clips + "ten.webm" << false << -1.0 << -1.0 << 0 << QChar() << 10 << 100
                                  << 10;
        QTest::newRow("12 s clip whole")
            << clips + "twelve.mp4" << true << -1.0 << -1.0 << 0 << QChar('L') << 60 << 1200 << 20;
        QTest::newRow("6 s to 10 s at 2 fps")
            << clips + "twelve.mp4" << true << 6.0 << 10.0 << 2 << QChar('R') << 8 << 400 << 50;
    }

    void theClipControlsShapeALongClip()
    {
        QFETCH(QString, file);
        QFETCH(bool, controls);
        QFETCH(double, from);
        QFETCH(double, to);
        QFETCH(int, fps);
        QFETCH(QChar, square);
        QFETCH(int, frames);
        QFETCH(int, hundredths);
        QFETCH(int, previewDelay);
        // Which half of the picture's top the dark square is in.
        const auto side = [](const QImage& picture) {
            long long left = 0, right = 0;
            for (int y = 0; y < picture.height() / 2; ++y)
                for (int x = 0; x < picture.width(); ++x)
                    (x < picture.width() / 2 ? left : right) += 255 - qGray(picture.pixel(x, y));
            return left > 2 * right ? QChar('L') : right > 2 * left ? QChar('R') : QChar('?');
        };
        start();
        // The delay of the first frame the preview of a card (P) plays: it
        // is sampled as the conversion is.
        QSignalSpy previewed(child<WorkController>(nullptr), &WorkController::previewFrame);
        int seen = 0; // the newest preview request looked at
        const auto firstPreviewDelay = [&](int card) {
            child<SnapshotList>("LVSnapshot")->item(card)->setCheckState(Qt::Checked);
            Trigger(*w_, "ActPreview");
            int delay = -1;
            (void)QTest::qWaitFor([&] {
                for (const QVariantList& frame : std::as_const(previewed))
                    if (frame[0].toInt() > seen)
                        return seen = frame[0].toInt(), delay = frame[3].toInt(), true;
                return false;
            });
            return delay;
        };
        const int narrowest = w_->minimumWidth();
        open(file);
        QCOMPARE(child<ClipBar>("ClipBar")->isVisible(), controls);
        // The clip controls fit the window at its narrowest, which they do
        // not widen.
        QCOMPARE(w_->minimumWidth(), narrowest);
        w_->resize(w_->minimumSize());
        QTRY_COMPARE(w_->size(), w_->minimumSize());
        if (controls) {
            QVERIFY(child<ClipBar>("ClipBar")->width() >= child<ClipBar>("ClipBar")->sizeHint().width());
            QCOMPARE(side(thumbnail()), QChar('L')); // the clip's first picture
            QCOMPARE(firstPreviewDelay(1), 20);      // its own 5 frames a second
        }
        if (to >= 0)
            child<QDoubleSpinBox>("SpinEnd")->setValue(to);
        if (from >= 0)
            child<QDoubleSpinBox>("SpinStart")->setValue(from);
        if (fps > 0)
            child<QSpinBox>("SpinRate")->setValue(fps);
        if (!square.isNull())
            QTRY_COMPARE_WITH_TIMEOUT(side(thumbnail()), square, 20000);

        QCOMPARE(firstPreviewDelay(2), previewDelay);

        run([&] { Trigger(*w_, "ID_NEXT"); });
        qf::imaging::AnimationInfo info;
        const auto result =
            qf::test::ReadAnimation(child<ResultViewer>("GdViewer1")->fileName().toStdString(), &info);
        QCOMPARE(int(result.size()), frames);
        QCOMPARE(std::accumulate(info.delays.begin(), info.delays.end(), 0), hundredths);
        if (square.isNull())
            return;
        QCOMPARE(
            side(QImage(result[0].pixels.data(), result[0].width, result[0].height, QImage::Format_RGBA8888)),
            square);
        // Before shows the picture of the clip the result's frame was made of.
        auto* viewer = child<ResultViewer>("GdViewer1");
        viewer->stepFrame(-viewer->currentFrame());
        viewer->setShowingOriginal(true);
        QCOMPARE(side(viewer->currentImage()), square);
    }

    // Small pictures grow by the largest whole number that fits; larger
    // ones shrink to fit, keeping their shape.
    // The preview plays the card the pointer rests on, or the ticked one on
    // P, never starts from a tick, shows the original while B is held, and is
    // drawn again with new switches.
    void thePreviewFollowsTheCardAndTheSwitches()
    {
        start();
        open(animated_);
        auto* list = child<SnapshotList>("LVSnapshot");
        auto* preview = child<ResultViewer>("PreviewViewer");
        const auto firstFrame = [&](int frames) {
            (void)QTest::qWaitFor([&] { return preview->frameCount() == frames; }, 10000);
            preview->stepFrame(-preview->currentFrame());
            return preview->currentImage();
        };
        const auto caption = [&] { return child<QLabel>("LabelPreview")->text(); };
        list->item(5)->setCheckState(Qt::Checked);
        QTest::qWait(400);
        QCOMPARE(preview->frameCount(), 0);
        QTest::keyClick(list, Qt::Key_P);
        const QImage chosen = firstFrame(3);
        QCOMPARE(caption(), QStringLiteral("Preview: Colour sketch"));
        QTest::mouseMove(list->viewport(), list->visualItemRect(list->item(0)).center());
        QTRY_COMPARE_WITH_TIMEOUT(caption(), QStringLiteral("Preview: Line sketch"), 20000);
        QVERIFY(firstFrame(3) != chosen);
        QCOMPARE(list->firstTickedRow(), 5);

        // The original is the GIF's own first frame.
        qf::imaging::RgbaImage frame;
        const auto reader = qf::imaging::OpenAnimation(animated_.toStdString(), nullptr);
        QVERIFY(reader && reader->readNext(frame, nullptr));
        QTest::keyPress(list, Qt::Key_B);
        const QImage original = preview->currentImage().convertToFormat(QImage::Format_RGBA8888);
        QTest::keyRelease(list, Qt::Key_B);
        QCOMPARE(original, QImage(frame.pixels.data(), frame.width, frame.height, QImage::Format_RGBA8888));

        const QImage plain = firstFrame(3);
        child<QAbstractButton>("BtnOptions")->click();
        child<QGroupBox>("GroupBox1")->findChildren<QCheckBox*>()[4]->click(); // Blur
        QTRY_VERIFY_WITH_TIMEOUT(preview->frameCount() == 3 && firstFrame(3) != plain, 20000);
        child<QAbstractButton>("BtnRestoreDefaults")->click();
        QTRY_VERIFY_WITH_TIMEOUT(preview->frameCount() == 3 && firstFrame(3) == plain, 20000);
        open(animated_); // another file: no caption over the empty preview
        QCOMPARE(caption(), QString());
    }

    // A logout's SIGTERM (or Ctrl+C, or a closed terminal) closes the window
    // as its close button does: the results folder, the lock and the socket
    // all go.
    void aTerminationSignalLeavesNothingBehind()
    {
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            QTemporaryDir temp, runtime;
            QProcess window;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("TMPDIR", temp.path());
            environment.insert("XDG_RUNTIME_DIR", runtime.path());
            environment.insert("QT_QPA_PLATFORM", "offscreen");
            window.setProcessEnvironment(environment);
            window.start(QStringLiteral(QF_QUILLFRAME_EXE), {animated_});
            const QDir results(QDir(temp.path()).filePath(PrivateFolderName()));
            const auto left = [&] {
                return QDir(runtime.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
            };
            QTRY_VERIFY_WITH_TIMEOUT(results.exists() && left().size() == 2,
                                     20000); // the lock and the socket
            ::kill(static_cast<pid_t>(window.processId()), signal);
            QVERIFY(window.waitForFinished(20000));
            QCOMPARE(window.exitStatus(), QProcess::NormalExit);
            QVERIFY(!results.exists());
            QCOMPARE(left(), QStringList());
        }
    }

    void theViewerFitsThePicture()
    {
        const struct {
            QSize picture, area, shown;
        } rows[] = {
            {{48, 32}, {400, 300}, {384, 256}},   {{48, 32}, {95, 300}, {48, 32}},
            {{48, 32}, {96, 64}, {96, 64}},       {{800, 600}, {400, 300}, {400, 300}},
            {{1000, 100}, {400, 300}, {400, 40}}, {{100, 1000}, {400, 300}, {30, 300}},
            {{10, 10}, {0, 0}, {10, 10}},
        };
        for (const auto& row : rows)
            QCOMPARE(FittedSize(row.picture, row.area), row.shown);
        // Delays of 0 and 1 hundredth play at 100 ms, as in a browser.
        QCOMPARE((QList<int>{PlaybackMs(0), PlaybackMs(1), PlaybackMs(2), PlaybackMs(7)}),
                 (QList<int>{100, 100, 20, 70}));
    }

    // "Fit under" converts again within the limit, Save saves that result,
    // and the limit is remembered for the next conversion.
    void fitUnderKeepsTheResultWithinTheLimit()
    {
        const QString big = path("big.gif");
        qf::test::WriteBytes(big.toStdString(), qf::test::SmallAnimation(160, 120, 16));
        start();
        open(big);
        run([&] { Trigger(*w_, "ID_NEXT"); });
        auto saved = [&](const char* name) {
            fixture_->ui->saveAnswers << path(name);
            Trigger(*w_, "ID_SAVE");
            return QFileInfo(path(name)).size();
        };
        const qint64 full = saved("full.gif");
        const int kb = static_cast<int>(full / 2048);
        QVERIFY(kb >= 2);
        auto* combo = child<QComboBox>("ComboFit");
        const int custom = combo->findText(QStringLiteral("Custom"));
        combo->setCurrentIndex(custom);
        Q_EMIT combo->activated(custom);
        child<QSpinBox>("SpinFit")->setValue(kb);
        run([&] { Q_EMIT child<QSpinBox>("SpinFit")->editingFinished(); });
        const qint64 fitted = saved("fitted.gif");
        QVERIFY2(fitted > 0 && fitted <= kb * 1024LL, qPrintable(QString::number(fitted)));
        // Half the size costs colours, frames or pixels, and the line says
        // which.
        const QString said = child<QLabel>("LabelFitted")->text();
        QVERIFY2(said.startsWith(QStringLiteral("Made to fit under %1 kB: ").arg(kb))
                     && QRegularExpression(QStringLiteral("quality \\d+|1 frame in \\d|shrunk to \\d+%"))
                            .match(said)
                            .hasMatch(),
                 qPrintable(said));
        // In the smallest window both lines still show whole.
        w_->resize(w_->minimumSize());
        QTRY_COMPARE(w_->size(), w_->minimumSize());
        QCoreApplication::processEvents();
        for (const char* name : {"LabelInfo", "LabelFitted"}) {
            const auto* label = child<QLabel>(name);
            const QRect room = label->contentsRect();
            const QRect text = label->fontMetrics().boundingRect(
                room, label->wordWrap() ? Qt::TextWordWrap : 0, label->text());
            QVERIFY2(text.width() <= room.width() && text.height() <= room.height(), name);
        }
        QCOMPARE(fixture_->settings->values.value(QStringLiteral("FitUnder")), QString::number(kb * 1024LL));

        w_.reset();
        start();
        open(big);
        run([&] { Trigger(*w_, "ID_NEXT"); });
        QCOMPARE(saved("again.gif"), fitted);
        QCOMPARE(child<QLabel>("LabelFitted")->text(), said);
    }
};

QTEST_MAIN(WindowExtrasTest)
#include "window_extras_test.moc"
