#include "shell/clip_bar.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <cmath>

namespace qf::shell {

namespace {

// Seconds shown as minutes, seconds and tenths ("1:02.5") and typed as
// either that or plain seconds ("62.5").
class TimeSpinBox : public QDoubleSpinBox {
public:
    explicit TimeSpinBox(QWidget* parent) : QDoubleSpinBox(parent)
    {
        setDecimals(1);
        setSingleStep(1.0);
        setKeyboardTracking(false);
        setAlignment(Qt::AlignRight);
    }

protected:
    QString textFromValue(double value) const override
    {
        const long long tenths = std::llround(value * 10);
        return QStringLiteral("%1:%2.%3")
            .arg(tenths / 600)
            .arg(tenths % 600 / 10, 2, 10, QLatin1Char('0'))
            .arg(tenths % 10);
    }
    double valueFromText(const QString& text) const override
    {
        return ParseSeconds(text.trimmed().toStdString()).value_or(value());
    }
    QValidator::State validate(QString& text, int&) const override
    {
        const std::optional<double> seconds = ParseSeconds(text.trimmed().toStdString());
        if (seconds && *seconds >= minimum() - 0.05 && *seconds <= maximum() + 0.05)
            return QValidator::Acceptable;
        const bool typing = std::all_of(text.cbegin(), text.cend(), [](QChar c) {
            return c.isDigit() || c == u':' || c == u'.' || c == u' ';
        });
        return typing ? QValidator::Intermediate : QValidator::Invalid;
    }
};

// Clips are cut to the tenth of a second the controls show.
constexpr double kTenth = 0.1;

double Seconds(std::int64_t micros)
{
    return std::floor(static_cast<double>(micros) / 1e5) / 10;
}

} // namespace

ClipBar::ClipBar(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ClipBar"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);
    auto label = [&](const QString& text, QWidget* buddy) {
        auto* shown = new QLabel(text, this);
        shown->setBuddy(buddy);
        layout->addWidget(shown);
        layout->addWidget(buddy);
    };
    SpinStart = new TimeSpinBox(this);
    SpinStart->setObjectName(QStringLiteral("SpinStart"));
    SpinStart->setToolTip(tr("Where the GIF begins in the clip (minutes:seconds)"));
    label(tr("&From"), SpinStart);
    SpinEnd = new TimeSpinBox(this);
    SpinEnd->setObjectName(QStringLiteral("SpinEnd"));
    SpinEnd->setToolTip(tr("Where the GIF ends in the clip (minutes:seconds)"));
    label(tr("&to"), SpinEnd);
    layout->addSpacing(6);
    SpinRate = new QSpinBox(this);
    SpinRate->setObjectName(QStringLiteral("SpinRate"));
    SpinRate->setRange(1, static_cast<int>(kMaxFps));
    SpinRate->setSuffix(tr(" fps"));
    SpinRate->setKeyboardTracking(false);
    SpinRate->setToolTip(tr("Frames a second taken from the clip"));
    layout->addWidget(SpinRate);
    LabelClipFrames = new QLabel(this);
    LabelClipFrames->setObjectName(QStringLiteral("LabelClipFrames"));
    layout->addSpacing(6);
    layout->addWidget(LabelClipFrames);
    layout->addStretch(1);

    for (QDoubleSpinBox* time : {SpinStart, SpinEnd})
        connect(time, &QDoubleSpinBox::valueChanged, this, [this] {
            // The start stays before the end, by a tenth at least.
            SpinEnd->setMinimum(SpinStart->value() + kTenth);
            SpinStart->setMaximum(SpinEnd->value() - kTenth);
            replan();
            Q_EMIT changed();
        });
    connect(SpinRate, &QSpinBox::valueChanged, this, [this] {
        replan();
        Q_EMIT changed();
    });
}

void ClipBar::setClip(const std::string& file, const imaging::AnimationInfo& info)
{
    file_ = file;
    info_ = info;
    const std::int64_t length = info.video() ? info.frameTimes.back() : 0;
    applies_ = length > kClipBarAfter;
    defaultRate_ = static_cast<int>(
        std::lround(info.frameRate > 0 ? std::min(info.frameRate, kDefaultVideoFps) : kDefaultVideoFps));
    {
        const QSignalBlocker quietStart(SpinStart), quietEnd(SpinEnd), quietRate(SpinRate);
        const double seconds = Seconds(length);
        SpinStart->setRange(0, std::max(0.0, seconds - kTenth));
        SpinEnd->setRange(kTenth, std::max(kTenth, seconds));
        SpinStart->setValue(0);
        SpinEnd->setValue(seconds);
        SpinRate->setValue(defaultRate_);
    }
    replan();
}

TimelineOptions ClipBar::timeline() const
{
    TimelineOptions options;
    if (!applies_)
        return options;
    if (SpinStart->value() > 0)
        options.start = SpinStart->value();
    if (SpinEnd->value() < SpinEnd->maximum())
        options.end = SpinEnd->value();
    if (SpinRate->value() != defaultRate_)
        options.fps = SpinRate->value();
    return options;
}

QList<QWidget*> ClipBar::controls() const
{
    return {SpinStart, SpinEnd, SpinRate};
}

QVector<int> ClipBar::delays() const
{
    QVector<int> delays;
    for (const TimelineFrame& frame : plan_)
        delays.append(frame.delay);
    return delays;
}

void ClipBar::replan()
{
    PlanTimeline(file_, info_, timeline(), &plan_, nullptr);
    LabelClipFrames->setText(tr("%n frames", nullptr, static_cast<int>(plan_.size())));
}

} // namespace qf::shell
