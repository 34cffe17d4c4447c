#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/appearance.h"
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
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qf::shell {

namespace {

// The one local file a drag carries, or empty text.
QString DroppedFile(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    const QList<QUrl> urls = mime->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile())
        return QString();
    const QString path = urls.front().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

} // namespace

QString NotAnimatedText()
{
    return FormBatch::tr("Please open an animated GIF file");
}

FormBatch::FormBatch(FormServices services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services))
{
    setObjectName(QStringLiteral("FormBatch"));
    setWindowTitle(kAppTitle);
    setWindowIcon(AppIcon());
    setFont(WindowFont());
    setAcceptDrops(true);

    Doc = std::make_unique<Document>(services_.systemTemp);
    // The window's size and place are stored a moment after each change, so
    // closing it writes nothing.
    GeometrySave = new QTimer(this);
    GeometrySave->setSingleShot(true);
    GeometrySave->setInterval(1000);
    connect(GeometrySave, &QTimer::timeout, this, &FormBatch::saveWindowGeometry);
    loadSkin();
    createActions();
    createCommandBars();
    createPages();
    createSettingsBox();
    connectWork();
    setTabOrder();
    loadSwitches();

    updateMinimumSize();
    SetStep(Step::Open);
    ActNext->setEnabled(false);
    readSettings();
}

FormBatch::~FormBatch()
{
    Work->stop();
    GdViewer1->closeFile();
    Doc->removeAll();
}

QString FormBatch::sourcePath() const
{
    return Doc->sourcePath();
}

int FormBatch::frameCount() const
{
    return Doc->frameCount();
}

const QVector<int>& FormBatch::frameDelays() const
{
    return Doc->frameDelays();
}

const TempResults& FormBatch::tempResults() const
{
    return Doc->tempResults();
}

QString FormBatch::resultFile(int variant, const Switches& switches) const
{
    return Doc->resultFile(variant, switches);
}

void FormBatch::readSettings()
{
    // The window opens as it was left, else at two thirds of the screen.
    savedGeometry_ = services_.settings ? ReadSetting(*services_.settings, kWindowGeometry) : QString();
    const QByteArray geometry = QByteArray::fromBase64(savedGeometry_.toLatin1());
    if (geometry.isEmpty() || !restoreGeometry(geometry)) {
        const QSize screenSize = screen() ? screen()->availableGeometry().size() : QSize(1024, 768);
        resize((screenSize * 2 / 3).expandedTo(minimumSize()));
    }
    if (services_.settings) {
        openFolder_ = ReadSetting(*services_.settings, kLastOpenFolder);
        PageResult->setFitUnder(ReadSetting(*services_.settings, kFitUnder).toLongLong());
    }
    // A build without the reminder (QF_UPDATE_REMINDER off) never asks.
    if (!QF_UPDATE_REMINDER || !services_.settings || !services_.clock)
        return;
    // Asked once the window is on screen where the window manager put it,
    // so the question can sit over it (see eventFilter).
    reminderDue_ = true;
}

void FormBatch::runReminder()
{
    reminderDue_ = false;
    ReminderContext context;
    context.settings = services_.settings.get();
    context.now = services_.clock;
    context.ask = [this](const QString& question) { return services_.ui->ask(this, kAppTitle, question); };
    context.openMakerSite = [this] { openMakerSite(); };
    RunUpdateReminder(context);
}

void FormBatch::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (reminderDue_ && windowHandle())
        windowHandle()->installEventFilter(this);
}

void FormBatch::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    shareCommandWidths();
    GeometrySave->start();
}

void FormBatch::moveEvent(QMoveEvent* event)
{
    QMainWindow::moveEvent(event);
    GeometrySave->start();
}

void FormBatch::saveWindowGeometry()
{
    GeometrySave->stop();
    const QString geometry = QString::fromLatin1(saveGeometry().toBase64());
    if (services_.settings && isVisible() && geometry != savedGeometry_)
        WriteSetting(*services_.settings, kWindowGeometry, savedGeometry_ = geometry);
}

