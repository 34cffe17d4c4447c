// The wizard's pages, one per step: open, choose and result. Each lays out
// its own controls; the window switches between them and runs the commands.
#pragma once

#include <QHash>
#include <QImage>
#include <QVector>
#include <QWidget>

#include <functional>

class QAbstractButton;
class QBoxLayout;
class QComboBox;
class QLabel;
class QSpinBox;
class QTimer;

namespace qf::shell {

class ResultViewer;
class SnapshotList;

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

// Step 2: the cards of the 17 snapshots beside a preview that plays the
// first seconds of one variant. The preview starts when the pointer rests
// on a card or on Preview (P) for the ticked card, never from ticking; its
// renderings are kept for the variants seen last.
class ChoosePage : public QWidget {
    Q_OBJECT
public:
    explicit ChoosePage(QWidget* parent = nullptr);
    SnapshotList* list() const { return LVSnapshot; }
    ResultViewer* preview() const { return PreviewViewer; }
    QAbstractButton* previewButton() const { return BtnPreview; }
    ViewerControls* previewControls() const { return controls_; }
    // A panel shown above the preview (the settings box).
    void addSidePanel(QWidget* panel);

    // Starts a rendering of the variant and returns its request number.
    std::function<int(int variant, QSize box)> render;
    // Plays the variant, from the kept frames or a new rendering.
    void showPreview(int variant);
    int previewVariant() const { return variant_; }
    void addPreviewFrame(int request, const QImage& original, const QImage& frame, int delay);
    void previewDone(int request);
    // Width over height of the GIF: a wide one gets its preview above the
    // cards.
    void setPictureAspect(double aspect);
    // Forgets every kept rendering (another GIF, other switches).
    void forgetPreviews();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Frames {
        QVector<QImage> frames;
        QVector<int> delays;
    };
    SnapshotList* LVSnapshot = nullptr;
    ResultViewer* PreviewViewer = nullptr;
    QLabel* LabelPreview = nullptr;
    QAbstractButton* BtnPreview = nullptr;
    ViewerControls* controls_ = nullptr;
    QBoxLayout* layout_ = nullptr;
    QBoxLayout* side_ = nullptr;
    QTimer* hover_ = nullptr;
    int hovered_ = -1;
    double aspect_ = 1.0;
    QHash<int, Frames> kept_;
    QVector<QImage> originals_; // the same for every variant, kept once
    QVector<int> keptOrder_; // oldest first
    int variant_ = -1;
    int request_ = 0;
    Frames rendering_;
};

// Step 3: the result playing, its controls, a line with its size, frame
// count and duration, and "Fit under": the original or a size the result
// must not exceed (common limits or a custom size in KB).
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
    void setFitUnder(long long bytes);

Q_SIGNALS:
    // The user chose a limit (0: the original).
    void fitUnderChosen(long long bytes);

private:
    ResultViewer* GdViewer1 = nullptr;
    ViewerControls* controls_ = nullptr;
    QLabel* LabelInfo = nullptr;
    QComboBox* ComboFit = nullptr;
    QSpinBox* SpinFit = nullptr; // the custom size, in KB
};

} // namespace qf::shell
