// Step 3, the result and its size limit, and the page of the work in
// progress.
#include "shell/pages.h"

#include "pipeline/options.h"
#include "shell/result_viewer.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace qf::shell {

QString ResultPage::SizeText(long long bytes)
{
    return QLocale().formattedDataSize(bytes, 0, QLocale::DataSizeTraditionalFormat);
}

ResultPage::ResultPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageResult"));
    GdViewer1 = new ResultViewer(this);
    GdViewer1->setObjectName(QStringLiteral("GdViewer1"));
    controls_ = new ViewerControls(GdViewer1, true, this);
    LabelInfo = new QLabel(this);
    LabelInfo->setObjectName(QStringLiteral("LabelInfo"));
    // The line takes the width the buttons leave and breaks between its
    // parts only when that is too narrow, rather than losing its end (the
    // size).
    LabelInfo->setWordWrap(true);
    LabelInfo->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    static_cast<QHBoxLayout*>(controls_->layout())->addWidget(LabelInfo, 1);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(8, 2, 8, 4);
    row->setSpacing(6);
    // A limit in force, remembered from an earlier result, is said plainly,
    // with the way back to the original size beside it.
    LabelFitted = new QLabel(this);
    LabelFitted->setObjectName(QStringLiteral("LabelFitted"));
    LabelFitted->setWordWrap(true); // it names what the fit changed
    BtnOriginal = SmallButton(tr("Use the original size"), tr("Convert again without a size limit"),
                              QStringLiteral("BtnOriginal"), this);
    connect(BtnOriginal, &QAbstractButton::clicked, this, [this] { Q_EMIT fitUnderChosen(0); });
    row->addWidget(LabelFitted, 1);
    row->addWidget(BtnOriginal);
    row->addStretch(1);
    auto* fitLabel = new QLabel(tr("Fit under:"), this);
    ComboFit = new QComboBox(this);
    ComboFit->setObjectName(QStringLiteral("ComboFit"));
    fitLabel->setBuddy(ComboFit);
    ComboFit->addItem(tr("Original"), 0LL);
    // The limits of common places to share an animation.
    for (const long long bytes : kFitUnderChoices)
        ComboFit->addItem(SizeText(bytes), bytes);
    ComboFit->addItem(tr("Custom"), -1LL);
    SpinFit = new QSpinBox(this);
    SpinFit->setObjectName(QStringLiteral("SpinFit"));
    SpinFit->setRange(1, 4 << 20);
    SpinFit->setValue(1024);
    // The unit the choices above are written in (1024 bytes).
    SpinFit->setSuffix(SizeText(1024).remove(QLocale().toString(1)));
    SpinFit->setVisible(false);
    row->addWidget(fitLabel);
    row->addWidget(ComboFit);
    row->addWidget(SpinFit);
    connect(ComboFit, &QComboBox::activated, this, [this](int index) {
        const long long bytes = ComboFit->itemData(index).toLongLong();
        SpinFit->setVisible(bytes < 0);
        if (bytes < 0)
            SpinFit->setFocus();
        else
            Q_EMIT fitUnderChosen(bytes);
    });
    connect(SpinFit, &QSpinBox::editingFinished, this, [this] {
        if (SpinFit->isVisible())
            Q_EMIT fitUnderChosen(fitUnder());
    });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(GdViewer1, 1);
    layout->addWidget(controls_);
    layout->addLayout(row);
    setFitUnder(0);
}

void ResultPage::setInfo(const QString& text)
{
    LabelInfo->setText(text);
}

QList<QWidget*> ResultPage::fitControls() const
{
    return {BtnOriginal, ComboFit, SpinFit};
}

long long ResultPage::fitUnder() const
{
    const long long bytes = ComboFit->currentData().toLongLong();
    return bytes >= 0 ? bytes : SpinFit->value() * 1024LL;
}

QString ResultPage::FittedText(long long bytes, const SizeSettings& settings)
{
    QStringList changed;
    if (settings.quality != SizeSettings{}.quality)
        changed << tr("quality %1").arg(settings.quality);
    if (settings.frameStep > 1)
        changed << tr("1 frame in %1").arg(settings.frameStep);
    if (settings.scale < 1.0)
        changed << tr("shrunk to %1%").arg(std::lround(settings.scale * 100));
    if (changed.isEmpty())
        return tr("Made to fit under %1.").arg(SizeText(bytes));
    return tr("Made to fit under %1: %2.").arg(SizeText(bytes), QLocale().createSeparatedList(changed));
}

