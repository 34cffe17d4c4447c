// The part of a long video clip that step 2 shows and the conversion uses:
// its start, its end and the frame rate it is sampled at, with the number
// of frames that makes. Shown only for a clip longer than kClipBarAfter; a
// GIF, a WebP and a short clip always play whole, as stored or at the clip's
// own rate.
#pragma once

#include "imaging/animation_info.h"
#include "pipeline/timeline.h"

#include <QVector>
#include <QWidget>

#include <string>

class QDoubleSpinBox;
class QLabel;
class QSpinBox;

namespace qf::shell {

// Clips longer than this, in microseconds, get the controls.
constexpr std::int64_t kClipBarAfter = 10'000'000;

class ClipBar : public QWidget {
    Q_OBJECT
public:
    explicit ClipBar(QWidget* parent = nullptr);

    // The animation opened (file in the system's encoding, for messages):
    // the whole of it at its default rate.
    void setClip(const std::string& file, const imaging::AnimationInfo& info);
    // Whether the animation is a clip long enough to get the controls.
    bool applies() const { return applies_; }

    // The chosen part and rate; a setting left at its default is left out,
    // so the pipeline decides it as for the command line.
    TimelineOptions timeline() const;
    // The frames the timeline shows, in order, and their delays
    // (hundredths).
    const std::vector<TimelineFrame>& plan() const { return plan_; }
    QVector<int> delays() const;
    // A clip is sampled in time; a GIF or WebP keeps its frames as stored.
    bool sampled() const { return info_.video(); }

    // The controls in tab order.
    QList<QWidget*> controls() const;

Q_SIGNALS:
    // The user changed the start, the end or the rate.
    void changed();

private:
    void replan();

    std::string file_;
    imaging::AnimationInfo info_;
    bool applies_ = false;
    int defaultRate_ = 0;
    std::vector<TimelineFrame> plan_;
    QDoubleSpinBox* SpinStart = nullptr;
    QDoubleSpinBox* SpinEnd = nullptr;
    QSpinBox* SpinRate = nullptr;
    QLabel* LabelClipFrames = nullptr;
};

} // namespace qf::shell
