#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/appearance.h"
#include "shell/clip_bar.h"
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

// A text with the shortcut of the action after it, e.g. "Back (Alt+Left)".
QString WithShortcut(const QString& text, const QKeySequence& shortcut)
{
    return QStringLiteral("%1 (%2)").arg(text, shortcut.toString(QKeySequence::NativeText));
}

// A toolbar whose own margins and spacing stay zero whatever the style says,
// so the buttons can share its whole width to the pixel.
class CommandBar : public QToolBar {
public:
    using QToolBar::QToolBar;

protected:
    bool event(QEvent* event) override
    {
        const bool handled = QToolBar::event(event);
        if (event->type() == QEvent::StyleChange || event->type() == QEvent::Polish
            || event->type() == QEvent::LayoutRequest)
            flatten();
        return handled;
    }

private:
    void flatten()
    {
        if (QLayout* bar = layout()) {
            if (bar->contentsMargins() != QMargins() || bar->spacing() != 0) {
                bar->setContentsMargins(QMargins());
                bar->setSpacing(0);
            }
        }
    }
};

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

const QString kLastOpenFolder = QStringLiteral("LastOpenFolder");
const QString kFitUnder = QStringLiteral("FitUnder"); // bytes, 0 for the original

// The files the open dialog offers: all it opens, then each kind on its
// own. The reader goes by what a file holds, so any file may be tried.
QString OpenFilter()
{
    const QString videos = QStringLiteral("*.mp4 *.m4v *.mov *.webm *.mkv *.avi");
    const QString apng = QStringLiteral("*.apng *.png");
    return QStringList{FormBatch::tr("All supported files (%1)").arg("*.gif *.webp " + apng + ' ' + videos),
                       FormBatch::tr("GIF File (*.gif)"), FormBatch::tr("Animated WebP (*.webp)"),
                       FormBatch::tr("Animated PNG (%1)").arg(apng), FormBatch::tr("Videos (%1)").arg(videos),
                       FormBatch::tr("All files (*)")}
        .join(QStringLiteral(";;"));
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

    prepareTempResults();
    loadSkin();
    createActions();
    createCommandBars();
    createPages();
    createSettingsBox();
    connectWork();
    setTabOrder();
    loadSwitches();

    keepCaptionsWhole();
    resize(588, 392 + ToolbarStep->sizeHint().height() + MainToolBar->sizeHint().height());
    SetStep(Step::Open);
    ActNext->setEnabled(false);
    readSettings();
}

FormBatch::~FormBatch()
{
    Work->stop();
    clearTempResults();
    if (TempResultFiles)
        TempResultFiles->removeAll();
}

// --- construction ---------------------------------------------------------

void FormBatch::prepareTempResults()
{
    TempResultFiles = std::make_unique<TempResults>(services_.systemTemp);
    // Results an earlier run left behind (it was killed before it could
    // clean up) belong to some other GIF.
    if (TempResultFiles->isUsable()) {
        QDir folder(TempResultFiles->folder());
        for (const QString& name :
             folder.entryList({QStringLiteral("qfTmp$_*.gif")}, QDir::Files | QDir::Hidden))
            folder.remove(name);
    }
}

void FormBatch::loadSkin()
{
    if (!services_.skinFile.isEmpty())
        if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
            skinned_ = LoadSkin(*app, services_.skinFile);
}