void FormBatch::updateMinimumSize()
{
    // As wide as the longest step caption beside the Options control (and
    // as the clip controls), as high as the page of the opened file needs:
    // one whole row of cards with their names and the preview.
    ensurePolished();
    const QFontMetrics metrics(StepLabel->font());
    int caption = 0;
    for (const QString& text :
         {tr("Step 1: Please open a GIF file"), tr("Step 2: Please select an effect, then click Next"),
          tr("Step 3: Click Save to save the GIF file.")})
        caption = std::max(caption, metrics.horizontalAdvance(text));
    const int clip = ClipControls->applies() ? ClipControls->sizeHint().width() : 0;
    const int width = std::max({caption + BtnOptions->sizeHint().width() + 64, clip, 460});
    const int bars = ToolbarStep->sizeHint().height() + MainToolBar->sizeHint().height();
    const int page = std::max(PageChoose->minimumSizeHint().height(), PageOpen->minimumSizeHint().height());
    setMinimumSize(width, std::max(360, bars + page));
}

void FormBatch::shareCommandWidths()
{
    // Back takes half the width and Next or Save the rest less 5 pixels.
    const int half = MainToolBar->width() / 2;
    MainToolBar->widgetForAction(ActBack)->setFixedWidth(half);
    for (QAction* action : {ActNext, ActSave})
        MainToolBar->widgetForAction(action)->setFixedWidth(std::max(0, half - 5));
}

// --- steps and commands ---------------------------------------------------

void FormBatch::setStepCaption(const QString& caption)
{
    StepLabel->setText(caption);
    ActStep->setText(caption);
}

void FormBatch::SetStep(Step step)
{
    if (step != Step::Choose)
        BtnOptions->setChecked(false);
    ActOptions->setVisible(step == Step::Choose);
    ClipControls->setVisible(ClipControls->applies());
    ActPreview->setEnabled(step == Step::Choose);
    NoticeBar->setText(notice_);
    NoticeBar->setVisible(step != Step::Open && !notice_.isEmpty());
    switch (step) {
    case Step::Open:
        setStepCaption(tr("Step 1: Please open a GIF file"));
        Pages->setCurrentWidget(PageOpen);
        ActBack->setEnabled(false);
        ActNext->setEnabled(true);
        ActSave->setVisible(false);
        PageOpen->openButton()->setFocus();
        break;
    case Step::Choose:
        setStepCaption(tr("Step 2: Please select an effect, then click Next"));
        Pages->setCurrentWidget(PageChoose);
        ActBack->setEnabled(true);
        ActNext->setEnabled(true);
        ActNext->setVisible(true);
        ActSave->setVisible(false);
        LVSnapshot->setFocus();
        break;
    case Step::Result:
        setStepCaption(tr("Step 3: Click Save to save the GIF file."));
        Pages->setCurrentWidget(PageResult);
        ActBack->setEnabled(true);
        ActNext->setVisible(false);
        ActSave->setVisible(true);
        GdViewer1->setFocus();
        break;
    }
    CurrentStep = step;
    // The bar shows a command made visible only when it lays itself out,
    // which it would leave for later: until then the keyboard skips Save.
    MainToolBar->layout()->activate();
    shareCommandWidths();
    if (step == Step::Choose)
        refreshCards(); // a change the conversion stopped the redraw of
}

void FormBatch::goBack()
{
    if (CurrentStep == Step::Result)
        SetStep(Step::Choose);
    else
        SetStep(Step::Open);
}

void FormBatch::goNext()
{
    if (CurrentStep == Step::Open)
        SetStep(Step::Choose);
    else
        startConversion(); // sets the step when the work is done
}

bool FormBatch::isBusy() const
{
    return Work->busy();
}

// --- long work --------------------------------------------------------------

void FormBatch::lockCommands(bool locked)
{
    // Locked controls are disabled, so they look it; the step bar dims with
    // them.
    for (QAction* action : {ActBack, ActNext, ActSave, ActOptions, ActOpen, ActPreview})
        action->setEnabled(!locked);
    ToolbarStep->setEnabled(!locked);
    if (locked)
        BtnOptions->setChecked(false);
}

