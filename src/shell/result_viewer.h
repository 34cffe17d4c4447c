// Plays the result animation in step 3 at its own speed, centred and fitted
// to the view, on a light checked backdrop that shows its edges.
#pragma once

#include <QString>
#include <QWidget>

#include <memory>

class QMovie;

namespace qf::shell {

// The size a picture is shown at in an area: reduced to fit, keeping its
// shape, when it is larger; otherwise enlarged by the largest whole number
// that fits, so every pixel becomes an equal square block.
QSize FittedSize(const QSize& picture, const QSize& area);

class ResultViewer : public QWidget {
    Q_OBJECT
public:
    explicit ResultViewer(QWidget* parent = nullptr);
    ~ResultViewer() override;

    // Shows nothing and holds no file open.
    void closeFile();
    // Loads the GIF and starts playing it; false when it cannot be read.
    bool displayFile(const QString& path);

    QString fileName() const { return fileName_; }
    // Frames of the loaded animation, 0 when nothing is shown.
    int frameCount() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::unique_ptr<QMovie> movie_;
    QString fileName_;
};

} // namespace qf::shell