void FormBatch::createActions()
{
    auto command = [this](const QString& text, const QString& name, const QIcon& icon,
                          const QKeySequence& shortcut, const QString& tip) {
        auto* action = new QAction(icon, text, this);
        action->setObjectName(name);
        action->setShortcut(shortcut);
        if (!tip.isEmpty())
            action->setToolTip(WithShortcut(tip, shortcut));
        addAction(action);
        return action;
    };
    const QColor ink(0x1f, 0x29, 0x37);
    const QColor faded(0xa3, 0xaa, 0xb6);
    // The skin draws Next and Save on the accent colour; the system look
    // draws every button alike.
    const QColor onAccent = skinned_ ? QColor(Qt::white) : ink;
    const QColor onAccentFaded = skinned_ ? QColor(0xf4, 0xf6, 0xfb) : faded;
    ActBack = command(tr("Back"), QStringLiteral("ID_BACK"), CommandIcon(CommandGlyph::Back, ink, faded),
                      QKeySequence(Qt::ALT | Qt::Key_Left), tr("Back to the previous step"));
    ActNext = command(tr("Next"), QStringLiteral("ID_NEXT"),
                      CommandIcon(CommandGlyph::Next, onAccent, onAccentFaded),
                      QKeySequence(Qt::ALT | Qt::Key_Right), tr("Go on to the next step"));
    ActSave = command(tr("Save"), QStringLiteral("ID_SAVE"),
                      CommandIcon(CommandGlyph::Save, onAccent, onAccentFaded), QKeySequence::Save,
                      tr("Save the sketch GIF"));
    ActOpen = command(tr("Open a GIF file"), QStringLiteral("ActOpen"), {}, QKeySequence::Open, {});
    ActQuit = command(tr("Quit"), QStringLiteral("ActQuit"), {}, QKeySequence::Quit, {});
    ActCancel = command(tr("Stop this work"), QStringLiteral("ActCancel"), {}, Qt::Key_Escape, {});
    ActPreview = command(tr("Preview"), QStringLiteral("ActPreview"), {}, Qt::Key_P, {});
    connect(ActBack, &QAction::triggered, this, &FormBatch::goBack);
    connect(ActNext, &QAction::triggered, this, &FormBatch::goNext);
    connect(ActSave, &QAction::triggered, this, &FormBatch::saveResult);
    connect(ActOpen, &QAction::triggered, this, &FormBatch::openFile);
    connect(ActQuit, &QAction::triggered, this, &QWidget::close);
    connect(ActCancel, &QAction::triggered, this, [this] {
        if (isBusy())
            cancelWork();
        else if (BtnOptions->isChecked())
            BtnOptions->setChecked(false);
    });
}

void FormBatch::createCommandBars()
{
    // The menu bar holds no entries and stays hidden, so it takes no room.
    auto* menu = new QMenuBar(this);
    menu->setObjectName(QStringLiteral("MenuBar"));
    menu->setWindowTitle(tr("Menu Bar"));
    setMenuBar(menu);
    menu->hide();

    auto fixedBar = [this](const QString& title, const QString& name) {
        QToolBar* bar = new CommandBar(title, this);
        bar->setObjectName(name);
        bar->setMovable(false);
        bar->setFloatable(false);
        bar->toggleViewAction()->setVisible(false);
        return bar;
    };
    ToolbarStep = fixedBar(tr("Step"), QStringLiteral("ToolbarStep"));
    StepLabel = new QLabel(tr("Step 1: Open a GIF file"), ToolbarStep);
    StepLabel->setObjectName(QStringLiteral("ID_STEP"));
    StepLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ActStep = ToolbarStep->addWidget(StepLabel);
    ActStep->setObjectName(QStringLiteral("ID_STEP_ACTION"));
    ClipControls = new ClipBar(ToolbarStep);
    ActClip = ToolbarStep->addWidget(ClipControls);

    auto* options = new QToolButton(ToolbarStep);
    options->setObjectName(QStringLiteral("BtnOptions"));
    options->setCheckable(true);
    options->setToolButtonStyle(Qt::ToolButtonTextOnly);
    options->setCursor(Qt::PointingHandCursor);
    connect(options, &QAbstractButton::toggled, this, &FormBatch::setOptionsOpen);
    BtnOptions = options;
    ActOptions = ToolbarStep->addWidget(options);
    addToolBar(Qt::TopToolBarArea, ToolbarStep);

    MainToolBar = fixedBar(tr("Commands"), QStringLiteral("MainToolBar"));
    MainToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    for (QAction* action : {ActBack, ActNext, ActSave}) {
        MainToolBar->addAction(action);
        QWidget* button = MainToolBar->widgetForAction(action);
        button->setObjectName(action->objectName() + QStringLiteral("_BUTTON"));
        // Toolbar buttons take no focus by default; these are the wizard's
        // main commands and the keyboard reaches them.
        button->setFocusPolicy(Qt::StrongFocus);
    }
    addToolBar(Qt::BottomToolBarArea, MainToolBar);
}

