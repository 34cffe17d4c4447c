#include "shell/result_viewer.h"

#include <QMovie>
#include <QPainter>

#include <algorithm>

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

ResultViewer::ResultViewer(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ResultViewer::~ResultViewer() = default;

void ResultViewer::closeFile()
{
    if (movie_) {
        movie_->stop();
        movie_.reset();
    }
    fileName_.clear();
    update();
}

bool ResultViewer::displayFile(const QString& path)
{
    closeFile();
    auto movie = std::make_unique<QMovie>(path);
    if (!movie->isValid())
        return false;
    movie->setCacheMode(QMovie::CacheAll);
    connect(movie.get(), &QMovie::frameChanged, this, qOverload<>(&QWidget::update));
    // The preview keeps playing, whatever loop count the file carries.
    connect(movie.get(), &QMovie::finished, movie.get(), &QMovie::start);
    movie_ = std::move(movie);
    fileName_ = path;
    movie_->start();
    update();
    return true;
}

int ResultViewer::frameCount() const
{
    return movie_ ? movie_->frameCount() : 0;
}

void ResultViewer::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    if (!movie_)
        return;
    const QPixmap frame = movie_->currentPixmap();
    if (frame.isNull())
        return;

    const QRect area = rect().adjusted(16, 16, -16, -16);
    const QSize size = FittedSize(frame.size(), area.size());
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
    const bool shrunk = size.width() < frame.width();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, shrunk);
    painter.drawPixmap(target, frame);
}

} // namespace qf::shell
