// FormBatch: the one window of the program, a three-step wizard.
//
//   1. Open: a big button (or a drop) picks a GIF or animated WebP; a still
//      one is refused.
//   2. Choose: frame 1 in all 17 effect variants, one ticked, and a preview
//      that plays the first seconds of the card under the pointer or of the
//      ticked one.
//   3. View and save: every frame converted with the ticked variant into the
//      variant's temporary result file, played in the viewer, saved on demand.
//
// Each step is a page of a stack; the commands Back, Next and Save sit on the
// toolbar MainToolBar, the step's instruction on ToolbarStep with the Options
// control of step 2. The pages own their controls, the Document the opened
// file and its results. All long work runs in the WorkController; while a
// job that changes the document runs, the commands are locked and the
// progress page shows, and Cancel (or Esc) stops it. A GIF comes in through
// the open button, Ctrl+O, a drop, the command line or a second launch, all
// by the same road (openPath).
#pragma once

#include "engine/engine.h"
#include "shell/image_work.h"

#include <QDateTime>
#include <QMainWindow>
#include <QString>
#include <QVector>

#include <functional>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QSlider;
class QAbstractButton;
class QStackedWidget;
class QTimer;
class QToolBar;

namespace qf::shell {

Q_NAMESPACE

// The wizard's steps, in order.
enum class Step { Open = 1, Choose = 2, Result = 3 };
Q_ENUM_NS(Step)

class ChoosePage;
class ClipBar;
class Document;
class ImageList;
class OpenPage;
class ResultPage;
class ResultViewer;
class SettingsStore;
class SnapshotList;
class TempResults;
class UiServices;
class WorkController;
class WorkPage;

inline const QString kAppTitle = QStringLiteral("Quillframe");
// The maker's web site: the about panel's link and the update reminder.
inline const QString kMakerSite = QStringLiteral("https://morvane.example/quillframe/");

// What the window remembers, under these names in the settings store.
inline const QString kLastOpenFolder = QStringLiteral("LastOpenFolder");
inline const QString kFitUnder = QStringLiteral("FitUnder"); // bytes, 0 for the original
inline const QString kWindowGeometry = QStringLiteral("WindowGeometry");

// The refusal of a GIF with fewer than two frames, in the user's language.
QString NotAnimatedText();

// Everything the window needs from outside; tests replace each part.
struct FormServices {
    std::shared_ptr<UiServices> ui;
    std::shared_ptr<SettingsStore> settings;
    std::function<QDateTime()> clock; // local time, for the update reminder
    std::shared_ptr<ImageWork> work;
    QString systemTemp; // where the private temporary folder goes
    QString skinFile;   // empty: keep the current look
};

// The real services: desktop dialogs, QSettings, the system clock, the frame
// pipeline, the system temporary folder and the skin beside the executable.
FormServices DesktopServices();

class FormBatch : public QMainWindow {
    Q_OBJECT
public:
    explicit FormBatch(FormServices services, QWidget* parent = nullptr);
    ~FormBatch() override;

    // Puts the window into a step.
    void SetStep(Step step);
    Step currentStep() const { return CurrentStep; }

    // Opens the file at path, as choosing it in the open dialog does. While
    // work runs the user is asked whether to stop it for the new file.
    void openPath(const QString& path);
    // Stops the opening, conversion or save in progress; the window goes back
    // to where it was before, with nothing half-written left behind.
    void cancelWork();
    // Shows the window in front of the others, restored if minimised;
    // activationToken is the one the launch that asked for it was given.
    void bringToFront(const QString& activationToken = {});

    // True while a GIF is being opened, converted or saved.
    bool isBusy() const;

    // The document: the opened GIF and the last conversion.
    const Document& document() const { return *Doc; }
    QString sourcePath() const;
    int frameCount() const;
    // Index 0 unused; index i holds the delay of frame i.
    const QVector<int>& frameDelays() const;
    const TempResults& tempResults() const;

    // The five switches of the settings box as the engine reads them.
    Switches currentSwitches() const;
    // The temporary result file of the variant converted with the switches.
    QString resultFile(int variant, const Switches& switches) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Construction, in the order the constructor runs it.
    void loadSkin();
    void createActions();
    void createCommandBars();
    void createPages();
    void createSettingsBox();
    void connectWork();
    void setTabOrder();
    void readSettings();

    void runReminder();
    void saveWindowGeometry();
    void shareCommandWidths();
    // The window is never narrower than the step captions need, nor lower
    // than the page of the opened file needs.
    void updateMinimumSize();