void ResultPage::setFitUnder(long long bytes, const SizeSettings& settings)
{
    bytes = std::max(bytes, 0LL);
    int index = ComboFit->findData(bytes);
    if (index < 0) {
        index = ComboFit->count() - 1; // custom
        SpinFit->setValue(static_cast<int>(std::clamp(bytes / 1024, 1LL, 4LL << 20)));
    }
    ComboFit->setCurrentIndex(index);
    SpinFit->setVisible(index == ComboFit->count() - 1);
    LabelFitted->setText(bytes > 0 ? FittedText(bytes, settings) : QString());
    // No wider than its one line, so that the way back stays beside it.
    LabelFitted->setMaximumWidth(LabelFitted->fontMetrics().horizontalAdvance(LabelFitted->text()) + 1);
    LabelFitted->setVisible(bytes > 0);
    BtnOriginal->setVisible(bytes > 0);
}

// --- the work in progress ---------------------------------------------------------

WorkPage::WorkPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PageWork"));
    PicProgress = new QWidget(this);
    PicProgress->setObjectName(QStringLiteral("PicProgress"));
    PicProgress->setAttribute(Qt::WA_StyledBackground);
    PicProgress->setMinimumWidth(293);
    auto* progressLayout = new QVBoxLayout(PicProgress);
    progressLayout->setContentsMargins(24, 18, 24, 22);
    progressLayout->setSpacing(12);
    Label1 = new QLabel(tr("Please wait..."), PicProgress);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    ProgressConvert = new QProgressBar(PicProgress);
    ProgressConvert->setObjectName(QStringLiteral("ProgressConvert"));
    ProgressConvert->setRange(0, 100);
    ProgressConvert->setTextVisible(false);
    LabelFrames = new QLabel(PicProgress);
    LabelFrames->setObjectName(QStringLiteral("LabelFrames"));
    LabelFrames->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* barRow = new QHBoxLayout;
    barRow->setSpacing(10);
    barRow->addWidget(ProgressConvert, 1);
    barRow->addWidget(LabelFrames);
    auto* cancel = new QPushButton(tr("Cancel"), PicProgress);
    cancel->setObjectName(QStringLiteral("BtnCancel"));
    connect(cancel, &QPushButton::clicked, this, &WorkPage::cancelClicked);
    BtnCancel = cancel;
    progressLayout->addWidget(Label1);
    progressLayout->addLayout(barRow);
    progressLayout->addWidget(cancel, 0, Qt::AlignHCenter);
    auto* centred = new QGridLayout(this);
    centred->addWidget(PicProgress, 0, 0, Qt::AlignCenter);
}

void WorkPage::begin(const QString& text, int progress)
{
    Label1->setText(text);
    LabelFrames->clear();
    // A work that cannot tell how far it is yet shows a moving bar.
    ProgressConvert->setRange(0, progress < 0 ? 0 : 100);
    ProgressConvert->setValue(std::max(progress, 0));
}

void WorkPage::expectFrames(int frames)
{
    LabelFrames->setMinimumWidth(
        LabelFrames->fontMetrics().horizontalAdvance(tr("Frame %1 of %2").arg(frames).arg(frames)));
}

void WorkPage::showProgress(double percent, int frames, const QString& doneText)
{
    percent = std::clamp(percent, 0.0, 100.0);
    ProgressConvert->setRange(0, 100);
    ProgressConvert->setValue(static_cast<int>(std::nearbyint(percent)));
    if (frames <= 0)
        return;
    if (percent >= 100) {
        // Every frame is rendered or encoded; the file is being written.
        if (!doneText.isEmpty())
            Label1->setText(doneText);
        LabelFrames->clear();
        return;
    }
    // After frame i the work reports i / n * 100; the frame in hand is the
    // next one.
    const int done = static_cast<int>(std::nearbyint(percent * frames / 100.0));
    LabelFrames->setText(tr("Frame %1 of %2").arg(std::min(done + 1, frames)).arg(frames));
}

} // namespace qf::shell