void FormBatch::beginWork(const QString& text, int progress)
{
    stepBeforeWork_ = CurrentStep;
    nextBeforeWork_ = ActNext->isEnabled();
    cancelled_ = false;
    lockCommands(true);
    PageWork->begin(text, progress);
    setCursor(Qt::BusyCursor);
    Pages->setCurrentWidget(PageWork);
    PageWork->cancelButton()->setFocus();
}

void FormBatch::endWork()
{
    unsetCursor();
    lockCommands(false);
}

void FormBatch::showProgress(double percent)
{
    // A fit under a limit may try several sizes: it keeps its own caption
    // and counts no frames.
    const WorkController::Job job = Work->job();
    const bool converting = job == WorkController::Job::Convert && Doc->shownBudget() == 0;
    const bool frames = converting || job == WorkController::Job::Save;
    PageWork->showProgress(percent, frames ? Doc->frameCount() : 0,
                           converting ? tr("Saving the GIF file...") : QString());
}

void FormBatch::cancelWork()
{
    if (!isBusy() || cancelled_)
        return;
    // The work stops at its next frame; the window does not wait for that.
    // It shows the step it came from at once, with the commands locked until
    // the work has ended.
    Work->cancel();
    cancelled_ = true;
    SetStep(stepBeforeWork_);
    lockCommands(true);
}

void FormBatch::openPending()
{
    if (pendingOpen_.isEmpty())
        return;
    const QString path = std::exchange(pendingOpen_, QString());
    QTimer::singleShot(0, this, [this, path] { openPath(path); });
}

void FormBatch::bringToFront(const QString& activationToken)
{
    // The token lets the desktop raise this window for the launch that asked.
    if (!activationToken.isEmpty())
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void FormBatch::openMakerSite()
{
    // Without a browser the address is shown, so it can be copied.
    if (!services_.ui->openUrl(QUrl(kMakerSite)))
        services_.ui->warn(
            this, kAppTitle,
            tr("No web browser could be started. The address of the web site is:\n%1").arg(kMakerSite));
}

void FormBatch::closeEvent(QCloseEvent* event)
{
    // The window goes at once. The work in flight is told to stop but not
    // waited for: the program may end before it has, and what it writes
    // only ever replaces a file whole. The results go with the window.
    closing_ = true;
    if (GeometrySave->isActive())
        saveWindowGeometry();
    hide();
    Work->abandon();
    GdViewer1->closeFile();
    PageChoose->forgetPreviews();
    Doc->removeAll();
    QMainWindow::closeEvent(event);
}

void FormBatch::dragEnterEvent(QDragEnterEvent* event)
{
    if (!isBusy() && !DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        PageOpen->setDragHighlight(true);
    }
}

void FormBatch::dragLeaveEvent(QDragLeaveEvent* event)
{
    QMainWindow::dragLeaveEvent(event);
    PageOpen->setDragHighlight(false);
}

void FormBatch::dropEvent(QDropEvent* event)
{
    PageOpen->setDragHighlight(false);
    const QString path = DroppedFile(event->mimeData());
    if (isBusy() || path.isEmpty())
        return;
    event->acceptProposedAction();
    openPath(path);
}

bool FormBatch::eventFilter(QObject* watched, QEvent* event)
{
    // The first exposure comes after the window manager has placed the
    // window; the reminder waits for it.
    if (watched == windowHandle() && event->type() == QEvent::Expose && reminderDue_
        && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            if (reminderDue_)
                runReminder();
        });
    }
    const bool press = event->type() == QEvent::KeyPress, release = event->type() == QEvent::KeyRelease;
    if (press || release) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Enter and Return press the open button, as Space does.
        if (watched == PageOpen->openButton() && press
            && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
            PageOpen->openButton()->click();
            return true;
        }
        // B held over the cards shows the preview's original.
        if (watched == LVSnapshot && key->key() == Qt::Key_B && !key->isAutoRepeat()) {
            PageChoose->preview()->setShowingOriginal(press);
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace qf::shell