void FormBatch::createPages()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The line about a damaged file sits above the snapshots and the viewer.
    NoticeBar = new QLabel(client);
    NoticeBar->setObjectName(QStringLiteral("NoticeBar"));
    NoticeBar->setWordWrap(true);
    NoticeBar->setContentsMargins(12, 6, 12, 6);
    NoticeBar->setAutoFillBackground(true);
    QPalette notice = NoticeBar->palette();
    notice.setColor(QPalette::Window, QColor(0xff, 0xf4, 0xd6));
    notice.setColor(QPalette::WindowText, QColor(0x6b, 0x4a, 0x00));
    NoticeBar->setPalette(notice);
    NoticeBar->hide();
    layout->addWidget(NoticeBar);

    Pages = new QStackedWidget(client);
    Pages->setObjectName(QStringLiteral("Pages"));
    layout->addWidget(Pages, 1);

    PageOpen = new OpenPage(Pages);
    PageOpen->setAboutLink(QUrl(kMakerSite).host() + QUrl(kMakerSite).path(), kMakerSite,
                           [this] { openMakerSite(); });
    PageOpen->openButton()->setToolTip(WithShortcut(tr("Open a GIF file"), ActOpen->shortcut()));
    PageOpen->openButton()->installEventFilter(this);
    connect(PageOpen->openButton(), &QAbstractButton::clicked, this, &FormBatch::openFile);

    PageChoose = new ChoosePage(Pages);
    LVSnapshot = PageChoose->list();
    LVSnapshot->installEventFilter(this);
    ImageList1 = new ImageList(QSize(112, 84), this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    connect(ActPreview, &QAction::triggered, PageChoose->previewButton(), &QAbstractButton::click);

    PageResult = new ResultPage(Pages);
    GdViewer1 = PageResult->viewer();

    // The progress page: what runs, how far it is, and Cancel.
    auto* work = new QWidget(Pages);
    work->setObjectName(QStringLiteral("PageWork"));
    PicProgress = new QWidget(work);
    PicProgress->setObjectName(QStringLiteral("PicProgress"));
    PicProgress->setAttribute(Qt::WA_StyledBackground);
    PicProgress->setMinimumWidth(293);
    auto* progressLayout = new QVBoxLayout(PicProgress);
    progressLayout->setContentsMargins(24, 18, 24, 22);
    progressLayout->setSpacing(12);
    Label1 = new QLabel(tr("Please wait..."), PicProgress);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    ProgressConvert = new QProgressBar(PicProgress);
    ProgressConvert->setObjectName(QStringLiteral("ProgressConvert"));
    ProgressConvert->setRange(0, 100);
    ProgressConvert->setTextVisible(false);
    LabelFrames = new QLabel(PicProgress);
    LabelFrames->setObjectName(QStringLiteral("LabelFrames"));
    LabelFrames->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* barRow = new QHBoxLayout;
    barRow->setSpacing(10);
    barRow->addWidget(ProgressConvert, 1);
    barRow->addWidget(LabelFrames);
    auto* cancel = new QPushButton(tr("Cancel"), PicProgress);
    cancel->setObjectName(QStringLiteral("BtnCancel"));
    cancel->setToolTip(WithShortcut(tr("Stop this work"), ActCancel->shortcut()));
    connect(cancel, &QPushButton::clicked, this, &FormBatch::cancelWork);
    progressLayout->addWidget(Label1);
    progressLayout->addLayout(barRow);
    progressLayout->addWidget(cancel, 0, Qt::AlignHCenter);
    auto* centred = new QGridLayout(work);
    centred->addWidget(PicProgress, 0, 0, Qt::AlignCenter);

    for (QWidget* page : std::initializer_list<QWidget*>{PageOpen, PageChoose, PageResult, work})
        Pages->addWidget(page);
}

void FormBatch::connectWork()
{
    Work = new WorkController(services_.work, this);
    connect(Work, &WorkController::progress, this, &FormBatch::showProgress);
    connect(Work, &WorkController::opened, this, &FormBatch::finishOpen);
    connect(Work, &WorkController::converted, this, &FormBatch::finishConvert);
    connect(Work, &WorkController::saved, this, &FormBatch::finishSave);
    connect(PageResult, &ResultPage::fitUnderChosen, this, &FormBatch::refit);
    connect(Work, &WorkController::snapshotsRendered, this, &FormBatch::showSnapshots);
    PageChoose->render = [this](int variant, QSize box) {
        return Work->renderPreview(SourcePath, ClipControls->timeline(), variant, currentSwitches(), box);
    };
    connect(ClipControls, &ClipBar::changed, this, &FormBatch::timelineChanged);
    ClipRedraw = new QTimer(this);
    ClipRedraw->setSingleShot(true);
    ClipRedraw->setInterval(300);
    connect(ClipRedraw, &QTimer::timeout, this, [this] {
        refreshCards();
        const int shown = std::exchange(previewAfterRedraw_, -1);
        if (shown >= 0 && CurrentStep == Step::Choose && !isBusy())
            PageChoose->showPreview(shown);
    });
    connect(Work, &WorkController::previewFrame, PageChoose, &ChoosePage::addPreviewFrame);
    connect(Work, &WorkController::previewDone, PageChoose, &ChoosePage::previewDone);
}