    // The switches: stored under their own keys, shown by Options.
    void loadSwitches();
    void switchChanged();
    void restoreDefaultSwitches();
    void setOptionsOpen(bool open);
    void updateOptionsControl();

    // Commands.
    void goBack();
    void goNext();
    void openFile();
    void saveResult();
    void openMakerSite();

    // The document's work and what comes of it.
    void startConversion();
    void finishOpen(const QString& path, bool ok, const OpenedGif& gif, const imaging::Error& error);
    // The clip controls changed: the frames, the results, and in a moment
    // the cards and the preview follow.
    void timelineChanged();
    // Redraws the cards in the background unless they show the switches
    // and the start of the clip chosen now.
    void refreshCards();
    void finishConvert(bool ok, const imaging::Error& error);
    // Converts the chosen variant within budget bytes (0: the default output).
    void convertWithin(long long budget);
    // Converts the shown result again within another budget.
    void refit(long long budget);
    void finishSave(bool ok, const imaging::Error& error);
    void showSnapshots(const QString& path, const Switches& switches, const TimelineOptions& timeline,
                       const OpenedGif& gif);
    void clearTempResults();
    void showResultInfo();
    // Plays path in step 3 with the source as its "before"; false when it
    // cannot be read.
    bool showResult(const QString& path);

    void beginWork(const QString& text, int progress);
    void endWork();
    void lockCommands(bool locked);
    void showProgress(double percent);
    void openPending();
    void setStepCaption(const QString& caption);

    FormServices services_;
    std::unique_ptr<Document> Doc;
    WorkController* Work = nullptr;

    // Command bars.
    QAction* ActBack = nullptr;
    QAction* ActNext = nullptr;
    QAction* ActSave = nullptr;
    QAction* ActStep = nullptr;
    QAction* ActOpen = nullptr;
    QAction* ActQuit = nullptr;
    QAction* ActCancel = nullptr;
    QAction* ActPreview = nullptr;
    QAction* ActOptions = nullptr;
    QLabel* StepLabel = nullptr;
    QAbstractButton* BtnOptions = nullptr;
    QToolBar* MainToolBar = nullptr;
    QToolBar* ToolbarStep = nullptr;

    // Pages.
    QStackedWidget* Pages = nullptr;
    OpenPage* PageOpen = nullptr;
    ChoosePage* PageChoose = nullptr;
    ResultPage* PageResult = nullptr;
    WorkPage* PageWork = nullptr;
    QLabel* NoticeBar = nullptr;
    SnapshotList* LVSnapshot = nullptr;
    ImageList* ImageList1 = nullptr;
    ResultViewer* GdViewer1 = nullptr;
    ClipBar* ClipControls = nullptr;
    QTimer* ClipRedraw = nullptr; // the cards wait for the controls to settle
    int previewAfterRedraw_ = -1; // the variant the preview plays again then
    QGroupBox* GroupBox1 = nullptr;
    // One check box per entry of qf::kSwitches, in its order.
    QVector<QCheckBox*> SwitchBoxes;
    // One slider per entry of qf::kStyleControls, in its order, and the
    // still grain; a slider's moves settle before the previews are redrawn.
    QVector<QSlider*> StyleSliders;
    QCheckBox* CheckStillGrain = nullptr;
    QTimer* StyleSettle = nullptr;
    QAbstractButton* BtnRestoreDefaults = nullptr;
    QLabel* LabelUpdating = nullptr;

    // Wizard state.
    Step CurrentStep = Step::Open;
    // What the cards show: the switches and the start of the clip (the
    // first frame is the one there whatever the rate and the end).
    Switches cardSwitches_;
    std::optional<double> cardStart_;
    QString notice_;                // the line about the opened GIF, empty when none
    QString openFolder_;            // where the open dialog starts
    QString saveFolder_;            // where the last save of this GIF went
    bool savingClip_ = false;       // the save running writes an MP4 or WebM
    QString clipDestination_;       // where it writes it
    QTimer* GeometrySave = nullptr; // the window's size and place, stored
    QString savedGeometry_;         // once they settle

    Step stepBeforeWork_ = Step::Open;
    bool nextBeforeWork_ = false;
    bool cancelled_ = false; // the user stopped the work in flight
    QString pendingOpen_;    // handed over while work ran, to open after it
    bool reminderDue_ = false;
    bool skinned_ = false;
    bool closing_ = false;
};

} // namespace qf::shell
