#include "shell/form_batch.h"

#include "engine/variants.h"
#include "shell/appearance.h"
#include "shell/file_copy.h"
#include "shell/result_viewer.h"
#include "shell/snapshot_list.h"
#include "shell/table_text.h"
#include "shell/temp_results.h"
#include "shell/ui_services.h"
#include "shell/update_reminder.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

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
constexpr QSize kProgressPanelSize(293, 118);
constexpr int kAboutHeight = 30;
constexpr int kSettingsTop = 393;
constexpr QSize kThumbnailSize(112, 84);

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
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())
            && onClick)
            onClick();
    }
};

QString SwitchText(std::string_view text)
{
    return TableText("qf::Switches", text);
}

int SwitchValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

} // namespace

QString NotAnimatedText()
{
    return FormBatch::tr("Please open an animated GIF file");
}

FormBatch::FormBatch(FormServices services, QWidget* parent)
    : QMainWindow(parent)
    , services_(std::move(services))
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

    resize(kClientSize);
    setMinimumSize(420, 300);
    SetStep(1);
    ActNext->setEnabled(false);
    readSettings();
}

FormBatch::~FormBatch()
{
    if (stop_)
        stop_->store(true);
    openWatcher_.waitForFinished();
    convertWatcher_.waitForFinished();
    ClearTempResults();
    if (TempResultFiles)
        TempResultFiles->removeAll();
}

// --- construction ---------------------------------------------------------

void FormBatch::prepareTempResults()
{
    TempResultFiles = std::make_unique<TempResults>(services_.systemTemp);
}

void FormBatch::loadSkin()
{
    if (!services_.skinFile.isEmpty())
        if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
            skinned_ = LoadSkin(*app, services_.skinFile);
}