void FormBatch::setTabOrder()
{
    // One chain through every page; hidden widgets are passed over, so each
    // step's own controls come first and the commands after them.
    QList<QWidget*> chain = ClipControls->controls();
    chain << BtnOptions << PageOpen->openButton() << LVSnapshot << PageChoose->preview()
          << PageChoose->previewButton();
    for (QWidget* w = PageChoose->previewControls()->first(); w; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain.append(w);
        if (w == PageChoose->previewControls()->last())
            break;
    }
    chain.append(GdViewer1);
    for (QWidget* w = PageResult->controls()->first(); w; w = w->nextInFocusChain()) {
        if (w->focusPolicy() & Qt::TabFocus)
            chain.append(w);
        if (w == PageResult->controls()->last())
            break;
    }
    chain.append(PageResult->fitControls());
    for (QAction* action : {ActBack, ActNext, ActSave})
        chain.append(MainToolBar->widgetForAction(action));
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void FormBatch::readSettings()
{
    if (services_.settings) {
        openFolder_ = ReadSetting(*services_.settings, kLastOpenFolder);
        PageResult->setFitUnder(ReadSetting(*services_.settings, kFitUnder).toLongLong());
    }
    if (!services_.settings || !services_.clock)
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
}

void FormBatch::keepCaptionsWhole()
{
    // The window is never narrower than the longest step caption beside the
    // Options control (and the clip controls of a long clip), nor lower
    // than the open button needs.
    ensurePolished();
    const QFontMetrics metrics(StepLabel->font());
    int caption = 0;
    for (const QString& text :
         {tr("Step 1: Please open a GIF file"), tr("Step 2: Please select an effect, then click Next"),
          tr("Step 3: Click Save to save the GIF file.")})
        caption = std::max(caption, metrics.horizontalAdvance(text));
    const int clip = ClipControls->applies() ? ClipControls->sizeHint().width() : 0;
    int width = std::max(caption + clip + BtnOptions->sizeHint().width() + 64, 460);
    // On a small screen the clip controls give way (to the bar's overflow menu).
    if (clip > 0 && screen())
        width = std::min(width, std::max(screen()->availableGeometry().width(), width - clip));
    setMinimumSize(width, 360);
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
    ActClip->setVisible(step == Step::Choose && ClipControls->applies());
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
    Label1->setText(text);
    LabelFrames->clear();
    ProgressConvert->setRange(0, 100);
    ProgressConvert->setValue(progress);
    setCursor(Qt::BusyCursor);
    Pages->setCurrentWidget(PicProgress->parentWidget());
    PicProgress->findChild<QPushButton*>(QStringLiteral("BtnCancel"))->setFocus();
}

void FormBatch::endWork()
{
    unsetCursor();
    lockCommands(false);
}

void FormBatch::showProgress(double percent)
{
    percent = std::clamp(percent, 0.0, 100.0);
    ProgressConvert->setValue(static_cast<int>(std::nearbyint(percent)));
    const WorkController::Job job = Work->job();
    if ((job != WorkController::Job::Convert && job != WorkController::Job::Save) || FrameCount <= 0)
        return;
    if (percent >= 100) {
        // Every frame is rendered or encoded; the file is being written.
        if (job == WorkController::Job::Convert)
            Label1->setText(tr("Saving the GIF file..."));
        LabelFrames->clear();
        return;
    }
    // After frame i the work reports i / n * 100; the frame in hand is the
    // next one.
    const int done = static_cast<int>(std::nearbyint(percent * FrameCount / 100.0));
    LabelFrames->setText(tr("Frame %1 of %2").arg(std::min(done + 1, FrameCount)).arg(FrameCount));
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
                               tr("Stop the work in progress and open %1?")
                                   .arg(QFileInfo(path).fileName())))
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
                tr("This file cannot be opened as a GIF.\n\n%1")
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

    SourcePath = path;
    saveFolder_.clear();
    sourceSize_ = QSize(gif.width, gif.height);
    ClipRedraw->stop();
    previewAfterRedraw_ = -1;
    ClipControls->setClip(QFile::encodeName(path).toStdString(), gif.info);
    setFrames(ClipControls->delays().isEmpty() ? gif.delays : ClipControls->delays());
    keepCaptionsWhole();
    cardSwitches_ = currentSwitches();
    cardStart_.reset();
    LabelUpdating->hide();
    LVSnapshot->viewport()->unsetCursor();
    clearTempResults();
    setWindowTitle(QStringLiteral("%1 \u2014 %2").arg(QFileInfo(path).fileName(), kAppTitle));

    ImageList1->clear();
    for (const QImage& snapshot : gif.snapshots)
        ImageList1->add(snapshot);
    LVSnapshot->showSnapshots(*ImageList1);
    PageChoose->forgetPreviews();
    PageChoose->setPictureAspect(double(gif.width) / std::max(1, gif.height));
    notice_ = gif.damagedAfter >= 0 ? tr("The file is damaged after frame %1; %2 frames were read.")
                                          .arg(gif.damagedAfter)
                                          .arg(gif.frameCount)
                                    : QString();
    SetStep(Step::Choose);
    openPending();
}

