#include "shell/result_viewer.h"

#include "shell/pipeline_work.h"

#include "imaging/animation_reader.h"

#include <QFile>
#include <QKeyEvent>
#include <QPainter>

#include <algorithm>
#include <numeric>

namespace qf::shell {

QSize FittedSize(const QSize& picture, const QSize& area)
{
    if (picture.isEmpty() || area.isEmpty())
        return picture;
    if (picture.width() > area.width() || picture.height() > area.height())
        return picture.scaled(area, Qt::KeepAspectRatio);
    const int factor = std::min(area.width() / picture.width(), area.height() / picture.height());
    return picture * std::max(1, factor);
}

int PlaybackMs(int hundredths)
{
    return hundredths <= 1 ? 100 : hundredths * 10;
}

// One animation file read forward a frame at a time through the frame
// pipeline's reader, so every kind of file the window opens or saves (GIF,
// WebP, MP4, WebM) shows here, transparent pixels on white paper as the effect sees them.
// Going back starts over.
class FrameReader {
public:
    explicit FrameReader(const QString& path) : path_(QFile::encodeName(path).toStdString()) { restart(); }

    bool valid() const { return !frame_.isNull(); }
    int count() const { return count_; }
    int index() const { return index_; }
    const QImage& frame() const { return frame_; }
    int hundredths() const { return delay_; }

    void seek(int index)
    {
        if (index < index_)
            restart();
        // The frames on the way are passed over: a clip's are not converted.
        imaging::Error error;
        while (reader_ && index_ + 1 < index && reader_->skipNext(&error))
            ++index_;
        while (index_ < index && read())
            ;
    }
    // When frame index begins, in hundredths of a second from the first.
    int startOf(int index) const
    {
        if (!reader_)
            return 0;
        const std::vector<int>& delays = reader_->info().delays;
        const auto end = delays.begin() + std::clamp<std::ptrdiff_t>(index, 0, std::ssize(delays));
        return std::accumulate(delays.begin(), end, 0);
    }

private:
    void restart()
    {
        index_ = -1;
        imaging::Error error;
        reader_ = imaging::OpenAnimation(path_, &error);
        if (!reader_)
            return;
        count_ = std::max(1, reader_->info().frameCount);
        read();
    }
    bool read()
    {
        imaging::Error error;
        if (!reader_ || !reader_->readNext(decoded_, &error))
            return false;
        ReadFrame(decoded_, picture_);
        frame_ = ToImage(picture_);
        ++index_;
        const std::vector<int>& delays = reader_->info().delays;
        delay_ =
            static_cast<std::size_t>(index_) < delays.size() ? delays[static_cast<std::size_t>(index_)] : 0;
        return true;
    }

    std::string path_;
    std::unique_ptr<imaging::AnimationReader> reader_;
    imaging::RgbaImage decoded_;
    Picture picture_;
    QImage frame_;
    int count_ = 0;
    int index_ = -1;
    int delay_ = 0;
};

ResultViewer::ResultViewer(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &ResultViewer::advance);
}

ResultViewer::~ResultViewer() = default;

void ResultViewer::closeFile()
{
    timer_.stop();
    after_.reset();
    before_.reset();
    frames_.clear();
    originals_.clear();
    delays_.clear();
    fileName_.clear();
    index_ = 0;
    update();
}

bool ResultViewer::displayFile(const QString& path, const QString& original,
                               std::vector<TimelineFrame> timeline)
{
    closeFile();
    timeline_ = std::move(timeline);
    auto after = std::make_unique<FrameReader>(path);
    if (!after->valid())
        return false;
    after_ = std::move(after);
    if (!original.isEmpty()) {
        auto before = std::make_unique<FrameReader>(original);
        if (before->valid())
            before_ = std::move(before);
    }
    fileName_ = path;
    goTo(0);
    return true;
}

void ResultViewer::showFrames()
{
    closeFile();
}

void ResultViewer::appendFrame(const QImage& original, const QImage& frame, int hundredths)
{
    frames_.append(frame);
    originals_.append(original);
    delays_.append(hundredths);
    // The first frame shows at once; the one after it starts the playing,
    // whether the frames come one by one or all at once.
    if (frames_.size() == 1)
        goTo(0);
    else if (!timer_.isActive())
        schedule();
}

int ResultViewer::frameCount() const
{
    return after_ ? after_->count() : static_cast<int>(frames_.size());
}

QImage ResultViewer::currentImage() const
{
    if (after_) {
        if (original_ && before_) {
            before_->seek(originalFrame(index_));
            return before_->frame();
        }
        return after_->frame();
    }
    if (index_ >= frames_.size())
        return {};
    return original_ ? originals_[index_] : frames_[index_];
}

