#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/appearance.h"
#include "shell/file_copy.h"
#include "shell/result_viewer.h"
#include "shell/save_name.h"
#include "shell/snapshot_list.h"
#include "shell/temp_results.h"
#include "shell/ui_services.h"
#include "shell/update_reminder.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWindow>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <utility>

namespace qf::shell {

// The free client area below and above the command bars. It reports every
// change of size so the window can lay its pages out again.
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;
    std::function<void()> onResize;

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (onResize)
            onResize();
    }
};

namespace {

// The client area at start-up and the fixed parts laid out in it, in pixels.
constexpr QSize kClientSize(588, 392);
constexpr QSize kOpenButtonSize(258, 136);
constexpr QSize kProgressPanelSize(293, 150);
constexpr int kAboutHeight = 30;
constexpr int kSettingsTop = 393;
constexpr QSize kThumbnailSize(112, 84);
constexpr int kOptionsMargin = 8; // between the options panel and the client's edge

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
    void changeEvent(QEvent* event) override
    {
        QToolBar::changeEvent(event);
        flatten();
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

// A label that acts on a click, shown with a hand cursor.
class LinkLabel : public QLabel {
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        QLabel::mouseReleaseEvent(event);
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && onClick)
            onClick();
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

    prepareTempResults();
    loadSkin();
    createActions();
    createToolBars();
    createPages();
    createSettingsBox();

    loadSwitches();
    setAcceptDrops(true);

    resize(kClientSize);
    updateMinimumSize();
    SetStep(1);
    ActNext->setEnabled(false);
    readSettings();
}

FormBatch::~FormBatch()
{
    if (stop_)
        stop_->store(true);
    if (snapshotStop_)
        snapshotStop_->store(true);
    if (saveStop_)
        saveStop_->store(true);
    openWatcher_.waitForFinished();
    saveWatcher_.waitForFinished();
    convertWatcher_.waitForFinished();
    snapshotWatcher_.waitForFinished();
    ClearTempResults();
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
    auto makeCommand = [this](const QString& text, int id, const QIcon& icon, const QString& name) {
        auto* action = new QAction(icon, text, this);
        action->setObjectName(name);
        action->setData(id);
        connect(action, &QAction::triggered, this, [this, id] { executeCommand(id); });
        return action;
    };
    const QColor ink(0x1f, 0x29, 0x37);
    const QColor faded(0xa3, 0xaa, 0xb6);
    // The skin draws Next and Save on the accent colour; the system look
    // draws every button alike.
    const QColor onAccent = skinned_ ? QColor(Qt::white) : ink;
    const QColor onAccentFaded = skinned_ ? QColor(0xf4, 0xf6, 0xfb) : faded;
    ActBack = makeCommand(tr("Back"), ID_BACK, CommandIcon(CommandGlyph::Back, ink, faded),
                          QStringLiteral("ID_BACK"));
    ActNext = makeCommand(tr("Next"), ID_NEXT, CommandIcon(CommandGlyph::Next, onAccent, onAccentFaded),
                          QStringLiteral("ID_NEXT"));
    ActSave = makeCommand(tr("Save"), ID_SAVE, CommandIcon(CommandGlyph::Save, onAccent, onAccentFaded),
                          QStringLiteral("ID_SAVE"));
    ActBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    ActNext->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    ActSave->setShortcut(QKeySequence(QKeySequence::Save));
    ActBack->setToolTip(WithShortcut(tr("Back to the previous step"), ActBack->shortcut()));
    ActNext->setToolTip(WithShortcut(tr("Go on to the next step"), ActNext->shortcut()));
    ActSave->setToolTip(WithShortcut(tr("Save the sketch GIF"), ActSave->shortcut()));

    // Ctrl+O opens a GIF at any step where no work runs.
    ActOpen = new QAction(tr("Open a GIF file"), this);
    ActOpen->setShortcut(QKeySequence(QKeySequence::Open));
    connect(ActOpen, &QAction::triggered, this, &FormBatch::openFile);
    addAction(ActOpen);
}

void FormBatch::createToolBars()
{
    // The menu bar holds no entries and stays hidden, so it takes no room.
    auto* menu = new QMenuBar(this);
    menu->setObjectName(QStringLiteral("MenuBar"));
    menu->setWindowTitle(tr("Menu Bar"));
    setMenuBar(menu);
    menu->hide();

    ToolbarStep = new CommandBar(tr("Step"), this);
    ToolbarStep->setObjectName(QStringLiteral("ToolbarStep"));
    ToolbarStep->setProperty("commandId", IDR_TOOLBARSTEP);
    ToolbarStep->setMovable(false);
    ToolbarStep->setFloatable(false);
    ToolbarStep->toggleViewAction()->setVisible(false);
    StepLabel = new QLabel(tr("Step 1: Open a GIF file"), ToolbarStep);
    StepLabel->setObjectName(QStringLiteral("ID_STEP"));
    StepLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    ActStep = ToolbarStep->addWidget(StepLabel);
    ActStep->setObjectName(QStringLiteral("ID_STEP_ACTION"));
    ActStep->setData(ID_STEP);

    auto* options = new QToolButton(ToolbarStep);
    options->setObjectName(QStringLiteral("BtnOptions"));
    options->setCheckable(true);
    options->setToolButtonStyle(Qt::ToolButtonTextOnly);
    options->setCursor(Qt::PointingHandCursor);
    connect(options, &QAbstractButton::toggled, this, &FormBatch::setOptionsOpen);
    BtnOptions = options;
    ActOptions = ToolbarStep->addWidget(options);
    addToolBar(Qt::TopToolBarArea, ToolbarStep);

    MainToolBar = new CommandBar(tr("Commands"), this);
    MainToolBar->setObjectName(QStringLiteral("MainToolBar"));
    MainToolBar->setProperty("commandId", IDR_MAINTOOLBAR);
    MainToolBar->setMovable(false);
    MainToolBar->setFloatable(false);
    MainToolBar->toggleViewAction()->setVisible(false);
    MainToolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    // Back takes half the width and Next or Save the rest less 5 pixels.
    MainToolBar->addAction(ActBack);
    MainToolBar->addAction(ActNext);
    MainToolBar->addAction(ActSave);
    addToolBar(Qt::BottomToolBarArea, MainToolBar);
    for (QAction* action : {ActBack, ActNext, ActSave})
        if (QWidget* button = MainToolBar->widgetForAction(action))
            button->setObjectName(action->objectName() + QStringLiteral("_BUTTON"));
}

void FormBatch::createPages()
{
    Client = new ClientArea(this);
    Client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(Client);

    auto* open = new QToolButton(Client);
    open->setText(tr("Click Here to Open Your GIF File"));
    open->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    open->setIcon(OpenIcon(QColor(0x3f, 0x6e, 0xe8)));
    open->setIconSize(QSize(48, 48));
    open->setAutoRaise(false);
    BtnOpenFile = open;
    BtnOpenFile->setObjectName(QStringLiteral("BtnOpenFile"));
    BtnOpenFile->setFixedSize(kOpenButtonSize);
    BtnOpenFile->setCursor(Qt::PointingHandCursor);
    BtnOpenFile->setFocusPolicy(Qt::StrongFocus);
    BtnOpenFile->setToolTip(WithShortcut(tr("Open a GIF file"), ActOpen->shortcut()));
    BtnOpenFile->installEventFilter(this);
    connect(BtnOpenFile, &QAbstractButton::clicked, this, &FormBatch::openFile);

    PicAbout = new QWidget(Client);
    PicAbout->setObjectName(QStringLiteral("PicAbout"));
    PicAbout->setAttribute(Qt::WA_StyledBackground);
    auto* aboutLayout = new QHBoxLayout(PicAbout);
    aboutLayout->setContentsMargins(12, 0, 12, 0);
    Label2 = new QLabel(
        tr("Quillframe %1 \u2014 hand-drawn animations from your GIFs").arg(QStringLiteral(QF_VERSION)),
        PicAbout);
    Label2->setObjectName(QStringLiteral("Label2"));
    auto* link = new LinkLabel(QUrl(kMakerSite).host() + QUrl(kMakerSite).path(), PicAbout);
    link->setObjectName(QStringLiteral("Label3"));
    link->setCursor(Qt::PointingHandCursor);
    QFont linkFont = link->font();
    linkFont.setUnderline(true);
    link->setFont(linkFont);
    link->setForegroundRole(QPalette::Link);
    link->setToolTip(kMakerSite);
    link->onClick = [this] { OpenMakerSite(); };
    Label3 = link;
    aboutLayout->addWidget(Label2, 1);
    aboutLayout->addWidget(Label3);

    PicProgress = new QWidget(Client);
    PicProgress->setObjectName(QStringLiteral("PicProgress"));
    PicProgress->setAttribute(Qt::WA_StyledBackground);
    PicProgress->setFixedSize(kProgressPanelSize);
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
    auto* barRow = new QHBoxLayout;
    barRow->setSpacing(10);
    barRow->addWidget(ProgressConvert, 1);
    barRow->addWidget(LabelFrames);
    auto* cancel = new QPushButton(tr("Cancel"), PicProgress);
    cancel->setObjectName(QStringLiteral("BtnCancel"));
    cancel->setToolTip(WithShortcut(tr("Stop this work"), QKeySequence(Qt::Key_Escape)));
    connect(cancel, &QPushButton::clicked, this, &FormBatch::cancelWork);
    BtnCancel = cancel;
    auto* escape = new QAction(this);
    escape->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(escape, &QAction::triggered, this, [this] {
        if (busy_)
            cancelWork();
        else if (BtnOptions->isChecked())
            BtnOptions->setChecked(false);
    });
    addAction(escape);
    progressLayout->addStretch();
    progressLayout->addWidget(Label1);
    progressLayout->addLayout(barRow);
    progressLayout->addWidget(BtnCancel, 0, Qt::AlignHCenter);
    progressLayout->addStretch();
    PicProgress->hide();

    NoticeBar = new QLabel(Client);
    NoticeBar->setObjectName(QStringLiteral("NoticeBar"));
    NoticeBar->setWordWrap(true);
    NoticeBar->setContentsMargins(12, 6, 12, 6);
    NoticeBar->setAutoFillBackground(true);
    QPalette notice = NoticeBar->palette();
    notice.setColor(QPalette::Window, QColor(0xff, 0xf4, 0xd6));
    notice.setColor(QPalette::WindowText, QColor(0x6b, 0x4a, 0x00));
    NoticeBar->setPalette(notice);
    NoticeBar->hide();

    ImageList1 = new ImageList(kThumbnailSize, this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    LVSnapshot = new SnapshotList(Client);
    LVSnapshot->setObjectName(QStringLiteral("LVSnapshot"));
    LVSnapshot->setIconSize(kThumbnailSize);
    LVSnapshot->setFocusPolicy(Qt::StrongFocus);

    GdViewer1 = new ResultViewer(Client);
    GdViewer1->setObjectName(QStringLiteral("GdViewer1"));

    Client->onResize = [this] { layoutClient(); };
}

void FormBatch::readSettings()
{
    if (services_.settings)
        openFolder_ = ReadSetting(*services_.settings, kLastOpenFolder);
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
    context.openMakerSite = [this] { OpenMakerSite(); };
    RunUpdateReminder(context);
}

void FormBatch::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (reminderDue_ && windowHandle())
        windowHandle()->installEventFilter(this);
}

// --- layout ---------------------------------------------------------------

void FormBatch::layoutClient()
{
    const QRect free = Client->rect();
    const int left = free.left();
    const int top = free.top();
    const int width = free.width();
    const int height = free.height();

    const int backWidth = width / 2;
    if (QWidget* back = MainToolBar->widgetForAction(ActBack))
        back->setFixedWidth(backWidth);
    for (QAction* action : {ActNext, ActSave})
        if (QWidget* button = MainToolBar->widgetForAction(action))
            button->setFixedWidth(backWidth - 5);

    // The line about a damaged file sits above the snapshots and the viewer.
    int noticeHeight = 0;
    if (!NoticeBar->isHidden()) {
        noticeHeight = NoticeBar->heightForWidth(width);
        NoticeBar->setGeometry(left, top, width, noticeHeight);
    }
    LVSnapshot->setGeometry(left, top + noticeHeight, width, height - noticeHeight);
    LVSnapshot->arrange();
    GdViewer1->setGeometry(left, top + noticeHeight, width, height - noticeHeight);

    BtnOpenFile->move(left + (width - BtnOpenFile->width()) / 2, top + (height - BtnOpenFile->height()) / 2);
    PicProgress->move(left + (width - PicProgress->width()) / 2, top + (height - PicProgress->height()) / 2);
    PicAbout->setGeometry(left, top + height - kAboutHeight, width, kAboutHeight);
    // Asked for, the settings box floats over the snapshots' top right
    // corner; otherwise it waits below the client area.
    if (GroupBox1->isHidden()) {
        GroupBox1->move(left, top + std::max(height, kSettingsTop));
    } else {
        const QSize box = GroupBox1->sizeHint();
        GroupBox1->setGeometry(left + std::max(0, width - box.width() - kOptionsMargin),
                               top + noticeHeight + kOptionsMargin, box.width(), box.height());
        GroupBox1->raise();
    }
}

void FormBatch::updateMinimumSize()
{
    // Wide enough for the longest step caption beside the Options control
    // and for the about line; high enough for the open button over the
    // about strip, the progress panel and the options.
    for (QWidget* widget : std::initializer_list<QWidget*>{StepLabel, BtnOptions, Label2, Label3, GroupBox1,
                                                           ToolbarStep, MainToolBar})
        widget->ensurePolished();
    const QString shown = StepLabel->text();
    int stepWidth = 0;
    for (const QString& caption :
         {tr("Step 1: Please open a GIF file"), tr("Step 2: Please select an effect, then click Next"),
          tr("Step 3: Click Save to save the GIF file.")}) {
        StepLabel->setText(caption);
        stepWidth = std::max(stepWidth, StepLabel->sizeHint().width());
    }
    StepLabel->setText(shown);
    const QString options = BtnOptions->text();
    BtnOptions->setText(tr("&Options \u25cf"));
    stepWidth += BtnOptions->sizeHint().width() + 8;
    BtnOptions->setText(options);

    const QMargins about = PicAbout->layout()->contentsMargins();
    const int aboutWidth = Label2->sizeHint().width() + Label3->sizeHint().width()
                           + PicAbout->layout()->spacing() + about.left() + about.right() + 8;
    const int width =
        std::max({stepWidth, aboutWidth, kOpenButtonSize.width() + 24, kProgressPanelSize.width() + 24,
                  GroupBox1->sizeHint().width() + 2 * kOptionsMargin});
    const int client =
        std::max({kOpenButtonSize.height() + 2 * (kAboutHeight + 8), kProgressPanelSize.height() + 24,
                  GroupBox1->sizeHint().height() + 2 * kOptionsMargin});
    const int height = client + ToolbarStep->sizeHint().height() + MainToolBar->sizeHint().height();
    setMinimumSize(std::max(width, 420), std::max(height, 300));
}

// --- steps and commands ---------------------------------------------------

QAction* FormBatch::findControl(int id) const
{
    for (QAction* action : {ActBack, ActNext, ActSave, ActStep})
        if (action && action->data().toInt() == id)
            return action;
    return nullptr;
}

void FormBatch::setStepCaption(const QString& caption)
{
    StepLabel->setText(caption);
    ActStep->setText(caption);
}

void FormBatch::SetStep(int step)
{
    step = std::clamp(step, 1, 3);
    PicProgress->hide();
    if (step != 2)
        BtnOptions->setChecked(false);
    ActOptions->setVisible(step == 2);
    NoticeBar->setText(notice_);
    NoticeBar->setVisible(step != 1 && !notice_.isEmpty());
    switch (step) {
    case 1:
        setStepCaption(tr("Step 1: Please open a GIF file"));
        LVSnapshot->hide();
        GdViewer1->hide();
        BtnOpenFile->show();
        PicAbout->show();
        ActBack->setEnabled(false);
        ActNext->setEnabled(true);
        ActSave->setVisible(false);
        break;
    case 2:
        setStepCaption(tr("Step 2: Please select an effect, then click Next"));
        BtnOpenFile->hide();
        PicAbout->hide();
        GdViewer1->hide();
        LVSnapshot->show();
        ActBack->setEnabled(true);
        ActNext->setEnabled(true);
        ActNext->setVisible(true);
        ActSave->setVisible(false);
        break;
    case 3:
        setStepCaption(tr("Step 3: Click Save to save the GIF file."));
        BtnOpenFile->hide();
        PicAbout->hide();
        LVSnapshot->hide();
        GdViewer1->show();
        ActBack->setEnabled(true);
        ActNext->setVisible(false);
        ActSave->setVisible(true);
        break;
    }
    CurrentStep = step;
    // A button that was hidden gets its width again.
    layoutClient();
    // The keyboard starts where the step's work is.
    if (step == 1)
        BtnOpenFile->setFocus();
    else if (step == 2)
        LVSnapshot->setFocus();
}

void FormBatch::executeCommand(int id)
{
    if (busy_)
        return;
    switch (id) {
    case ID_BACK:
        --CurrentStep;
        SetStep(CurrentStep);
        break;
    case ID_NEXT:
        ++CurrentStep;
        if (CurrentStep == 3)
            ConvertAllFrames(); // sets the step when the work is done
        else
            SetStep(CurrentStep);
        break;
    case ID_SAVE:
        SaveResult();
        break;
    default:
        break;
    }
}

// --- long work --------------------------------------------------------------

void FormBatch::beginWork(int progress)
{
    busy_ = true;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    BtnOptions->setChecked(false);
    ActOptions->setEnabled(false);
    ActBack->setEnabled(false);
    ActNext->setEnabled(false);
    Label1->setText(tr("Please wait..."));
    LabelFrames->setVisible(countingFrames_);
    LabelFrames->clear();
    BtnCancel->setEnabled(true);
    setCursor(Qt::BusyCursor);
    ProgressConvert->setValue(progress);
    PicProgress->show();
    PicProgress->raise();
    BtnCancel->setFocus();
}

void FormBatch::endWork()
{
    busy_ = false;
    countingFrames_ = false;
    ActOptions->setEnabled(true);
    unsetCursor();
    ActBack->setEnabled(true);
    ActNext->setEnabled(true);
}

void FormBatch::showProgress(double percent)
{
    percent = std::clamp(percent, 0.0, 100.0);
    ProgressConvert->setValue(static_cast<int>(std::nearbyint(percent)));
    if (countingFrames_ && FrameCount > 0) {
        // After frame i the work reports i / n * 100; the frame in hand is
        // the next one.
        const int done = static_cast<int>(std::nearbyint(percent * FrameCount / 100.0));
        LabelFrames->setText(tr("Frame %1 of %2").arg(std::min(done + 1, FrameCount)).arg(FrameCount));
    }
}

void FormBatch::cancelWork()
{
    if (!busy_ || !stop_ || cancelled_)
        return;
    // The work stops at its next frame; the window does not wait for that.
    // It shows the step it came from at once, with the commands off until
    // the work has ended.
    stop_->store(true);
    cancelled_ = true;
    CurrentStep = stepBeforeWork_;
    SetStep(stepBeforeWork_);
    ActBack->setEnabled(false);
    ActNext->setEnabled(false);
    ActOptions->setEnabled(false);
}

void FormBatch::openPending()
{
    if (pendingOpen_.isEmpty())
        return;
    const QString path = std::exchange(pendingOpen_, QString());
    QTimer::singleShot(0, this, [this, path] { openPath(path); });
}

void FormBatch::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

// --- opening ------------------------------------------------------------------

void FormBatch::openFile()
{
    if (busy_)
        return;
    const QString path = services_.ui->openFileName(
        this, tr("GIF File (*.gif)") + QStringLiteral(";;") + tr("Animated WebP (*.webp)"), openFolder_);
    if (!path.isEmpty())
        openPath(path);
}

void FormBatch::openPath(const QString& path)
{
    if (path.isEmpty() || closing_)
        return;
    if (busy_) {
        pendingOpen_ = path;
        return;
    }
    // Thumbnails being redrawn for the previous GIF are no longer wanted.
    if (snapshotStop_)
        snapshotStop_->store(true);
    snapshotsWanted_ = false;

    openFolder_ = QFileInfo(path).absolutePath();
    if (services_.settings)
        WriteSetting(*services_.settings, kLastOpenFolder, openFolder_);

    const bool nextWasEnabled = ActNext->isEnabled();
    stepBeforeWork_ = CurrentStep;
    BtnOpenFile->hide();
    LVSnapshot->hide();
    GdViewer1->hide();
    NoticeBar->hide();
    beginWork(50);

    auto work = services_.work;
    auto stop = stop_;
    QPointer<QProgressBar> bar = ProgressConvert;
    const Switches switches = currentSwitches();
    auto progress = [this, stop, bar](double percent) {
        QMetaObject::invokeMethod(
            bar, [this, percent] { showProgress(percent); }, Qt::QueuedConnection);
        return !stop->load();
    };
    openWatcher_.disconnect(this);
    connect(&openWatcher_, &QFutureWatcher<OpenOutcome>::finished, this, [this, path, nextWasEnabled] {
        const OpenOutcome outcome = openWatcher_.result();
        finishOpen(path, outcome.ok, outcome.gif, outcome.error, nextWasEnabled);
        openPending();
    });
    openWatcher_.setFuture(QtConcurrent::run([work, path, switches, progress] {
        OpenOutcome outcome;
        outcome.ok = work->open(path, switches, progress, &outcome.gif, &outcome.error);
        return outcome;
    }));
}

void FormBatch::finishOpen(const QString& path, bool ok, const OpenedGif& gif, const imaging::Error& error,
                           bool nextWasEnabled)
{
    if (closing_)
        return;
    endWork();

    if (std::exchange(cancelled_, false)) {
        // Stopped by the user, even when the work had just finished: the
        // window stays as it was before.
        SetStep(stepBeforeWork_);
        if (stepBeforeWork_ == 1)
            ActNext->setEnabled(nextWasEnabled);
        return;
    }
    if (!ok || (gif.frameCount >= 2 && gif.snapshots.size() != kVariantCount)) {
        // A file that cannot be read as a GIF, or an open the user stopped,
        // changes nothing: the previous GIF, its snapshots and its results
        // stay as they were, and the window goes back to where it was.
        SetStep(stepBeforeWork_);
        if (stepBeforeWork_ == 1)
            ActNext->setEnabled(nextWasEnabled);
        if (error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(
                this, kAppTitle,
                tr("This file cannot be opened as a GIF.\n\n%1")
                    .arg(ErrorText(error).isEmpty() ? QDir::toNativeSeparators(path) : ErrorText(error)));
        return;
    }
    if (gif.frameCount <= 1) {
        // Refused. The document keeps the previous GIF, so Next leads back to
        // its snapshots and results rather than mixing the two files.
        SetStep(1);
        services_.ui->inform(this, kAppTitle, NotAnimatedText());
        return;
    }

    SourcePath = path;
    saveFolder_.clear();
    FrameCount = gif.frameCount;
    FrameDelays = QVector<int>(FrameCount + 1, 0);
    for (int i = 1; i <= FrameCount && i <= gif.delays.size(); ++i)
        FrameDelays[i] = gif.delays[i - 1];
    ClearTempResults();

    ImageList1->clear();
    for (const QImage& snapshot : gif.snapshots)
        ImageList1->add(snapshot);
    LVSnapshot->showSnapshots(*ImageList1);
    notice_ = gif.damagedAfter >= 0 ? tr("The file is damaged after frame %1; %2 frames were read.")
                                          .arg(gif.damagedAfter)
                                          .arg(FrameCount)
                                    : QString();
    CurrentStep = 2;
    SetStep(2);
}

// --- converting ---------------------------------------------------------------

void FormBatch::ConvertAllFrames()
{
    LVSnapshot->hide();
    countingFrames_ = true;
    stepBeforeWork_ = 2;
    beginWork(0);
    GdViewer1->closeFile();

    const int ticked = LVSnapshot->firstTickedRow();
    if (ticked >= 0)
        ChosenVariant = ticked;

    if (SourcePath.isEmpty()) {
        // Nothing was opened yet: the same answer as for a still GIF.
        endWork();
        CurrentStep = 2;
        SetStep(2);
        services_.ui->inform(this, kAppTitle, NotAnimatedText());
        return;
    }
    if (!TempResultFiles->isUsable()) {
        finishConvert(false, TempResultFiles->error());
        return;
    }
    const Switches switches = currentSwitches();
    const QString target = resultFile(ChosenVariant, switches);
    shownResult_ = target;
    // A variant converted with these switches since the GIF was opened is
    // shown as it is; a file this window did not make is never trusted.
    if (convertedFiles_.contains(target) && QFileInfo::exists(target)) {
        finishConvert(true, {});
        return;
    }
    if (!convertedFiles_.contains(target))
        convertedFiles_.append(target);
    showProgress(0);

    auto work = services_.work;
    auto stop = stop_;
    QPointer<QProgressBar> bar = ProgressConvert;
    const QString source = SourcePath;
    const int variant = ChosenVariant;
    auto progress = [this, stop, bar](double percent) {
        QMetaObject::invokeMethod(
            bar, [this, percent] { showProgress(percent); }, Qt::QueuedConnection);
        return !stop->load();
    };
    convertWatcher_.disconnect(this);
    connect(&convertWatcher_, &QFutureWatcher<WorkOutcome>::finished, this, [this] {
        const WorkOutcome outcome = convertWatcher_.result();
        finishConvert(outcome.ok, outcome.error);
        openPending();
    });
    convertWatcher_.setFuture(QtConcurrent::run([work, source, target, variant, switches, progress] {
        WorkOutcome outcome;
        outcome.ok = work->convert(source, target, variant, switches, progress, &outcome.error);
        return outcome;
    }));
}

void FormBatch::finishConvert(bool ok, const imaging::Error& error)
{
    if (closing_)
        return;
    endWork();
    if (std::exchange(cancelled_, false)) {
        // A result finished just before the stop stays in its file for the
        // next time; the user asked to go back to the choice.
        CurrentStep = 2;
        SetStep(2);
        return;
    }
    if (!ok) {
        // Nothing to show or save: back to the choice, with the reason
        // unless the work was stopped.
        CurrentStep = 2;
        SetStep(2);
        if (error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(this, kAppTitle,
                               tr("The GIF file could not be converted.\n\n%1").arg(ErrorText(error)));
        return;
    }
    const QString result = shownResult_;
    const bool shown = GdViewer1->displayFile(result);
    SetStep(CurrentStep);
    if (!shown)
        services_.ui->warn(
            this, kAppTitle,
            tr("The converted GIF cannot be shown.\n\n%1").arg(QDir::toNativeSeparators(result)));
}

// --- saving and temporary files -----------------------------------------------

void FormBatch::SaveResult()
{
    // The first save of a GIF is offered beside it; later ones where the
    // last one went.
    const QString suggested = SuggestedSaveName(SourcePath, ChosenVariant);
    const QString folder = saveFolder_.isEmpty() ? QFileInfo(suggested).absolutePath() : saveFolder_;
    const QString gifFilter = tr("GIF File (*.gif)");
    const QString webpFilter = tr("Animated WebP (*.webp)");
    QString chosenFilter = gifFilter;
    QString destination =
        services_.ui->saveFileName(this, gifFilter + QStringLiteral(";;") + webpFilter,
                                   QDir(folder).filePath(QFileInfo(suggested).fileName()), &chosenFilter);
    if (destination.isEmpty())
        return;
    const SaveFormat format =
        SaveFormatFor(destination, chosenFilter == webpFilter ? SaveFormat::Webp : SaveFormat::Gif);
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
    // Encoding takes a while for a long animation: it runs on a worker with
    // the commands locked, and closing the window stops it.
    busy_ = true;
    const QList<QAction*> locked{ActBack, ActNext, ActSave, ActOptions};
    QList<bool> enabled;
    for (QAction* action : locked) {
        enabled.append(action->isEnabled());
        action->setEnabled(false);
    }
    setCursor(Qt::BusyCursor);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    saveStop_ = stop;
    const QString source = shownResult_;
    saveWatcher_.disconnect(this);
    connect(&saveWatcher_, &QFutureWatcher<WorkOutcome>::finished, this, [this, locked, enabled] {
        const WorkOutcome outcome = saveWatcher_.result();
        if (closing_)
            return;
        busy_ = false;
        unsetCursor();
        for (qsizetype i = 0; i < locked.size(); ++i)
            locked[i]->setEnabled(enabled[i]);
        if (!outcome.ok)
            services_.ui->warn(this, kAppTitle,
                               tr("The WebP file could not be saved.\n\n%1").arg(ErrorText(outcome.error)));
        openPending();
    });
    saveWatcher_.setFuture(QtConcurrent::run([source, destination, stop] {
        WorkOutcome outcome;
        outcome.ok = WriteWebpFromGif(source, destination, &outcome.error, [stop] { return stop->load(); });
        return outcome;
    }));
}

void FormBatch::ClearTempResults()
{
    GdViewer1->closeFile();
    if (TempResultFiles)
        TempResultFiles->clear();
    for (const QString& file : std::as_const(convertedFiles_))
        QFile::remove(file);
    convertedFiles_.clear();
}

void FormBatch::OpenMakerSite()
{
    services_.ui->openUrl(QUrl(kMakerSite));
}

void FormBatch::closeEvent(QCloseEvent* event)
{
    closing_ = true;
    if (stop_)
        stop_->store(true);
    if (snapshotStop_)
        snapshotStop_->store(true);
    if (saveStop_)
        saveStop_->store(true);
    openWatcher_.waitForFinished();
    saveWatcher_.waitForFinished();
    convertWatcher_.waitForFinished();
    snapshotWatcher_.waitForFinished();
    ClearTempResults();
    QMainWindow::closeEvent(event);
}

void FormBatch::dragEnterEvent(QDragEnterEvent* event)
{
    if (!busy_ && !DroppedFile(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void FormBatch::dropEvent(QDropEvent* event)
{
    const QString path = DroppedFile(event->mimeData());
    if (busy_ || path.isEmpty())
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
    // Enter and Return press the open button, as Space does.
    if (watched == BtnOpenFile && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            BtnOpenFile->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace qf::shell
