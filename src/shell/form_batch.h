// FormBatch: the one window of the program, a three-step wizard.
//
//   1. Open: a big button picks a GIF or an animated WebP; a still is refused.
//   2. Choose: frame 1 in all 17 effect variants, one ticked.
//   3. View and save: every frame converted with the ticked variant into the
//      variant's temporary result file, played in the viewer, saved on demand.
//
// The commands Back, Next and Save sit on the toolbar MainToolBar; the current
// step's instruction on ToolbarStep, with the Options control in step 2 that
// shows the five switches. Opening and converting run on a worker thread; the
// window stays responsive while Back and Next are disabled and the open
// button and the list are hidden, so no command can start the same work
// twice; Cancel (or Esc) stops it. A GIF comes in through the open button,
// Ctrl+O, a drop onto the window, the command line or a second launch, all
// by the same road (openPath).
#pragma once

#include "engine/engine.h"
#include "shell/image_work.h"

#include <QDateTime>
#include <QFutureWatcher>
#include <QMainWindow>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QDragEnterEvent;
class QDropEvent;
class QGroupBox;
class QLabel;
class QProgressBar;
class QAbstractButton;
class QToolBar;

namespace qf::shell {

class ClientArea;
class ImageList;
class ResultViewer;
class SettingsStore;
class SnapshotList;
class TempResults;
class UiServices;

// Command ids of the command-bar controls and of the two toolbars.
inline constexpr int ID_BACK = 1022;
inline constexpr int ID_NEXT = 1023;
inline constexpr int ID_STEP = 1024;
inline constexpr int ID_SAVE = 1027;
inline constexpr int IDR_MAINTOOLBAR = 1021;
inline constexpr int IDR_TOOLBARSTEP = 1026;

inline const QString kAppTitle = QStringLiteral("Quillframe");
// The maker's web site: the about panel's link and the update reminder.
inline const QString kMakerSite = QStringLiteral("https://morvane.example/quillframe/");

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

    // The command-bar control with that command id (ID_BACK, ID_NEXT,
    // ID_STEP, ID_SAVE), or null.
    QAction* findControl(int id) const;

    // Puts the window into step 1, 2 or 3 (other values are clamped).
    void SetStep(int step);
    // Runs the command of a command-bar control, as a click on it does.
    void executeCommand(int id);

    // Opens the GIF at path, as choosing it in the open dialog does. While
    // work runs the file waits until the work is done.
    void openPath(const QString& path);
    // Stops the opening or conversion in progress; the window goes back to
    // where it was before, with nothing half-written left behind.
    void cancelWork();
    // Shows the window in front of the others, restored if minimised.
    void bringToFront();

    int currentStep() const { return CurrentStep; }
    // True while a GIF is being opened or converted.
    bool isBusy() const { return busy_; }

    // The document: the opened GIF and the last conversion.
    QString sourcePath() const { return SourcePath; }
    int frameCount() const { return FrameCount; }
    // Index 0 unused; index i holds the delay of frame i.
    const QVector<int>& frameDelays() const { return FrameDelays; }
    const TempResults& tempResults() const { return *TempResultFiles; }

    // The five switches of the settings box as the engine reads them.
    Switches currentSwitches() const;
    // The temporary result file of the variant converted with the switches.
    QString resultFile(int variant, const Switches& switches) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createActions();
    void createToolBars();
    void createPages();
    void createSettingsBox();
    void prepareTempResults();
    void loadSkin();
    void readSettings();
    void runReminder();
    void updateMinimumSize();

    void layoutClient();

    // The switches: stored under their own keys, shown by Options.
    void loadSwitches();
    void switchChanged();
    void restoreDefaultSwitches();
    void setOptionsOpen(bool open);
    void updateOptionsControl();
    void rebuildSnapshots();

    void openFile();
    void finishOpen(const QString& path, bool ok, const OpenedGif& gif, const imaging::Error& error,
                    bool nextWasEnabled);
    void ConvertAllFrames();
    void finishConvert(bool ok, const imaging::Error& error);
    void SaveResult();
    void ClearTempResults();
    void OpenMakerSite();

    void beginWork(int progress);
    void endWork();
    void showProgress(double percent);
    void openPending();
    void setStepCaption(const QString& caption);

    FormServices services_;

    // Command bars.
    QAction* ActBack = nullptr;
    QAction* ActNext = nullptr;
    QAction* ActSave = nullptr;
    QAction* ActStep = nullptr;
    QLabel* StepLabel = nullptr;
    QToolBar* MainToolBar = nullptr;
    QToolBar* ToolbarStep = nullptr;

    // Client area.
    ClientArea* Client = nullptr;
    QAbstractButton* BtnOpenFile = nullptr;
    QWidget* PicAbout = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QWidget* PicProgress = nullptr;
    QProgressBar* ProgressConvert = nullptr;
    QLabel* Label1 = nullptr;
    SnapshotList* LVSnapshot = nullptr;
    ImageList* ImageList1 = nullptr;
    ResultViewer* GdViewer1 = nullptr;
    QLabel* LabelFrames = nullptr;
    QAbstractButton* BtnCancel = nullptr;
    QLabel* NoticeBar = nullptr;
    QAbstractButton* BtnOptions = nullptr;
    QAction* ActOptions = nullptr;
    QAction* ActOpen = nullptr;
    QGroupBox* GroupBox1 = nullptr;
    // One check box per entry of qf::kSwitches, in its order.
    QVector<QCheckBox*> SwitchBoxes;
    QAbstractButton* BtnRestoreDefaults = nullptr;
    QLabel* LabelUpdating = nullptr;

    // Wizard and document state.
    int CurrentStep = 1;
    QString SourcePath;
    int FrameCount = 0;
    QVector<int> FrameDelays;
    int ChosenVariant = 0;
    std::unique_ptr<TempResults> TempResultFiles;
    // The result files converted since the GIF was opened, the only ones
    // shown again without converting; deleted with the 17 files of
    // TempResultFiles.
    QStringList convertedFiles_;
    QString shownResult_; // the result file the viewer shows and Save copies
    QString notice_;      // the line about the opened GIF, empty when none
    QString openFolder_;  // where the open dialog starts
    QString saveFolder_;  // where the last save of this GIF went

    // Work in flight: converting and saving end in a WorkOutcome, opening
    // also gives the animation.
    struct WorkOutcome {
        bool ok = false;
        imaging::Error error;
    };
    struct OpenOutcome : WorkOutcome {
        OpenedGif gif;
    };
    QFutureWatcher<OpenOutcome> openWatcher_;
    QFutureWatcher<WorkOutcome> convertWatcher_;
    QFutureWatcher<OpenOutcome> snapshotWatcher_;
    QFutureWatcher<WorkOutcome> saveWatcher_;
    std::shared_ptr<std::atomic<bool>> saveStop_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::shared_ptr<std::atomic<bool>> snapshotStop_;
    bool snapshotsWanted_ = false; // switches changed while thumbnails render
    int stepBeforeWork_ = 1;
    bool countingFrames_ = false; // the progress panel counts frames
    bool cancelled_ = false;      // the user stopped the work in flight
    QString pendingOpen_;         // handed over while work ran
    bool reminderDue_ = false;
    bool skinned_ = false;
    bool busy_ = false;
    bool closing_ = false;
};

} // namespace qf::shell