int ResultViewer::delayOf(int index) const
{
    if (after_)
        return after_->hundredths();
    return index < delays_.size() ? delays_[index] : 10;
}

int ResultViewer::originalFrame(int index) const
{
    if (timeline_.empty())
        return std::min(index, before_->count() - 1);
    // Frames merged or left out of the GIF added their time to the one
    // before, so each frame still begins where a frame of the timeline does.
    const int start = after_->startOf(index);
    int end = 0;
    for (const TimelineFrame& frame : timeline_)
        if ((end += frame.delay) > start)
            return frame.source;
    return timeline_.back().source;
}

void ResultViewer::goTo(int index)
{
    const int count = frameCount();
    if (count == 0)
        return;
    index_ = ((index % count) + count) % count;
    if (after_)
        after_->seek(index_);
    update();
    Q_EMIT frameShown(index_);
    schedule();
}

void ResultViewer::schedule()
{
    timer_.stop();
    if (playing_ && isVisible() && frameCount() > 1)
        timer_.start(PlaybackMs(delayOf(index_)));
}

void ResultViewer::advance()
{
    goTo(index_ + 1);
}

void ResultViewer::setPlaying(bool playing)
{
    playing_ = playing;
    schedule();
}

void ResultViewer::stepFrame(int step)
{
    playing_ = false;
    goTo(index_ + step);
}

void ResultViewer::setActualSize(bool actual)
{
    actualSize_ = actual;
    update();
}

bool ResultViewer::hasOriginal() const
{
    return after_ ? before_ != nullptr : !originals_.isEmpty();
}

void ResultViewer::setShowingOriginal(bool original)
{
    original_ = original && hasOriginal();
    update();
}

void ResultViewer::keyPressEvent(QKeyEvent* event)
{
    // Alt+Left and Alt+Right are Back and Next, Ctrl with a key a command:
    // where those are not on offer the key does nothing here either.
    if (event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Space:
        setPlaying(!playing_);
        Q_EMIT frameShown(index_);
        break;
    case Qt::Key_Right:
        stepFrame(1);
        break;
    case Qt::Key_Left:
        stepFrame(-1);
        break;
    case Qt::Key_B:
        if (!event->isAutoRepeat())
            setShowingOriginal(true);
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ResultViewer::keyReleaseEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_B && !event->isAutoRepeat())
        setShowingOriginal(false);
    else
        QWidget::keyReleaseEvent(event);
}

void ResultViewer::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    timer_.stop();
}

void ResultViewer::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    schedule();
}

void ResultViewer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    const QImage frame = currentImage();
    // A small viewer gives the picture all but a thin edge.
    const int margin = std::min(width(), height()) < 160 ? 4 : 16;
    if (frame.isNull()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(rect().adjusted(16, 16, -16, -16), Qt::AlignCenter | Qt::TextWordWrap, placeholder_);
        drawFocusRing(painter);
        return;
    }

    const QRect area = rect().adjusted(margin, margin, -margin, -margin);
    const QSize natural = !after_ && pictureSize_.isValid() ? pictureSize_ : frame.size();
    const QSize size = actualSize_ ? natural : FittedSize(natural, area.size());
    const QRect target(area.x() + (area.width() - size.width()) / 2,
                       area.y() + (area.height() - size.height()) / 2, size.width(), size.height());

    // A soft shadow and a checked backdrop, so transparent parts and the
    // picture's edges read clearly.
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 1; i <= 4; ++i) {
        painter.setBrush(QColor(0, 0, 0, 10));
        painter.drawRoundedRect(QRectF(target).adjusted(-i, -i + 2, i, i + 2), 3 + i, 3 + i);
    }
    const int cell = 8;
    painter.save();
    painter.setClipRect(target);
    painter.fillRect(target, QColor(0xfc, 0xfc, 0xfc));
    for (int y = target.top(); y <= target.bottom(); y += cell)
        for (int x = target.left() + (((y - target.top()) / cell) % 2) * cell; x <= target.right();
             x += 2 * cell)
            painter.fillRect(x, y, cell, cell, QColor(0xec, 0xec, 0xec));
    painter.restore();

    // Reduced pictures are smoothed; enlarged ones keep sharp pixels.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, size.width() < frame.width());
    painter.drawImage(target, frame);
    drawFocusRing(painter);
}

void ResultViewer::drawFocusRing(QPainter& painter)
{
    // The keys (Space, arrows, B) act on the viewer while it has the focus.
    if (!hasFocus())
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 4, 4);
}

void ResultViewer::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void ResultViewer::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

} // namespace qf::shell
