// The five switches and the style controls (ink, lines, still grain) of the
// settings box: built from the engine's tables, stored in the settings
// store, shown by the Options control of step 2, and the previews redrawn in
// the background when one changes.
#include "shell/form_batch.h"

#include "engine/variants.h"
#include "pipeline/options.h"
#include "shell/document.h"
#include "shell/pages.h"
#include "shell/snapshot_list.h"
#include "shell/table_text.h"
#include "shell/temp_results.h"
#include "shell/update_reminder.h"
#include "shell/work_controller.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

namespace qf::shell {

namespace {

// The keys of the switches in the settings store: the check box text in
// CamelCase under "Switches/", e.g. "Switches/MixSimilarColor".
QString SwitchKey(const SwitchInfo& info)
{
    QString key = QStringLiteral("Switches/");
    const QString label = QString::fromUtf8(info.label.data(), qsizetype(info.label.size()));
    for (const QString& word : label.split(u' ', Qt::SkipEmptyParts))
        key += word.left(1).toUpper() + word.mid(1);
    return key;
}

QString SwitchText(std::string_view text)
{
    return TableText("qf::Switches", text);
}

// The settings store keys of the style controls, beside the switches':
// "Switches/Ink", "Switches/Lines", "Switches/StillGrain".
QString StyleKey(std::string_view label)
{
    QString key = QStringLiteral("Switches/");
    for (const QString& word : QString::fromUtf8(label.data(), qsizetype(label.size())).split(u' '))
        key += word.left(1).toUpper() + word.mid(1);
    return key;
}

// A slider moved quickly redraws once it rests this long.
constexpr int kSliderSettleMs = 150;

int SwitchValue(const QCheckBox* box)
{
    switch (box->checkState()) {
    case Qt::Unchecked:
        return 0;
    case Qt::Checked:
        return 1;
    case Qt::PartiallyChecked:
        return 2;
    }
    return 0;
}

} // namespace

void FormBatch::createSettingsBox()
{
    // The switches stay out of sight, and out of the keyboard's reach, until
    // the Options control shows them above the preview.
    GroupBox1 = new QGroupBox(tr("Settings"), PageChoose);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setAutoFillBackground(true);
    auto* layout = new QVBoxLayout(GroupBox1);
    // Eight rows above the preview, in the window's designed height.
    layout->setSpacing(1);
    for (const SwitchInfo& info : kSwitches) {
        auto* box = new QCheckBox(SwitchText(info.label), GroupBox1);
        box->setToolTip(SwitchText(info.help));
        box->setChecked(info.onByDefault);
        connect(box, &QCheckBox::toggled, this, &FormBatch::switchChanged);
        layout->addWidget(box);
        SwitchBoxes.append(box);
    }
    CheckStillGrain = new QCheckBox(SwitchText(kStillGrainLabel), GroupBox1);
    CheckStillGrain->setObjectName(QStringLiteral("CheckStillGrain"));
    CheckStillGrain->setToolTip(SwitchText(kStillGrainHelp));
    connect(CheckStillGrain, &QCheckBox::toggled, this, &FormBatch::switchChanged);
    layout->addWidget(CheckStillGrain);

    StyleSettle = new QTimer(this);
    StyleSettle->setSingleShot(true);
    StyleSettle->setInterval(kSliderSettleMs);
    connect(StyleSettle, &QTimer::timeout, this, &FormBatch::switchChanged);
    for (const StyleControlInfo& info : kStyleControls) {
        auto* row = new QHBoxLayout;
        auto* caption = new QLabel(SwitchText(info.label), GroupBox1);
        auto* slider = new QSlider(Qt::Horizontal, GroupBox1);
        auto* value = new QLabel(GroupBox1);
        slider->setObjectName(QStringLiteral("Slider")
                              + QString::fromUtf8(info.label.data(), qsizetype(info.label.size())));
        slider->setRange(kMinStyle, kMaxStyle);
        slider->setPageStep(10);
        slider->setValue(kDesignedStyle);
        slider->setToolTip(SwitchText(info.help));
        slider->setAccessibleName(SwitchText(info.label));
        caption->setBuddy(slider);
        value->setText(QString::number(kDesignedStyle));
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100")));
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(slider, &QSlider::valueChanged, this, [this, value](int now) {
            value->setText(QString::number(now));
            StyleSettle->start();
        });
        row->addWidget(caption);
        row->addWidget(slider, 1);
        row->addWidget(value);
        layout->addLayout(row);
        StyleSliders.append(slider);
    }
    LabelUpdating = new QLabel(tr("Updating the previews\u2026"), GroupBox1);
    LabelUpdating->setEnabled(false);
    LabelUpdating->hide();
    layout->addWidget(LabelUpdating);
    auto* restore = new QPushButton(tr("Restore defaults"), GroupBox1);
    restore->setObjectName(QStringLiteral("BtnRestoreDefaults"));
    connect(restore, &QPushButton::clicked, this, &FormBatch::restoreDefaultSwitches);
    BtnRestoreDefaults = restore;
    layout->addWidget(restore, 0, Qt::AlignLeft);
    PageChoose->addSidePanel(GroupBox1);
}

Switches FormBatch::currentSwitches() const
{
    Switches switches;
    for (int i = 0; i < kSwitchCount; ++i)
        switches.*(kSwitches[static_cast<std::size_t>(i)].member) = SwitchValue(SwitchBoxes[i]);
    for (int i = 0; i < kStyleControlCount; ++i)
        switches.*(kStyleControls[static_cast<std::size_t>(i)].member) = StyleSliders[i]->value();
    switches.StillGrain = CheckStillGrain->isChecked();
    return switches;
}

void FormBatch::loadSwitches()
{
    if (services_.settings) {
        for (int i = 0; i < kSwitchCount; ++i) {
            const SwitchInfo& info = kSwitches[static_cast<std::size_t>(i)];
            const QString stored = ReadSetting(*services_.settings, SwitchKey(info));
            const QSignalBlocker quiet(SwitchBoxes[i]);
            if (stored == QStringLiteral("1") || stored == QStringLiteral("0"))
                SwitchBoxes[i]->setChecked(stored == QStringLiteral("1"));
        }
        for (int i = 0; i < kStyleControlCount; ++i) {
            bool number = false;
            const int stored =
                ReadSetting(*services_.settings, StyleKey(kStyleControls[static_cast<std::size_t>(i)].label))
                    .toInt(&number);
            if (number && stored >= 0 && stored <= 100)
                StyleSliders[i]->setValue(stored);
        }
        const QSignalBlocker quiet(CheckStillGrain);
        CheckStillGrain->setChecked(ReadSetting(*services_.settings, StyleKey(kStillGrainLabel))
                                    == QStringLiteral("1"));
    }
    StyleSettle->stop();
    updateOptionsControl();
}

void FormBatch::switchChanged()
{
    if (services_.settings) {
        for (int i = 0; i < kSwitchCount; ++i) {
            const QString value = SwitchBoxes[i]->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
            const QString key = SwitchKey(kSwitches[static_cast<std::size_t>(i)]);
            if (ReadSetting(*services_.settings, key) != value)
                WriteSetting(*services_.settings, key, value);
        }
        auto store = [&](const QString& key, const QString& value) {
            if (ReadSetting(*services_.settings, key) != value)
                WriteSetting(*services_.settings, key, value);
        };
        for (int i = 0; i < kStyleControlCount; ++i)
            store(StyleKey(kStyleControls[static_cast<std::size_t>(i)].label),
                  QString::number(StyleSliders[i]->value()));
        store(StyleKey(kStillGrainLabel),
              CheckStillGrain->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    }
    updateOptionsControl();
    // The thumbnails and previews are redrawn with the new switches.
    if (Doc->sourcePath().isEmpty() || ImageList1->count() == 0)
        return;
    refreshCards();
    const int shown = PageChoose->previewVariant();
    PageChoose->forgetPreviews();
    if (shown >= 0 && CurrentStep == Step::Choose)
        PageChoose->showPreview(shown);
}

void FormBatch::restoreDefaultSwitches()
{
    for (int i = 0; i < kSwitchCount; ++i) {
        const QSignalBlocker quiet(SwitchBoxes[i]);
        SwitchBoxes[i]->setChecked(kSwitches[static_cast<std::size_t>(i)].onByDefault);
    }
    for (QSlider* slider : StyleSliders)
        slider->setValue(kDesignedStyle); // the value captions follow; the redraw is the one below
    {
        const QSignalBlocker quiet(CheckStillGrain);
        CheckStillGrain->setChecked(false);
    }
    StyleSettle->stop();
    switchChanged();
}

void FormBatch::updateOptionsControl()
{
    int changed = 0;
    for (int i = 0; i < kSwitchCount; ++i)
        if (SwitchBoxes[i]->isChecked() != kSwitches[static_cast<std::size_t>(i)].onByDefault)
            ++changed;
    for (const QSlider* slider : StyleSliders)
        if (slider->value() != kDesignedStyle)
            ++changed;
    if (CheckStillGrain->isChecked())
        ++changed;
    // A dot beside the name says the options are not the defaults.
    BtnOptions->setText(changed == 0 ? tr("&Options") : tr("&Options \u25cf"));
    QString tip = tr("Show the effect options (Alt+O)");
    if (changed == 1)
        tip = tr("Show the effect options (Alt+O): 1 option differs from the defaults");
    else if (changed > 1)
        tip = tr("Show the effect options (Alt+O): %1 options differ from the defaults").arg(changed);
    BtnOptions->setToolTip(tip);
    BtnOptions->setProperty("changed", changed > 0);
    BtnOptions->style()->unpolish(BtnOptions);
    BtnOptions->style()->polish(BtnOptions);
    BtnRestoreDefaults->setEnabled(changed > 0);
    // The dot may come from a taller fallback font: the control keeps the
    // height of the taller text either way, so the bar never moves.
    if (BtnOptions->minimumHeight() == 0) {
        const QString text = BtnOptions->text();
        int height = 0;
        for (const QString& shown : {tr("&Options"), tr("&Options \u25cf")}) {
            BtnOptions->setText(shown);
            height = std::max(height, BtnOptions->sizeHint().height());
        }
        BtnOptions->setText(text);
        BtnOptions->setMinimumHeight(height);
    }
}

void FormBatch::setOptionsOpen(bool open)
{
    if (open == PageChoose->sidePanelOpen())
        return;
    PageChoose->setSidePanelOpen(open);
    updateMinimumSize(); // the window grows where the panel needs it
    if (open && !SwitchBoxes.isEmpty())
        SwitchBoxes.front()->setFocus();
    else if (!open && CurrentStep == Step::Choose)
        LVSnapshot->setFocus();
}

} // namespace qf::shell
