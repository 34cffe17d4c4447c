// Plays an animation in the window: the result in step 3, read from its file
// a frame at a time so a long animation costs one frame of memory, and the
// preview in step 2, from frames handed in as they are rendered. Play and
// pause, a frame at a time, fitted or at 1:1, and the original in place of
// the effect while asked ("before").
#pragma once

#include "pipeline/timeline.h"

#include <QImage>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <memory>

class QPainter;

namespace qf::shell {

// The size a picture is shown at in an area: reduced to fit, keeping its
// shape, when it is larger; otherwise enlarged by the largest whole number
// that fits, so every pixel becomes an equal square block.
QSize FittedSize(const QSize& picture, const QSize& area);

// How long a frame stays, in milliseconds, for its delay in hundredths of a
// second: delays of 0 and 1 mean "as fast as possible" to the tools that
// wrote them and play at 100 ms, as browsers play them.
int PlaybackMs(int hundredths);

class FrameReader;

class ResultViewer : public QWidget {
    Q_OBJECT
public:
    explicit ResultViewer(QWidget* parent = nullptr);
    ~ResultViewer() override;

    // Shows nothing and holds no file open.
    void closeFile();
    // Loads the animation (GIF, WebP or video) and starts playing it; false
    // when it cannot be read. original, when it can be read, is what
    // "before" shows: at each moment of the animation the frame of original
    // that timeline (its frames with their delays, as the result was made)
    // shows then, or without a timeline the frame of the same number.
    bool displayFile(const QString& path, const QString& original = {},
                     std::vector<TimelineFrame> timeline = {});
    // Plays frames handed in one by one (the preview); starts empty.
    void showFrames();
    void appendFrame(const QImage& original, const QImage& frame, int hundredths);

    // The size the handed-in frames stand for (the preview's are made
    // smaller): they are shown as a picture of that size would be.
    void setPictureSize(QSize size) { pictureSize_ = size; }

    // What the viewer says while it has nothing to show.
    void setPlaceholder(const QString& text) { placeholder_ = text; }

    QString fileName() const { return fileName_; }
    // Frames of the animation, 0 when nothing is shown.
    int frameCount() const;
    int currentFrame() const { return index_; } // 0-based
    QImage currentImage() const;

    bool isPlaying() const { return playing_; }
    void setPlaying(bool playing);
    // One frame on (or back, with a negative step); pauses.
    void stepFrame(int step);
    bool actualSize() const { return actualSize_; }
    void setActualSize(bool actual);
    bool hasOriginal() const;
    bool showingOriginal() const { return original_; }
    void setShowingOriginal(bool original);

Q_SIGNALS:
    void frameShown(int index);

protected:
    void paintEvent(QPaintEvent* event) override;
    // Space plays or pauses, Left and Right step a frame, B held shows the
    // original.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void drawFocusRing(QPainter& painter);
    void advance();
    void goTo(int index);
    void schedule();
    int delayOf(int index) const;
    // The frame of the original shown with frame index of the GIF.
    int originalFrame(int index) const;

    std::unique_ptr<FrameReader> after_, before_;
    QVector<QImage> frames_, originals_; // handed-in frames
    QVector<int> delays_;
    std::vector<TimelineFrame> timeline_;
    QTimer timer_;
    QString fileName_;
    QString placeholder_;
    QSize pictureSize_;
    int index_ = 0;
    bool playing_ = true;
    bool actualSize_ = false;
    bool original_ = false;
};

} // namespace qf::shell