void FormBatch::createActions()
{
    auto makeCommand = [this](const QString& text, int id, const QIcon& icon,
                              const QString& name) {
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
    ActNext = makeCommand(tr("Next"), ID_NEXT,
                          CommandIcon(CommandGlyph::Next, onAccent, onAccentFaded),
                          QStringLiteral("ID_NEXT"));
    ActSave = makeCommand(tr("Save"), ID_SAVE,
                          CommandIcon(CommandGlyph::Save, onAccent, onAccentFaded),
                          QStringLiteral("ID_SAVE"));
    ActBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    ActNext->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    ActSave->setShortcut(QKeySequence::Save);
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
    connect(BtnOpenFile, &QAbstractButton::clicked, this, &FormBatch::openFile);

    PicAbout = new QWidget(Client);
    PicAbout->setObjectName(QStringLiteral("PicAbout"));
    PicAbout->setAttribute(Qt::WA_StyledBackground);
    auto* aboutLayout = new QHBoxLayout(PicAbout);
    aboutLayout->setContentsMargins(12, 0, 12, 0);
    Label2 = new QLabel(
        tr("Quillframe %1 \u2014 hand-drawn animations from your GIFs")
            .arg(QStringLiteral(QF_VERSION)),
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
    progressLayout->addStretch();
    progressLayout->addWidget(Label1);
    progressLayout->addWidget(ProgressConvert);
    progressLayout->addStretch();
    PicProgress->hide();

    ImageList1 = new ImageList(kThumbnailSize, this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    LVSnapshot = new SnapshotList(Client);
    LVSnapshot->setObjectName(QStringLiteral("LVSnapshot"));
    LVSnapshot->setIconSize(kThumbnailSize);

    GdViewer1 = new ResultViewer(Client);
    GdViewer1->setObjectName(QStringLiteral("GdViewer1"));

    Client->onResize = [this] { layoutClient(); };
}

void FormBatch::createSettingsBox()
{
    // The switches live below the client area, out of sight: their start-up
    // states hold, and every run reads them.
    GroupBox1 = new QGroupBox(tr("Settings"), Client);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* layout = new QVBoxLayout(GroupBox1);
    for (const SwitchInfo& info : kSwitches) {
        auto* box = new QCheckBox(SwitchText(info.label), GroupBox1);
        box->setToolTip(SwitchText(info.help));
        box->setChecked(info.onByDefault);
        layout->addWidget(box);
        SwitchBoxes.append(box);
    }
    GroupBox1->adjustSize();
    GroupBox1->move(0, kSettingsTop);
    GroupBox1->lower();
}

void FormBatch::readSettings()
{
    if (!services_.settings || !services_.clock)
        return;
    // After the window is up, so the question appears over it.
    QTimer::singleShot(0, this, [this] {
        ReminderContext context;
        context.settings = services_.settings.get();
        context.now = services_.clock;
        context.ask = [this](const QString& question) {
            return services_.ui->ask(this, kAppTitle, question);
        };
        context.openMakerSite = [this] { OpenMakerSite(); };
        RunUpdateReminder(context);
    });
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

    LVSnapshot->setGeometry(left, top, width, height);
    LVSnapshot->arrange();
    GdViewer1->setGeometry(left, top, width, height);

    BtnOpenFile->move(left + (width - BtnOpenFile->width()) / 2,
                      top + (height - BtnOpenFile->height()) / 2);
    PicProgress->move(left + (width - PicProgress->width()) / 2,
                      top + (height - PicProgress->height()) / 2);
    PicAbout->setGeometry(left, top + height - kAboutHeight, width, kAboutHeight);
    // The settings box stays just out of sight however large the window grows.
    if (GroupBox1)
        GroupBox1->move(left, top + std::max(height, kSettingsTop));
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

Switches FormBatch::currentSwitches() const
{
    Switches switches;
    for (int i = 0; i < kSwitchCount; ++i)
        switches.*(kSwitches[static_cast<std::size_t>(i)].member) = SwitchValue(SwitchBoxes[i]);
    return switches;
}

// --- long work --------------------------------------------------------------

void FormBatch::beginWork(int progress)
{
    busy_ = true;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    ActBack->setEnabled(false);
    ActNext->setEnabled(false);
    setCursor(Qt::BusyCursor);
    ProgressConvert->setValue(progress);
    PicProgress->show();
    PicProgress->raise();
}

void FormBatch::endWork()
{
    busy_ = false;
    unsetCursor();
    ActBack->setEnabled(true);
    ActNext->setEnabled(true);
}

void FormBatch::showProgress(double percent)
{
    ProgressConvert->setValue(static_cast<int>(std::nearbyint(std::clamp(percent, 0.0, 100.0))));
}

// --- opening ------------------------------------------------------------------

void FormBatch::openFile()
{
    if (busy_)
        return;
    const QString path = services_.ui->openFileName(this, tr("GIF File (*.gif)"));
    if (path.isEmpty())
        return;

    const bool nextWasEnabled = ActNext->isEnabled();
    BtnOpenFile->hide();
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
    connect(&openWatcher_, &QFutureWatcher<OpenOutcome>::finished, this,
            [this, path, nextWasEnabled] {
                const OpenOutcome outcome = openWatcher_.result();
                finishOpen(path, outcome.ok, outcome.gif, outcome.error, nextWasEnabled);
            });
    openWatcher_.setFuture(QtConcurrent::run([work, path, switches, progress] {
        OpenOutcome outcome;
        outcome.ok = work->open(path, switches, progress, &outcome.gif, &outcome.error);
        return outcome;
    }));
}

void FormBatch::finishOpen(const QString& path, bool ok, const OpenedGif& gif,
                           const WorkError& error, bool nextWasEnabled)
{
    if (closing_)
        return;
    endWork();

    if (!ok || (gif.frameCount >= 2 && gif.snapshots.size() != kVariantCount)) {
        // A file that cannot be read as a GIF, or an open the user stopped,
        // changes nothing: the previous GIF, its snapshots and its results
        // stay as they were.
        SetStep(1);
        ActNext->setEnabled(nextWasEnabled);
        if (error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(this, kAppTitle,
                               tr("This file cannot be opened as a GIF.\n\n%1")
                                   .arg(error.message.isEmpty() ? QDir::toNativeSeparators(path)
                                                                : error.message));
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
    FrameCount = gif.frameCount;
    FrameDelays = QVector<int>(FrameCount + 1, 0);
    for (int i = 1; i <= FrameCount && i <= gif.delays.size(); ++i)
        FrameDelays[i] = gif.delays[i - 1];
    ClearTempResults();

    ImageList1->clear();
    for (const QImage& snapshot : gif.snapshots)
        ImageList1->add(snapshot);
    LVSnapshot->showSnapshots(*ImageList1);
    SetStep(2);
}

// --- converting ---------------------------------------------------------------

void FormBatch::ConvertAllFrames()
{
    LVSnapshot->hide();
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
        finishConvert(false, {imaging::ErrorKind::Unwritable, TempResultFiles->error()});
        return;
    }
    const QString target = TempResultFiles->file(ChosenVariant);
    // A variant converted since the GIF was opened is shown as it is.
    if (QFileInfo::exists(target)) {
        finishConvert(true, {});
        return;
    }

    auto work = services_.work;
    auto stop = stop_;
    QPointer<QProgressBar> bar = ProgressConvert;
    const Switches switches = currentSwitches();
    const QString source = SourcePath;
    const int variant = ChosenVariant;
    auto progress = [this, stop, bar](double percent) {
        QMetaObject::invokeMethod(
            bar, [this, percent] { showProgress(percent); }, Qt::QueuedConnection);
        return !stop->load();
    };
    convertWatcher_.disconnect(this);
    connect(&convertWatcher_, &QFutureWatcher<ConvertOutcome>::finished, this, [this] {
        const ConvertOutcome outcome = convertWatcher_.result();
        finishConvert(outcome.ok, outcome.error);
    });
    convertWatcher_.setFuture(
        QtConcurrent::run([work, source, target, variant, switches, progress] {
            ConvertOutcome outcome;
            outcome.ok = work->convert(source, target, variant, switches, progress, &outcome.error);
            return outcome;
        }));
}

void FormBatch::finishConvert(bool ok, const WorkError& error)
{
    if (closing_)
        return;
    endWork();
    if (!ok) {
        // Nothing to show or save: back to the choice, with the reason
        // unless the user stopped the work.
        CurrentStep = 2;
        SetStep(2);
        if (error.kind != imaging::ErrorKind::Cancelled)
            services_.ui->warn(
                this, kAppTitle,
                tr("The GIF file could not be converted.\n\n%1").arg(error.message));
        return;
    }
    const QString result = TempResultFiles->file(ChosenVariant);
    const bool shown = GdViewer1->displayFile(result);
    SetStep(CurrentStep);
    if (!shown)
        services_.ui->warn(this, kAppTitle,
                           tr("The converted GIF cannot be shown.\n\n%1")
                               .arg(QDir::toNativeSeparators(result)));
}

// --- saving and temporary files -----------------------------------------------

void FormBatch::SaveResult()
{
    const QString destination = services_.ui->saveFileName(this, tr("GIF File (*.gif)"));
    if (destination.isEmpty())
        return;
    QString error;
    if (!CopyFileAtomically(TempResultFiles->file(ChosenVariant), destination, &error))
        services_.ui->warn(this, kAppTitle,
                           tr("The GIF file could not be saved.\n\n%1").arg(error));
}

void FormBatch::ClearTempResults()
{
    GdViewer1->closeFile();
    if (TempResultFiles)
        TempResultFiles->clear();
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
    openWatcher_.waitForFinished();
    convertWatcher_.waitForFinished();
    ClearTempResults();
    QMainWindow::closeEvent(event);
}

} // namespace qf::shell
