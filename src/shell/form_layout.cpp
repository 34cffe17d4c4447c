// The window's construction: its commands, the command bars, the pages
// and the work they start, and the keyboard's way through them.
#include "engine/variants.h"
#include "shell/appearance.h"
#include "shell/clip_bar.h"
#include "shell/document.h"
#include "shell/file_copy.h"
#include "shell/form_batch.h"
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

} // namespace

// --- construction ---------------------------------------------------------

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
    ActOpen = command(tr("Open a GIF, an animated WebP or a video clip"), QStringLiteral("ActOpen"), {},
                      QKeySequence::Open, {});
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
    PageOpen->openButton()->setToolTip(WithShortcut(ActOpen->text(), ActOpen->shortcut()));
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

    PageWork = new WorkPage(Pages);
    PageWork->cancelButton()->setToolTip(WithShortcut(tr("Stop this work"), ActCancel->shortcut()));
    connect(PageWork, &WorkPage::cancelClicked, this, &FormBatch::cancelWork);

    // A long clip's part and rate, above the cards.
    ClipControls = new ClipBar(PageChoose);
    ClipControls->hide();
    PageChoose->addTopRow(ClipControls);

    for (QWidget* page : std::initializer_list<QWidget*>{PageOpen, PageChoose, PageResult, PageWork})
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
        return Work->renderPreview(Doc->sourcePath(), ClipControls->timeline(), variant, currentSwitches(),
                                   box);
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

} // namespace qf::shell