void FormBatch::setFrames(const QVector<int>& delays)
{
    FrameCount = static_cast<int>(delays.size());
    FrameDelays = QVector<int>{0} + delays;
}

void FormBatch::timelineChanged()
{
    setFrames(ClipControls->delays());
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
    if (SourcePath.isEmpty() || ImageList1->count() == 0 || isBusy()
        || (cardSwitches_ == currentSwitches() && cardStart_ == ClipControls->timeline().start))
        return;
    LabelUpdating->show();
    LVSnapshot->viewport()->setCursor(Qt::BusyCursor); // the cards still show the old choice
    Work->renderSnapshots(SourcePath, currentSwitches(), ClipControls->timeline());
}

void FormBatch::showSnapshots(const QString& path, const Switches& switches, const TimelineOptions& timeline,
                              const OpenedGif& gif)
{
    // A build for another GIF, other switches or another start is thrown
    // away: the build for the current ones is on its way.
    if (path != SourcePath || switches != currentSwitches() || timeline.start != ClipControls->timeline().start
        || gif.snapshots.size() != kVariantCount)
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
        ChosenVariant = ticked;
    if (SourcePath.isEmpty()) {
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
    LabelFrames->setMinimumWidth(LabelFrames->fontMetrics().horizontalAdvance(
        tr("Frame %1 of %2").arg(FrameCount).arg(FrameCount)));

    refitting_ = false;
    convertWithin(PageResult->fitUnder());
}

void FormBatch::convertWithin(long long budget)
{
    if (!TempResultFiles->isUsable()) {
        finishConvert(false, TempResultFiles->error());
        return;
    }
    const Switches switches = currentSwitches();
    QString target = resultFile(ChosenVariant, switches);
    if (budget > 0) // "qfTmp$3_262144.gif"
        target.insert(target.size() - 4, QStringLiteral("_%1").arg(budget));
    shownResult_ = target;
    shownBudget_ = budget;
    // A variant converted with these switches since the GIF was opened is
    // shown as it is; a file this window did not make is never trusted.
    if (convertedFiles_.contains(target) && QFileInfo::exists(target)) {
        finishConvert(true, {});
        return;
    }
    if (!convertedFiles_.contains(target))
        convertedFiles_.append(target);
    showProgress(0);
    Work->convert(SourcePath, ClipControls->timeline(), target, ChosenVariant, switches, budget);
}

void FormBatch::refit(long long budget)
{
    if (isBusy() || CurrentStep != Step::Result || budget == shownBudget_)
        return;
    previousResult_ = shownResult_;
    previousBudget_ = shownBudget_;
    refitting_ = true;
    beginWork(tr("Please wait..."), 0);
    convertWithin(budget);
}

void FormBatch::finishConvert(bool ok, const imaging::Error& error)
{
    endWork();
    const bool cancelled = std::exchange(cancelled_, false);
    const bool refitting = std::exchange(refitting_, false);
    if (cancelled || !ok) {
        if (refitting) {
            // The result shown before stays, with its limit.
            shownResult_ = previousResult_;
            shownBudget_ = previousBudget_;
            PageResult->setFitUnder(shownBudget_);
        }
        // Otherwise nothing to show or save: back to the choice. The reason
        // is said unless the work was stopped. A result finished just before
        // a stop stays in its file for the next time.
        SetStep(refitting ? Step::Result : Step::Choose);
        if (!ok && error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(this, kAppTitle,
                               tr("The GIF file could not be converted.\n\n%1").arg(ErrorText(error)));
        openPending();
        return;
    }
    const QString result = shownResult_;
    if (services_.settings)
        WriteSetting(*services_.settings, kFitUnder, QString::number(shownBudget_));
    // Before shows the frame of the clip each frame of the result was made
    // from.
    const bool shown = GdViewer1->displayFile(result, SourcePath,
                                              ClipControls->sampled() ? ClipControls->plan()
                                                                      : std::vector<TimelineFrame>{});
    showResultInfo();
    SetStep(Step::Result);
    if (!shown)
        services_.ui->warn(
            this, kAppTitle,
            tr("The converted GIF cannot be shown.\n\n%1").arg(QDir::toNativeSeparators(result)));
    openPending();
}

void FormBatch::showResultInfo()
{
    int milliseconds = 0;
    for (int i = 1; i < FrameDelays.size(); ++i)
        milliseconds += PlaybackMs(FrameDelays[i]);
    const QLocale locale;
    // A size limit may have made the result smaller or dropped frames (their
    // time going to the frames kept).
    const QSize size = QImageReader(shownResult_).size();
    PageResult->setInfo(tr("%1 \u00d7 %2 pixels, %3 frames, %4 s, %5")
                            .arg(size.isValid() ? size.width() : sourceSize_.width())
                            .arg(size.isValid() ? size.height() : sourceSize_.height())
                            .arg(GdViewer1->frameCount() > 0 ? GdViewer1->frameCount() : FrameCount)
                            .arg(locale.toString(milliseconds / 1000.0, 'f', 1))
                            .arg(locale.formattedDataSize(QFileInfo(shownResult_).size(), 2,
                                                          QLocale::DataSizeTraditionalFormat)));
}

// --- saving and temporary files -----------------------------------------------

void FormBatch::saveResult()
{
    // The first save of a GIF is offered beside it; later ones where the
    // last one went.
    const QString suggested = SuggestedSaveName(SourcePath, ChosenVariant);
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
        if (!CopyFileAtomically(shownResult_, destination, &error))
            services_.ui->warn(this, kAppTitle,
                               tr("The GIF file could not be saved.\n\n%1").arg(ErrorText(error)));
        return;
    }
    // Encoding takes a while for a long animation: it runs in the background
    // with the commands locked and the progress page up. A result fitted
    // under a limit is saved within it too.
    const FittedResult fitted{SourcePath, ChosenVariant, currentSwitches(), shownBudget_, ClipControls->timeline()};
    savingClip_ = format == SaveFormat::Mp4 || format == SaveFormat::Webm;
    if (savingClip_) {
        // A clip is made from the source's own frames (and sound), not from
        // the GIF's reduced colours.
        beginWork(tr("Saving the video file..."), 0);
        Work->saveClip(destination, fitted,
                       format == SaveFormat::Mp4 ? imaging::OutputFormat::Mp4 : imaging::OutputFormat::Webm);
        return;
    }
    beginWork(tr("Saving the WebP file..."), 0);
    Work->saveWebp(shownResult_, destination, fitted);
}

void FormBatch::finishSave(bool ok, const imaging::Error& error)
{
    endWork();
    SetStep(Step::Result);
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
    if (TempResultFiles)
        TempResultFiles->clear();
    for (const QString& file : std::as_const(convertedFiles_))
        QFile::remove(file);
    convertedFiles_.clear();
}

void FormBatch::openMakerSite()
{
    services_.ui->openUrl(QUrl(kMakerSite));
}

void FormBatch::closeEvent(QCloseEvent* event)
{
    // The window goes at once; the work it leaves stops behind it.
    closing_ = true;
    hide();
    Work->stop();
    clearTempResults();
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
