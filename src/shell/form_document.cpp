// The window's work on its document: opening a file, converting it (within
// a size limit or not, and again under another), saving the result.
#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/clip_bar.h"
#include "shell/document.h"
#include "shell/file_copy.h"
#include "shell/pages.h"
#include "shell/result_viewer.h"
#include "shell/save_name.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"
#include "shell/ui_services.h"
#include "shell/update_reminder.h"
#include "shell/work_controller.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QTimer>

#include <utility>

namespace qf::shell {

namespace {

// The files the open dialog offers: all it opens, then each kind on its
// own. The reader goes by what a file holds, so any file may be tried.
QString OpenFilter()
{
    const QString videos = QStringLiteral("*.mp4 *.m4v *.mov *.webm *.mkv *.avi");
    const QString apng = QStringLiteral("*.apng *.png");
    return QStringList{FormBatch::tr("All supported files (%1)").arg("*.gif *.webp " + apng + ' ' + videos),
                       FormBatch::tr("GIF File (*.gif)"),
                       FormBatch::tr("Animated WebP (*.webp)"),
                       FormBatch::tr("Animated PNG (%1)").arg(apng),
                       FormBatch::tr("Videos (%1)").arg(videos),
                       FormBatch::tr("All files (*)")}
        .join(QStringLiteral(";;"));
}

} // namespace

// --- opening ------------------------------------------------------------------

void FormBatch::openFile()
{
    if (isBusy())
        return;
    const QString path = services_.ui->openFileName(this, OpenFilter(), openFolder_);
    if (!path.isEmpty())
        openPath(path);
}

void FormBatch::openPath(const QString& path)
{
    if (path.isEmpty() || closing_)
        return;
    if (isBusy()) {
        // The user decides whether the work in hand gives way.
        if (!services_.ui->ask(this, kAppTitle,
                               tr("Stop the work in progress and open %1?").arg(QFileInfo(path).fileName())))
            return;
        pendingOpen_ = path;
        cancelWork();
        return;
    }
    // Thumbnails and previews of the previous GIF are no longer wanted.
    Work->stopBackground();
    openFolder_ = QFileInfo(path).absolutePath();
    if (services_.settings)
        WriteSetting(*services_.settings, kLastOpenFolder, openFolder_);
    NoticeBar->hide();
    beginWork(tr("Please wait..."), 50);
    Work->open(path, currentSwitches());
}

void FormBatch::finishOpen(const QString& path, bool ok, const OpenedGif& gif, const imaging::Error& error)
{
    endWork();
    const bool cancelled = std::exchange(cancelled_, false);
    if (cancelled || !ok || (gif.frameCount >= 2 && gif.snapshots.size() != kVariantCount)) {
        // Stopped, or a file that cannot be read: the previous GIF, its
        // snapshots and its results stay as they were, and the window goes
        // back to where it was.
        SetStep(stepBeforeWork_);
        if (stepBeforeWork_ == Step::Open)
            ActNext->setEnabled(nextBeforeWork_);
        if (!cancelled && error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(
                this, kAppTitle,
                tr("This file cannot be opened as an animation.\n\n%1")
                    .arg(ErrorText(error).isEmpty() ? QDir::toNativeSeparators(path) : ErrorText(error)));
        openPending();
        return;
    }
    if (gif.frameCount <= 1) {
        // Refused. The document keeps the previous GIF, so Next leads back to
        // its snapshots and results rather than mixing the two files.
        SetStep(Step::Open);
        services_.ui->inform(this, kAppTitle, NotAnimatedText());
        openPending();
        return;
    }

    GdViewer1->closeFile();
    Doc->open(path, QSize(gif.width, gif.height));
    saveFolder_.clear();
    ClipRedraw->stop();
    previewAfterRedraw_ = -1;
    ClipControls->setClip(QFile::encodeName(path).toStdString(), gif.info);
    ClipControls->setVisible(ClipControls->applies());
    Doc->setFrames(ClipControls->delays().isEmpty() ? gif.delays : ClipControls->delays());
    cardSwitches_ = currentSwitches();
    cardStart_.reset();
    LabelUpdating->hide();
    LVSnapshot->viewport()->unsetCursor();
    setWindowTitle(QStringLiteral("%1 \u2014 %2").arg(QFileInfo(path).fileName(), kAppTitle));

    ImageList1->clear();
    for (const QImage& snapshot : gif.snapshots)
        ImageList1->add(snapshot);
    LVSnapshot->showSnapshots(*ImageList1);
    PageChoose->forgetPreviews();
    PageChoose->setPictureSize(QSize(gif.width, gif.height));
    updateMinimumSize();
    notice_ = gif.damagedAfter >= 0 ? tr("The file is damaged after frame %1; %2 frames were read.")
                                          .arg(gif.damagedAfter)
                                          .arg(gif.frameCount)
                                    : QString();
    SetStep(Step::Choose);
    openPending();
}

void FormBatch::timelineChanged()
{
    Doc->setFrames(ClipControls->delays());
    // The results and previews of another part of the clip are gone at
    // once, so Next and P never show one; the preview shown is made again
    // with the cards once the controls settle.
    clearTempResults();
    if (PageChoose->previewVariant() >= 0)
        previewAfterRedraw_ = PageChoose->previewVariant();
    PageChoose->forgetPreviews();
    ClipRedraw->start();
}

void FormBatch::refreshCards()
{
    if (Doc->sourcePath().isEmpty() || ImageList1->count() == 0 || isBusy()
        || (cardSwitches_ == currentSwitches() && cardStart_ == ClipControls->timeline().start))
        return;
    LabelUpdating->show();
    LVSnapshot->viewport()->setCursor(Qt::BusyCursor); // the cards still show the old choice
    Work->renderSnapshots(Doc->sourcePath(), currentSwitches(), ClipControls->timeline());
}

void FormBatch::showSnapshots(const QString& path, const Switches& switches, const TimelineOptions& timeline,
                              const OpenedGif& gif)
{
    // A build for another GIF, other switches or another start is thrown
    // away: the build for the current ones is on its way.
    if (path != Doc->sourcePath() || switches != currentSwitches()
        || timeline.start != ClipControls->timeline().start || gif.snapshots.size() != kVariantCount)
        return;
    LabelUpdating->hide();
    LVSnapshot->viewport()->unsetCursor();
    cardSwitches_ = switches;
    cardStart_ = timeline.start;
    ImageList1->clear();
    for (const QImage& snapshot : gif.snapshots)
        ImageList1->add(snapshot);
    LVSnapshot->updateThumbnails(*ImageList1);
}

// --- converting ---------------------------------------------------------------

void FormBatch::startConversion()
{
    const int ticked = LVSnapshot->firstTickedRow();
    if (ticked >= 0)
        Doc->choose(ticked);
    if (Doc->sourcePath().isEmpty()) {
        // Nothing was opened yet: the same answer as for a still GIF.
        SetStep(Step::Choose);
        services_.ui->inform(this, kAppTitle, NotAnimatedText());
        return;
    }
    GdViewer1->closeFile();
    // The previews make way for the conversion.
    Work->stopBackground();
    PageChoose->forgetPreviews();
    beginWork(tr("Please wait..."), 0);
    PageWork->expectFrames(Doc->frameCount());
    convertWithin(PageResult->fitUnder());
}

void FormBatch::convertWithin(long long budget)
{
    if (!Doc->tempResults().isUsable()) {
        finishConvert(false, Doc->tempResults().error());
        return;
    }
    const Switches switches = currentSwitches();
    const QString target = Doc->target(switches, budget);
    // A variant converted with these switches since the GIF was opened is
    // shown as it is.
    if (Doc->show(target, budget)) {
        finishConvert(true, {});
        return;
    }
    // A fit may try several sizes before the bar can move: it says so from
    // the start.
    if (budget > 0)
        PageWork->begin(tr("Making the GIF fit under %1...").arg(ResultPage::SizeText(budget)), -1);
    Work->convert(Doc->sourcePath(), ClipControls->timeline(), target, Doc->chosenVariant(), switches,
                  budget);
}

void FormBatch::refit(long long budget)
{
    if (isBusy() || CurrentStep != Step::Result || budget == Doc->shownBudget())
        return;
    Doc->beginRefit();
    beginWork(tr("Please wait..."), 0);
    convertWithin(budget);
}

void FormBatch::finishConvert(bool ok, const imaging::Error& error)
{
    endWork();
    const bool cancelled = std::exchange(cancelled_, false);
    const bool refitting = Doc->endRefit(ok && !cancelled);
    if (cancelled || !ok) {
        // A refit keeps the result shown before, with its limit. Otherwise
        // nothing to show or save: back to the choice. The reason is said
        // unless the work was stopped. A result finished just before a stop
        // stays in its file for the next time.
        if (refitting)
            PageResult->setFitUnder(Doc->shownBudget(), Doc->shownSettings());
        SetStep(refitting ? Step::Result : Step::Choose);
        if (!ok && error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(this, kAppTitle,
                               tr("The GIF file could not be converted.\n\n%1").arg(ErrorText(error)));
        openPending();
        return;
    }
    const QString result = Doc->shownResult();
    if (!Doc->knowsShownSettings())
        Doc->setShownSettings(Doc->shownBudget() > 0 ? Work->fitSettings() : SizeSettings{});
    if (services_.settings)
        WriteSetting(*services_.settings, kFitUnder, QString::number(Doc->shownBudget()));
    PageResult->setFitUnder(Doc->shownBudget(), Doc->shownSettings());
    const bool shown = showResult(result);
    SetStep(Step::Result);
    if (!shown)
        services_.ui->warn(
            this, kAppTitle,
            tr("The converted GIF cannot be shown.\n\n%1").arg(QDir::toNativeSeparators(result)));
    openPending();
}

bool FormBatch::showResult(const QString& path)
{
    // Before shows the frame of the clip each frame of the result was made
    // from.
    const bool shown =
        GdViewer1->displayFile(path, Doc->sourcePath(),
                               ClipControls->sampled() ? ClipControls->plan() : std::vector<TimelineFrame>{});
    showResultInfo();
    return shown;
}

void FormBatch::showResultInfo()
{
    const QLocale locale;
    // A size limit may have made the result smaller or dropped frames (their
    // time going to the frames kept). What is described is what plays: the
    // GIF, or the video saved from it.
    const QString result = GdViewer1->fileName().isEmpty() ? Doc->shownResult() : GdViewer1->fileName();
    const QSize size = GdViewer1->frameCount() > 0 ? GdViewer1->currentImage().size() : QSize();
    const QSize source = Doc->sourceSize();
    const int frames = GdViewer1->frameCount() > 0 ? GdViewer1->frameCount() : Doc->frameCount();
    PageResult->setInfo(
        tr("%1 \u00d7 %2 pixels, %n frames, %3 s, %4", nullptr, frames)
            .arg(size.isValid() ? size.width() : source.width())
            .arg(size.isValid() ? size.height() : source.height())
            .arg(locale.toString(Doc->playingMs() / 1000.0, 'f', 1))
            .arg(locale.formattedDataSize(QFileInfo(result).size(), 2, QLocale::DataSizeTraditionalFormat)));
}

// --- saving and temporary files -----------------------------------------------

void FormBatch::saveResult()
{
    // The first save of a GIF is offered beside it; later ones where the
    // last one went.
    const QString suggested = SuggestedSaveName(Doc->sourcePath(), Doc->chosenVariant());
    const QString folder = saveFolder_.isEmpty() ? QFileInfo(suggested).absolutePath() : saveFolder_;
    const QString gifFilter = tr("GIF File (*.gif)");
    const QString webpFilter = tr("Animated WebP (*.webp)");
    const QString mp4Filter = tr("MP4 video (*.mp4)");
    const QString webmFilter = tr("WebM video (*.webm)");
    QString chosenFilter = gifFilter;
    QString destination = services_.ui->saveFileName(
        this, QStringList{gifFilter, webpFilter, mp4Filter, webmFilter}.join(QStringLiteral(";;")),
        QDir(folder).filePath(QFileInfo(suggested).fileName()), &chosenFilter);
    if (destination.isEmpty())
        return;
    const SaveFormat format = SaveFormatFor(destination, chosenFilter == webpFilter   ? SaveFormat::Webp
                                                         : chosenFilter == mp4Filter  ? SaveFormat::Mp4
                                                         : chosenFilter == webmFilter ? SaveFormat::Webm
                                                                                      : SaveFormat::Gif);
    // The dialog asked about the name as typed; a file under the name with
    // the extension added is not replaced without asking.
    const QString withExtension = WithExtension(destination, format);
    if (withExtension != destination && QFileInfo::exists(withExtension)
        && !services_.ui->ask(this, kAppTitle,
                              tr("%1 already exists.\nDo you want to replace it?")
                                  .arg(QDir::toNativeSeparators(withExtension))))
        return;
    destination = withExtension;
    saveFolder_ = QFileInfo(destination).absolutePath();
    if (format == SaveFormat::Gif) {
        imaging::Error error;
        if (!CopyFileAtomically(Doc->shownResult(), destination, &error))
            services_.ui->warn(this, kAppTitle,
                               tr("The GIF file could not be saved.\n\n%1").arg(ErrorText(error)));
        return;
    }
    // Encoding takes a while for a long animation: it runs in the background
    // with the commands locked and the progress page up. A result fitted
    // under a limit is saved within it too.
    const FittedResult fitted{Doc->sourcePath(), Doc->chosenVariant(), currentSwitches(), Doc->shownBudget(),
                              ClipControls->timeline()};
    savingClip_ = format == SaveFormat::Mp4 || format == SaveFormat::Webm;
    if (savingClip_) {
        // A clip is made from the source's own frames (and sound), not from
        // the GIF's reduced colours.
        beginWork(tr("Saving the video file..."), 0);
        clipDestination_ = destination;
        Work->saveClip(destination, fitted,
                       format == SaveFormat::Mp4 ? imaging::OutputFormat::Mp4 : imaging::OutputFormat::Webm);
        return;
    }
    beginWork(tr("Saving the WebP file..."), 0);
    Work->saveWebp(Doc->shownResult(), destination, fitted);
}

void FormBatch::finishSave(bool ok, const imaging::Error& error)
{
    endWork();
    SetStep(Step::Result);
    // A video is made from the clip's own frames, not from the GIF's
    // colours: what was saved is what plays from now on.
    if (ok && savingClip_ && !showResult(clipDestination_))
        showResult(Doc->shownResult());
    if (!ok && !std::exchange(cancelled_, false))
        services_.ui->warn(this, kAppTitle,
                           (savingClip_ ? tr("The video file could not be saved.\n\n%1")
                                        : tr("The WebP file could not be saved.\n\n%1"))
                               .arg(ErrorText(error)));
    cancelled_ = false;
    openPending();
}

void FormBatch::clearTempResults()
{
    GdViewer1->closeFile();
    Doc->clearResults();
}

} // namespace qf::shell
