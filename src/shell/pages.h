// The wizard's pages, one per step: open, choose and result, and the page
// of the work in progress. Each lays out its own controls; the window
// switches between them and runs the commands.
#pragma once

#include "pipeline/size_estimate.h"

#include <QHash>
#include <QImage>
#include <QVector>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QBoxLayout;
class QComboBox;
class QLabel;
class QProgressBar;
class QScrollArea;
class QSpinBox;
class QTimer;
class QToolButton;

namespace qf::shell {

class ResultViewer;
class SnapshotList;

// A small text button of the viewers' control rows that the keyboard reaches.
QToolButton* SmallButton(const QString& text, const QString& tip, const QString& name, QWidget* parent);

// Step 1: the open button in the middle, the drop hint below it and the
// about strip at the bottom. The page lights up while a file is dragged over
// the window.
class OpenPage : public QWidget {
    Q_OBJECT
public:
    explicit OpenPage(QWidget* parent = nullptr);
    QAbstractButton* openButton() const { return BtnOpenFile; }
    QWidget* about() const { return PicAbout; }
    // The about strip's link; onClick runs when it is clicked.
    void setAboutLink(const QString& text, const QString& tip, std::function<void()> onClick);
    void setDragHighlight(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QAbstractButton* BtnOpenFile = nullptr;
    QLabel* LabelDrop = nullptr;
    QWidget* PicAbout = nullptr;
    QLabel* Label3 = nullptr;
    bool highlight_ = false;
};

// A row of small view controls under a viewer: play, a frame on, fit or
// 1:1, and "before" (the original) while held.
class ViewerControls : public QWidget {
    Q_OBJECT
public:
    ViewerControls(ResultViewer* viewer, bool playback, QWidget* parent = nullptr);
    QAbstractButton* first() const;
    QAbstractButton* last() const;
    void sync(); // the buttons follow the viewer's state

private:
    ResultViewer* viewer_;
    QAbstractButton* play_ = nullptr;
    QAbstractButton* step_ = nullptr;
    QAbstractButton* zoom_ = nullptr;
    QAbstractButton* before_ = nullptr;
};

// Step 2: the cards of the 17 snapshots beside (or below) a preview that
// plays the first seconds of one variant. The preview starts when the
// pointer rests on a card or on Preview (P) for the ticked card, never from
// ticking; its renderings are kept for the variants seen last. The preview
// takes the room the picture needs at its own size, up to half the page;
// the cards share the rest and grow with it. A long clip's controls sit in a
// row above.
class ChoosePage : public QWidget {
    Q_OBJECT
public:
    explicit ChoosePage(QWidget* parent = nullptr);
    SnapshotList* list() const { return LVSnapshot; }
    ResultViewer* preview() const { return PreviewViewer; }
    QAbstractButton* previewButton() const { return BtnPreview; }
    ViewerControls* previewControls() const { return controls_; }
    // A panel shown above the preview while asked (the settings box); it
    // scrolls when the page is too low for it.
    void addSidePanel(QWidget* panel);
    void setSidePanelOpen(bool open);
    bool sidePanelOpen() const { return panelOpen_; }
    // A row above the cards (the clip controls).
    void addTopRow(QWidget* row);

    // Starts a rendering of the variant and returns its request number.
    std::function<int(int variant, QSize box)> render;
    // Plays the variant, from the kept frames or a new rendering.
    void showPreview(int variant);
    int previewVariant() const { return variant_; }
    void addPreviewFrame(int request, const QImage& original, const QImage& frame, int delay);
    void previewDone(int request);
    // The size of the opened animation: a wide one gets its preview above
    // the cards, and the preview is never shown larger than it.
    void setPictureSize(QSize size);
    // Forgets every kept rendering (another GIF, other switches).
    void forgetPreviews();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Frames {
        QVector<QImage> frames;
        QVector<int> delays;
        qsizetype bytes() const;
    };
    void placePreview();
    SnapshotList* LVSnapshot = nullptr;
    ResultViewer* PreviewViewer = nullptr;
    QLabel* LabelPreview = nullptr;
    QAbstractButton* BtnPreview = nullptr;
    ViewerControls* controls_ = nullptr;
    QBoxLayout* body_ = nullptr;
    QBoxLayout* side_ = nullptr;
    QWidget* pane_ = nullptr;
    QScrollArea* panel_ = nullptr;
    bool panelOpen_ = false;
    QTimer* hover_ = nullptr;
    int hovered_ = -1;
    QSize picture_{4, 3};
    QHash<int, Frames> kept_;
    QVector<QImage> originals_; // the same for every variant, kept once
    QVector<int> keptOrder_;    // oldest first
    int variant_ = -1;
    int request_ = 0;
    Frames rendering_;
};

// Step 3: the result playing, its controls, a line with its size, frame
// count and duration, and "Fit under": the original or a size the result
// must not exceed (common limits or a custom size in KB). The limit chosen
// is remembered for the next result; while one applies, a line says so and
// offers the original size in one click.
class ResultPage : public QWidget {
    Q_OBJECT
public:
    explicit ResultPage(QWidget* parent = nullptr);
    ResultViewer* viewer() const { return GdViewer1; }
    ViewerControls* controls() const { return controls_; }
    void setInfo(const QString& text);
    // The limit's controls, in tab order.
    QList<QWidget*> fitControls() const;
    // The size limit shown, in bytes; 0 for the original.
    long long fitUnder() const;
    // Shows the limit the result was made under and what the fit changed
    // (settings other than the best).
    void setFitUnder(long long bytes, const SizeSettings& settings = {});
    // "256 KB": a limit in the units of the choices.
    static QString SizeText(long long bytes);
    // "Made to fit under 256 kB: quality 7, 1 frame in 4, shrunk to 42%.",
    // naming only what the fit changed, listed as the user's language lists.
    static QString FittedText(long long bytes, const SizeSettings& settings);

Q_SIGNALS:
    // The user chose a limit (0: the original).
    void fitUnderChosen(long long bytes);

private:
    ResultViewer* GdViewer1 = nullptr;
    ViewerControls* controls_ = nullptr;
    QLabel* LabelInfo = nullptr;
    QLabel* LabelFitted = nullptr;
    QAbstractButton* BtnOriginal = nullptr;
    QComboBox* ComboFit = nullptr;
    QSpinBox* SpinFit = nullptr; // the custom size, in KB
};

// The page shown while a file is opened, converted or saved: what runs,
// how far it is, the frame in hand, and Cancel.
class WorkPage : public QWidget {
    Q_OBJECT
public:
    explicit WorkPage(QWidget* parent = nullptr);
    QAbstractButton* cancelButton() const { return BtnCancel; }
    // Starts over with text and the bar at progress (percent); below 0 the
    // bar moves until the first progress comes.
    void begin(const QString& text, int progress);
    // Room for the longest "Frame n of n" of frames.
    void expectFrames(int frames);
    // percent of frames done; text replaces the caption once all are done
    // (the file is being written), empty to keep it.
    void showProgress(double percent, int frames, const QString& doneText);

Q_SIGNALS:
    void cancelClicked();

private:
    QWidget* PicProgress = nullptr;
    QProgressBar* ProgressConvert = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* LabelFrames = nullptr;
    QAbstractButton* BtnCancel = nullptr;
};

} // namespace qf::shell
